// The export's checked FMA kernel against the extended-precision reference, once on the wide
// lanes (where the processor has AVX-512), once on the AVX2 lanes and once forced off: single
// checked steps, steps built to land on or next to a double rounding midpoint, escape indices of
// runs, cycles, hostile inputs and whole export pictures.
#include <QtTest>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/export_fma.h"
#include "engine/export_render.h"
#include "engine/fast_kernels.h"
#include "support/kernel_pictures.h"

using namespace ombrilo;
using testpictures::ExportBytes;
using testpictures::IndexTable;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kSubnormal = std::numeric_limits<double>::denorm_min();

bool SameDouble(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

struct StepTally {
    int steps = 0;
    int taken = 0;                // accepted by the kernel's check
    int mismatches = 0;           // results differing from ExportIterate in any bit
    int scalarDisagreements = 0;  // steps the scalar FMA step takes or computes otherwise
    QString first;
};

void CheckStep(double cx, double cy, double x, double y, StepTally& tally) {
    DoublePoint next{12345.0, 12345.0};
    const bool taken = ExportIterateChecked(cx, cy, x, y, &next);
    const DoublePoint expected = ExportIterate(cx, cy, x, y);
    // The scalar FMA step (for start points the lanes do not take) checks alike.
    if (ExportFmaEnabled() && detail::FmaAcceptsConstant(cx, cy)) {
        DoublePoint scalar{12345.0, 12345.0};
        const bool scalarTaken = detail::ExportStepFma(cx, cy, x, y, &scalar);
        tally.scalarDisagreements +=
            scalarTaken != taken ||
            (taken && (!SameDouble(scalar.x, next.x) || !SameDouble(scalar.y, next.y)));
    }
    ++tally.steps;
    tally.taken += taken;
    if (!SameDouble(next.x, expected.x) || !SameDouble(next.y, expected.y)) {
        if (tally.mismatches++ == 0) {
            tally.first = QStringLiteral("C = (%1, %2), z = (%3, %4): got (%5, %6), want (%7, %8)")
                              .arg(cx, 0, 'g', 17)
                              .arg(cy, 0, 'g', 17)
                              .arg(x, 0, 'g', 17)
                              .arg(y, 0, 'g', 17)
                              .arg(next.x, 0, 'g', 17)
                              .arg(next.y, 0, 'g', 17)
                              .arg(expected.x, 0, 'g', 17)
                              .arg(expected.y, 0, 'g', 17);
        }
    }
}

std::vector<std::int32_t> FastIndices(double cx, double cy, std::int32_t limit,
                                      const std::vector<double>& x, double y) {
    std::vector<std::int32_t> indices(x.size() + 1, -7);
    ExportEscapeRun(cx, cy, limit, x.data(), y, static_cast<int>(x.size()), indices.data());
    if (indices.back() != -7) {
        return {};  // wrote past the run
    }
    indices.pop_back();
    return indices;
}

std::vector<std::int32_t> ReferenceIndices(double cx, double cy, std::int32_t limit,
                                           const std::vector<double>& x, double y) {
    std::vector<std::int32_t> indices;
    for (double px : x) {
        indices.push_back(ExportEscapeIndex(cx, cy, limit, px, y));
    }
    return indices;
}

}  // namespace

class TestExportKernel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() {
        QTest::addColumn<bool>("kernel");
        QTest::addColumn<bool>("wide");
        QTest::newRow("avx-512 lanes") << true << true;
        QTest::newRow("avx2 lanes") << true << false;
        QTest::newRow("reference arithmetic") << false << false;
    }

    // Runs before any test switches the kernel: OMBRILO_SIMD=0 turns it off (CTest runs this
    // program once with it and once without).
    void initTestCase() {
        const bool offByEnvironment = qgetenv("OMBRILO_SIMD") == "0";
        QCOMPARE(ExportFmaEnabled(),
                 SimdSupported() && !offByEnvironment && __builtin_cpu_supports("fma"));
        QCOMPARE(WideLanesEnabled(),
                 ExportFmaEnabled() && WideLanesSupported() && qgetenv("OMBRILO_SIMD") != "avx2");
    }

    void init() {
        QFETCH_GLOBAL(bool, kernel);
        QFETCH_GLOBAL(bool, wide);
        if (kernel && !(SimdSupported() && __builtin_cpu_supports("fma"))) {
            QSKIP("this processor has no AVX2 and FMA");
        }
        if (wide && !WideLanesSupported()) {
            QSKIP("this processor has no AVX-512");
        }
        ChooseLaneKernelForTests(!kernel ? LaneKernel::Scalar
                                 : wide  ? LaneKernel::Avx512
                                         : LaneKernel::Avx2);
        QCOMPARE(ExportFmaEnabled(), kernel);
        QCOMPARE(WideLanesEnabled(), wide);
    }

    void cleanupTestCase() { ChooseLaneKernelForTests(SupportedLaneKernel()); }

    void randomStepsEqualTheReference() {
        QFETCH_GLOBAL(bool, kernel);
        std::mt19937_64 random(20261209);
        std::uniform_real_distribution<double> plane(-2.0, 2.0);
        std::uniform_real_distribution<double> constant(-1.0, 1.0);
        StepTally tally;
        for (int i = 0; i < 200000; ++i) {
            CheckStep(constant(random), constant(random), plane(random), plane(random), tally);
        }
        QVERIFY2(tally.mismatches == 0, qPrintable(tally.first));
        QCOMPARE(tally.scalarDisagreements, 0);
        // The check must not pass merely by refusing: most steps are taken.
        if (kernel) {
            QVERIFY2(tally.taken > tally.steps * 9 / 10, qPrintable(QString::number(tally.taken)));
        } else {
            QCOMPARE(tally.taken, 0);
        }
    }

    // x = 2^s (1 + 2^-27) has x^2 = 4^s (1 + 2^-26 + 2^-54); with C = 4^s (2^-54 + e 2^-70) the
    // real part is exactly a midpoint between two doubles for e = 0, and 2^-70 beside one
    // otherwise, where the extended rounding lands on the midpoint and the double rounding then
    // goes to even, unlike the exact value. 2xy with y = x / 2 is the same square in the
    // imaginary part. Below 1 by 2^-54 lies the midpoint under a power of two, reached there by
    // exact operations only (an exact tie, which both roundings break alike).
    void midpointsGoToTheReference() {
        QFETCH_GLOBAL(bool, kernel);
        StepTally tally;
        int refused = 0;
        int built = 0;
        int exactTiesTaken = 0;
        // Steps whose reference rounds inexactly before its last rounding must be refused; an
        // exact tie (every operation exact up to the last) is taken.
        auto midpointStep = [&](double cx, double cy, double x, double y, bool exactTie = false) {
            const int takenBefore = tally.taken;
            CheckStep(cx, cy, x, y, tally);
            built += !exactTie;
            refused += !exactTie && tally.taken == takenBefore;
            exactTiesTaken += exactTie && tally.taken != takenBefore;
        };
        for (int s = -3; s <= 1; ++s) {
            const double x = std::ldexp(1.0 + 0x1p-27, s);
            for (int e = -3; e <= 3; ++e) {
                const double c = std::ldexp(0x1p-54 + e * 0x1p-70, 2 * s);
                midpointStep(c, 0.0, x, 0.0);
                midpointStep(c, -0.5, -x, 0.0);
                midpointStep(0.3, c, x, x / 2);
                midpointStep(0.3, c, -x / 2, -x);
                midpointStep(std::ldexp(-0x1p-54 + e * 0x1p-70, 2 * s), 0.3, std::ldexp(1.0, s),
                             0.0, e == 0);
                // A few ulps of extended precision further off: taken or not, never wrong.
                for (int far = 1; far <= 8; ++far) {
                    const double off = std::ldexp(0x1p-54 + e * far * 0x1p-63, 2 * s);
                    CheckStep(off, 0.0, x, 0.0, tally);
                    CheckStep(0.0, off, x, x / 2, tally);
                }
            }
        }
        QVERIFY2(tally.mismatches == 0, qPrintable(tally.first));
        QCOMPARE(tally.scalarDisagreements, 0);
        if (kernel) {
            QCOMPARE(refused, built);  // the check sees every midpoint
            QCOMPARE(exactTiesTaken, 5);
        }
        // The very case: 1 + 2^-26 + 2^-53 + 2^-70 goes to 1 + 2^-26 + 2^-52 when rounded once,
        // the reference's two roundings give 1 + 2^-26.
        const double x = 1.0 + 0x1p-27;
        const double c = 0x1p-54 + 0x1p-70;
        DoublePoint next{};
        QVERIFY(!ExportIterateChecked(c, 0.0, x, 0.0, &next));
        QVERIFY(SameDouble(next.x, 1.0 + 0x1p-26));
        QVERIFY(SameDouble(ExportIterate(c, 0.0, x, 0.0).x, 1.0 + 0x1p-26));
    }

    // Real parts within an extended ulp or two of 1 - 2^-54, the midpoint under a power of two,
    // where the gap below is half the gap above: x^2 and y^2 near 2 and 1 carry rounding errors
    // of the reference larger than the distance to the midpoint, so its result falls on either
    // side of the exact one's.
    void midpointsUnderAPowerOfTwo() {
        QFETCH_GLOBAL(bool, kernel);
        const long double mid = 1.0L - 0x1p-54L;
        StepTally tally;
        int below = 0;
        int one = 0;
        for (int i = 0; i < 4000; ++i) {
            const double x = 1.45 + i * 0x1p-30;
            const double y = std::sqrt(x * x - 1.0);
            // C = mid - (x^2 - y^2), nearly exact: aHi - bHi and its distance to mid are exact.
            const double aHi = x * x;
            const double bHi = y * y;
            const long double rest = static_cast<long double>(aHi - bHi) - mid +
                                     std::fma(x, x, -aHi) - std::fma(y, y, -bHi);
            const double cx = static_cast<double>(-rest);
            CheckStep(cx, 0.0, x, y, tally);
            const double reference = ExportIterate(cx, 0.0, x, y).x;
            below += reference == 1.0 - 0x1p-53;
            one += reference == 1.0;
        }
        QVERIFY2(tally.mismatches == 0, qPrintable(tally.first));
        QCOMPARE(tally.scalarDisagreements, 0);
        QVERIFY(below > 100 && one > 100);  // both sides of the midpoint are reached
        if (kernel) {
            QVERIFY(tally.taken < tally.steps / 2);
        }
    }

    void cancellationsAndSignsOfZero() {
        StepTally tally;
        for (double v : {0.5, 1.0, -1.0, 0x1p-399, 1.2345678901234567, -3.0}) {
            CheckStep(0.0, 0.0, v, v, tally);       // x^2 - y^2 = 0
            CheckStep(-v * v, 0.0, v, 0.0, tally);  // x^2 + Cx = 0 when exact
            CheckStep(0.0, -2 * v * v, v, v, tally);
            CheckStep(-0.0, -0.0, v, -0.0, tally);
            CheckStep(-0.0, 0.0, -0.0, v, tally);
        }
        CheckStep(-1.0, 0.0, -1.0, 0.0, tally);
        CheckStep(0.0, 0.0, -0.0, -0.0, tally);
        CheckStep(-0.0, -0.0, 0.0, -0.0, tally);
        QVERIFY2(tally.mismatches == 0, qPrintable(tally.first));
        QCOMPARE(tally.scalarDisagreements, 0);
    }

    void hostileStepsEqualTheReference() {
        const double values[] = {0.0,      -0.0,   kSubnormal, -kSubnormal, 1e-300,   0x1p-400,
                                 0x1p-401, 0x1p40, 0x1p41,     1e300,       -1e300,   1.5,
                                 kNaN,     kInf,   -kInf,      2.0,         0x1p-1022};
        StepTally tally;
        for (double cx : values) {
            for (double cy : {0.0, 0.339, kNaN, 1e-320, 0x1p40, 0x1p-400}) {
                for (double x : values) {
                    for (double y : {0.0, -0.0, 0.7, 1e-200, kInf, 0x1p39}) {
                        CheckStep(cx, cy, x, y, tally);
                    }
                }
            }
        }
        QVERIFY2(tally.mismatches == 0, qPrintable(tally.first));
        QCOMPARE(tally.scalarDisagreements, 0);
    }

    void runsEqualTheReference_data() {
        QTest::addColumn<double>("cx");
        QTest::addColumn<double>("cy");
        QTest::addColumn<int>("limit");
        QTest::newRow("start constant, 254") << 0.402 << 0.339 << 254;
        QTest::newRow("start constant, 8190") << 0.402 << 0.339 << 8190;
        QTest::newRow("rabbit, 2046") << -0.123 << 0.745 << 2046;
        QTest::newRow("Siegel disc, 4094") << -0.390540870218 << -0.586787907347 << 4094;
        QTest::newRow("C = -1, 510") << -1.0 << 0.0 << 510;
        QTest::newRow("dendrite, 1022") << 0.0 << 1.0 << 1022;
        QTest::newRow("C = 0, 254") << 0.0 << 0.0 << 254;
        QTest::newRow("limit 0") << 0.402 << 0.339 << 0;
        QTest::newRow("limit above the table") << 0.402 << 0.339 << 100000;
        QTest::newRow("tiny C") << 1e-200 << -1e-300 << 254;
        QTest::newRow("huge C") << 1e100 << 0.0 << 254;
        QTest::newRow("NaN C") << kNaN << 0.3 << 254;
    }

    void runsEqualTheReference() {
        QFETCH(double, cx);
        QFETCH(double, cy);
        QFETCH(int, limit);
        // A row across the set and its boundary, and one through the middle.
        for (double y : {0.0, 0.2317, -0.61, 1.0}) {
            std::vector<double> x;
            for (double px = -1.6; px < 1.6; px += 0.0137) {
                x.push_back(px);
            }
            QCOMPARE(FastIndices(cx, cy, limit, x, y), ReferenceIndices(cx, cy, limit, x, y));
        }
    }

    void hostileStartPoints() {
        const std::vector<double> x = {0.0,    -0.0,  kSubnormal, 1e-300, 0x1p-400, 0x1p40,
                                       0x1p41, 1e300, -1e300,     kNaN,   kInf,     -kInf,
                                       2.0,    -2.0,  0x1p-1022,  1e-160, 1e20,     1.9999999};
        for (double cx : {0.402, -2.0, 0.0, -1.0}) {
            for (double y : {0.0, -0.0, kSubnormal, 1e-300, 1e300, kNaN, kInf, 0.339}) {
                for (int limit : {0, 1, 254, 8190}) {
                    QCOMPARE(FastIndices(cx, 0.339 * (cx > 0), limit, x, y),
                             ReferenceIndices(cx, 0.339 * (cx > 0), limit, x, y));
                }
            }
        }
    }

    // Runs whose points all leave at the first iterate, of whole registers and with a rest,
    // and one such run with a single point the lanes must still take.
    void runsDecidedAtOnce() {
        for (int count : {1, 8, 13, 40}) {
            std::vector<double> far;
            for (int i = 0; i < count; ++i) {
                far.push_back(3.0 + 0.25 * i);
            }
            std::vector<double> oneNear = far;
            oneNear[static_cast<std::size_t>(count / 2)] = 0.1;
            for (int limit : {0, 1, 254}) {
                QCOMPARE(FastIndices(0.402, 0.339, limit, far, 0.2),
                         ReferenceIndices(0.402, 0.339, limit, far, 0.2));
                QCOMPARE(FastIndices(0.402, 0.339, limit, oneNear, 0.2),
                         ReferenceIndices(0.402, 0.339, limit, oneNear, 0.2));
            }
        }
    }

    // Runs that a box decides as a whole (the rabbit's inside) and runs it cannot, ascending and
    // descending; a run that turns back gets no box.
    void runsDecidedByBoxes() {
        QFETCH_GLOBAL(bool, kernel);
        ResetKernelCounters();
        for (double step : {1e-5, -3e-4, 2e-3}) {
            std::vector<double> x;
            for (int i = 0; i < 700; ++i) {
                x.push_back(step > 0 ? -0.9 + i * step : 1.1 + i * step);
            }
            for (auto [cx, cy, y] : {std::tuple{-0.123, 0.745, 0.05}, {0.402, 0.339, 0.7}}) {
                QCOMPARE(FastIndices(cx, cy, 1022, x, y), ReferenceIndices(cx, cy, 1022, x, y));
            }
        }
        QCOMPARE(ReadKernelCounters().provenPoints > 0, kernel);
        ResetKernelCounters();
        const std::vector<double> turning = {0.01, 0.02, 0.015, 0.03, 0.04, 0.05, 0.06, 0.07};
        QCOMPARE(FastIndices(-0.123, 0.745, 1022, turning, 0.05),
                 ReferenceIndices(-0.123, 0.745, 1022, turning, 0.05));
        QCOMPARE(ReadKernelCounters().provenPoints, std::uint64_t{0});
    }

    // Rows across the inside, the edge and the bands of two sets, with limits the plain steps
    // reach (their points still inside at the limit get 0) and ones they do not; what the plain
    // steps leave is the checked lanes'.
    void plainStepsDecideUpToTheLimit() {
        QFETCH_GLOBAL(bool, kernel);
        std::vector<double> x;
        for (double px = -1.3; px < 1.3; px += 0.00731) {
            x.push_back(px);
        }
        ResetKernelCounters();
        for (auto [cx, cy] : {std::pair{0.402, 0.339}, {-0.123, 0.745}, {-0.75, 0.01}}) {
            for (int limit : {1, 3, 40, 254, 2046}) {
                for (double y : {0.0, 0.11, -0.3}) {
                    QCOMPARE(FastIndices(cx, cy, limit, x, y),
                             ReferenceIndices(cx, cy, limit, x, y));
                }
            }
        }
        QCOMPARE(ReadKernelCounters().plainPoints > 0, kernel);
    }

    // Where the index changes between early iterates the orbit passes |z| = 2 there: points
    // from a unit in the last place to 2^-20 on both sides of such a crossing.
    void earlyEscapesAcrossTheCircle() {
        for (double cy : {0.339, -0.2, 0.0}) {
            for (double y : {0.0, 0.3, -0.71}) {
                auto index = [&](double x) { return ExportEscapeIndex(0.402, cy, 254, x, y); };
                double in = 0.9;
                double out = 1.9;
                QVERIFY(index(in) > index(out));
                while (std::nextafter(in, out) != out) {
                    const double mid = in + (out - in) / 2;
                    (index(mid) == index(in) ? in : out) = mid;
                }
                std::vector<double> x;
                for (int scale : {0, 12, 22, 32}) {
                    for (int j = -6; j <= 6; ++j) {
                        x.push_back(in + std::ldexp((std::nextafter(in, 2.0) - in) * j, scale));
                    }
                }
                QCOMPARE(FastIndices(0.402, cy, 254, x, y), ReferenceIndices(0.402, cy, 254, x, y));
            }
        }
    }

    void lateEscapesAroundTheLimit() {
        // Orbits of 0 just above C = 1/4 escape after nearly every count up to the limit.
        std::vector<double> zero(1, 0.0);
        for (double c = 0.25; c < 0.25001; c += 0.00000011) {
            for (int limit : {254, 8190}) {
                QCOMPARE(FastIndices(c, 0.0, limit, zero, 0.0),
                         ReferenceIndices(c, 0.0, limit, zero, 0.0));
            }
        }
    }

    // From z = 0 the first iterate is C itself: constants on and next to the circle |C| = 2
    // put |z_1|^2 within a few units of 2^-52 of 4, where rounding to double may reach 4 while
    // the extended sum stays below it, or the other way round.
    void escapeTestsOnTheCircle() {
        QFETCH_GLOBAL(bool, kernel);
        ResetKernelCounters();
        const std::vector<double> zero(1, 0.0);
        int escapedAtOnce = 0;
        int cases = 0;
        for (int k = 1; k <= 40; ++k) {
            const double cx = 2.0 - k * 0x1p-52;
            const double onCircle = std::sqrt(4.0 - cx * cx);
            for (int j = -6; j <= 6; ++j) {
                const double cy = onCircle + j * 0x1p-29;
                for (const auto& [a, b] : {std::pair{cx, cy}, std::pair{cy, -cx}}) {
                    const std::vector<std::int32_t> reference =
                        ReferenceIndices(a, b, 254, zero, 0.0);
                    QCOMPARE(FastIndices(a, b, 254, zero, 0.0), reference);
                    escapedAtOnce += reference[0] == 1;
                    ++cases;
                }
            }
        }
        QVERIFY(escapedAtOnce > 0 && escapedAtOnce < cases);
        if (kernel) {
            QVERIFY(ReadKernelCounters().escapeTies > 0);  // the undecided band is reached
        }
    }

    void randomPointsAndConstants() {
        std::mt19937_64 random(8190254);
        std::uniform_real_distribution<double> plane(-2.0, 2.0);
        std::uniform_real_distribution<double> constant(-1.0, 1.0);
        for (int i = 0; i < 60; ++i) {
            const double cx = constant(random);
            const double cy = constant(random);
            std::vector<double> x;
            for (int j = 0; j < 40; ++j) {
                x.push_back(plane(random));
            }
            const double y = plane(random);
            const int limit = i % 3 == 0 ? 4094 : 254 + 256 * (i % 4);
            QCOMPARE(FastIndices(cx, cy, limit, x, y), ReferenceIndices(cx, cy, limit, x, y));
        }
    }

    // Constants on and just beside the parabolic edges of the cardioid (e^it / 2 - e^2it / 4)
    // and of the period-2 disk (|C + 1| = 1/4): orbits approach their cycle slowly, closest to
    // the trap region's thinnest parts.
    void parabolicEdges() {
        std::vector<std::pair<double, double>> constants = {{0.25, 0.0},
                                                            {0.25 + 0x1p-40, 0.0},
                                                            {0.25 - 1e-7, 1e-9},
                                                            {-0.75, 0.0},
                                                            {-0.75 - 1e-8, 1e-8}};
        for (double t : {0.7, 2.0943951023931953, 2.5}) {
            constants.emplace_back(std::cos(t) / 2 - std::cos(2 * t) / 4,
                                   std::sin(t) / 2 - std::sin(2 * t) / 4);
            constants.emplace_back(-1.0 + std::cos(t) / 4, std::sin(t) / 4 + 1e-10);
        }
        StepTally tally;
        for (const auto& [cx, cy] : constants) {
            for (double y : {0.0, 0.1, -0.37}) {
                std::vector<double> x;
                for (double px = -1.5; px < 1.5; px += 0.0731) {
                    x.push_back(px);
                    CheckStep(cx, cy, px, y, tally);
                }
                QCOMPARE(FastIndices(cx, cy, 8190, x, y), ReferenceIndices(cx, cy, 8190, x, y));
            }
        }
        QVERIFY2(tally.mismatches == 0, qPrintable(tally.first));
        QCOMPARE(tally.scalarDisagreements, 0);
    }

    // Near the diagonal x = y, x^2 - y^2 cancels and many first steps are refused; with C = 0.4 +
    // 3i they land far out, so the lanes keep their index without the reference step. Points
    // with |z|^2 above |Cx| + |Cy| + 2.5 get index 1 before the lanes see them.
    void farOutsideNeedsNoReferenceSteps() {
        QFETCH_GLOBAL(bool, kernel);
        std::vector<double> x;
        for (double px = 1.69; px < 1.71; px += 0.00000731) {
            x.push_back(px);
        }
        for (double px : {-1e12, 90.0, 2.5, -2.9, 1.9}) {
            x.push_back(px);
        }
        ResetKernelCounters();
        QCOMPARE(FastIndices(0.4, 3.0, 254, x, 1.7), ReferenceIndices(0.4, 3.0, 254, x, 1.7));
        QCOMPARE(FastIndices(0.4, 3.0, 0, x, 1.7), ReferenceIndices(0.4, 3.0, 0, x, 1.7));
        const KernelCounters counters = ReadKernelCounters();
        if (kernel) {
            QVERIFY(counters.detailedChecks > x.size() / 100);
            QCOMPARE(counters.guardFallbacks, std::uint64_t{0});
        }
    }

    void kernelCountsItsWork() {
        QFETCH_GLOBAL(bool, kernel);
        ResetKernelCounters();
        std::vector<double> x;
        for (double px = -1.0; px < 1.0; px += 0.05) {
            x.push_back(px);
        }
        const std::vector<std::int32_t> indices = FastIndices(0.402, 0.339, 1022, x, 0.1);
        const KernelCounters counters = ReadKernelCounters();
        if (kernel) {
            // Each escaping point took exactly its index in iterates; the points inside took
            // some until they repeated or reached the trap region.
            std::uint64_t escaping = 0;
            int inside = 0;
            for (std::int32_t index : indices) {
                escaping += static_cast<std::uint64_t>(index);
                inside += index == 0;
            }
            QVERIFY(inside > 0);
            QVERIFY(counters.iterates > escaping + static_cast<std::uint64_t>(inside));
            QVERIFY(counters.trapped > 0);
            QVERIFY(counters.guardFallbacks < counters.iterates / 10);
            // Every step sent to the reference was first refused by the error bound, which
            // decides most steps.
            QVERIFY(counters.guardFallbacks <= counters.detailedChecks);
            QVERIFY(counters.detailedChecks < counters.iterates / 10);
        } else {
            QCOMPARE(counters.iterates, std::uint64_t{0});
        }
    }

    void exportsEqualTheReference_data() {
        QTest::addColumn<double>("cx");
        QTest::addColumn<double>("cy");
        QTest::addColumn<float>("centerX");
        QTest::addColumn<float>("centerY");
        QTest::addColumn<float>("width");
        QTest::addColumn<int>("pixelsWide");
        QTest::addColumn<int>("limit");
        QTest::newRow("start view") << 0.402 << 0.339 << 0.0f << 0.0f << 5.0f << 160 << 1022;
        QTest::newRow("start view, wider than a chunk")
            << 0.402 << 0.339 << 0.0f << 0.0f << 5.0f << 300 << 254;
        QTest::newRow("boundary zoom 1e-4")
            << 0.402 << 0.339 << 0.5186f << 0.2317f << 1e-4f << 48 << 8190;
        QTest::newRow("boundary zoom 1e-6")
            << -0.123 << 0.745 << 0.3577f << 0.1413f << 1e-6f << 40 << 4094;
        QTest::newRow("float resolution")
            << 0.402 << 0.339 << 0.5186f << 0.2317f << 1e-7f << 32 << 2046;
        QTest::newRow("tiny coordinates") << 0.0 << 0.0 << 1e-30f << 1e-30f << 1e-35f << 16 << 254;
        QTest::newRow("huge coordinates")
            << 0.402 << 0.339 << 1e30f << -1e30f << 1e29f << 16 << 254;
        QTest::newRow("far outside, across the diagonal")
            << 0.402 << 0.339 << 100.0f << 100.0f << 20.0f << 64 << 254;
        // Parabolic edges, where orbits crawl and the trap region is thinnest.
        QTest::newRow("C = 1/4 + 1e-9") << 0.25 + 1e-9 << 0.0 << 0.1f << 0.0f << 1.0f << 32 << 8190;
        QTest::newRow("C = -3/4 + 1e-9 i") << -0.75 << 1e-9 << 0.0f << 0.0f << 2.5f << 32 << 4094;
    }

    void exportsEqualTheReference() {
        QFETCH(double, cx);
        QFETCH(double, cy);
        QFETCH(float, centerX);
        QFETCH(float, centerY);
        QFETCH(float, width);
        QFETCH(int, pixelsWide);
        QFETCH(int, limit);
        const ExportView view{cx, cy, centerX, centerY, width};
        const ExportGeometry g = MakeExportGeometry(width, pixelsWide, pixelsWide * 3 / 4, limit);
        const std::vector<std::uint8_t> fast = ExportBytes(RenderExport, view, g);
        QCOMPARE(fast.size(), static_cast<std::size_t>(g.WidthPixels * g.HeightPixels * 3));
        QVERIFY(fast == ExportBytes(RenderExportReference, view, g));
    }
};

QTEST_APPLESS_MAIN(TestExportKernel)
#include "test_export_kernel.moc"
