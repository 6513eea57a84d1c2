#include "U_slideform.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>

#include <cmath>

#include "engine/numeric.h"
#include "engine/render.h"
#include "formats/messages.h"
#include "resources/program_pictures.h"
#include "ui/dialogs.h"
#include "ui/image_view.h"
#include "ui/screen_area.h"

namespace ombrilo {

namespace {

constexpr const char* kUnknownType = "( Неизвестный тип фрактала )";
const QColor kTeal(0, 128, 128);
const QColor kAqua(0, 255, 255);

}  // namespace

TSlideForm::TSlideForm(const SlideShowSetup& setup, SlideList& list, SlideRandom random)
    : QDialog(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      state_(setup.state),
      readFlags_(setup.readFlags),
      folder_(setup.folder),
      order_(setup.order),
      loadPalette_(setup.loadPalette),
      list_(list),
      random_(std::move(random)),
      snapshot_(setup.state) {
    const QWidget& main = setup.screenOf;
    setObjectName("SlideForm");
    setModal(true);
    setFocusPolicy(Qt::StrongFocus);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kTeal);
    setPalette(colours);
    setAutoFillBackground(true);

    const QRect area = ScreenArea(main);
    pixelRatio_ = ScreenOf(main)->devicePixelRatio();
    const QSize pixels = ScreenPixelSize(main);
    screenWidth_ = pixels.width();
    screenHeight_ = pixels.height();
    setGeometry(area);

    Slide = new ImageView(this);
    Slide->setObjectName("Slide");
    Slide->setGeometry(0, 0, area.width(), area.height());
    Slide->setCursor(MakeProgramCursor(ProgramCursor::Slide));
    connect(Slide, &ImageView::clicked, this, [this] { close(); });

    Mes = new QLabel(QString::fromUtf8(kUnknownType), this);
    Mes->setObjectName("Mes");
    Mes->setAlignment(Qt::AlignCenter);
    QFont font("Microsoft Sans Serif");
    font.setPixelSize(27);
    Mes->setFont(font);
    QPalette text = Mes->palette();
    text.setColor(QPalette::WindowText, kAqua);
    Mes->setPalette(text);
    Mes->adjustSize();
    Mes->hide();
    // A click on the label itself does nothing; the teal around it closes the show.
    Mes->installEventFilter(this);
    installEventFilter(this);
    Slide->installEventFilter(this);

    bitmap_ = QImage(screenWidth_, screenHeight_, QImage::Format_RGB32);
    bitmap_.setDevicePixelRatio(pixelRatio_);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(setup.delaySeconds * 1000);
    connect(Timer1, &QTimer::timeout, this, &TSlideForm::Timer1Timer);
    Timer1->start();
    ShowSlide();
}

TSlideForm::~TSlideForm() {
    RestoreSlideSnapshot();
}

void TSlideForm::Timer1Timer() {
    Timer1->stop();
    ShowSlide();
    // The delay counts from the end of this slide's drawing.
    Timer1->start();
}

void TSlideForm::ShowSlide() {
    const SlidePick pick = PickSlide(list_, order_, random_, folder_, state_, loadPalette_);
    ++slidesShown_;
    if (!pick.result.opened) {
        ShowPlainMessage(this, QString::fromUtf8(kCannotOpenForReading));
    }
    readFlags_.Take(pick.result);
    if (readFlags_.FractalAccepted) {
        Mes->hide();
        Slide->show();
        RenderSlide();
    } else {
        ShowLabel();
    }
}

void TSlideForm::ShowLabel() {
    Slide->hide();
    Mes->move(TruncToInt32((width() - Mes->width()) * 0.5L), TruncToInt32(height() * 0.4L));
    Mes->show();
}

void TSlideForm::RenderSlide() {
    const Frame32 frame{bitmap_.bits(), screenWidth_, screenHeight_, bitmap_.bytesPerLine()};
    RenderView(state_, ScreenGeometry(state_, screenWidth_, screenHeight_), frame);
    Slide->SetImage(bitmap_);
    Slide->repaint();
}

void TSlideForm::RestoreSlideSnapshot() {
    if (restored_) {
        return;
    }
    restored_ = true;
    state_ = snapshot_;
    state_.PointColor = &Z2PointColor;
}

void TSlideForm::done(int result) {
    Timer1->stop();
    emit showEnded();
    RestoreSlideSnapshot();
    QDialog::done(result);
}

bool TSlideForm::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
            // Every key ends the show, Shift alone included.
            close();
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            if (watched == Mes) {
                return true;
            }
            break;
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}

void TSlideForm::mouseReleaseEvent(QMouseEvent* event) {
    if (rect().contains(event->position().toPoint())) {
        close();
    }
}

void TSlideForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    activateWindow();
    setFocus();
}

}  // namespace ombrilo
