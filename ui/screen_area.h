#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QScreen;
class QWidget;

namespace ombrilo {

// The screen a window is on, or the primary screen while it is on none.
QScreen* ScreenOf(const QWidget& window);

// That screen's geometry; 1024 x 768 at the origin when the application has no screen.
QRect ScreenArea(const QWidget& window);

// The size in device pixels of a picture that fills that screen pixel for pixel (the full
// screen, the slide show, the export window's first size).
QSize ScreenPixelSize(const QWidget& window);

// The top left corner that centres a window of the given outer size in an area, each half
// truncated toward zero.
QPoint CenteredIn(const QRect& area, const QSize& size);

}  // namespace ombrilo
