#include "U_fullscreen.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include <cmath>

#include "engine/render.h"
#include "ui/U_mainform.h"
#include "ui/screen_area.h"

namespace ombrilo {

TFullScreenForm::TFullScreenForm(TMainForm& main)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      main_(main) {
    setObjectName("FullScreenForm");
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    pixelRatio_ = ScreenOf(main)->devicePixelRatio();
    const QSize pixels = ScreenPixelSize(main);
    screenWidth_ = pixels.width();
    screenHeight_ = pixels.height();
    setGeometry(ScreenArea(main));
    RenderFullScreen();
}

void TFullScreenForm::RenderFullScreen() {
    if (image_.width() != screenWidth_ || image_.height() != screenHeight_) {
        image_ = QImage(screenWidth_, screenHeight_, QImage::Format_RGB32);
        image_.setDevicePixelRatio(pixelRatio_);
    }
    const Frame32 frame{image_.bits(), screenWidth_, screenHeight_, image_.bytesPerLine()};
    RenderView(main_.state, ScreenGeometry(main_.state, screenWidth_, screenHeight_), frame);
    update();
}

void TFullScreenForm::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), image_);
}

void TFullScreenForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!cursorRestored_) {
        cursorRestored_ = true;
        QGuiApplication::restoreOverrideCursor();
    }
    activateWindow();
    setFocus();
}

void TFullScreenForm::keyPressEvent(QKeyEvent*) {
    close();
}

void TFullScreenForm::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        close();
    }
}

void TFullScreenForm::closeEvent(QCloseEvent* event) {
    if (!cursorRestored_) {
        cursorRestored_ = true;
        QGuiApplication::restoreOverrideCursor();
    }
    main_.FullScreenClosed();
    event->accept();
}

}  // namespace ombrilo
