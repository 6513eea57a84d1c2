#pragma once

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWheelEvent>

#include "engine/render.h"

// Mouse and wheel events sent straight to a widget, at positions in its own coordinates.
inline void SendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button,
                      Qt::MouseButtons held, QPointF at) {
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

inline void Drag(QWidget* widget, QPointF from, QPointF to) {
    SendMouse(widget, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, from);
    SendMouse(widget, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, to);
    SendMouse(widget, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, to);
}

inline void Wheel(QWidget* widget, int delta, QPointF at) {
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

// The straightforward loops' picture of a view.
inline QImage StraightPicture(const ombrilo::FractalState& state, const ombrilo::ViewGeometry& view,
                              int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(0);
    ombrilo::RenderViewReference(state, view, {image.bits(), width, height, image.bytesPerLine()});
    return image;
}

// The picture's blue, green and red bytes, row by row.
inline QByteArray BgrOf(const QImage& image) {
    QByteArray out;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            out.append(reinterpret_cast<const char*>(row + 4 * x), 3);
        }
    }
    return out;
}
