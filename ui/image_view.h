#pragma once

#include <QImage>
#include <QWidget>

namespace ombrilo {

// An image control: shows the last picture handed to it at its top left corner, one picture
// pixel on one device pixel of the screen (a picture for a screen of scale 2 has twice the
// control's width in pixels), and reports the mouse and the wheel in device pixels (positions
// may lie outside while a button is held).
class ImageView : public QWidget {
    Q_OBJECT

public:
    explicit ImageView(QWidget* parent = nullptr);

    void SetImage(const QImage& image);
    const QImage& image() const { return image_; }

    // The control's size in device pixels: what a picture that fills it measures.
    QSize DevicePixelSize() const;
    // A position in the control's own coordinates, in device pixels.
    QPoint DevicePixelOf(QPointF position) const;

signals:
    void mousePressed(Qt::MouseButton button, int x, int y);
    void mouseMoved(Qt::MouseButtons buttons, int x, int y);
    void mouseReleased(Qt::MouseButton button, int x, int y);
    void clicked(Qt::MouseButton button);
    // The wheel turned by `angleDelta` eighths of a degree (120 a notch; forward positive) with
    // the cursor at (x, y).
    void wheelTurned(int angleDelta, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    QImage image_;
};

// A length in a widget's own coordinates in device pixels, rounded to the nearest pixel.
int DevicePixels(qreal length, qreal ratio);

}  // namespace ombrilo
