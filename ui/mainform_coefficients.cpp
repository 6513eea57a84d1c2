// The coefficient controls of the main window: the two sliders of C in thousandths, their
// step buttons, the read-only texts and the back-and-forth animation.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

#include "engine/numeric.h"
#include "resources/program_pictures.h"
#include "ui/U_mainform.h"
#include "ui/decimal_separator.h"
#include "ui/number_text.h"

namespace ombrilo {

namespace {

constexpr int kCoefficientDigits = 15;

QLineEdit* CoefficientText(QWidget* parent, const char* name, int top) {
    auto* text = new QLineEdit("0", parent);
    text->setObjectName(QString::fromLatin1(name));
    text->setGeometry(10, top, 65, 17);
    text->setReadOnly(true);
    text->setFocusPolicy(Qt::ClickFocus);
    return text;
}

QPushButton* TinyButton(QWidget* parent, const char* name, const char* caption, int top, int height,
                        const char* hint) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(75, top, 12, height);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet("QPushButton { padding: 0px; font-size: 7px; }");
    button->setStatusTip(QString::fromUtf8(hint));
    return button;
}

QSlider* CoefficientSlider(QWidget* parent, const char* name, int top, int start,
                           const char* hint) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(QString::fromLatin1(name));
    slider->setGeometry(5, top, 87, 23);
    slider->setRange(-kSliderMax, kSliderMax);
    slider->setTickPosition(QSlider::TicksAbove);
    slider->setTickInterval(400);
    slider->setSingleStep(1);
    slider->setPageStep(100);
    slider->setValue(start);
    slider->setStatusTip(QString::fromUtf8(hint));
    return slider;
}

QToolButton* AnimationButton(QWidget* parent, const char* name, AnimationPictureId picture,
                             int left, int top, const char* hint) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(left, top, 22, 22);
    button->setIcon(AnimationPicture(picture));
    button->setIconSize(QSize(16, 16));
    button->setFocusPolicy(Qt::NoFocus);
    button->setStatusTip(QString::fromUtf8(hint));
    return button;
}

void Heading(QWidget* parent, const char* text, int top) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setGeometry(10, top, 60, 14);
}

}  // namespace

void TMainForm::BuildCoefficientGroup(QWidget* client) {
    auto* group = new QGroupBox("Коэффициенты", client);
    group->setObjectName("GroupBox2");
    group->setGeometry(584, 142, 97, 220);

    Heading(group, "Re( C )", 18);
    E_cx = CoefficientText(group, "E_cx", 32);
    PlusCx = TinyButton(group, "PlusCx", "+", 32, 8,
                        " Увеличивает на один шаг = 0.001 текущее значение Re(C)");
    MinusCx = TinyButton(group, "MinusCx", "-", 40, 9,
                         " Уменьшает на один шаг = 0.001 текушее значение Re(C)");
    TrackBarCx = CoefficientSlider(group, "TrackBarCx", 50, kSliderCxStart, " Изменяет Re(C)");
    DownCx =
        AnimationButton(group, "DownCx", AnimationPictureId::Down, 13, 74,
                        " Включает уменьшение Re(C): При повторном нажатии увеличивает скорость");
    StopCx = AnimationButton(group, "StopCx", AnimationPictureId::Stop, 38, 74,
                             " Останавливает изменение коэффицента C");
    UpCx =
        AnimationButton(group, "UpCx", AnimationPictureId::Up, 63, 74,
                        " Включает увеличение Re(С): При повторном нажатии увеличивает скорость");

    Heading(group, "Im( C )", 106);
    E_cy = CoefficientText(group, "E_cy", 120);
    PlusCy = TinyButton(group, "PlusCy", "+", 120, 8,
                        " Увеличивает на один шаг = 0.001 текущее значение Im(С)");
    MinusCy = TinyButton(group, "MinusCy", "-", 129, 8,
                         " Уменьшает на один шаг = 0.001 текушее значение Im(С)");
    TrackBarCy = CoefficientSlider(group, "TrackBarCy", 138, kSliderCyStart, " Измененяет Im(С)");
    DownCy =
        AnimationButton(group, "DownCy", AnimationPictureId::Down, 13, 162,
                        " Включает уменьшение Im(С): При повторном нажатии увеличивает скорость");
    StopCy = AnimationButton(group, "StopCy", AnimationPictureId::Stop, 38, 162,
                             " Останавливает изменение коэффициента C");
    UpCy =
        AnimationButton(group, "UpCy", AnimationPictureId::Up, 63, 162,
                        " Включает увеличение Im(C): При повторном нажатии увеличивает скорость");

    connect(TrackBarCx, &QSlider::valueChanged, this, &TMainForm::TrackBarCxChange);
    connect(TrackBarCy, &QSlider::valueChanged, this, &TMainForm::TrackBarCyChange);
    connect(PlusCx, &QPushButton::clicked, this, &TMainForm::PlusCxClick);
    connect(MinusCx, &QPushButton::clicked, this, &TMainForm::MinusCxClick);
    connect(PlusCy, &QPushButton::clicked, this, &TMainForm::PlusCyClick);
    connect(MinusCy, &QPushButton::clicked, this, &TMainForm::MinusCyClick);
    connect(UpCx, &QToolButton::clicked, this, &TMainForm::UpCxClick);
    connect(DownCx, &QToolButton::clicked, this, &TMainForm::DownCxClick);
    connect(StopCx, &QToolButton::clicked, this, &TMainForm::StopCxClick);
    connect(UpCy, &QToolButton::clicked, this, &TMainForm::UpCyClick);
    connect(DownCy, &QToolButton::clicked, this, &TMainForm::DownCyClick);
    connect(StopCy, &QToolButton::clicked, this, &TMainForm::StopCyClick);
    for (QSlider* slider : {TrackBarCx, TrackBarCy}) {
        RecordHistoryAfterSliderActions(slider);
    }
}

void TMainForm::RecordHistoryAfterSliderActions(QSlider* slider) {
    connect(slider, &QSlider::sliderReleased, this, &TMainForm::RecordHistory);
    // A step by key, wheel or click on the groove; the new value is taken after the signal.
    connect(slider, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove) {
            QMetaObject::invokeMethod(this, &TMainForm::RecordHistory, Qt::QueuedConnection);
        }
    });
}

void TMainForm::ShowCoefficients() {
    ShowCoefficient(E_cx, state.Cx);
    ShowCoefficient(E_cy, state.Cy);
}

void TMainForm::ShowCoefficient(QLineEdit* text, double value) {
    text->setText(
        QString::fromStdString(FormatGeneral(value, kCoefficientDigits, DecimalSeparator())));
    text->setCursorPosition(0);  // a long value is read from its sign and leading digits
}

void TMainForm::SetSlidersFromState() {
    SliderSync = false;
    TrackBarCx->setValue(TruncToInt32(state.Cx * 1000.0L));
    TrackBarCy->setValue(TruncToInt32(state.Cy * 1000.0L));
    SliderSync = true;
    ShowCoefficients();
}

void TMainForm::TakeSliderCoefficient(int position, double& coefficient, QLineEdit* text) {
    if (!RenderIdle() || !SliderSync) {
        return;  // the slider moves alone; C keeps its value
    }
    coefficient = SliderToCoefficient(position);
    ShowCoefficient(text, coefficient);
    RequestFrame();
}

void TMainForm::TrackBarCxChange(int position) {
    TakeSliderCoefficient(position, state.Cx, E_cx);
}

void TMainForm::TrackBarCyChange(int position) {
    TakeSliderCoefficient(position, state.Cy, E_cy);
}

void TMainForm::PlusCxClick() {
    TrackBarCx->setValue(TrackBarCx->value() + 1);
    RecordHistory();
}
void TMainForm::MinusCxClick() {
    TrackBarCx->setValue(TrackBarCx->value() - 1);
    RecordHistory();
}
void TMainForm::PlusCyClick() {
    TrackBarCy->setValue(TrackBarCy->value() + 1);
    RecordHistory();
}
void TMainForm::MinusCyClick() {
    TrackBarCy->setValue(TrackBarCy->value() - 1);
    RecordHistory();
}

void TMainForm::UpCxClick() {
    Animate(AnimRe, AnimIm, TrackBarCx, true);
}
void TMainForm::DownCxClick() {
    Animate(AnimRe, AnimIm, TrackBarCx, false);
}
void TMainForm::UpCyClick() {
    Animate(AnimIm, AnimRe, TrackBarCy, true);
}
void TMainForm::DownCyClick() {
    Animate(AnimIm, AnimRe, TrackBarCy, false);
}

void TMainForm::StopAnimations() {
    AnimRe.StopRequested = true;
    AnimIm.StopRequested = true;
}

void TMainForm::SetSweepClock(std::unique_ptr<SweepClock> clock) {
    sweepClock_ = std::move(clock);
}

void TMainForm::StopCxClick() {
    StopAnimations();
    TrackBarCx->setFocus();
}

void TMainForm::StopCyClick() {
    StopAnimations();
    TrackBarCy->setFocus();
}

void TMainForm::Animate(CoefAnimation& a, CoefAnimation& other, QSlider* slider, bool up) {
    other.StopRequested = true;
    other.RunningUp = other.RunningDown = false;
    other.UpSpeed = other.DownSpeed = 1;

    a.StopRequested = false;
    bool& running = up ? a.RunningUp : a.RunningDown;
    if (up) {
        a.RunningDown = false;
        a.DownSpeed = 1;
    } else {
        a.RunningUp = false;
        a.UpSpeed = 1;
    }
    if (running) {
        (up ? a.UpSpeed : a.DownSpeed) += 1;  // the running loop takes the new speed
        return;
    }
    Sweep(a, slider, up);
}

// Runs the sweep in one direction until it is stopped, reversed by the other button (whose
// own loop then runs inside the wait for the next tick), or reaches the end of the slider,
// where it turns round at the speed it had. The slider moves by the speed once per tick of
// the sweep clock; between ticks the window's thread sleeps and handles events.
void TMainForm::Sweep(CoefAnimation& a, QSlider* slider, bool up) {
    sweepClock_->Start();
    for (;;) {
        bool& running = up ? a.RunningUp : a.RunningDown;
        const bool& opposite = up ? a.RunningDown : a.RunningUp;
        int& speed = up ? a.UpSpeed : a.DownSpeed;
        running = true;
        while (running) {
            const bool atEnd =
                up ? slider->value() >= slider->maximum() : slider->value() <= slider->minimum();
            if (a.StopRequested || opposite || atEnd) {
                running = false;
            } else {
                sweepClock_->WaitForTick();
                // A press handled while waiting may have stopped or reversed the sweep.
                if (running && !a.StopRequested && !opposite) {
                    slider->setValue(slider->value() + (up ? speed : -speed));
                }
            }
        }
        if (a.StopRequested) {
            a.UpSpeed = a.DownSpeed = 1;
            RecordHistory();
            return;
        }
        if (opposite) {
            speed = 1;
            return;
        }
        (up ? a.DownSpeed : a.UpSpeed) = speed;
        speed = 1;
        up = !up;
    }
}

}  // namespace ombrilo
