#include <QtTest>

#include <cmath>
#include <limits>

#include "engine/numeric.h"
#include "engine/point_function.h"

using namespace ombrilo;

namespace {

// Largest real C just above 1/4 for which the orbit of 0 still needs more than `limit`
// iterates to escape: the escape count grows without bound as C approaches 1/4 from above,
// so the count at the found C and at the next double above it bracket the limit.
template <typename Count>
double SearchSlowestEscape(Count count, int wanted) {
    double lo = 0.25;        // never escapes
    double hi = 0.25 + 0.1;  // escapes quickly
    for (int i = 0; i < 200 && std::nextafter(lo, hi) < hi; ++i) {
        const double mid = lo + (hi - lo) / 2;
        const int n = count(mid);
        if (n == 0 || n > wanted) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return hi;
}

}  // namespace

class TestPointFunction : public QObject {
    Q_OBJECT

private slots:
    void knownOrbits_data() {
        QTest::addColumn<double>("cx");
        QTest::addColumn<double>("cy");
        QTest::addColumn<float>("x");
        QTest::addColumn<float>("y");
        QTest::addColumn<int>("index");
        QTest::newRow("origin stays with C = 0") << 0.0 << 0.0 << 0.0f << 0.0f << 0;
        QTest::newRow("start point outside is not tested") << 0.0 << 0.0 << 3.0f << 0.0f << 1;
        QTest::newRow("2 -> 2 with C = -2 lies on the circle") << -2.0 << 0.0 << 2.0f << 0.0f << 1;
        QTest::newRow("1 -> 2 with C = 1") << 1.0 << 0.0 << 1.0f << 0.0f << 1;
        QTest::newRow("1 -> 1 -> ... with C = 0 on the unit circle")
            << 0.0 << 0.0 << 1.0f << 0.0f << 0;
        QTest::newRow("i -> -1 -> 1 with C = 0") << 0.0 << 0.0 << 0.0f << 1.0f << 0;
        QTest::newRow("0 -> 1 -> 2 with C = 1") << 1.0 << 0.0 << 0.0f << 0.0f << 2;
        QTest::newRow("far out escapes at once") << 0.402 << 0.339 << 100.0f << -50.0f << 1;
        QTest::newRow("NaN never escapes")
            << 0.402 << 0.339 << std::numeric_limits<float>::quiet_NaN() << 0.0f << 0;
        // The square of 1e20 overflows to an infinite imaginary part, which counts as escaped.
        QTest::newRow("infinite iterate escapes") << 0.0 << 0.0 << 1e20f << 1e20f << 1;
        // An infinite start point gives NaN in the imaginary part (inf * 0): never escapes.
        QTest::newRow("infinite start point gives NaN")
            << 0.0 << 0.0 << std::numeric_limits<float>::infinity() << 0.0f << 0;
    }

    void knownOrbits() {
        QFETCH(double, cx);
        QFETCH(double, cy);
        QFETCH(float, x);
        QFETCH(float, y);
        QFETCH(int, index);
        QCOMPARE(Z2EscapeIndex(cx, cy, x, y), index);
        // The export's sibling agrees on these exact orbits at every limit.
        for (int limit : {254, 8190}) {
            QCOMPARE(ExportEscapeIndex(cx, cy, limit, x, y), index);
        }
    }

    void startConstant() {
        const double cx = SliderToCoefficient(kSliderCxStart);
        const double cy = SliderToCoefficient(kSliderCyStart);
        QCOMPARE(Z2EscapeIndex(cx, cy, 0.0f, 0.0f), 0);
        QCOMPARE(Z2EscapeIndex(cx, cy, 0.05f, -0.05f), 0);
        const int far = Z2EscapeIndex(cx, cy, 2.4f, 1.9f);
        QVERIFY(far >= 1 && far <= 3);
    }

    void indexNeverExceedsTheLimit() {
        // Just above C = 1/4 the orbit of 0 escapes after arbitrarily many iterates: the
        // function returns 254 at most and 0 for anything slower, never 255.
        auto count = [](double c) { return Z2EscapeIndex(c, 0.0, 0.0f, 0.0f); };
        const double c254 = SearchSlowestEscape(count, 254);
        QCOMPARE(count(c254), 254);
        double slower = std::nextafter(c254, 0.0);
        int n = count(slower);
        while (n != 0) {
            QVERIFY(n >= 254 && n <= MaxIterations);
            slower = std::nextafter(slower, 0.0);
            n = count(slower);
        }
        QCOMPARE(count(0.25), 0);
    }

    void exportLimitBounds() {
        auto count = [](double c) { return ExportEscapeIndex(c, 0.0, 8190, 0.0, 0.0); };
        const double c8190 = SearchSlowestEscape(count, 8190);
        QCOMPARE(count(c8190), 8190);
        // The same C with the smaller limit is inside the set.
        QCOMPARE(ExportEscapeIndex(c8190, 0.0, 8189, 0.0, 0.0), 0);
        QCOMPARE(ExportEscapeIndex(c8190, 0.0, 254, 0.0, 0.0), 0);
        // A limit beyond the table is held to the table.
        QCOMPARE(ExportEscapeIndex(0.25, 0.0, std::numeric_limits<std::int32_t>::max(), 0.0, 0.0),
                 0);
    }

    void floatStepRoundsOnceFromExtended() {
        // x = 1 + 2^-23: x*x = 1 + 2^-22 + 2^-46. With Cx = 255 + 2^-16 - 2^-22 the exact sum
        // is the float midpoint 256 + 2^-16 plus 2^-46. Extended precision keeps the 2^-46, so
        // the float is 256 + 2^-15; a detour through double would land on the midpoint and
        // round to even, 256.
        const float x = 1.0f + std::ldexp(1.0f, -23);
        const double cx = 255.0 + std::ldexp(1.0, -16) - std::ldexp(1.0, -22);
        const FloatPoint next = Z2Iterate(cx, 0.0, x, 0.0f);
        QCOMPARE(next.x, 256.0f + std::ldexp(1.0f, -15));
        QCOMPARE(next.y, 0.0f);
        // The imaginary part: (x*y)*2 + Cy with x = y = 1 + 2^-23 gives 2 + 2^-21 + 2^-45;
        // with Cy = 254 + 2^-16 - 2^-21 the exact value is 256 + 2^-16 + 2^-45.
        const double cy = 254.0 + std::ldexp(1.0, -16) - std::ldexp(1.0, -21);
        QCOMPARE(Z2Iterate(0.0, cy, x, x).y, 256.0f + std::ldexp(1.0f, -15));
    }

    void exportStepKeepsExtendedProducts() {
        // x = 1 + 2^-30: x*x = 1 + 2^-29 + 2^-60 is exact in extended but not in double.
        // With Cx = 2^-53 - 2^-29 the sum is 1 + 2^-53 + 2^-60, just above the double midpoint,
        // so it rounds up to 1 + 2^-52 (plain double arithmetic would give 1).
        const double x = 1.0 + std::ldexp(1.0, -30);
        const double cx = std::ldexp(1.0, -53) - std::ldexp(1.0, -29);
        QCOMPARE(ExportIterate(cx, 0.0, x, 0.0).x, 1.0 + std::ldexp(1.0, -52));
    }

    void saturatingTruncation() {
        QCOMPARE(TruncToInt32(2.9L), 2);
        QCOMPARE(TruncToInt32(-2.9L), -2);
        QCOMPARE(TruncToInt32(std::numeric_limits<long double>::quiet_NaN()), 0);
        QCOMPARE(TruncToInt32(std::numeric_limits<long double>::infinity()),
                 std::numeric_limits<std::int32_t>::max());
        QCOMPARE(TruncToInt32(-std::numeric_limits<long double>::infinity()),
                 std::numeric_limits<std::int32_t>::min());
        QCOMPARE(TruncToInt32(2147483648.0L), std::numeric_limits<std::int32_t>::max());
        QCOMPARE(TruncToInt32(2147483647.5L), std::numeric_limits<std::int32_t>::max());
        QCOMPARE(TruncToInt32(-2147483648.9L), std::numeric_limits<std::int32_t>::min());
        QCOMPARE(TruncToInt64(9.3e18L), std::numeric_limits<std::int64_t>::max());
        QCOMPARE(TruncToInt64(-9.3e18L), std::numeric_limits<std::int64_t>::min());
        QCOMPARE(TruncToInt64(1e18L), static_cast<std::int64_t>(1000000000000000000));
    }
};

QTEST_APPLESS_MAIN(TestPointFunction)
#include "test_point_function.moc"
