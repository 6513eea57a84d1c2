#include "program_pictures.h"

#include <QBitmap>
#include <QImage>
#include <QtGlobal>

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

QIcon IconOf(const QPixmap& pixmap) {
    return pixmap.isNull() ? QIcon() : QIcon(pixmap);
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
