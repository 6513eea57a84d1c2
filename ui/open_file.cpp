#include "open_file.h"

#include <QFileInfo>

#include "ui/U_mainform.h"
#include "ui/dialogs.h"

namespace ombrilo {

namespace {

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
            main.OpenFractalFile(path);
            break;
        case OpenableFile::Palette:
            main.OpenPaletteFile(path);
            break;
        case OpenableFile::Picture:
            main.OpenPictureFile(path);
            break;
        case OpenableFile::Unknown:
            RefuseUnknownFile(main, path);
            break;
    }
}

}  // namespace ombrilo
