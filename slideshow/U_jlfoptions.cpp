#include "U_jlfoptions.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

namespace ombrilo {

namespace {

constexpr int kClientWidth = 185;
constexpr int kClientHeight = 203;

template <typename Widget>
Widget* Place(Widget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

}  // namespace

TJLFOptions::TJLFOptions(QWidget& main, int slideDelay, std::uint8_t slideOrder)
    : QDialog(&main, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint) {
    setObjectName("JLFOptions");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Опции");
    setFixedSize(kClientWidth, kClientHeight);
    // The window is small: its texts get a smaller font so that they fit.
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    setFont(small);

    auto* label =
        Place(new QLabel("Задержка для \"Слайд - Шоу\" ( с ).", this), "Label1", 4, 8, 179, 16);
    QFont labelFont = small;
    labelFont.setPointSizeF(small.pointSizeF() * 0.92);
    label->setFont(labelFont);
    TimeInterval = Place(new QLineEdit(this), "TimeInterval", 8, 28, 40, 22);
    TimeInterval->setReadOnly(true);
    TimeInterval->setFocusPolicy(Qt::NoFocus);
    TimeInterval->setAlignment(Qt::AlignCenter);
    BTInterval = Place(new QSlider(Qt::Horizontal, this), "BTInterval", 52, 26, 126, 28);
    BTInterval->setRange(1, 20);
    BTInterval->setSingleStep(1);
    BTInterval->setPageStep(1);
    BTInterval->setTickPosition(QSlider::TicksAbove);
    BTInterval->setTickInterval(1);
    BTInterval->setStatusTip(" Устанавливает задержку для Слайд - Шоу");

    auto* group =
        Place(new QGroupBox("Порядок показа Слайд-Шоу", this), "GroupBox1", 8, 62, 170, 90);
    RadioButton1 =
        Place(new QRadioButton("Последовательный", group), "RadioButton1", 10, 28, 150, 20);
    RadioButton2 = Place(new QRadioButton("Случайный", group), "RadioButton2", 10, 56, 150, 20);

    ButOkey = Place(new QPushButton("Ok!", this), "ButOkey", 8, 164, 80, 28);
    ButOkey->setStatusTip(" Применение выбранных установок");
    CanBut = Place(new QPushButton("Отмена", this), "CanBut", 98, 164, 80, 28);
    CanBut->setStatusTip(" Отмена изменения установок");

    connect(BTInterval, &QSlider::valueChanged, this, &TJLFOptions::BTIntervalChange);
    connect(ButOkey, &QPushButton::clicked, this, &TJLFOptions::ButOkeyClick);
    connect(CanBut, &QPushButton::clicked, this, &TJLFOptions::CanButClick);

    BTInterval->setValue(slideDelay);  // the slider keeps the value within 1..20
    TimeInterval->setText(QString::number(slideDelay));
    (slideOrder == 1 ? RadioButton2 : RadioButton1)->setChecked(true);
}

void TJLFOptions::BTIntervalChange(int position) {
    TimeInterval->setText(QString::number(position));
}

void TJLFOptions::ButOkeyClick() {
    emit optionsChosen(BTInterval->value(), RadioButton1->isChecked() ? 0 : 1);
    close();
}

void TJLFOptions::CanButClick() {
    close();
}

void TJLFOptions::closeEvent(QCloseEvent* event) {
    event->accept();
}

void TJLFOptions::reject() {
    // The window has no keys of its own: Escape leaves it open.
}

}  // namespace ombrilo
