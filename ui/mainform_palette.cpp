// The palette box of the main window: six level sliders, the type list, "Применять" and
// "Применить", and the strip that shows the first 256 colours.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "engine/render.h"
#include "ui/U_mainform.h"
#include "ui/image_view.h"

namespace ombrilo {

namespace {

constexpr int kPaletteLineWidth = 529;
constexpr int kPaletteLineHeight = 15;

// Shows the hourglass while a palette is rebuilt and puts the previous cursor back.
class HourglassCursor {
public:
    HourglassCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~HourglassCursor() { QGuiApplication::restoreOverrideCursor(); }
    HourglassCursor(const HourglassCursor&) = delete;
    HourglassCursor& operator=(const HourglassCursor&) = delete;
};

QSlider* LevelSlider(QWidget* parent, const char* name, int left, int top, int maximum,
                     int tickEvery, const char* hint) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(QString::fromLatin1(name));
    slider->setGeometry(left, top, 150, 26);
    slider->setRange(0, maximum);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(tickEvery);
    slider->setPageStep(tickEvery);
    slider->setStatusTip(QString::fromUtf8(hint));
    return slider;
}

void Caption(QWidget* parent, const char* text, int left, int top) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setGeometry(left, top, 22, 26);
}

}  // namespace

void TMainForm::BuildPaletteBox(QWidget* client) {
    PalBox = new QGroupBox("Палитра", client);
    PalBox->setObjectName("PalBox");
    PalBox->setGeometry(40, 412, 641, 117);

    struct Level {
        QSlider** field;
        const char* name;
        const char* caption;
        int left;
        int top;
        bool period;
        const char* hint;
    };
    const Level levels[] = {
        {&TrackBarR0, "TrackBarR0", "R", 8, 16, false, " Начальный уровень красного"},
        {&TrackBarG0, "TrackBarG0", "G", 184, 16, false, " Начальный уровень зеленого"},
        {&TrackBarB0, "TrackBarB0", "B", 360, 16, false, " Начальный уровень синего"},
        {&TrackBarR1, "TrackBarR1", "R", 8, 52, true, " Период красного"},
        {&TrackBarG1, "TrackBarG1", "G", 184, 52, true, " Период зеленого"},
        {&TrackBarB1, "TrackBarB1", "B", 360, 52, true, " Период синего"},
    };
    int index = 0;
    for (const Level& level : levels) {
        Caption(PalBox, level.caption, level.left, level.top);
        *level.field = LevelSlider(PalBox, level.name, level.left + 20, level.top,
                                   level.period ? 40 : 100, level.period ? 2 : 4, level.hint);
        connect(*level.field, &QSlider::valueChanged, this,
                [this, index](int) { LevelSliderChange(index); });
        RecordHistoryAfterSliderActions(*level.field);
        ++index;
    }
    TypeOfPalette = new QComboBox(PalBox);
    TypeOfPalette->setObjectName("TypeOfPalette");
    TypeOfPalette->setGeometry(540, 16, 90, 22);
    for (const char* name : kPaletteTypeNames) {
        TypeOfPalette->addItem(QString::fromLatin1(name));
    }
    TypeOfPalette->setStatusTip(
        " Выбор типа палитры по цветам RGB: L - линейная, S- синусоидальная");
    connect(TypeOfPalette, &QComboBox::activated, this, &TMainForm::TypeOfPaletteChange);

    IsChPalette = new QCheckBox("Применять", PalBox);
    IsChPalette->setObjectName("IsChPalette");
    IsChPalette->setGeometry(540, 44, 97, 20);
    IsChPalette->setChecked(true);
    IsChPalette->setStatusTip(
        " Включает - выключает пересчет палитры сразу после изменения параметров палитры");
    connect(IsChPalette, &QCheckBox::clicked, this, &TMainForm::IsChPaletteClick);

    ChPalette = new QPushButton("Применить", PalBox);
    ChPalette->setObjectName("ChPalette");
    ChPalette->setGeometry(540, 68, 90, 24);
    ChPalette->setEnabled(false);
    ChPalette->setStatusTip(" Запускает пересчет и перестроение палитры по требованию (U)");
    connect(ChPalette, &QPushButton::clicked, this, &TMainForm::ChPaletteClick);

    PaletteLine = new ImageView(PalBox);
    PaletteLine->setObjectName("PaletteLine");
    PaletteLine->setGeometry(8, 96, kPaletteLineWidth, kPaletteLineHeight);
}

void TMainForm::DrawPaletteLine() {
    // The strip in device pixels: one colour column per pixel of the screen.
    const QSize pixels = PaletteLine->DevicePixelSize();
    const int width = pixels.width();
    const int height = pixels.height();
    QImage strip(width, height, QImage::Format_RGB32);
    strip.fill(Qt::black);
    DrawPaletteStrip(state.colorTable, Frame32{strip.bits(), width, height, strip.bytesPerLine()});
    PaletteLine->SetImage(strip);
}

void TMainForm::BuildAndShowPalette() {
    BuildColorTable(state.palette, state.colorTable);
    DrawPaletteLine();
}

void TMainForm::CopyPaletteSliders() {
    Palette& p = state.palette;
    p.R0 = TrackBarR0->value();
    p.G0 = TrackBarG0->value();
    p.B0 = TrackBarB0->value();
    p.R1 = TrackBarR1->value();
    p.G1 = TrackBarG1->value();
    p.B1 = TrackBarB1->value();
}

void TMainForm::LevelSliderChange(int index) {
    HourglassCursor hourglass;
    if (!ApplyPaletteNow || !RenderIdle()) {
        return;
    }
    QSlider* const sliders[] = {TrackBarR0, TrackBarG0, TrackBarB0,
                                TrackBarR1, TrackBarG1, TrackBarB1};
    std::int32_t* const fields[] = {&state.palette.R0, &state.palette.G0, &state.palette.B0,
                                    &state.palette.R1, &state.palette.G1, &state.palette.B1};
    *fields[index] = sliders[index]->value();
    BuildAndShowPalette();
    RequestFrame();
}

void TMainForm::TypeOfPaletteChange(int itemIndex) {
    state.palette.PaletteType = itemIndex + 1;
    if (!ApplyPaletteNow) {
        return;
    }
    if (!RenderIdle()) {
        // The table must not change under a running frame: the rebuild follows that frame.
        paletteTypePending_ = true;
        return;
    }
    BuildAndShowPalette();
    RequestFrame();
    RecordHistory();
}

void TMainForm::ApplyPendingPaletteType() {
    if (!paletteTypePending_ || !RenderIdle()) {
        return;
    }
    paletteTypePending_ = false;
    if (ApplyPaletteNow) {
        BuildAndShowPalette();
        RequestFrame();
        RecordHistory();
    }
}

void TMainForm::IsChPaletteClick() {
    HourglassCursor hourglass;
    if (!RenderIdle()) {
        return;  // only the check mark itself changed
    }
    ChPalette->setEnabled(!IsChPalette->isChecked());
    ApplyPaletteNow = IsChPalette->isChecked();
    if (ApplyPaletteNow) {
        CopyPaletteSliders();
        BuildAndShowPalette();
        RequestFrame();
        RecordHistory();
    }
}

void TMainForm::ChPaletteClick() {
    HourglassCursor hourglass;
    if (!RenderIdle()) {
        return;
    }
    CopyPaletteSliders();
    state.palette.PaletteType = TypeOfPalette->currentIndex() + 1;
    BuildAndShowPalette();
    RequestFrame();
    RecordHistory();
}

}  // namespace ombrilo
