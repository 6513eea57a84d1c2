#pragma once

#include <QDialog>
#include <QImage>

#include "engine/fractal_state.h"
#include "slideshow/U_slidelist.h"

class QLabel;
class QTimer;

namespace ombrilo {

class ImageView;

// What the slide show is given by the window that starts it.
struct SlideShowSetup {
    const QWidget& screenOf;  // the show fills the screen this window is on
    FractalState& state;      // the live state: slides are read into it, put back at the end
    ReadFlags& readFlags;     // what the slides' reads accepted, kept from one show to the next
    QString folder;           // the fractals folder
    int delaySeconds;
    int order;  // 0 sequential, 1 random
    bool loadPalette;
};

// The slide show: the stored fractals over the whole screen, one every delaySeconds seconds,
// each drawn at one pixel per physical screen pixel. Any key or click ends the show, and the
// live state is then put back as it was when the window opened.
class TSlideForm : public QDialog {
    Q_OBJECT

public:
    TSlideForm(const SlideShowSetup& setup, SlideList& list, SlideRandom random);
    ~TSlideForm() override;

    // Puts the state taken at the start back (once; the window's closing does it as well).
    void RestoreSlideSnapshot();

    int ScreenWidth() const { return screenWidth_; }
    int ScreenHeight() const { return screenHeight_; }
    const QImage& SlideBitmap() const { return bitmap_; }
    int SlidesShown() const { return slidesShown_; }

    ImageView* Slide = nullptr;
    QLabel* Mes = nullptr;
    QTimer* Timer1 = nullptr;

    void Timer1Timer();

signals:
    // The show has ended (the window is closing); the state is put back right after.
    void showEnded();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void ShowSlide();
    void RenderSlide();
    void ShowLabel();

    FractalState& state_;
    ReadFlags& readFlags_;
    const QString folder_;
    const int order_;
    const bool loadPalette_;
    SlideList& list_;
    SlideRandom random_;
    FractalState snapshot_;
    bool restored_ = false;
    int screenWidth_ = 0;
    int screenHeight_ = 0;
    qreal pixelRatio_ = 1.0;
    QImage bitmap_;
    int slidesShown_ = 0;
};

}  // namespace ombrilo
