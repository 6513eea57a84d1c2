#include "browser_common.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStyle>

#include <algorithm>

#include "engine/numeric.h"
#include "engine/render.h"
#include "formats/fractal_file.h"
#include "formats/messages.h"
#include "formats/palette_file.h"
#include "formats/png_file.h"
#include "resources/program_pictures.h"
#include "ui/U_mainform.h"
#include "ui/dialogs.h"
#include "ui/image_view.h"
#include "ui/screen_area.h"

namespace ombrilo {

namespace {

std::string NativePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// The outer size the dialog will have: its client size plus the frame the window manager gives
// the main window (the dialog is not framed before it is shown).
QSize OuterSize(const QDialog& dialog, const TMainForm& main) {
    const QRect outer = main.frameGeometry();
    const QRect inner = main.geometry();
    return dialog.size() + QSize(outer.width() - inner.width(), outer.height() - inner.height());
}

}  // namespace

QString RowOfFileName(const QString& fileName) {
    const QStringList parts = fileName.split('.', Qt::SkipEmptyParts);
    return parts.isEmpty() ? QString() : parts.first();
}

void BrowserCaption(QWidget* parent, const char* text, const char* name, int top) {
    auto* label = PutControl(new QLabel(QString::fromUtf8(text), parent), name, 4, top, 42, 21);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

QIcon DeleteFileIcon() {
    const QIcon trash = QApplication::style()->standardIcon(QStyle::SP_TrashIcon);
    return trash.isNull() ? ToolPicture(ToolPictureId::CloseButton) : trash;
}

bool FileNameLess(const QString& a, const QString& b) {
    const int folded = QString::compare(a, b, Qt::CaseInsensitive);
    // Names equal but for case still get one fixed order.
    return folded != 0 ? folded < 0 : a < b;
}

QStringList ListRows(const QString& folder, const QString& pattern) {
    QDir dir(folder);
    if (folder.isEmpty() || !dir.exists()) {
        return {};
    }
    QStringList names = dir.entryList(
        {pattern},
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot | QDir::CaseSensitive,
        QDir::Unsorted);
    std::sort(names.begin(), names.end(), FileNameLess);
    QStringList rows;
    for (const QString& name : names) {
        const QString row = RowOfFileName(name);
        if (!row.isEmpty()) {
            rows.append(row);
        }
    }
    return rows;
}

bool IsUnsafeFileName(const QString& name) {
    return name.contains(QLatin1Char('/')) || name.contains(QChar(u'\0'));
}

void WarnUnsafeFileName(QWidget* parent) {
    ShowWarning(parent, "Недопустимое имя файла",
                "Имя файла не может содержать знак \"/\" и нулевой символ.\n Выберите другое "
                "имя.");
}

void PlaceBrowser(QDialog& browser, const TMainForm& main) {
    const QSize outer = OuterSize(browser, main);
    if (main.FullScreenShown) {
        browser.move(CenteredIn(ScreenArea(main), outer) - QPoint(0, 30));
        return;
    }
    browser.move(
        TruncToInt32(main.x() + main.Pic->x() + (main.Pic->width() - outer.width()) * 0.5L),
        TruncToInt32(main.y() + (main.frameGeometry().height() - outer.height()) * 0.3L));
}

void CenterOnMainWindow(QDialog& dialog, const TMainForm& main) {
    const QSize outer = OuterSize(dialog, main);
    const QRect frame = main.frameGeometry();
    dialog.move(frame.left() + (frame.width() - outer.width()) / 2,
                frame.top() + (frame.height() - outer.height()) / 2);
}

void UseDialogFont(QWidget& window) {
    QFont font = window.font();
    font.setPixelSize(11);
    window.setFont(font);
}

void RenderPreview(const FractalState& state, QImage& bitmap, ImageView* target) {
    if (bitmap.width() != kPreviewWidth || bitmap.height() != kPreviewHeight) {
        bitmap = QImage(kPreviewWidth, kPreviewHeight, QImage::Format_RGB32);
        bitmap.fill(0);
    }
    const Frame32 frame{bitmap.bits(), kPreviewWidth, kPreviewHeight, bitmap.bytesPerLine()};
    RenderView(state, ScreenGeometry(state, kPreviewWidth, kPreviewHeight), frame);
    target->SetImage(bitmap);
}

bool ReadFractalAtFilePath(TMainForm& main) {
    const FractalReadResult result =
        ReadFractalFile(NativePath(main.FilePath), main.state, main.LoadPaletteWithFractal);
    if (!result.opened) {
        ShowPlainMessage(&main, kCannotOpenForReading);
        return false;
    }
    ReadFlags flags{main.FractalAccepted, main.PaletteAccepted};
    flags.Take(result);
    main.FractalAccepted = flags.FractalAccepted;
    main.PaletteAccepted = flags.PaletteAccepted;
    return true;
}

bool ReadPictureFractalAtFilePath(TMainForm& main) {
    const PngFractalRead read = ReadPngFractal(NativePath(main.FilePath));
    if (read.status == PngFractalStatus::Unreadable) {
        ShowPlainMessage(&main, kCannotOpenForReading);
        return false;
    }
    if (read.status != PngFractalStatus::Found) {
        ShowWarning(&main, "Открытие файла не возможно",
                    QString::fromStdString(PngFractalMessage(read.status)));
        return false;
    }
    ReadFlags flags{main.FractalAccepted, main.PaletteAccepted};
    flags.Take(ApplyFractalRecord(read.record, main.state, main.LoadPaletteWithFractal));
    main.FractalAccepted = flags.FractalAccepted;
    main.PaletteAccepted = flags.PaletteAccepted;
    return true;
}

bool ReadPaletteAtFilePath(TMainForm& main) {
    const PaletteReadResult result = ReadPaletteFile(NativePath(main.FilePath), main.state);
    if (!result.opened) {
        ShowPlainMessage(&main, kCannotOpenForReading);
        return false;
    }
    main.PaletteAccepted = result.paletteAccepted;
    return true;
}

bool WriteFractalAtFilePath(TMainForm& main) {
    if (!WriteFractalFile(NativePath(main.FilePath), main.state)) {
        ShowPlainMessage(&main, kCannotOpenForWriting);
        return false;
    }
    return true;
}

bool WritePaletteAtFilePath(TMainForm& main) {
    if (!WritePaletteFile(NativePath(main.FilePath), main.state.palette)) {
        ShowPlainMessage(&main, kCannotOpenForWriting);
        return false;
    }
    return true;
}

BusyCursor::BusyCursor() {
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
}
BusyCursor::~BusyCursor() {
    QGuiApplication::restoreOverrideCursor();
}

}  // namespace ombrilo
