#include "program_pictures.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QImage>
#include <QtGlobal>

#include <algorithm>
#include <mutex>
#include <optional>

// The pictures live in a static library, so nothing would pull the object that registers them
// into a program; this reference does. It has to be made outside the namespace, where the
// resource's registration function is declared.
static void InitResourcesOnce() {
    static std::once_flag once;
    std::call_once(once, [] { Q_INIT_RESOURCE(resources); });
}

namespace ombrilo {

void RegisterProgramPictures() {
    InitResourcesOnce();
}

namespace {

QPixmap LoadPixmap(const QString& file) {
    RegisterProgramPictures();
    return file.isEmpty() ? QPixmap() : QPixmap(ResourcePath(file));
}

// The picture as an icon, with copies of two and three times its size, each picture pixel a
// block of pixels, so that a screen of scale 1.25 to 3 shows it sharp instead of smoothed.
QIcon IconOf(const QPixmap& pixmap) {
    if (pixmap.isNull()) {
        return QIcon();
    }
    QIcon icon(pixmap);
    for (int factor : {2, 3}) {
        icon.addPixmap(
            pixmap.scaled(pixmap.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    }
    return icon;
}

// Whole device pixels per pixel of a program picture on the densest screen: 1 up to scale 1.49.
int PictureScale() {
    if (qGuiApp == nullptr) {
        return 1;
    }
    return std::max(1, qRound(qGuiApp->devicePixelRatio()));
}

bool IsBlackAndWhite(const QImage& image) {
    if (image.depth() != 1 || image.colorCount() != 2) {
        return false;
    }
    const QRgb black = qRgb(0, 0, 0);
    const QRgb white = qRgb(255, 255, 255);
    const QRgb first = image.color(0) | 0xff000000u;
    const QRgb second = image.color(1) | 0xff000000u;
    return (first == black && second == white) || (first == white && second == black);
}

// A cursor picture as a bitmap (black pixels set), or nothing when the file is not a black and
// white 32 x 32 picture.
std::optional<QBitmap> LoadCursorPicture(const QString& file) {
    RegisterProgramPictures();
    const QImage image(ResourcePath(file));
    if (image.size() != QSize(kCursorSide, kCursorSide) || !IsBlackAndWhite(image)) {
        return std::nullopt;
    }
    return QBitmap::fromImage(image, Qt::MonoOnly | Qt::ThresholdDither);
}

}  // namespace

QCursor MakeProgramCursor(ProgramCursor cursor) {
    const QString name = CursorName(cursor);
    if (name.isEmpty()) {
        qWarning("Неизвестный номер курсора программы: %d.", static_cast<int>(cursor));
        return QCursor(Qt::ArrowCursor);
    }
    const std::optional<QBitmap> bitmap = LoadCursorPicture(CursorBitmapFile(cursor));
    const std::optional<QBitmap> mask = LoadCursorPicture(CursorMaskFile(cursor));
    if (!bitmap || !mask) {
        qWarning("Курсор %s не удалось загрузить из ресурсов программы.", qPrintable(name));
        return QCursor(Qt::ArrowCursor);
    }
    const QPoint hotSpot = CursorHotSpot(cursor);
    // Cursors are shown in the screen's device pixels: on a dense screen each picture pixel
    // becomes a block, so that the cursor keeps its size to the eye.
    const int scale = PictureScale();
    if (scale > 1) {
        const QSize size = bitmap->size() * scale;
        return QCursor(QBitmap::fromImage(bitmap->toImage().scaled(size, Qt::IgnoreAspectRatio,
                                                                   Qt::FastTransformation),
                                          Qt::MonoOnly | Qt::ThresholdDither),
                       QBitmap::fromImage(mask->toImage().scaled(size, Qt::IgnoreAspectRatio,
                                                                 Qt::FastTransformation),
                                          Qt::MonoOnly | Qt::ThresholdDither),
                       hotSpot.x() * scale, hotSpot.y() * scale);
    }
    return QCursor(*bitmap, *mask, hotSpot.x(), hotSpot.y());
}

QPixmap ToolPixmap(ToolPictureId id) {
    return LoadPixmap(ToolPictureFile(id));
}

QIcon ToolPicture(ToolPictureId id) {
    return IconOf(ToolPixmap(id));
}

QPixmap AnimationPixmap(AnimationPictureId id) {
    return LoadPixmap(AnimationPictureFile(id));
}

QIcon AnimationPicture(AnimationPictureId id) {
    return IconOf(AnimationPixmap(id));
}

QPixmap MenuPixmap(int index) {
    return LoadPixmap(MenuIconFile(index));
}

QIcon MenuIcon(int index) {
    return IconOf(MenuPixmap(index));
}

QIcon MenuIcon(MenuIconId id) {
    return MenuIcon(static_cast<int>(id));
}

QPixmap ApplicationPixmap(int side) {
    return LoadPixmap(ApplicationIconFile(side));
}

QIcon ApplicationIcon() {
    QIcon icon;
    for (int side : kApplicationIconSides) {
        const QPixmap pixmap = ApplicationPixmap(side);
        if (!pixmap.isNull()) {
            icon.addPixmap(pixmap);
        }
    }
    return icon;
}

}  // namespace ombrilo
