// The map of C beside the main window: its picture, taking C by mouse and keyboard, looking
// around, the period line, the typed C, and what is kept between runs.

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QWheelEvent>

#include <cmath>

#include "engine/map_render.h"
#include "engine/numeric.h"
#include "mainform_fixture.h"
#include "ui/U_enterc.h"
#include "ui/map/U_mapform.h"
#include "ui/program_config.h"

using namespace ombrilo;

namespace {

// The plane point of map pixel (x, y), by the picture's float loop written out again.
MapPoint ExpectedPoint(const MapView& view, int width, int height, int x, int y) {
    const float step = static_cast<float>(static_cast<long double>(view.width) / width);
    float px = static_cast<float>(view.centerX - static_cast<long double>(width / 2) * step);
    float py = static_cast<float>(view.centerY + static_cast<long double>(height / 2) * step);
    for (int i = 0; i < x; ++i) {
        px += step;
    }
    for (int i = 0; i < y; ++i) {
        py -= step;
    }
    return {px, py};
}

}  // namespace

class TestMapWindow : public QObject {
    Q_OBJECT

    MainFormFixture* fixture_ = nullptr;
    TMainForm* form_ = nullptr;
    TMapForm* map_ = nullptr;
    QWidget* canvas_ = nullptr;

    bool OpenMap() {
        form_->action("ShowMap")->trigger();
        map_ = form_->MapWindow();
        if (map_ == nullptr) {
            return false;
        }
        canvas_ = map_->findChild<QWidget*>("MapPic");
        QSignalSpy shown(map_, &TMapForm::mapShown);
        return map_->isVisible() && (!map_->Picture().isNull() || shown.wait(20000));
    }

    QString Period() const { return map_->findChild<QLabel*>("MapPeriodStatus")->text(); }

private slots:
    void init() {
        ProgramConfig()->clear();
        fixture_ = new MainFormFixture;
        QVERIFY(fixture_->Start());
        form_ = fixture_->form.get();
        QVERIFY(OpenMap());
    }

    void cleanup() {
        delete fixture_;
        fixture_ = nullptr;
    }

    void pictureIsTheStraightforwardLoop() {
        const QImage& picture = map_->Picture();
        const QSize size = map_->PixelSize();
        QCOMPARE(picture.size(), size);
        QImage expected(size, QImage::Format_RGB32);
        expected.fill(0);
        RenderMapReference(
            form_->state.colorTable, MapGeometry(MapView{}, size.width(), size.height()),
            Frame32{expected.bits(), size.width(), size.height(), expected.bytesPerLine()});
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                QCOMPARE(picture.pixel(x, y) & 0xFFFFFFu, expected.pixel(x, y) & 0xFFFFFFu);
            }
        }
    }

    void clickTakesThePixelsPoint() {
        const QSize size = map_->PixelSize();
        const MapPoint point = ExpectedPoint(MapView{}, size.width(), size.height(), 123, 77);
        const std::size_t entries = form_->history().Count();
        const std::uint64_t frames = fixture_->frames();
        QTest::mouseClick(canvas_, Qt::LeftButton, {}, QPoint(123, 77));
        QVERIFY(fixture_->WaitIdle());
        QCOMPARE(form_->state.Cx, static_cast<double>(point.x));
        QCOMPARE(form_->state.Cy, static_cast<double>(point.y));
        const MainControls controls = Controls(*form_);
        QCOMPARE(controls.TrackBarCx->value(), TruncToInt32(form_->state.Cx * 1000.0L));
        QCOMPARE(controls.TrackBarCy->value(), TruncToInt32(form_->state.Cy * 1000.0L));
        QCOMPARE(fixture_->frames(), frames + 1);
        QCOMPARE(form_->history().Count(), entries + 1);
        // The sliders follow the user again afterwards.
        controls.TrackBarCx->setValue(controls.TrackBarCx->value() + 1);
        QVERIFY(fixture_->WaitIdle());
        QCOMPARE(form_->state.Cx, SliderToCoefficient(controls.TrackBarCx->value()));
    }

    void dragWhileBusyAppliesTheRelease() {
        const QSize size = map_->PixelSize();
        QTest::mousePress(canvas_, Qt::LeftButton, {}, QPoint(100, 100));
        QVERIFY(fixture_->WaitIdle());  // the press's own frame
        fixture_->thread().SetHoldForTests(true);
        QTest::mouseMove(canvas_, QPoint(110, 100));  // not yet busy: taken, frame held
        QVERIFY(QTest::qWaitFor([&] { return fixture_->thread().HeldForTests(); }));
        const double held = form_->state.Cx;
        QTest::mouseMove(canvas_, QPoint(120, 100));  // busy: dropped
        QCOMPARE(form_->state.Cx, held);
        QTest::mouseRelease(canvas_, Qt::LeftButton, {}, QPoint(130, 90));
        QCOMPARE(form_->state.Cx, held);
        const std::size_t entries = form_->history().Count();
        fixture_->thread().SetHoldForTests(false);
        const MapPoint release = ExpectedPoint(MapView{}, size.width(), size.height(), 130, 90);
        QVERIFY(QTest::qWaitFor([&] { return form_->state.Cx == release.x; }, 20000));
        QCOMPARE(form_->state.Cy, static_cast<double>(release.y));
        QVERIFY(fixture_->WaitIdle());
        QCOMPARE(form_->history().Count(), entries + 1);
    }

    void keyboardCursorAndEnter() {
        const double cx = form_->state.Cx, cy = form_->state.Cy;
        canvas_->setFocus();
        QTest::keyClick(canvas_, Qt::Key_Right);  // shows the mark on the marker
        const QString shown = map_->findChild<QLabel*>("MapPointStatus")->text();
        QVERIFY(shown.contains("в множестве") || shown.contains("уходит за"));
        QTest::keyClick(canvas_, Qt::Key_Right);
        QTest::keyClick(canvas_, Qt::Key_Down);
        QTest::keyClick(canvas_, Qt::Key_Return);
        QVERIFY(fixture_->WaitIdle());
        // The mark starts on the pixel of C and moved one right, one down.
        const ViewGeometry g = map_->Geometry();
        const int x = static_cast<int>(std::floor((cx - ViewLeft(g)) / g.step + 0.5L)) + 1;
        const int y = static_cast<int>(std::floor((ViewTop(g) - cy) / g.step + 0.5L)) + 1;
        const MapPoint point = map_->PointAt(x, y);
        QCOMPARE(form_->state.Cx, static_cast<double>(point.x));
        QCOMPARE(form_->state.Cy, static_cast<double>(point.y));
    }

    void wheelKeepsThePointUnderTheCursor() {
        const QPoint at(300, 120);
        const MapPoint before = map_->PointAt(at.x(), at.y());
        const float width = map_->view().width;
        QWheelEvent notch(QPointF(at), canvas_->mapToGlobal(QPointF(at)), {}, QPoint(0, 120),
                          Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(canvas_, &notch);
        QCOMPARE(map_->view().width, static_cast<float>(width * 0.7L));
        const MapPoint after = map_->PointAt(at.x(), at.y());
        const float step = map_->Geometry().step;
        QVERIFY(std::fabs(after.x - before.x) <= step);
        QVERIFY(std::fabs(after.y - before.y) <= step);
        // Small touchpad steps add up to one notch.
        for (int i = 0; i < 4; ++i) {
            QWheelEvent part(QPointF(at), canvas_->mapToGlobal(QPointF(at)), {}, QPoint(0, -30),
                             Qt::NoButton, {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(canvas_, &part);
        }
        QCOMPARE(map_->view().width, static_cast<float>(static_cast<float>(width * 0.7L) * 1.3L));
        QTest::keyClick(canvas_, Qt::Key_Home);
        QCOMPARE(map_->view().width, MapView{}.width);
    }

    void zoomStopsWherePixelsWouldMerge() {
        for (int i = 0; i < 200; ++i) {
            map_->ZoomAtCentre(true);
        }
        const QSize size = map_->PixelSize();
        QVERIFY(MapPixelsDistinct(map_->Geometry(), size.width(), size.height()));
        QVERIFY(map_->view().width < 1e-4f);
    }

    void periodOfTheCurrentC() {
        map_->ShowC(0.0, 0.0);
        QCOMPARE(Period(), QString("Притягивающий цикл периода 1"));
        map_->ShowC(-1.0, 0.0);
        QCOMPARE(Period(), QString("Притягивающий цикл периода 2"));
        map_->ShowC(-0.1226, 0.7449);
        QCOMPARE(Period(), QString("Притягивающий цикл периода 3"));
        map_->ShowC(1.0, 1.0);
        QCOMPARE(Period(), QString("Притягивающий цикл не найден"));
        // A slider move reaches the map.
        Controls(*form_).TrackBarCx->setValue(-1000);
        QVERIFY(fixture_->WaitIdle());
        Controls(*form_).TrackBarCy->setValue(0);
        QVERIFY(fixture_->WaitIdle());
        QCOMPARE(Period(), QString("Притягивающий цикл периода 2"));
    }

    void typedC() {
        form_->action("EnterC")->trigger();
        TEnterCForm* dialog = form_->EnterCWindow();
        QVERIFY(dialog != nullptr);
        // The current C in the fewest digits that give it back.
        QCOMPARE(dialog->ReCEdit->text().replace(',', '.'), QString("0.402"));
        dialog->ReCEdit->setText("-0.75");
        dialog->ImCEdit->setText("abc");
        QTest::keyClick(dialog->ImCEdit, Qt::Key_Return);
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->findChild<QLabel*>("ImCError")->isVisible());
        QCOMPARE(form_->state.Cx, 0.402);
        dialog->ImCEdit->setText("0.11");
        QTest::keyClick(dialog->ImCEdit, Qt::Key_Return);
        QVERIFY(fixture_->WaitIdle());
        QCOMPARE(form_->state.Cx, -0.75);
        QCOMPARE(form_->state.Cy, 0.11);
        QCOMPARE(Controls(*form_).TrackBarCx->value(), -750);
        QCOMPARE(Controls(*form_).TrackBarCy->value(), 110);
    }

    void keptBetweenRuns() {
        map_->ZoomAtCentre(true);
        const MapView view = map_->view();
        QVERIFY(TMapForm::WasOpenLastRun());
        map_->close();
        QVERIFY(!TMapForm::WasOpenLastRun());
        QVERIFY(!form_->action("ShowMap")->isChecked());
        TMapForm again(form_);
        QCOMPARE(again.view().width, view.width);
        QCOMPARE(again.view().centerX, view.centerX);
        // Nonsense in the file gives the default view.
        ProgramConfig()->setValue("MapWindow/width", "-nan");
        TMapForm repaired(form_);
        QCOMPARE(repaired.view().width, MapView{}.width);
    }

    void hiddenWhileTheFullScreenShows() {
        form_->action("FullScr")->trigger();
        QVERIFY(!map_->isVisible());
        QVERIFY(form_->FullScreenShown());
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && window->isFullScreen()) {
                QTest::keyClick(window, Qt::Key_Escape);
            }
        }
        QTRY_VERIFY(!form_->FullScreenShown());
        QVERIFY(map_->isVisible());
    }
};

QTEST_MAIN(TestMapWindow)
#include "test_map_window.moc"
