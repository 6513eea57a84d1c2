#include "image_view.h"

#include <QMouseEvent>
#include <QPainter>

namespace ombrilo {

namespace {

QPoint PixelOf(const QMouseEvent* event) {
    return event->position().toPoint();
}

}  // namespace

ImageView::ImageView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImageView::SetImage(const QImage& image) {
    image_ = image;
    update();
}

void ImageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (image_.isNull()) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    painter.drawImage(QPoint(0, 0), image_);
}

void ImageView::mousePressEvent(QMouseEvent* event) {
    const QPoint p = PixelOf(event);
    emit mousePressed(event->button(), p.x(), p.y());
}

void ImageView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = PixelOf(event);
    emit mouseMoved(event->buttons(), p.x(), p.y());
}

void ImageView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = PixelOf(event);
    emit mouseReleased(event->button(), p.x(), p.y());
    if (rect().contains(p)) {
        emit clicked(event->button());
    }
}

}  // namespace ombrilo
