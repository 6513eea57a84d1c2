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
QSize OuterSize(const QDialog& dialog, const QWidget& main) {
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

void PlaceBrowser(QDialog& browser, const QWidget& main, const QRect& mainView,
                  bool overFullScreen) {
    const QSize outer = OuterSize(browser, main);
    if (overFullScreen) {
        browser.move(CenteredIn(ScreenArea(main), outer) - QPoint(0, 30));
        return;
    }
    browser.move(TruncToInt32(main.x() + mainView.x() + (mainView.width() - outer.width()) * 0.5L),
                 TruncToInt32(main.y() + (main.frameGeometry().height() - outer.height()) * 0.3L));
}

void CenterOnMainWindow(QDialog& dialog, const QWidget& main) {
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
    // The preview's device pixels: more of them on a denser screen, over the same region.
    const qreal ratio = target->devicePixelRatioF();
    const int width = DevicePixels(kPreviewWidth, ratio);
    const int height = DevicePixels(kPreviewHeight, ratio);
    if (bitmap.width() != width || bitmap.height() != height) {
        bitmap = QImage(width, height, QImage::Format_RGB32);
        bitmap.fill(0);
    }
    const Frame32 frame{bitmap.bits(), width, height, bitmap.bytesPerLine()};
    RenderView(state, ScreenGeometry(state, width, height), frame);
    target->SetImage(bitmap);
}

bool ReadFractalAtPath(QWidget* parent, const QString& path, FractalState& state, bool loadPalette,
                       ReadFlags& flags) {
    const FractalReadResult result = ReadFractalFile(NativePath(path), state, loadPalette);
    if (!result.opened) {
        ShowPlainMessage(parent, kCannotOpenForReading);
        return false;
    }
    flags.Take(result);
    return true;
}

bool ReadPictureFractalAtPath(QWidget* parent, const QString& path, FractalState& state,
                              bool loadPalette, ReadFlags& flags) {
    const PngFractalRead read = ReadPngFractal(NativePath(path));
    if (read.status == PngFractalStatus::Unreadable) {
        ShowPlainMessage(parent, kCannotOpenForReading);
        return false;
    }
    if (read.status != PngFractalStatus::Found) {
        ShowWarning(parent, "Открытие файла не возможно",
                    QString::fromStdString(PngFractalMessage(read.status)));
        return false;
    }
    flags.Take(ApplyFractalRecord(read.record, state, loadPalette));
    return true;
}

bool ReadPaletteAtPath(QWidget* parent, const QString& path, FractalState& state,
                       ReadFlags& flags) {
    const PaletteReadResult result = ReadPaletteFile(NativePath(path), state);
    if (!result.opened) {
        ShowPlainMessage(parent, kCannotOpenForReading);
        return false;
    }
    flags.PaletteAccepted = result.paletteAccepted;
    return true;
}

bool WriteFractalAtPath(QWidget* parent, const QString& path, const FractalState& state) {
    if (!WriteFractalFile(NativePath(path), state)) {
        ShowPlainMessage(parent, kCannotOpenForWriting);
        return false;
    }
    return true;
}

bool WritePaletteAtPath(QWidget* parent, const QString& path, const Palette& palette) {
    if (!WritePaletteFile(NativePath(path), palette)) {
        ShowPlainMessage(parent, kCannotOpenForWriting);
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
