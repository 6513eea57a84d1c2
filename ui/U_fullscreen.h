#pragma once

#include <QImage>
#include <QWidget>

namespace ombrilo {

class TMainForm;

// The current fractal over the whole screen, one image pixel per physical screen pixel,
// computed once in the window's thread; a key that is not a command shortcut, or a left
// click, closes it.
class TFullScreenForm : public QWidget {
    Q_OBJECT

public:
    explicit TFullScreenForm(TMainForm& main);

    // Recomputes the picture from the main window's state and shows it.
    void RenderFullScreen();

    int ScreenWidth() const { return screenWidth_; }
    int ScreenHeight() const { return screenHeight_; }
    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    TMainForm& main_;
    int screenWidth_ = 0;
    int screenHeight_ = 0;
    qreal pixelRatio_ = 1.0;
    QImage image_;
    bool cursorRestored_ = false;
};

}  // namespace ombrilo
