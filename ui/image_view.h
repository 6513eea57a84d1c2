#pragma once

#include <QImage>
#include <QWidget>

namespace ombrilo {

// An image control: shows the last picture handed to it at its top left corner and reports
// the mouse in its own pixels (positions may lie outside while a button is held).
class ImageView : public QWidget {
    Q_OBJECT

public:
    explicit ImageView(QWidget* parent = nullptr);

    void SetImage(const QImage& image);
    const QImage& image() const { return image_; }

signals:
    void mousePressed(Qt::MouseButton button, int x, int y);
    void mouseMoved(Qt::MouseButtons buttons, int x, int y);
    void mouseReleased(Qt::MouseButton button, int x, int y);
    void clicked(Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage image_;
};

}  // namespace ombrilo
