#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolButton>
#include <QtTest>

#include <cstring>
#include <functional>

#include "engine/overview_marker.h"
#include "engine/render.h"
#include "formats/fractal_file.h"
#include "formats/settings_file.h"
#include "mainform_fixture.h"
#include "support/test_files.h"
#include "ui/image_view.h"
#include "view_test_support.h"

using namespace ombrilo;

namespace {

QImage Reference(const FractalState& state, const ViewGeometry& view, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(0);
    RenderView(state, view, {image.bits(), width, height, image.bytesPerLine()});
    return image;
}

// Mouse events are sent directly: QTest would move a press at (0, 0) to the widget's centre.
void SendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held,
               QPoint at) {
    QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void Press(QWidget* widget, Qt::MouseButton button, QPoint at) {
    SendMouse(widget, QEvent::MouseButtonPress, button, button, at);
}

void Release(QWidget* widget, Qt::MouseButton button, QPoint at) {
    SendMouse(widget, QEvent::MouseButtonRelease, button, Qt::NoButton, at);
}

void Move(QWidget* widget, Qt::MouseButtons held, QPoint at) {
    SendMouse(widget, QEvent::MouseMove, Qt::NoButton, held, at);
}

void Click(QWidget* widget, Qt::MouseButton button, int x, int y) {
    Press(widget, button, {x, y});
    Release(widget, button, {x, y});
}

void Drag(QWidget* widget, Qt::MouseButton button, QPoint from, QPoint to) {
    Press(widget, button, from);
    Move(widget, button, to);
}

// A sweep clock driven by the test: every tick handles the pending events, then tells the test
// its number.
class TestClock : public SweepClock {
public:
    std::function<void(int)> onTick;
    int ticks = 0;

    void Start() override {}
    void WaitForTick() override {
        ++ticks;
        QCoreApplication::processEvents();
        if (onTick) {
            onTick(ticks);
        }
    }
};

TestClock& UseTestClock(TMainForm& w) {
    auto clock = std::make_unique<TestClock>();
    TestClock& kept = *clock;
    w.SetSweepClock(std::move(clock));
    return kept;
}

}  // namespace

class TestMainForm : public QObject {
    Q_OBJECT

private slots:
    void startState() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QCOMPARE(w.windowTitle(), QString("Ombrilo 1.02"));
        QCOMPARE(w.centralWidget()->width(), 690);
        QCOMPARE(w.centralWidget()->height() + w.statusBar()->height(), 554);
        QCOMPARE(w.state.Cx, 0.402);
        QCOMPARE(w.state.Cy, 0.339);
        QCOMPARE(Controls(w).E_cx->text(), QString("0.402"));
        QCOMPARE(Controls(w).E_cy->text(), QString("0.339"));
        QCOMPARE(Controls(w).TrackBarCx->value(), 402);
        QCOMPARE(Controls(w).TrackBarCy->value(), 339);
        QCOMPARE(w.state.ViewWidth, 5.0f);
        QCOMPARE(w.state.MainStep, BaseStep);
        QVERIFY(w.state.palette == Palette{});
        QCOMPARE(Controls(w).TypeOfPalette->currentText(), QString("LLL"));
        QCOMPARE(Controls(w).TypeOfPalette->count(), 8);
        QCOMPARE(w.statusPanel(0)->text(), QString(" ( X,Y ) =   "));
        QCOMPARE(w.statusPanel(0)->width(), 160);
        QVERIFY(!w.action("SaveCrntFrct")->isEnabled());
        QCOMPARE(w.action("SaveCrntFrct")->text(), QString("С&охранить"));
        QVERIFY(w.action("FractalN1")->isChecked());
        QVERIFY(!w.action("FractalN2")->isVisible());
        QVERIFY(Controls(w).IsChPalette->isChecked());
        QVERIFY(!Controls(w).ChPalette->isEnabled());
        QCOMPARE(Probe(w).MouseTool, 0);
        QVERIFY(Probe(w).MouseArmed);
        QVERIFY(Probe(w).LoadPaletteWithFractal);
        QCOMPARE(Probe(w).FractalsFolder, f.folder.path() + "/fractals");
        QCOMPARE(Probe(w).PalettesFolder, f.folder.path() + "/paletts");
    }

    void layoutAndNames() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        struct Expected {
            const char* name;
            QRect geometry;
        };
        const Expected controls[] = {
            {"Pic", {46, 0, 530, 409}},          {"DefButton", {6, 8, 32, 32}},
            {"Hand", {6, 42, 32, 32}},           {"Center", {6, 76, 32, 32}},
            {"Lupa", {6, 110, 32, 32}},          {"LupaPlus", {6, 144, 32, 32}},
            {"LupaMinus", {6, 178, 32, 32}},     {"Koef", {6, 212, 32, 32}},
            {"To_From", {6, 246, 32, 32}},       {"FullScreenButton", {600, 8, 65, 16}},
            {"CloseButton", {600, 378, 65, 22}}, {"PalBox", {40, 412, 641, 117}},
            {"GeneralView", {8, 17, 81, 65}},    {"E_cx", {10, 32, 65, 17}},
            {"PlusCx", {75, 32, 12, 8}},         {"MinusCx", {75, 40, 12, 9}},
            {"TrackBarCx", {5, 50, 87, 23}},     {"DownCx", {13, 74, 22, 22}},
            {"StopCx", {38, 74, 22, 22}},        {"UpCx", {63, 74, 22, 22}},
            {"E_cy", {10, 120, 65, 17}},         {"TrackBarCy", {5, 138, 87, 23}},
            {"UpCy", {63, 162, 22, 22}},         {"PaletteLine", {8, 96, 529, 15}},
        };
        for (const Expected& c : controls) {
            auto* widget = w.findChild<QWidget*>(c.name);
            QVERIFY2(widget != nullptr, c.name);
            QCOMPARE(widget->geometry(), c.geometry);
        }
        QCOMPARE(w.findChild<QSlider*>("TrackBarR0")->maximum(), 100);
        QCOMPARE(w.findChild<QSlider*>("TrackBarR0")->tickInterval(), 4);
        QCOMPARE(w.findChild<QSlider*>("TrackBarB1")->maximum(), 40);
        QCOMPARE(w.findChild<QSlider*>("TrackBarB1")->tickInterval(), 2);
        QCOMPARE(Controls(w).TrackBarCx->minimum(), -2000);
        QCOMPARE(Controls(w).TrackBarCx->maximum(), 2000);
        QCOMPARE(Controls(w).TrackBarCx->tickInterval(), 400);
        // Menu captions in order.
        QStringList menus;
        for (QAction* a : w.menuBar()->actions()) {
            menus << a->text();
        }
        QCOMPARE(menus, (QStringList{"&Файл", "Ф&рактал", "&Вид", "О&пции", "&Справка"}));
        QStringList file;
        for (QAction* a : w.menuBar()->actions().first()->menu()->actions()) {
            file << a->text();
        }
        QCOMPARE(file, (QStringList{"&Открыть фрактал..", "С&охранить", "&Сохранить фрактал..",
                                    "Отк&рыть палитру..", "Со&хранить палитру..",
                                    "Сохранить &как..", "", "&Выйти"}));
        const std::pair<const char*, QKeySequence> keys[] = {
            {"OpenFract", Qt::Key_O},
            {"SaveCrntFrct", Qt::SHIFT | Qt::Key_S},
            {"SaveFractal", Qt::Key_S},
            {"OpenPalette", Qt::Key_P},
            {"SavePalette", Qt::Key_W},
            {"SaveImage", Qt::Key_F7},
            {"CloseApp", Qt::CTRL | Qt::Key_Q},
            {"FullScr", Qt::Key_F},
            {"SlideShow", Qt::Key_F10},
            {"Descript", Qt::Key_F1},
            {"DefaultPar", Qt::Key_Home},
            {"HandTool", Qt::Key_H},
            {"ToCur", Qt::Key_C},
            {"Zoom", Qt::Key_L},
            {"KoefScr", Qt::Key_K},
            {"FromTo", Qt::Key_A},
        };
        for (const auto& [name, key] : keys) {
            QVERIFY2(w.action(name) != nullptr, name);
            QCOMPARE(w.action(name)->shortcut(), key);
        }
        // Hints live in the status bar, not in tool tips.
        QCOMPARE(w.findChild<QWidget*>("LupaPlus")->statusTip(),
                 QString(" Увеличивает изображение на 30%  (+) "));
        QVERIFY(w.findChild<QWidget*>("LupaPlus")->toolTip().isEmpty());
    }

    void firstFrameIsTheEngineReference() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        const FractalState start = MakeStartState();
        const QImage main = Reference(start, MainViewGeometry(start), 530, 409);
        QCOMPARE(BgrOf(Controls(w).Pic->image()), BgrOf(main));
        QImage overview = Reference(start, OverviewGeometry(), 81, 65);
        OverviewMarker reset;
        ResetOverviewMarker(reset);
        DrawOverviewMarker(reset, {overview.bits(), 81, 65, overview.bytesPerLine()});
        QCOMPARE(BgrOf(Controls(w).GeneralView->image()), BgrOf(overview));
        // The palette strip shows the table: column c shows entry trunc(c * 256 / 529).
        const QImage strip = Controls(w).PaletteLine->image();
        QCOMPARE(strip.size(), QSize(529, 15));
        for (int c : {0, 1, 100, 528}) {
            const int k = static_cast<int>(c * (256.0f / 529.0f));
            const std::uint8_t* e = w.state.colorTable.Entry(k);
            QCOMPARE(strip.pixel(c, 7), qRgb(e[2], e[1], e[0]));
        }
    }

    void toolKeys() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        const std::pair<Qt::Key, int> tools[] = {{Qt::Key_L, ZoomTool},
                                                 {Qt::Key_C, CenterTool},
                                                 {Qt::Key_H, HandToolId},
                                                 {Qt::Key_A, FromToTool},
                                                 {Qt::Key_K, KoefTool}};
        for (const auto& [key, tool] : tools) {
            QTest::keyClick(&w, key);
            QCOMPARE(Probe(w).MouseTool, tool);
        }
        QTest::keyClick(&w, Qt::Key_L);
        QCOMPARE(Controls(w).Pic->statusTip(),
                 QString(" Нажатие левой клавиши мыши увеличивает изображение с центрированием, "
                         "правой - уменьшает"));
    }

    void zoomKeysIgnoreModifiers() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        const float w0 = w.state.ViewWidth;
        QTest::keyClick(&w, Qt::Key_Plus, Qt::KeypadModifier);
        QVERIFY(f.WaitIdle());
        const float in = static_cast<float>(w0 - static_cast<long double>(w0) * 0.3f);
        QCOMPARE(w.state.ViewWidth, in);
        QCOMPARE(w.state.MainStep, MainStepFor(in));
        QTest::keyClick(&w, Qt::Key_Minus, Qt::ShiftModifier);
        QVERIFY(f.WaitIdle());
        const float out = static_cast<float>(in + static_cast<long double>(in) * 0.3f);
        QCOMPARE(w.state.ViewWidth, out);
        QTest::keyClick(&w, Qt::Key_Equal, Qt::ControlModifier);
        QVERIFY(f.WaitIdle());
        QVERIFY(w.state.ViewWidth < out);
        QTest::keyClick(&w, Qt::Key_Home);
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.state.ViewWidth, 5.0f);
        QCOMPARE(w.marker.FrameX1, -1);
    }

    void commandsIgnoredWhileAFrameIsComputed() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        f.thread().SetHoldForTests(true);
        QTest::keyClick(&w, Qt::Key_Plus);  // accepted: starts a frame that is held
        QTRY_VERIFY(f.thread().HeldForTests());
        QVERIFY(!w.RenderIdle());
        const float width = w.state.ViewWidth;
        for (Qt::Key key : {Qt::Key_L, Qt::Key_C, Qt::Key_H, Qt::Key_A, Qt::Key_Home, Qt::Key_Plus,
                            Qt::Key_Minus, Qt::Key_F}) {
            QTest::keyClick(&w, key);
        }
        QCOMPARE(Probe(w).MouseTool, KoefTool);
        QCOMPARE(w.state.ViewWidth, width);
        QVERIFY(!w.FullScreenShown());
        QCOMPARE(Controls(w).FullScreenButton->text(), QString("Full Screen"));
        // A slider moved meanwhile keeps its position, C keeps its value.
        Controls(w).TrackBarCx->setValue(500);
        QCOMPARE(w.state.Cx, 0.402);
        QCOMPARE(Controls(w).E_cx->text(), QString("0.402"));
        // Unticking "Применять" changes only the mark.
        Controls(w).IsChPalette->click();
        QVERIFY(Probe(w).ApplyPaletteNow);
        QVERIFY(!Controls(w).ChPalette->isEnabled());
        f.thread().SetHoldForTests(false);
        QVERIFY(f.WaitIdle());
        QTest::keyClick(&w, Qt::Key_L);
        QCOMPARE(Probe(w).MouseTool, ZoomTool);
    }

    void zoomTool() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QTest::keyClick(&w, Qt::Key_L);
        Click(Controls(w).Pic, Qt::LeftButton, 265, 204);
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.state.CenterX, 0.0f);
        QCOMPARE(w.state.CenterY, 0.0f);
        QCOMPARE(w.state.ViewWidth, 3.5f);
        // The marker is now a visible red frame.
        QVERIFY(w.marker.MarkerIsFrame);
        QCOMPARE(w.marker.PenColor, kMarkerFrameColor);
        QVERIFY(w.marker.FrameX1 > 0 && w.marker.FrameX2 < 80);
        // Right then left at the centre: 1.3 x 0.7 = 0.91 of the width.
        Click(Controls(w).Pic, Qt::RightButton, 265, 204);
        QVERIFY(f.WaitIdle());
        Click(Controls(w).Pic, Qt::LeftButton, 265, 204);
        QVERIFY(f.WaitIdle());
        const long double grown = 3.5f + 3.5L * 0.3f;
        const float g = static_cast<float>(grown);
        QCOMPARE(w.state.ViewWidth, static_cast<float>(g - static_cast<long double>(g) * 0.3f));
        QVERIFY(qAbs(w.state.ViewWidth - 3.5f * 0.91f) < 1e-5f);
        // A click at (0, 0) centres on the old top left corner.
        const float step = w.state.MainStep;
        Click(Controls(w).Pic, Qt::MiddleButton, 0, 0);
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.state.CenterX, static_cast<float>(-265.0L * step));
        QCOMPARE(w.state.CenterY, static_cast<float>(204.0L * step));
        QCOMPARE(w.state.MainStep, step);  // the middle button only re-centres
    }

    void markerTurnsIntoACross() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        while (w.state.MainStep > MarkerThreshold) {
            QTest::keyClick(&w, Qt::Key_Plus);
            QVERIFY(f.WaitIdle());
        }
        QVERIFY(w.state.ViewWidth <= 0.2121f);
        QVERIFY(!w.marker.MarkerIsFrame);
        QCOMPARE(w.marker.PenWidth, 2);
        QCOMPARE(w.marker.PenColor, kMarkerCrossColor);
        QCOMPARE(w.marker.CrossX, 40);
        QCOMPARE(w.marker.CrossY, 32);
        // The cross reaches the overview on screen: aqua pixels 2..6 off the centre.
        const QImage overview = Controls(w).GeneralView->image();
        QCOMPARE(overview.pixel(36, 28) & 0xFFFFFF, 0x00FFFFu);
        QTest::keyClick(&w, Qt::Key_Minus);
        QVERIFY(f.WaitIdle());
        QVERIFY(w.marker.MarkerIsFrame);
    }

    void koefTool() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QCOMPARE(Probe(w).KoefScaleX, static_cast<float>(4000.0L / 530.0L));
        QCOMPARE(Probe(w).KoefScaleY, static_cast<float>(4000.0L / 409.0L));
        Drag(Controls(w).Pic, Qt::LeftButton, {100, 100}, {200, 100});
        QCOMPARE(Controls(w).TrackBarCx->value(), 1156);
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.state.Cx, 1156 * 0.001);
        QCOMPARE(Controls(w).E_cx->text(), QString("1.156"));
        Release(Controls(w).Pic, Qt::LeftButton, {200, 100});
        Controls(w).TrackBarCx->setValue(402);
        QVERIFY(f.WaitIdle());
        Drag(Controls(w).Pic, Qt::LeftButton, {100, 100}, {365, 100});
        QCOMPARE(Controls(w).TrackBarCx->value(), 2000);
        QVERIFY(f.WaitIdle());
        Release(Controls(w).Pic, Qt::LeftButton, {365, 100});
        // Upwards raises Im(C).
        const int cy = Controls(w).TrackBarCy->value();
        Drag(Controls(w).Pic, Qt::RightButton, {100, 100}, {100, 90});
        QCOMPARE(Controls(w).TrackBarCy->value(), cy + static_cast<int>(10 * Probe(w).KoefScaleY));
        QVERIFY(f.WaitIdle());
    }

    void handTool() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QTest::keyClick(&w, Qt::Key_H);
        Drag(Controls(w).Pic, Qt::LeftButton, {100, 100}, {110, 100});
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.state.CenterX, static_cast<float>(-10.0L * BaseStep));
        QCOMPARE(w.state.CenterY, 0.0f);
        QCOMPARE(w.state.ViewWidth, 5.0f);
    }

    void fromToKeepsTheWidthPositive() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QTest::keyClick(&w, Qt::Key_A);
        // 600 pixels down in one accepted move would take the width below zero.
        Drag(Controls(w).Pic, Qt::LeftButton, {0, 0}, {0, 2000});
        QVERIFY(f.WaitIdle());
        QVERIFY(w.state.ViewWidth > 0.0f);
        QCOMPARE(w.state.ViewWidth, 5.0f);
        // A small move down zooms in by the vertical rate.
        Move(Controls(w).Pic, Qt::LeftButton, {0, 2010});
        QVERIFY(f.WaitIdle());
        const float rate = static_cast<float>(0.3f * (1.0L / 409.0L));
        QCOMPARE(w.state.ViewWidth, static_cast<float>(5.0L - 5.0L * (10.0L * rate)));
    }

    void overviewCentres() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        Click(Controls(w).GeneralView, Qt::RightButton, 50, 20);
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.state.CenterX, static_cast<float>(10.0L * OverviewStep));
        QCOMPARE(w.state.CenterY, static_cast<float>(12.0L * OverviewStep));
        QCOMPARE(w.state.ViewWidth, 5.0f);
        // A disarmed mouse only re-arms.
        Probe(w).MouseArmed = false;
        Click(Controls(w).GeneralView, Qt::LeftButton, 40, 32);
        QVERIFY(f.WaitIdle());
        QVERIFY(Probe(w).MouseArmed);
        QCOMPARE(w.state.CenterX, static_cast<float>(10.0L * OverviewStep));
    }

    void coordinateReadout() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        Move(Controls(w).Pic, Qt::NoButton, {265, 204});
        QCOMPARE(w.statusPanel(0)->text(), QString(" ( X,Y ) =   0   0"));
        Move(Controls(w).GeneralView, Qt::NoButton, {0, 0});
        QCOMPARE(w.statusPanel(0)->text(), QString(" ( X,Y ) =   -2.47   1.98"));
        // Moves while a frame is computed still update the read-out; nothing else happens.
        f.thread().SetHoldForTests(true);
        QTest::keyClick(&w, Qt::Key_Plus);
        QTRY_VERIFY(f.thread().HeldForTests());
        Move(Controls(w).Pic, Qt::LeftButton, {0, 408});
        QCOMPARE(w.statusPanel(0)->text(), QString(" ( X,Y ) =   -1.75   -1.35"));
        f.thread().SetHoldForTests(false);
        QVERIFY(f.WaitIdle());
        // The hint of the control under the mouse goes to panel 1.
        QStatusTipEvent tip(Controls(w).Pic->statusTip());
        QApplication::sendEvent(Controls(w).Pic, &tip);
        QCOMPARE(w.statusPanel(1)->text(), Controls(w).Pic->statusTip());
    }

    void paletteBox() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        Controls(w).TrackBarR0->setValue(50);
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.state.palette.R0, 50);
        QCOMPARE(int(w.state.colorTable.Entry(0)[2]), 50);
        // With "Применять" off the sliders and the type wait for "Применить" or U.
        Controls(w).IsChPalette->click();
        QVERIFY(f.WaitIdle());
        QVERIFY(!Probe(w).ApplyPaletteNow);
        QVERIFY(Controls(w).ChPalette->isEnabled());
        const std::uint64_t frames = f.frames();
        Controls(w).TrackBarG0->setValue(70);
        Controls(w).TypeOfPalette->setCurrentIndex(1);
        emit Controls(w).TypeOfPalette->activated(1);
        QCOMPARE(w.state.palette.G0, 16);
        QCOMPARE(w.state.palette.PaletteType, 2);
        QCOMPARE(f.frames(), frames);
        QTest::keyClick(&w, Qt::Key_U);
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.state.palette.G0, 70);
        ColorTable expected;
        BuildColorTable({2, 50, 70, 12, 26, 18, 8}, expected);
        QVERIFY(w.state.colorTable == expected);
        // U also works with "Применять" ticked and the button disabled.
        Controls(w).IsChPalette->click();
        QVERIFY(f.WaitIdle());
        QVERIFY(!Controls(w).ChPalette->isEnabled());
        Controls(w).TrackBarB1->blockSignals(true);
        Controls(w).TrackBarB1->setValue(33);
        Controls(w).TrackBarB1->blockSignals(false);
        QTest::keyClick(&w, Qt::Key_U);
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.state.palette.B1, 33);
    }

    void paletteTypeDuringAFrameFollowsIt() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        f.thread().SetHoldForTests(true);
        QTest::keyClick(&w, Qt::Key_Plus);
        QTRY_VERIFY(f.thread().HeldForTests());
        const ColorTable before = w.state.colorTable;
        Controls(w).TypeOfPalette->setCurrentIndex(1);
        emit Controls(w).TypeOfPalette->activated(1);
        QVERIFY(w.state.colorTable == before);  // not under the running frame
        f.thread().SetHoldForTests(false);
        QTRY_VERIFY(!(w.state.colorTable == before));
        QVERIFY(f.WaitIdle());
        ColorTable sine;
        BuildColorTable({2, 36, 16, 12, 26, 18, 8}, sine);
        QVERIFY(w.state.colorTable == sine);
    }

    void stepButtons() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        Controls(w).PlusCx->click();
        QVERIFY(f.WaitIdle());
        QCOMPARE(Controls(w).E_cx->text(), QString("0.403"));
        Controls(w).MinusCy->click();
        QVERIFY(f.WaitIdle());
        QCOMPARE(Controls(w).E_cy->text(), QString("0.338"));
        Controls(w).TrackBarCx->setValue(2000);
        QVERIFY(f.WaitIdle());
        QCOMPARE(Controls(w).E_cx->text(), QString("2"));
        const std::uint64_t frames = f.frames();
        Controls(w).PlusCx->click();
        QCOMPARE(Controls(w).TrackBarCx->value(), 2000);
        QTest::qWait(50);
        QCOMPARE(f.frames(), frames);
        QVERIFY(w.RenderIdle());
        Controls(w).TrackBarCy->setValue(-1);
        QVERIFY(f.WaitIdle());
        QCOMPARE(Controls(w).E_cy->text(), QString("-0.001"));
    }

    void animationReversesAtTheEnd() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        Controls(w).TrackBarCx->setValue(2000);
        QVERIFY(f.WaitIdle());
        bool checked = false;
        QTimer::singleShot(100, &w, [&] {
            // UpCx at the maximum runs down at speed 1.
            checked = Probe(w).AnimRe.RunningDown && !Probe(w).AnimRe.RunningUp &&
                      Probe(w).AnimRe.DownSpeed == 1 && Controls(w).TrackBarCx->value() < 2000;
            Controls(w).StopCx->click();
        });
        Controls(w).UpCx->click();
        QVERIFY(checked);
        QVERIFY(!Probe(w).AnimRe.RunningUp && !Probe(w).AnimRe.RunningDown);
        QCOMPARE(Probe(w).AnimRe.UpSpeed, 1);
        QCOMPARE(Probe(w).AnimRe.DownSpeed, 1);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Controls(w).TrackBarCx));
    }

    void animationSpeedsUpAndTurnsAtTheClampedEnd() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        Controls(w).TrackBarCx->setValue(1995);
        QVERIFY(f.WaitIdle());
        int speedAfterThree = 0;
        bool turnedAtSpeedThree = false;
        int seenAtTurn = 0;
        QTimer::singleShot(0, &w, [&] {
            // Two more presses while the sweep runs: speed 3.
            Probe(w).AnimRe.StopRequested = false;
            Controls(w).UpCx->click();
            Controls(w).UpCx->click();
            speedAfterThree = Probe(w).AnimRe.UpSpeed;
        });
        auto* watch = new QTimer(&w);
        connect(watch, &QTimer::timeout, &w, [&] {
            if (Probe(w).AnimRe.RunningDown && !turnedAtSpeedThree) {
                turnedAtSpeedThree = Probe(w).AnimRe.DownSpeed == 3;
                seenAtTurn = Controls(w).TrackBarCx->value();
                Controls(w).StopCx->click();
            }
        });
        watch->start(1);
        Controls(w).TrackBarCx->setValue(1995);
        Controls(w).UpCx->click();
        watch->stop();
        QCOMPARE(speedAfterThree, 3);
        QVERIFY(turnedAtSpeedThree);
        QVERIFY(seenAtTurn <= 2000);
        QVERIFY((2000 - seenAtTurn) % 3 == 0);
    }

    void downReversesAtSpeedOne() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QList<int> downSpeeds;
        QTimer::singleShot(0, &w, [&] {
            Controls(w).UpCx->click();
            Controls(w).UpCx->click();
            QTimer::singleShot(0, &w, [&] {
                downSpeeds << Probe(w).AnimRe.DownSpeed << int(Probe(w).AnimRe.RunningUp);
                Controls(w).StopCy->click();
            });
            Controls(w).DownCx->click();  // reverses: runs its own sweep until stopped
        });
        Controls(w).UpCx->click();
        QCOMPARE(downSpeeds, (QList<int>{1, 0}));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Controls(w).TrackBarCy));
        QCOMPARE(Probe(w).AnimRe.UpSpeed, 1);
    }

    void otherCoordinateStopsTheSweep() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        bool reStopped = false;
        QTimer::singleShot(0, &w, [&] {
            QTimer::singleShot(0, &w, [&] {
                reStopped = !Probe(w).AnimRe.RunningUp && Probe(w).AnimIm.RunningUp;
                Controls(w).StopCy->click();
            });
            Controls(w).UpCy->click();
        });
        Controls(w).UpCx->click();
        QVERIFY(reStopped);
    }

    void closingDuringASweep() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QTimer::singleShot(50, &w, [&] { QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier); });
        Controls(w).UpCy->click();  // returns once the close has stopped the sweep
        QVERIFY(!w.isVisible());
        QVERIFY(Probe(w).AnimIm.StopRequested);
        QVERIFY(!Probe(w).AnimIm.RunningUp);
    }

    void sweepMovesBySpeedPerTick() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        TestClock& clock = UseTestClock(w);
        // Speed 1: one unit (0.001 of C) per tick; stopped in the 101st tick's wait.
        clock.onTick = [&](int tick) {
            if (tick == 101) {
                Controls(w).StopCx->click();
            }
        };
        Controls(w).UpCx->click();
        QCOMPARE(Controls(w).TrackBarCx->value(), 502);
        // Speed 3 from 1995: clamped at 2000, then down at the same speed until stopped.
        Controls(w).TrackBarCx->setValue(1995);
        QVERIFY(f.WaitIdle());
        clock.ticks = 0;
        QList<int> seen;
        clock.onTick = [&](int tick) {
            seen << Controls(w).TrackBarCx->value();
            if (tick == 1) {
                Controls(w).UpCx->click();
                Controls(w).UpCx->click();
            } else if (tick == 5) {
                Controls(w).StopCy->click();
            }
        };
        Controls(w).UpCx->click();
        QCOMPARE(seen, (QList<int>{1995, 1998, 2000, 1997, 1994}));
        QCOMPARE(Probe(w).AnimRe.DownSpeed, 1);
    }

    void longCoefficientsShowTheirStart() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        w.state.Cx = -0.3905408702184;
        w.state.Cy = -0.5867879073470;
        w.SetSlidersFromState();  // as after opening a fractal
        QCOMPARE(Controls(w).E_cx->text(), QString("-0.3905408702184"));
        for (QLineEdit* text : {Controls(w).E_cx, Controls(w).E_cy}) {
            QCOMPARE(text->cursorPosition(), 0);
            QVERIFY(text->inputMethodQuery(Qt::ImCursorRectangle).toRect().left() < 8);
        }
    }

    void backAndForward() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QStringList view;
        for (const QAction* a : w.menuBar()->actions().at(2)->menu()->actions()) {
            view << a->text();
        }
        QCOMPARE(view,
                 (QStringList{"&Назад", "&Вперёд", "", "&Полный экран", "&Слайд-Шоу", "&Карта C"}));
        QVERIFY(!w.action("HistoryBack")->isEnabled());
        QTest::keyClick(&w, Qt::Key_Plus);
        QVERIFY(f.WaitIdle());
        const float zoomed = w.state.ViewWidth;
        Controls(w).PlusCx->click();
        QVERIFY(f.WaitIdle());
        Controls(w).TypeOfPalette->setCurrentIndex(2);
        emit Controls(w).TypeOfPalette->activated(2);
        QVERIFY(f.WaitIdle());
        QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(f.WaitIdle());
        QCOMPARE(Controls(w).TypeOfPalette->currentIndex(), 0);
        QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(f.WaitIdle());
        QCOMPARE(Controls(w).TrackBarCx->value(), 402);
        QCOMPARE(Controls(w).E_cx->text(), QString("0.402"));
        QCOMPARE(w.state.MainStep, MainStepFor(zoomed));
        QCOMPARE(BgrOf(Controls(w).Pic->image()),
                 BgrOf(Reference(w.state, MainViewGeometry(w.state), 530, 409)));
        QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.state.ViewWidth, 5.0f);
        QVERIFY(!w.action("HistoryBack")->isEnabled());
        QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(f.WaitIdle());
        QTest::keyClick(&w, Qt::Key_Y, Qt::ControlModifier);
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.state.Cx, 0.403);
        // A new action after going back drops the states ahead.
        QTest::keyClick(&w, Qt::Key_Home);
        QVERIFY(f.WaitIdle());
        QVERIFY(!w.action("HistoryForward")->isEnabled());
        QCOMPARE(w.history().Count(), std::size_t{4});
    }

    void historyTakesDragsAndSweepsAndWaitsForIdle() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QTest::keyClick(&w, Qt::Key_H);
        Drag(Controls(w).Pic, Qt::LeftButton, {100, 100}, {110, 100});
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.history().Count(), std::size_t{1});  // taken when the button is released
        Release(Controls(w).Pic, Qt::LeftButton, {110, 100});
        QCOMPARE(w.history().Count(), std::size_t{2});
        UseTestClock(w).onTick = [&](int tick) {
            QVERIFY(f.WaitIdle());
            if (tick == 4) {
                Controls(w).StopCx->click();
            }
        };
        Controls(w).UpCx->click();
        QCOMPARE(w.history().Current().Cx, 0.405);
        f.thread().SetHoldForTests(true);
        QTest::keyClick(&w, Qt::Key_Minus);
        QTRY_VERIFY(f.thread().HeldForTests());
        QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
        f.thread().SetHoldForTests(false);
        QVERIFY(f.WaitIdle());
        Probe(w).BrowserShown = true;
        w.HistoryBackExecute();
        Probe(w).BrowserShown = false;
        // Nor from inside a slide show, which shows other states in the live one.
        QVERIFY(QDir().mkpath(Probe(w).FractalsFolder));
        QVERIFY(WriteFractalFile((Probe(w).FractalsFolder + "/a.frc").toStdString(), w.state));
        f.dialogs.onExec = [&](QDialog&) {
            w.HistoryBackExecute();
            return int(QDialog::Rejected);
        };
        w.action("SlideShow")->trigger();
        QCOMPARE(f.dialogs.execs, QStringList{"SlideForm"});
        QCOMPARE(w.history().CurrentIndex(), std::size_t{3});
        w.HistoryBackExecute();
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.state.ViewWidth, 5.0f);
        QCOMPARE(w.state.Cx, 0.405);
    }

    void loadedCoefficientsKeepTheirPrecision() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        w.state.Cx = 0.40237;
        w.state.Cy = 0.1;
        w.SetSlidersFromState();
        QCOMPARE(Controls(w).TrackBarCx->value(), 402);
        QCOMPARE(Controls(w).TrackBarCy->value(), 100);
        QCOMPARE(w.state.Cx, 0.40237);
        QCOMPARE(Controls(w).E_cx->text(), QString("0.40237"));
        w.RequestFrame();
        QVERIFY(f.WaitIdle());
        Controls(w).PlusCx->click();
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.state.Cx, 403 * 0.001);
    }

    void fractalTypeResetsTheView() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QTest::keyClick(&w, Qt::Key_Plus);
        QVERIFY(f.WaitIdle());
        Controls(w).TrackBarCx->setValue(100);
        QVERIFY(f.WaitIdle());
        w.action("FractalN1")->trigger();
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.state.ViewWidth, 5.0f);
        QCOMPARE(w.state.MainStep, BaseStep);
        QCOMPARE(w.state.Cx, 0.1);
        QVERIFY(w.action("FractalN1")->isChecked());
    }
};

QTEST_MAIN(TestMainForm)
#include "test_mainform.moc"
