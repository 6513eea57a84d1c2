#include "open_file.h"

#include <QFileInfo>

#include "ui/U_mainform.h"
#include "ui/browsers/browser_common.h"
#include "ui/dialogs.h"

namespace ombrilo {

namespace {

void OpenFractal(TMainForm& main, const QString& path) {
    main.FilePath = path;
    main.FileTitle = RowOfFileName(QFileInfo(path).fileName());
    main.OpenFractalAtFilePath();
}

void OpenPicture(TMainForm& main, const QString& path) {
    main.FilePath = path;
    main.OpenPictureFractalAtFilePath();
}

void OpenPalette(TMainForm& main, const QString& path) {
    main.FilePath = path;
    if (ReadPaletteAtFilePath(main)) {
        main.ApplyReadPalette();
    }
}

void RefuseUnknownFile(TMainForm& main, const QString& path) {
    ShowWarning(&main, "Открытие файла не возможно",
                QString("Файл %1 не удается открыть: это не файл фрактала (.frc),\n не файл "
                        "палитры (.ptt) и не изображение (.png).")
                    .arg(QFileInfo(path).fileName()));
}

}  // namespace

OpenableFile KindOfFile(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "frc") {
        return OpenableFile::Fractal;
    }
    if (suffix == "ptt") {
        return OpenableFile::Palette;
    }
    if (suffix == "png") {
        return OpenableFile::Picture;
    }
    return OpenableFile::Unknown;
}

void OpenFileInMainWindow(TMainForm& main, const QString& path) {
    if (!main.RenderIdle()) {
        QObject::connect(
            &main, &TMainForm::frameShown, &main,
            [&main, path] { OpenFileInMainWindow(main, path); }, Qt::SingleShotConnection);
        return;
    }
    switch (KindOfFile(path)) {
        case OpenableFile::Fractal:
            OpenFractal(main, path);
            break;
        case OpenableFile::Palette:
            OpenPalette(main, path);
            break;
        case OpenableFile::Picture:
            OpenPicture(main, path);
            break;
        case OpenableFile::Unknown:
            RefuseUnknownFile(main, path);
            break;
    }
}

}  // namespace ombrilo
