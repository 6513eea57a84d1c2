#include "image_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace ombrilo {

int DevicePixels(qreal length, qreal ratio) {
    return static_cast<int>(std::lround(length * ratio));
}

ImageView::ImageView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImageView::SetImage(const QImage& image) {
    image_ = image;
    update();
}

QSize ImageView::DevicePixelSize() const {
    const qreal ratio = devicePixelRatioF();
    return {DevicePixels(width(), ratio), DevicePixels(height(), ratio)};
}

QPoint ImageView::DevicePixelOf(QPointF position) const {
    const qreal ratio = devicePixelRatioF();
    return {DevicePixels(position.x(), ratio), DevicePixels(position.y(), ratio)};
}

void ImageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (image_.isNull()) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    const qreal ratio = devicePixelRatioF();
    if (ratio == 1.0) {
        painter.drawImage(QPoint(0, 0), image_);
        return;
    }
    // One picture pixel on one device pixel, without smoothing.
    painter.drawImage(QRectF(0, 0, image_.width() / ratio, image_.height() / ratio), image_,
                      QRectF(0, 0, image_.width(), image_.height()));
}

void ImageView::mousePressEvent(QMouseEvent* event) {
    const QPoint p = DevicePixelOf(event->position());
    emit mousePressed(event->button(), p.x(), p.y());
}

void ImageView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = DevicePixelOf(event->position());
    emit mouseMoved(event->buttons(), p.x(), p.y());
}

void ImageView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = DevicePixelOf(event->position());
    emit mouseReleased(event->button(), p.x(), p.y());
    if (rect().contains(event->position().toPoint())) {
        emit clicked(event->button());
    }
}

void ImageView::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    const QPoint p = DevicePixelOf(event->position());
    emit wheelTurned(delta, p.x(), p.y());
    event->accept();
}

}  // namespace ombrilo
