// A box's verdict on a whole run of points: whenever it gives an index, every point of the run has
// that index by the reference loops of both point functions; escape ties and runs across a band
// stay undecided.
#include <QtTest>

#include <cmath>
#include <random>

#include "engine/point_function.h"
#include "engine/run_proof.h"

using namespace ombrilo;

namespace {

int Verdict(double cx, double cy, const Box& box, const StepErrorModel& model,
            const TrapRegion& (*regionOf)(double, double)) {
    TrapLook trap(regionOf, cx, cy);
    return ProvenEscapeIndex(box, cx, cy, model, 32, trap);
}

struct Tally {
    int escapes = 0;
    int trapped = 0;
};

}  // namespace

class TestRunProof : public QObject {
    Q_OBJECT

private slots:
    // Random constants and runs of consecutive floats (main) or doubles (export), from a few
    // points wide to tens of thousands; every point of a decided run is checked.
    void verdictsHoldForEveryPoint_data() {
        QTest::addColumn<bool>("exportStep");
        QTest::newRow("main window") << false;
        QTest::newRow("export") << true;
    }

    void verdictsHoldForEveryPoint() {
        QFETCH(bool, exportStep);
        std::mt19937 random(exportStep ? 31 : 17);
        std::uniform_real_distribution<double> part(-1.2, 1.2);
        std::uniform_real_distribution<double> start(-2.2, 2.2);
        std::uniform_int_distribution<int> scale(-24, -4);
        std::uniform_int_distribution<int> length(1, 64);
        Tally tally;
        for (int trial = 0; trial < 6000; ++trial) {
            const double cx = part(random) * 0.8;
            const double cy = part(random) * 0.8;
            const int count = length(random);
            const double step = std::ldexp(1.0, scale(random));
            double x = start(random);
            double y = start(random);
            if (!exportStep) {
                x = static_cast<float>(x);
                y = static_cast<float>(y);
            }
            std::vector<double> points;
            for (int i = 0; i < count; ++i) {
                points.push_back(exportStep ? x + i * step : static_cast<float>(x + i * step));
            }
            const int verdict = Verdict(cx, cy, {points.front(), points.back(), y, y},
                                        exportStep ? kExportStepError : kMainStepError,
                                        exportStep ? ExportTrapRegion : MainTrapRegion);
            if (verdict < 0) {
                continue;
            }
            ++(verdict == 0 ? tally.trapped : tally.escapes);
            for (double px : points) {
                const int reference = exportStep ? ExportEscapeIndex(cx, cy, 8190, px, y)
                                                 : Z2EscapeIndex(cx, cy, static_cast<float>(px),
                                                                 static_cast<float>(y));
                QVERIFY2(reference == verdict,
                         qPrintable(QStringLiteral("C = (%1, %2), point (%3, %4): %5, box %6")
                                        .arg(cx, 0, 'g', 17)
                                        .arg(cy, 0, 'g', 17)
                                        .arg(px, 0, 'g', 17)
                                        .arg(y, 0, 'g', 17)
                                        .arg(reference)
                                        .arg(verdict)));
            }
        }
        // Both kinds of verdict were reached, so the checks above ran.
        QVERIFY(tally.escapes > 1000);
        QVERIFY(tally.trapped > 20);
    }

    // |z|^2 = 4 exactly, or a band's edge inside the box, leaves the run to the kernels; a box
    // clearly outside is decided at its first iterate.
    void tiesAndBandEdgesStayUndecided() {
        QCOMPARE(Verdict(-2.0, 0.0, {0.0, 0.0, 0.0, 0.0}, kMainStepError, MainTrapRegion), -1);
        QCOMPARE(Verdict(0.0, 0.0, {1.4142, 1.4143, 0.0, 0.0}, kExportStepError, ExportTrapRegion),
                 -1);
        QCOMPARE(Verdict(0.0, 0.0, {2.0, 2.5, 0.0, 0.1}, kMainStepError, MainTrapRegion), 1);
        QCOMPARE(Z2EscapeIndex(0.0, 0.0, 2.0f, 0.0f), 1);
        // An orbit on the edge of the unit disk for ever: never outside, never trapped.
        QCOMPARE(Verdict(0.0, 0.0, {1.0, 1.0, 0.0, 0.0}, kMainStepError, MainTrapRegion), -1);
    }
};

QTEST_APPLESS_MAIN(TestRunProof)
#include "test_run_proof.moc"
