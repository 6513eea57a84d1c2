// The main view at sizes other than the start size: the layout, the picture, the tools, the
// wheel, the size kept for the next start, the hints and the second shortcuts.
#include <QAction>
#include <QLabel>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QtTest>

#include "mainform_fixture.h"
#include "ui/program_config.h"
#include "view_test_support.h"

using namespace ombrilo;

namespace {

QWidget* Child(const TMainForm& w, const char* name) {
    return w.findChild<QWidget*>(QString::fromLatin1(name));
}

// Grows the window by `extra` and waits for the frame of the new size.
bool Grow(MainFormFixture& f, QSize extra) {
    f.form->resize(f.form->size() + extra);
    const QSize client = QSize(690, 535) + extra;
    return QTest::qWaitFor([&] { return f.form->state.MainWidth == client.width() - 160; }) &&
           f.WaitIdle();
}

}  // namespace

class TestMainFormView : public QObject {
    Q_OBJECT

private slots:
    void theViewTakesTheRoom() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QVERIFY(Grow(f, {200, 100}));
        QCOMPARE(w.state.MainHeight, 509);
        QCOMPARE(w.state.MainStep, MainStepFor(5.0f, 730));
        QCOMPARE(Child(w, "Pic")->geometry(), QRect(46, 0, 730, 509));
        QCOMPARE(Child(w, "Hand")->geometry(), QRect(6, 42, 32, 32));
        QCOMPARE(Child(w, "FullScreenButton")->geometry(), QRect(800, 8, 65, 16));
        QCOMPARE(Child(w, "GroupBox1")->geometry(), QRect(784, 28, 97, 106));
        QCOMPARE(Child(w, "GroupBox2")->geometry(), QRect(784, 142, 97, 220));
        QCOMPARE(Child(w, "CloseButton")->geometry(), QRect(800, 378, 65, 22));
        QCOMPARE(Child(w, "PalBox")->geometry(), QRect(40, 512, 641, 117));
        QCOMPARE(BgrOf(Controls(w).Pic->image()),
                 BgrOf(StraightPicture(w.state, MainViewGeometry(w.state), 730, 509)));
        // Never below the start size.
        w.resize(300, 200);
        QTRY_COMPARE(Child(w, "Client")->size(), QSize(690, 535));
        QTRY_COMPARE(w.state.MainWidth, 530);
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.state.MainStep, BaseStep);
    }

    void toolsUseTheRealSize() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QVERIFY(Grow(f, {200, 100}));
        ImageView* pic = Controls(w).Pic;
        const float step = w.state.MainStep;
        // The zoom tool's middle button centres on the pixel: (0, 0) is the top left corner.
        QTest::keyClick(&w, Qt::Key_L);
        SendMouse(pic, QEvent::MouseButtonPress, Qt::MiddleButton, Qt::MiddleButton, {0, 0});
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.state.CenterX, static_cast<float>(-365.0L * step));
        QCOMPARE(w.state.CenterY, static_cast<float>(254.0L * step));
        // The hand tool moves by the travel.
        QTest::keyClick(&w, Qt::Key_H);
        const FractalState before = w.state;
        Drag(pic, {100, 100}, {110, 103});
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.state.CenterX, static_cast<float>(before.CenterX - 10.0L * step));
        QCOMPARE(w.state.CenterY, static_cast<float>(before.CenterY + 3.0L * step));
        // From-to: 10 pixels left is 10/730 of the width less.
        QTest::keyClick(&w, Qt::Key_A);
        Drag(pic, {100, 100}, {90, 100});
        QVERIFY(f.WaitIdle());
        const float rateX = static_cast<float>(1.0L / 730.0L);
        QCOMPARE(w.state.ViewWidth, static_cast<float>(5.0L - 5.0L * (10.0L * rateX)));
        // Koef: a drag across the view covers the slider's range at the default width.
        QTest::keyClick(&w, Qt::Key_Home);
        QVERIFY(f.WaitIdle());
        QTest::keyClick(&w, Qt::Key_K);
        SendMouse(pic, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, {0, 0});
        QCOMPARE(Probe(w).KoefScaleX, static_cast<float>(4000.0L * step / (730.0L * step)));
        QCOMPARE(Probe(w).KoefScaleY, static_cast<float>(4000.0L * step / (509.0L * step)));
        // The read-out's centre pixel is (365, 254).
        SendMouse(pic, QEvent::MouseMove, Qt::NoButton, Qt::NoButton, {365, 254});
        QCOMPARE(w.statusPanel(0)->text(), QString(" ( X,Y ) =   0   0"));
    }

    void wheelKeepsThePointUnderTheCursor() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        const std::size_t entries = w.history().Count();
        const long double x = MainViewX(w.state, 100);
        const long double y = MainViewY(w.state, 50);
        Wheel(Controls(w).Pic, 120, {100, 50});
        QCOMPARE(w.state.ViewWidth, 3.5f);
        QVERIFY(qAbs(MainViewX(w.state, 100) - x) <= w.state.MainStep);
        QVERIFY(qAbs(MainViewY(w.state, 50) - y) <= w.state.MainStep);
        QVERIFY(f.WaitIdle());
        // A touchpad's small steps add up to a notch; backwards zooms out.
        Wheel(Controls(w).Pic, 50, {100, 50});
        Wheel(Controls(w).Pic, 50, {100, 50});
        QCOMPARE(w.state.ViewWidth, 3.5f);
        Wheel(Controls(w).Pic, 20, {100, 50});
        QCOMPARE(w.state.ViewWidth, static_cast<float>(3.5L - 3.5L * 0.3f));
        QVERIFY(f.WaitIdle());
        Wheel(Controls(w).Pic, -120, {100, 50});
        QVERIFY(f.WaitIdle());
        // One history entry for the whole gesture.
        QTRY_COMPARE(w.history().Count(), entries + 1);
        QTest::qWait(500);
        QCOMPARE(w.history().Count(), entries + 1);
    }

    void notchesDuringAFrameAddUp() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        f.thread().SetHoldForTests(true);
        Controls(w).PlusCx->click();
        QTRY_VERIFY(f.thread().HeldForTests());
        FractalState expected = w.state;
        WheelZoom(expected, 3, 200, 300);
        for (int i = 0; i < 3; ++i) {
            Wheel(Controls(w).Pic, 120, {200, 300});
        }
        QCOMPARE(w.state.ViewWidth, 5.0f);
        const std::uint64_t frames = f.frames();
        f.thread().SetHoldForTests(false);
        QTRY_VERIFY(f.frames() == frames + 2 && w.RenderIdle());
        QCOMPARE(w.state.ViewWidth, expected.ViewWidth);
        QCOMPARE(w.state.ViewWidth, static_cast<float>(5 * 0.7 * 0.7 * 0.7));
        QCOMPARE(w.state.CenterX, expected.CenterX);
        QCOMPARE(w.state.CenterY, expected.CenterY);
        QTest::qWait(100);
        QCOMPARE(f.frames(), frames + 2);  // all three in one frame
    }

    void theSizeIsKeptForTheNextStart() {
        MainFormFixture f;
        QVERIFY(f.Start());
        QVERIFY(Grow(f, {100, 50}));
        f.form->close();
        QCOMPARE(ProgramConfig()->value("MainWindow/ClientWidth").toInt(), 790);
        QVERIFY(f.Start());
        QTRY_COMPARE(Child(*f.form, "Client")->size(), QSize(790, 585));
        QTRY_COMPARE(f.form->state.MainWidth, 630);
        f.form->close();
        // Damaged values give the start size.
        ProgramConfig()->setValue("MainWindow/ClientWidth", "wide");
        ProgramConfig()->setValue("MainWindow/ClientHeight", -5);
        QVERIFY(f.Start());
        QCOMPARE(Child(*f.form, "Client")->size(), QSize(690, 535));
        QCOMPARE(f.form->state.MainWidth, 530);
        ProgramConfig()->remove("MainWindow");
    }

    void longHintsWrapOntoASecondLine() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        const QSize window = w.size();
        const std::uint64_t frames = f.frames();
        const QString hint = Child(w, "To_From")->statusTip();
        QStatusTipEvent tip(hint);
        QApplication::sendEvent(Child(w, "To_From"), &tip);
        QCOMPARE(w.statusPanel(1)->text(), hint);
        QVERIFY(w.statusPanel(1)->wordWrap());
        QCOMPARE(w.statusBar()->height(), 19 + w.statusPanel(1)->fontMetrics().lineSpacing());
        // The views keep their size; a short hint gives the line back.
        QCOMPARE(Child(w, "Client")->size(), QSize(690, 535));
        QStatusTipEvent shortTip(" Закрывает программу (Ctrl+Q)");
        QApplication::sendEvent(Child(w, "CloseButton"), &shortTip);
        QCOMPARE(w.statusBar()->height(), 19);
        QTRY_COMPARE(w.size(), window);
        QCOMPARE(w.state.MainWidth, 530);
        // The view never took the passing sizes: no frame was asked for.
        QTest::qWait(400);
        QCOMPARE(w.state.MainHeight, 409);
        QCOMPARE(f.frames(), frames);
        QVERIFY(w.RenderIdle());
    }

    void desktopShortcutsBesideTheSingleKeys() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        const std::tuple<const char*, QKeySequence, QKeySequence> keys[] = {
            {"OpenFract", Qt::Key_O, Qt::CTRL | Qt::Key_O},
            {"SaveCrntFrct", Qt::SHIFT | Qt::Key_S, Qt::CTRL | Qt::Key_S},
            {"SaveFractal", Qt::Key_S, Qt::CTRL | Qt::SHIFT | Qt::Key_S},
            {"FullScr", Qt::Key_F, Qt::Key_F11},
        };
        for (const auto& [name, first, second] : keys) {
            QCOMPARE(w.action(name)->shortcuts(), (QList<QKeySequence>{first, second}));
        }
        // Before a fractal file is known, Ctrl+S asks for a name.
        QVERIFY(!w.action("SaveCrntFrct")->isEnabled());
        QVERIFY(w.action("SaveNewFractal")->isEnabled());
        QCOMPARE(w.action("SaveNewFractal")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    }
};

QTEST_MAIN(TestMainFormView)
#include "test_mainform_view.moc"
