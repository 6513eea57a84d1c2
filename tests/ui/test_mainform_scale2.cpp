// The main window on a screen of scale 2: every picture at the screen's device pixels.
#include <QtTest>

#include "engine/overview_marker.h"
#include "mainform_fixture.h"
#include "view_test_support.h"

using namespace ombrilo;

class TestMainFormScale2 : public QObject {
    Q_OBJECT

private slots:
    void picturesAtDevicePixels() {
        MainFormFixture f;
        QVERIFY(f.Start());
        TMainForm& w = *f.form;
        QCOMPARE(Controls(w).Pic->devicePixelRatioF(), 2.0);
        QCOMPARE(w.state.MainWidth, 1060);
        QCOMPARE(w.state.MainHeight, 818);
        QCOMPARE(w.state.MainStep, MainStepFor(5.0f, 1060));
        // The main view: the straightforward loop at twice the size, once the passes are done.
        const QByteArray main =
            BgrOf(StraightPicture(w.state, MainViewGeometry(w.state), 1060, 818));
        QTRY_VERIFY(f.thread().MainFrameExact() && w.RenderIdle());
        QTRY_COMPARE(BgrOf(Controls(w).Pic->image()), main);
        // Drawn one picture pixel to one device pixel.
        const QImage drawn =
            Controls(w).Pic->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(drawn.size(), QSize(1060, 818));
        QCOMPARE(BgrOf(drawn), main);
        // The overview: the same region with twice the pixels, the marker drawn for them.
        QCOMPARE(w.marker.PictureWidth, 162);
        QCOMPARE(w.marker.FrameX2, 163);
        QImage overview = StraightPicture(w.state, OverviewGeometryOf(w.marker), 162, 130);
        DrawOverviewMarker(w.marker, {overview.bits(), 162, 130, overview.bytesPerLine()});
        QCOMPARE(BgrOf(Controls(w).GeneralView->image()), BgrOf(overview));
        QCOMPARE(Controls(w).PaletteLine->image().size(), QSize(1058, 30));
        // Mouse positions in device pixels: 5 logical pixels are 10 steps.
        QTest::keyClick(&w, Qt::Key_H);
        Drag(Controls(w).Pic, {50, 50}, {55, 50});
        QVERIFY(f.WaitIdle());
        QCOMPARE(w.state.CenterX, static_cast<float>(-10.0L * MainStepFor(5.0f, 1060)));
        QCOMPARE(w.marker.PenWidth, 2);
        // The program's cursors are drawn with two device pixels to a picture pixel.
        QCOMPARE(Controls(w).Pic->cursor().bitmap().size(), QSize(64, 64));
    }
};

int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestMainFormScale2 test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_mainform_scale2.moc"
