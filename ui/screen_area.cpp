#include "screen_area.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

#include "engine/numeric.h"

namespace ombrilo {

QScreen* ScreenOf(const QWidget& window) {
    QScreen* screen = window.screen();
    return screen != nullptr ? screen : QGuiApplication::primaryScreen();
}

QRect ScreenArea(const QWidget& window) {
    const QScreen* screen = ScreenOf(window);
    return screen != nullptr ? screen->geometry() : QRect(0, 0, 1024, 768);
}

QSize ScreenPixelSize(const QWidget& window) {
    const QScreen* screen = ScreenOf(window);
    const qreal ratio = screen != nullptr ? screen->devicePixelRatio() : 1.0;
    const QRect area = ScreenArea(window);
    return {static_cast<int>(std::lround(area.width() * ratio)),
            static_cast<int>(std::lround(area.height() * ratio))};
}

QPoint CenteredIn(const QRect& area, const QSize& size) {
    return {area.left() + TruncToInt32((area.width() - size.width()) * 0.5L),
            area.top() + TruncToInt32((area.height() - size.height()) * 0.5L)};
}

}  // namespace ombrilo
