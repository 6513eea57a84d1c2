// The main view's fast kernel against the reference, on the AVX-512 and on the AVX2 lanes (where
// the processor has them) and forced onto the scalar kernel: single checked steps, steps built to
// land on or next to a float rounding midpoint, runs of a row, cycles, and whole pictures.
#include <QtTest>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "engine/fast_kernels.h"
#include "engine/render.h"
#include "support/kernel_pictures.h"

using namespace ombrilo;
using testpictures::IndexTable;
using testpictures::Picture;
using testpictures::StateAt;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

bool SameFloat(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

// Steps every state with Z2IterateChecked and Z2Iterate; returns the number of states whose
// results differ in any bit, and records the first one.
int CountStepMismatches(double cx, double cy, const std::vector<float>& x,
                        const std::vector<float>& y, QString* first) {
    std::vector<FloatPoint> next(x.size());
    Z2IterateChecked(cx, cy, x.data(), y.data(), static_cast<int>(x.size()), next.data());
    int mismatches = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const FloatPoint expected = Z2Iterate(cx, cy, x[i], y[i]);
        if (!SameFloat(next[i].x, expected.x) || !SameFloat(next[i].y, expected.y)) {
            if (mismatches++ == 0) {
                *first = QStringLiteral("C = (%1, %2), z = (%3, %4): got (%5, %6), want (%7, %8)")
                             .arg(cx, 0, 'g', 17)
                             .arg(cy, 0, 'g', 17)
                             .arg(double{x[i]}, 0, 'g', 9)
                             .arg(double{y[i]}, 0, 'g', 9)
                             .arg(double{next[i].x}, 0, 'g', 9)
                             .arg(double{next[i].y}, 0, 'g', 9)
                             .arg(double{expected.x}, 0, 'g', 9)
                             .arg(double{expected.y}, 0, 'g', 9);
            }
        }
    }
    return mismatches;
}

// The reference's indices of a row: Z2EscapeIndex at x, x + step, ... by float additions.
std::vector<std::uint8_t> ReferenceRow(double cx, double cy, float x, float step, float y,
                                       int count, float* nextX) {
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(count));
    for (auto& index : indices) {
        index = static_cast<std::uint8_t>(Z2EscapeIndex(cx, cy, x, y));
        x = x + step;
    }
    *nextX = x;
    return indices;
}

std::vector<std::uint8_t> FastRow(double cx, double cy, float x, float step, float y, int count,
                                  float* nextX) {
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(count) + 1, 0xAB);
    *nextX = Z2EscapeRun(cx, cy, x, step, y, count, indices.data());
    if (indices.back() != 0xAB) {
        return {};  // wrote past the run
    }
    indices.pop_back();
    return indices;
}

// A float whose square is a float rounding midpoint: (1 + 2^-12)^2 = 1 + 2^-11 + 2^-24, halfway
// between two floats next to 1 (scaled by powers of two, the square stays a midpoint).
std::vector<float> MidpointRoots() {
    std::vector<float> roots;
    for (int scale = -3; scale <= 0; ++scale) {
        roots.push_back(std::ldexp(1.0f + 0x1p-12f, scale));
        roots.push_back(std::ldexp(1.0f + 3 * 0x1p-12f, scale));
        roots.push_back(-std::ldexp(1.0f + 5 * 0x1p-12f, scale));
    }
    return roots;
}

}  // namespace

class TestSimdKernels : public QObject {
    Q_OBJECT

private slots:
    // Every test runs on each form of the kernel the processor has.
    void initTestCase_data() {
        QTest::addColumn<int>("kernel");
        QTest::newRow("AVX-512 lanes") << static_cast<int>(LaneKernel::Avx512);
        QTest::newRow("AVX2 lanes") << static_cast<int>(LaneKernel::Avx2);
        QTest::newRow("scalar") << static_cast<int>(LaneKernel::Scalar);
    }

    // Runs before any test switches the kernel: OMBRILO_SIMD=0 turns the lanes off, avx2 keeps
    // them at most that wide (CTest runs this program with each and without).
    void initTestCase() {
        const QByteArray chosen = qgetenv("OMBRILO_SIMD");
        const LaneKernel allowed = chosen == "0"      ? LaneKernel::Scalar
                                   : chosen == "avx2" ? LaneKernel::Avx2
                                                      : LaneKernel::Avx512;
        QCOMPARE(ActiveLaneKernel(), std::min(allowed, SupportedLaneKernel()));
        QCOMPARE(SimdEnabled(), ActiveLaneKernel() != LaneKernel::Scalar);
    }

    void init() {
        QFETCH_GLOBAL(int, kernel);
        if (static_cast<LaneKernel>(kernel) > SupportedLaneKernel()) {
            QSKIP("this processor has no such lanes");
        }
        ChooseLaneKernelForTests(static_cast<LaneKernel>(kernel));
        QCOMPARE(ActiveLaneKernel(), static_cast<LaneKernel>(kernel));
    }

    void cleanupTestCase() { SetSimdEnabledForTests(SimdSupported()); }

    void runsUseTheChosenKernel() {
        QFETCH_GLOBAL(int, kernel);
        const bool lanes = kernel != static_cast<int>(LaneKernel::Scalar);
        ResetKernelCounters();
        std::uint8_t indices[64];
        Z2EscapeRun(0.402, 0.339, -2.0f, 0.0625f, 0.1f, 64, indices);
        QCOMPARE(ReadKernelCounters().iterates > 0, lanes);
        // Constants the lanes do not take always go to the scalar kernel.
        ResetKernelCounters();
        Z2EscapeRun(1e-300, 0.339, -2.0f, 0.0625f, 0.1f, 64, indices);
        Z2EscapeRun(0x1p41, 0.0, -2.0f, 0.0625f, 0.1f, 64, indices);
        Z2EscapeRun(std::nan(""), 0.0, -2.0f, 0.0625f, 0.1f, 64, indices);
        QCOMPARE(ReadKernelCounters().iterates, std::uint64_t{0});
    }

    void stepsOfRandomStatesEqualTheReference_data() {
        QTest::addColumn<double>("cx");
        QTest::addColumn<double>("cy");
        QTest::addColumn<int>("minExponent");
        QTest::addColumn<int>("maxExponent");
        QTest::newRow("start C, |z| < 2") << 0.402 << 0.339 << -8 << 1;
        QTest::newRow("C = 0, |z| < 2") << 0.0 << 0.0 << -8 << 1;
        QTest::newRow("C = -1, small states") << -1.0 << 0.0 << -30 << 1;
        QTest::newRow("C = -0, tiny states") << -0.0 << -0.0 << -149 << -100;
        QTest::newRow("subnormal results") << 0x1p-140 << -0x1p-141 << -149 << -70;
        QTest::newRow("largest start points of the lanes") << 1e10 << -3.0 << 30 << 40;
        QTest::newRow("start points beyond the lanes") << 0.5 << 0.5 << 39 << 127;
        QTest::newRow("smallest constant of the lanes") << 0x1p-900 << -0x1p-900 << -20 << 1;
        QTest::newRow("constant too small for the lanes") << 0x1p-901 << 0.25 << -20 << 1;
        QTest::newRow("largest constant of the lanes") << 0x1p40 << -0x1p40 << -4 << 1;
        QTest::newRow("constant too large for the lanes") << 0x1.0000000000001p40 << 0.0 << -4 << 1;
    }

    void stepsOfRandomStatesEqualTheReference() {
        QFETCH(double, cx);
        QFETCH(double, cy);
        QFETCH(int, minExponent);
        QFETCH(int, maxExponent);
        std::mt19937 random(12345);
        std::uniform_int_distribution<int> exponent(minExponent, maxExponent);
        std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
        std::vector<float> x(20000);
        std::vector<float> y(x.size());
        for (std::size_t i = 0; i < x.size(); ++i) {
            x[i] = std::ldexp(mantissa(random), exponent(random));
            y[i] = i % 97 == 0 ? -0.0f : std::ldexp(mantissa(random), exponent(random));
        }
        QString first;
        QCOMPARE(CountStepMismatches(cx, cy, x, y, &first), 0);
    }

    void stepsOfSpecialStatesEqualTheReference() {
        const std::vector<float> values = {0.0f,  -0.0f,     1.0f,       -1.0f,     2.0f,
                                           -2.0f, 0x1p-149f, -0x1p-149f, 0x1p-126f, 0x1.fffffep127f,
                                           kInf,  -kInf,     kNaN,       0x1p40f,   0x1.000002p40f,
                                           0.5f,  1.5f};
        std::vector<float> x;
        std::vector<float> y;
        for (float a : values) {
            for (float b : values) {
                x.push_back(a);
                y.push_back(b);
            }
        }
        for (double c : {0.0, -0.0, -1.0, -2.0, 0.25, 1.0, 0.402, -0x1p-900}) {
            for (double d : {0.0, -0.0, 1.0, -0.339}) {
                QString first;
                QVERIFY2(CountStepMismatches(c, d, x, y, &first) == 0, qPrintable(first));
            }
        }
    }

    // Results exactly on a midpoint between two floats (the reference rounds to even), and next
    // to one on either side, closer than the double's own rounding can tell apart: the checked
    // double step alone cannot decide these, so the guard has to refuse them.
    void stepsAtFloatRoundingMidpointsEqualTheReference() {
        QFETCH_GLOBAL(int, kernel);
        const bool lanes = kernel != static_cast<int>(LaneKernel::Scalar);
        std::vector<float> x;
        std::vector<float> y;
        std::vector<float> halfX;
        std::vector<float> zero;
        for (float root : MidpointRoots()) {
            x.push_back(root);
            y.push_back(0.0f);
            halfX.push_back(root * 0.5f);  // 2 * root * root/2 = root^2: the imaginary part
            zero.push_back(0.0f);
        }
        ResetKernelCounters();
        for (double offset : {0.0, 0x1p-53, -0x1p-53, 0x1p-60, -0x1p-60, 0x1p-66, -0x1p-66, 0x1p-80,
                              -0x1p-80, 0x1p-100, -0x1p-100}) {
            QString first;
            QVERIFY2(CountStepMismatches(offset, 0.0, x, y, &first) == 0, qPrintable(first));
            QVERIFY2(CountStepMismatches(0.0, offset, x, halfX, &first) == 0, qPrintable(first));
            // Both parts on midpoints at once, and the real part a midpoint minus y^2.
            QVERIFY2(CountStepMismatches(offset, offset, x, halfX, &first) == 0, qPrintable(first));
            QVERIFY2(CountStepMismatches(-offset, 0.0, x, zero, &first) == 0, qPrintable(first));
        }
        if (lanes) {
            QVERIFY(ReadKernelCounters().guardFallbacks > 0);
        }
    }

    // Random targets: C chosen so that x*x - y*y + Cx lands on a midpoint, then moved by a few
    // units of its last place. Every tenth target is a power of two, with the midpoint below it
    // in magnitude, where the floats' spacing halves.
    void stepsNearRandomMidpointsEqualTheReference() {
        std::mt19937 random(777);
        std::uniform_real_distribution<float> part(-1.5f, 1.5f);
        std::uniform_int_distribution<int> power(-6, 0);
        int built = 0;
        for (int trial = 0; trial < 3000; ++trial) {
            const float px = part(random);
            const float py = part(random);
            const bool atPower = trial % 10 == 0;
            const float target =
                atPower ? std::ldexp(trial % 20 == 0 ? 1.0f : -1.0f, power(random)) : part(random);
            const float neighbour = std::nextafter(target, atPower ? 0.0f : kInf);
            const long double midpoint = (static_cast<long double>(target) + neighbour) / 2;
            const long double squares =
                static_cast<long double>(px) * px - static_cast<long double>(py) * py;
            const long double product = static_cast<long double>(px) * py * 2;
            double cx = static_cast<double>(midpoint - squares);
            double cy = static_cast<double>(midpoint - product);
            for (int nudge = -3; nudge <= 3; ++nudge) {
                QString first;
                QVERIFY2(CountStepMismatches(cx, cy, {px}, {py}, &first) == 0, qPrintable(first));
                ++built;
                if (nudge < 3) {
                    cx = std::nextafter(cx, nudge < 0 ? -INFINITY : INFINITY);
                    cy = std::nextafter(cy, nudge < 0 ? INFINITY : -INFINITY);
                }
            }
        }
        QCOMPARE(built, 3000 * 7);
    }

    // State and constant so small that a step's own error bound is finer than the 24-bit grid
    // the lanes round on: x*x + Cx = 2^-150 + 2^-196 lies just above the midpoint between 0 and
    // the least float, so the reference rounds it up to 2^-149, while the grid of its binade
    // would round it to 2^-150, a tie the float conversion then takes to 0.
    void stepsIntoTheSubnormalFloatsEqualTheReference() {
        const float x = std::ldexp(1.0f + 0x1p-23f, -75);  // x*x = 2^-150 + 2^-172 + 2^-196
        for (double cy : {0x1p-124, -0x1p-125}) {
            QString first;
            QVERIFY2(CountStepMismatches(-0x1p-172, cy, {x, -x}, {0.0f, -0.0f}, &first) == 0,
                     qPrintable(first));
            QCOMPARE(Z2Iterate(-0x1p-172, cy, x, 0.0f).x, 0x1p-149f);
        }
    }

    // An exact cancellation (x*x - y*y + Cx = 0) is never decided by the bound; the exact
    // operations decide it without the reference step, in whichever lane of a register it
    // falls (points of x = +-1 cancel, points of x = 0.5 pass the bound; eleven points fill
    // the lanes of both widths and part of a next register).
    void exactCancellationNeedsNoReferenceStep() {
        QFETCH_GLOBAL(int, kernel);
        const bool lanes = kernel != static_cast<int>(LaneKernel::Scalar);
        ResetKernelCounters();
        const std::vector<float> x = {-1.0f, 0.5f, 1.0f, 0.5f,  0.5f, -1.0f,
                                      0.5f,  1.0f, 0.5f, -1.0f, 1.0f};
        const std::vector<float> y(x.size(), 0.0f);
        std::vector<FloatPoint> next(x.size());
        Z2IterateChecked(-1.0, 0.0, x.data(), y.data(), static_cast<int>(x.size()), next.data());
        for (std::size_t i = 0; i < x.size(); ++i) {
            QVERIFY(SameFloat(next[i].x, x[i] == 0.5f ? -0.75f : 0.0f));
            QVERIFY(SameFloat(next[i].y, 0.0f));
        }
        QCOMPARE(ReadKernelCounters().guardFallbacks, std::uint64_t{0});
        QCOMPARE(ReadKernelCounters().iterates, std::uint64_t{lanes ? x.size() : 0u});
    }

    void runsOfRandomRowsEqualTheReference() {
        std::mt19937 random(4242);
        std::uniform_real_distribution<double> constant(-1.2, 1.2);
        std::uniform_real_distribution<float> start(-2.5f, 2.5f);
        std::uniform_int_distribution<int> width(0, 300);
        std::uniform_int_distribution<int> scale(-24, 0);
        for (int trial = 0; trial < 120; ++trial) {
            const double cx = constant(random) * 0.8;
            const double cy = constant(random) * 0.8;
            const float x = start(random);
            const float y = start(random) * 0.8f;
            const float step = std::ldexp(start(random), scale(random));
            const int count = width(random);
            float referenceNext = 0.0f;
            float fastNext = 0.0f;
            const auto expected = ReferenceRow(cx, cy, x, step, y, count, &referenceNext);
            const auto got = FastRow(cx, cy, x, step, y, count, &fastNext);
            QVERIFY2(got == expected, qPrintable(QStringLiteral("C = (%1, %2), x = %3, y = %4, "
                                                                "step = %5, count = %6")
                                                     .arg(cx)
                                                     .arg(cy)
                                                     .arg(double{x})
                                                     .arg(double{y})
                                                     .arg(double{step})
                                                     .arg(count)));
            QVERIFY(SameFloat(fastNext, referenceNext));
        }
    }

    // Rows long enough for the boxes' longest spans, across bands, the set's edge and its
    // inside; the lanes decide part of them by boxes.
    void longRowsEqualTheReference() {
        QFETCH_GLOBAL(int, kernel);
        std::mt19937 random(99);
        std::uniform_real_distribution<float> start(-2.5f, 1.0f);
        std::uniform_int_distribution<int> scale(-16, -8);
        ResetKernelCounters();
        for (int trial = 0; trial < 40; ++trial) {
            const double cx = trial % 2 == 0 ? 0.402 : -0.123;
            const double cy = trial % 2 == 0 ? 0.339 : 0.745;
            const float x = start(random);
            const float y = start(random) * 0.5f;
            const float step = std::ldexp(1.0f, scale(random));
            float referenceNext = 0.0f;
            float fastNext = 0.0f;
            const auto expected = ReferenceRow(cx, cy, x, step, y, 1500, &referenceNext);
            QVERIFY(FastRow(cx, cy, x, step, y, 1500, &fastNext) == expected);
        }
        QCOMPARE(ReadKernelCounters().provenPoints > 0,
                 kernel != static_cast<int>(LaneKernel::Scalar));
    }

    void runsOfSpecialRowsEqualTheReference_data() {
        QTest::addColumn<double>("cx");
        QTest::addColumn<double>("cy");
        QTest::addColumn<float>("x");
        QTest::addColumn<float>("step");
        QTest::addColumn<float>("y");
        QTest::addColumn<int>("count");
        QTest::newRow("empty") << 0.402 << 0.339 << 0.0f << 0.01f << 0.0f << 0;
        QTest::newRow("one point") << 0.402 << 0.339 << 0.01f << 0.01f << 0.02f << 1;
        QTest::newRow("a long row") << 0.402 << 0.339 << -2.5f << 5.0f / 4096 << 0.3f << 4096;
        QTest::newRow("starts beyond the lanes among others")
            << 0.402 << 0.339 << -0x1p41f << 0x1p39f << 0.0f << 20;
        QTest::newRow("NaN height") << 0.402 << 0.339 << -1.0f << 0.1f << kNaN << 20;
        QTest::newRow("infinite start") << 0.402 << 0.339 << -kInf << 1.0f << 0.0f << 20;
        QTest::newRow("NaN step") << 0.402 << 0.339 << -1.0f << kNaN << 0.0f << 20;
        QTest::newRow("negative step") << -0.8 << 0.156 << 1.5f << -0.01f << 0.1f << 300;
        QTest::newRow("step below the float resolution")
            << 0.402 << 0.339 << 0.5186f << 1e-9f << 0.2317f << 50;
        QTest::newRow("C = -1, inside and out") << -1.0 << 0.0 << -2.0f << 0.01f << 0.0f << 400;
        QTest::newRow("C = -2 on the real line") << -2.0 << 0.0 << -2.5f << 0.125f << 0.0f << 41;
        QTest::newRow("C = 1/4, parabolic") << 0.25 << 0.0 << -0.6f << 0.003f << 0.01f << 400;
        QTest::newRow("tiny constant") << 0x1p-900 << 0.0 << -1.5f << 0.01f << 0.5f << 300;
    }

    void runsOfSpecialRowsEqualTheReference() {
        QFETCH(double, cx);
        QFETCH(double, cy);
        QFETCH(float, x);
        QFETCH(float, step);
        QFETCH(float, y);
        QFETCH(int, count);
        float referenceNext = 0.0f;
        float fastNext = 0.0f;
        QCOMPARE(FastRow(cx, cy, x, step, y, count, &fastNext),
                 ReferenceRow(cx, cy, x, step, y, count, &referenceNext));
        QVERIFY(SameFloat(fastNext, referenceNext));
    }

    // Single points through the runs (the other lanes idle) and the same point many times side
    // by side.
    void cyclesNeverChangeAnIndex_data() {
        QTest::addColumn<double>("cx");
        QTest::addColumn<double>("cy");
        QTest::addColumn<float>("x");
        QTest::addColumn<float>("y");
        QTest::addColumn<int>("expected");  // -1: whatever the reference gives
        QTest::newRow("settles on 0") << 0.0 << 0.0 << 0.3f << 0.2f << 0;
        QTest::newRow("start point 0 with C = 0") << 0.0 << 0.0 << 0.0f << 0.0f << 0;
        QTest::newRow("2 -> 2 with C = -2 escapes at the first iterate")
            << -2.0 << 0.0 << 2.0f << 0.0f << 1;
        QTest::newRow("-2 -> 2 with C = -2") << -2.0 << 0.0 << -2.0f << 0.0f << 1;
        QTest::newRow("outside start, first iterate tested") << 0.0 << 0.0 << 3.0f << 0.0f << 1;
        QTest::newRow("1 -> 2 with C = 1") << 1.0 << 0.0 << 1.0f << 0.0f << 1;
        QTest::newRow("period 2 with C = -1") << -1.0 << 0.0 << 0.1f << 0.0f << 0;
        QTest::newRow("period 3 with C = -1.7549") << -1.7549 << 0.0 << 0.0f << 0.0f << -1;
        QTest::newRow("period 4 with C = -1.3107") << -1.3107 << 0.0 << 0.0f << 0.0f << -1;
        QTest::newRow("period 8 with C = -1.3815") << -1.3815 << 0.0 << 0.0f << 0.0f << -1;
        QTest::newRow("rabbit, period 3") << -0.123 << 0.745 << 0.0f << 0.0f << -1;
        QTest::newRow("settles slowly near C = 1/4") << 0.2499 << 0.0 << 0.0f << 0.0f << -1;
        QTest::newRow("escapes late above C = 1/4") << 0.2501 << 0.0 << 0.0f << 0.0f << -1;
        QTest::newRow("start C, never settles within the limit")
            << 0.402 << 0.339 << 0.01f << 0.02f << 0;
        QTest::newRow("Siegel disc, never settles")
            << -0.390540870218 << -0.586787907347 << 0.0f << 0.0f << -1;
        QTest::newRow("negative zeros") << -0.0 << -0.0 << -0.0f << -0.0f << 0;
        // The orbit of 0 leaves after about 250 steps: the lanes do not watch for repeats.
        QTest::newRow("no watch, runs to the limit") << -0.8 << 0.156 << 0.9238f << 0.0f << 0;
        QTest::newRow("no watch, escapes late") << -0.8 << 0.156 << 0.9f << 0.01f << 103;
    }

    void cyclesNeverChangeAnIndex() {
        QFETCH(double, cx);
        QFETCH(double, cy);
        QFETCH(float, x);
        QFETCH(float, y);
        QFETCH(int, expected);
        const int reference = Z2EscapeIndex(cx, cy, x, y);
        if (expected >= 0) {
            QCOMPARE(reference, expected);
        }
        std::uint8_t one = 0xAB;
        Z2EscapeRun(cx, cy, x, 0.0f, y, 1, &one);
        QCOMPARE(int{one}, reference);
        std::vector<std::uint8_t> many(29, 0xAB);
        Z2EscapeRun(cx, cy, x, 0.0f, y, 29, many.data());
        QCOMPARE(many, std::vector<std::uint8_t>(29, static_cast<std::uint8_t>(reference)));
        QCOMPARE(Z2EscapeIndexDetecting(cx, cy, x, y), reference);
    }

    // Points whose orbit leaves the disc at the very last tested iterates, found on the real line
    // just above C = 1/4, where the escape takes longer the closer C is to 1/4.
    void latestEscapesKeepTheirIndex() {
        std::vector<int> found(MaxIterations + 1, 0);
        for (int k = 0; k < 4000; ++k) {
            const double cx = 0.25 + 0.000149 + k * 1e-9;
            const int reference = Z2EscapeIndex(cx, 0.0, 0.0f, 0.0f);
            if (reference != 0 && reference < MaxIterations - 3) {
                continue;
            }
            ++found[static_cast<std::size_t>(reference)];
            std::uint8_t one = 0xAB;
            Z2EscapeRun(cx, 0.0, 0.0f, 0.0f, 0.0f, 1, &one);
            QCOMPARE(int{one}, reference);
            std::vector<std::uint8_t> row(7, 0xAB);
            Z2EscapeRun(cx, 0.0, 0.0f, 0.0f, 0.0f, 7, row.data());
            QCOMPARE(row, std::vector<std::uint8_t>(7, static_cast<std::uint8_t>(reference)));
        }
        QVERIFY(found[MaxIterations] > 0);
        QVERIFY(found[MaxIterations - 1] > 0);
        QVERIFY(found[0] > 0);
    }

    void picturesEqualTheReference_data() {
        QTest::addColumn<double>("cx");
        QTest::addColumn<double>("cy");
        QTest::addColumn<float>("centerX");
        QTest::addColumn<float>("centerY");
        QTest::addColumn<float>("width");
        QTest::newRow("start view") << 0.402 << 0.339 << 0.0f << 0.0f << 5.0f;
        QTest::newRow("start C, inside") << 0.402 << 0.339 << 0.0f << 0.0f << 0.05f;
        QTest::newRow("boundary zoom 1e-4") << 0.402 << 0.339 << 0.5186f << 0.2317f << 1e-4f;
        QTest::newRow("boundary zoom 1e-6") << 0.402 << 0.339 << 0.5186f << 0.2317f << 1e-6f;
        QTest::newRow("float resolution") << 0.402 << 0.339 << 0.5186f << 0.2317f << 2e-8f;
        QTest::newRow("C = -1, whole set") << -1.0 << 0.0 << 0.0f << 0.0f << 4.0f;
        QTest::newRow("C = -1, inside") << -1.0 << 0.0 << 0.0f << 0.0f << 0.2f;
        QTest::newRow("C = 0, disc edge") << 0.0 << 0.0 << 1.0f << 0.0f << 0.01f;
        QTest::newRow("C = 1/4, cusp") << 0.25 << 0.0 << 0.5f << 0.0f << 0.02f;
        QTest::newRow("C = -2, segment") << -2.0 << 0.0 << 0.0f << 0.0f << 4.5f;
        QTest::newRow("rabbit") << -0.123 << 0.745 << 0.0f << 0.0f << 3.0f;
        QTest::newRow("huge coordinates") << 0.402 << 0.339 << 1e30f << -1e30f << 1e29f;
        QTest::newRow("tiny coordinates") << 0.0 << 0.0 << 1e-30f << 1e-30f << 1e-35f;
        QTest::newRow("NaN centre") << 0.402 << 0.339 << kNaN << 0.0f << 5.0f;
        QTest::newRow("infinite centre") << 0.402 << 0.339 << kInf << -kInf << 5.0f;
        QTest::newRow("negative width") << -0.8 << 0.156 << 0.0f << 0.0f << -3.0f;
        QTest::newRow("large constant") << 3e5 << -2e5 << 0.0f << 0.0f << 5.0f;
        QTest::newRow("negative zero constant") << -0.0 << -0.0 << 0.0f << 0.0f << 2.0f;
    }

    void picturesEqualTheReference() {
        QFETCH(double, cx);
        QFETCH(double, cy);
        QFETCH(float, centerX);
        QFETCH(float, centerY);
        QFETCH(float, width);
        const FractalState state = StateAt(cx, cy, centerX, centerY, width);
        const ViewGeometry view = ScreenGeometry(state, 96, 70);
        Picture fast(96, 70);
        Picture reference(96, 70);
        RenderView(state, view, fast.frame);
        RenderViewReference(state, view, reference.frame);
        QVERIFY(fast.bytes == reference.bytes);
    }
};

QTEST_APPLESS_MAIN(TestSimdKernels)
#include "test_simd_kernels.moc"
