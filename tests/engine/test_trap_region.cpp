// The trap region: found where the critical orbit settles on an attracting cycle, absent
// otherwise, and mapped into itself by the reference steps of both point functions, so that an
// orbit started in it never escapes; pictures and exports that lean on it equal the reference.
#include <QtTest>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "engine/export_render.h"
#include "engine/fast_kernels.h"
#include "engine/render.h"
#include "engine/trap_region.h"
#include "support/kernel_pictures.h"

using namespace ombrilo;
using testpictures::ExportBytes;
using testpictures::IndexTable;
using testpictures::Picture;
using testpictures::StateAt;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Squared distance from a disk's centre, in long double (exact for doubles to well below the
// margins the region keeps).
long double SquaredDistance(const TrapRegion& region, int disk, long double x, long double y) {
    const long double dx = x - region.centerX[disk];
    const long double dy = y - region.centerY[disk];
    return dx * dx + dy * dy;
}

// Points spread over disk i: random directions at radii up to just below the disk's edge.
template <typename Real>
std::vector<std::pair<Real, Real>> PointsInDisk(const TrapRegion& region, int disk, int count,
                                                std::mt19937& random) {
    std::uniform_real_distribution<double> angle(0.0, 2.0 * std::numbers::pi);
    std::uniform_real_distribution<double> fraction(0.0, 1.0);
    const double radius = std::sqrt(region.squaredRadius[disk]);
    std::vector<std::pair<Real, Real>> points;
    while (static_cast<int>(points.size()) < count) {
        // Half of the points lie in the outer thousandth of the radius.
        const double r = radius * (points.size() % 2 == 0 ? 0.999 + 0.000999 * fraction(random)
                                                          : fraction(random));
        const double a = angle(random);
        const auto x = static_cast<Real>(region.centerX[disk] + r * std::cos(a));
        const auto y = static_cast<Real>(region.centerY[disk] + r * std::sin(a));
        if (region.Contains(x, y)) {
            points.emplace_back(x, y);
        }
    }
    return points;
}

// Whether the image of every sampled point of every disk lies in the next disk (by exact
// distance, against the next disk's radius before its membership margin).
template <typename Real, typename StepFunction>
bool RegionMapsIntoItself(const TrapRegion& region, StepFunction step, QString* failure) {
    std::mt19937 random(99);
    for (int disk = 0; disk < region.disks; ++disk) {
        const int next = (disk + 1) % region.disks;
        const long double allowed = region.squaredRadius[next] * (1.0L + 0x1p-40L);
        for (const auto& [x, y] : PointsInDisk<Real>(region, disk, 400, random)) {
            const auto [nx, ny] = step(x, y);
            if (!(SquaredDistance(region, next, nx, ny) <= allowed)) {
                *failure = QStringLiteral("disk %1, z = (%2, %3) -> (%4, %5)")
                               .arg(disk)
                               .arg(double{x}, 0, 'g', 17)
                               .arg(double{y}, 0, 'g', 17)
                               .arg(double{nx}, 0, 'g', 17)
                               .arg(double{ny}, 0, 'g', 17);
                return false;
            }
        }
    }
    return true;
}

}  // namespace

class TestTrapRegion : public QObject {
    Q_OBJECT

private slots:
    void cleanupTestCase() { SetSimdEnabledForTests(SimdSupported()); }

    // The start constant's cycle has period 5 and attracts weakly (|multiplier| about 0.97);
    // rabbit and basilica constants have cycles of period 3 and 2, C = 0 the fixed point 0.
    void attractingCyclesGiveARing_data() {
        QTest::addColumn<double>("cx");
        QTest::addColumn<double>("cy");
        QTest::addColumn<int>("period");
        QTest::newRow("start constant") << 0.402 << 0.339 << 5;
        QTest::newRow("rabbit") << -0.123 << 0.745 << 3;
        QTest::newRow("basilica") << -1.0 << 0.0 << 2;
        QTest::newRow("C = 0") << 0.0 << 0.0 << 1;
        QTest::newRow("off the rabbit's centre") << -0.1 << 0.7 << 3;
        QTest::newRow("inside the period-2 disc") << -1.2 << 0.1 << 2;
    }

    void attractingCyclesGiveARing() {
        QFETCH(double, cx);
        QFETCH(double, cy);
        QFETCH(int, period);
        for (const TrapRegion* region : {&ExportTrapRegion(cx, cy), &MainTrapRegion(cx, cy)}) {
            QCOMPARE(region->disks, period);
            for (int i = 0; i < region->disks; ++i) {
                const double radius = std::sqrt(region->squaredRadius[i]);
                QVERIFY(radius > 1e-6);
                QVERIFY(std::hypot(region->centerX[i], region->centerY[i]) + radius <= 1.99);
                QVERIFY(region->Contains(region->centerX[i], region->centerY[i]));
                QVERIFY(!region->Contains(region->centerX[i] + 1.01 * radius, region->centerY[i]));
            }
        }
    }

    // The step at which the orbit of 0 leaves |z| <= 2 (|z| = 2 stays), which decides whether
    // the lanes watch for repeats; 0 when it stays for kCriticalSteps steps.
    void criticalOrbitEscapeCountsItsSteps() {
        QCOMPARE(CriticalOrbitEscape(2.0, 0.0), 2);   // 0, 2, 6
        QCOMPARE(CriticalOrbitEscape(1.0, 0.0), 3);   // 0, 1, 2, 5
        QCOMPARE(CriticalOrbitEscape(-2.0, 0.0), 0);  // 0, -2, 2, 2, ...
        QCOMPARE(CriticalOrbitEscape(0.402, 0.339), 0);
        QCOMPARE(CriticalOrbitEscape(kNaN, 0.0), 1);
        const int nearCusp = CriticalOrbitEscape(0.2501, 0.0);  // about pi / sqrt(1e-4) steps
        QVERIFY2(nearCusp > 250 && nearCusp < 400, qPrintable(QString::number(nearCusp)));
        QCOMPARE(CriticalOrbitEscape(0.25 + 1e-9, 0.0), 0);  // lingers beyond kCriticalSteps
        const int boundary = CriticalOrbitEscape(-0.8, 0.156);
        QVERIFY2(boundary > 200 && boundary < 300, qPrintable(QString::number(boundary)));
        QCOMPARE(CriticalOrbitEscape(2.0, 0.0), 2);  // again, after other constants
    }

    void noAttractingCycleGivesNoRing_data() {
        QTest::addColumn<double>("cx");
        QTest::addColumn<double>("cy");
        QTest::newRow("outside the set, C = 1") << 1.0 << 0.0;
        QTest::newRow("dust, C = 0.5 + 0.5i") << 0.5 << 0.5;
        QTest::newRow("C = -2, critical orbit on a repelling point") << -2.0 << 0.0;
        QTest::newRow("C = i, on a repelling 2-cycle") << 0.0 << 1.0;
        QTest::newRow("C = 1/4, parabolic") << 0.25 << 0.0;
        QTest::newRow("NaN") << kNaN << 0.0;
        QTest::newRow("infinite") << 0.0 << kInf;
        QTest::newRow("huge") << 1e300 << -1e300;
    }

    void noAttractingCycleGivesNoRing() {
        QFETCH(double, cx);
        QFETCH(double, cy);
        QCOMPARE(ExportTrapRegion(cx, cy).disks, 0);
        QCOMPARE(MainTrapRegion(cx, cy).disks, 0);
        QVERIFY(!ExportTrapRegion(cx, cy).Contains(0.0, 0.0));
    }

    // The property the kernels rely on, sampled: each disk's points, stepped by the reference
    // steps, land in the next disk.
    void referenceStepsStayInTheRing_data() { attractingCyclesGiveARing_data(); }

    void referenceStepsStayInTheRing() {
        QFETCH(double, cx);
        QFETCH(double, cy);
        QString failure;
        QVERIFY2(RegionMapsIntoItself<double>(
                     ExportTrapRegion(cx, cy),
                     [&](double x, double y) {
                         const DoublePoint p = ExportIterate(cx, cy, x, y);
                         return std::pair{p.x, p.y};
                     },
                     &failure),
                 qPrintable(failure));
        QVERIFY2(RegionMapsIntoItself<float>(
                     MainTrapRegion(cx, cy),
                     [&](float x, float y) {
                         const FloatPoint p = Z2Iterate(cx, cy, x, y);
                         return std::pair{p.x, p.y};
                     },
                     &failure),
                 qPrintable(failure));
    }

    // Orbits started in the ring never escape, for the reference at the largest limit.
    void orbitsFromTheRingNeverEscape() {
        std::mt19937 random(5);
        const double cx = 0.402;
        const double cy = 0.339;
        const TrapRegion& exportRing = ExportTrapRegion(cx, cy);
        const TrapRegion& mainRing = MainTrapRegion(cx, cy);
        for (int disk = 0; disk < exportRing.disks; ++disk) {
            for (const auto& [x, y] : PointsInDisk<double>(exportRing, disk, 20, random)) {
                QCOMPARE(ExportEscapeIndex(cx, cy, 8190, x, y), 0);
            }
            for (const auto& [x, y] : PointsInDisk<float>(mainRing, disk, 50, random)) {
                QCOMPARE(Z2EscapeIndex(cx, cy, x, y), 0);
            }
        }
    }

    // Constants whose inside orbits reach the ring before they repeat: the fast loops, with and
    // without the lanes, give the reference's pictures and exports, and the lanes report that
    // they used the ring.
    void picturesThatReachTheRingEqualTheReference_data() {
        QTest::addColumn<bool>("lanes");
        QTest::addColumn<double>("cx");
        QTest::addColumn<double>("cy");
        QTest::addColumn<float>("width");
        for (bool lanes : {true, false}) {
            const char* kernel = lanes ? "lanes" : "scalar";
            QTest::addRow("%s, start constant", kernel) << lanes << 0.402 << 0.339 << 3.0f;
            QTest::addRow("%s, off the rabbit's centre", kernel) << lanes << -0.1 << 0.7 << 3.0f;
            QTest::addRow("%s, inside the period-2 disc", kernel) << lanes << -1.2 << 0.1 << 3.5f;
        }
    }

    void picturesThatReachTheRingEqualTheReference() {
        QFETCH(bool, lanes);
        QFETCH(double, cx);
        QFETCH(double, cy);
        QFETCH(float, width);
        if (lanes && !SimdSupported()) {
            QSKIP("no AVX2 with FMA here");
        }
        SetSimdEnabledForTests(lanes);
        ResetKernelCounters();
        const FractalState state = StateAt(cx, cy, 0.0f, 0.0f, width);
        const ViewGeometry view = ScreenGeometry(state, 120, 90);
        Picture fast(120, 90);
        Picture reference(120, 90);
        RenderView(state, view, fast.frame);
        RenderViewReference(state, view, reference.frame);
        QVERIFY(fast.bytes == reference.bytes);

        const ExportView exportView{cx, cy, 0.0f, 0.0f, width};
        const ExportGeometry g = MakeExportGeometry(width, 64, 48, 8190);
        QVERIFY(ExportBytes(RenderExport, exportView, g) ==
                ExportBytes(RenderExportReference, exportView, g));
        if (lanes) {
            QVERIFY(ReadKernelCounters().trapped > 0);
        }
    }
};

QTEST_APPLESS_MAIN(TestTrapRegion)
#include "test_trap_region.moc"
