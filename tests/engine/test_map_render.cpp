#include <QtTest>

#include <bit>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "engine/fast_kernels.h"
#include "engine/map_kernels.h"
#include "engine/map_render.h"
#include "support/kernel_pictures.h"

using namespace ombrilo;
using testpictures::IndexTable;
using testpictures::Picture;

namespace {

// The lane forms this processor runs, narrowest first.
std::vector<LaneKernel> KernelsHere() {
    std::vector<LaneKernel> kernels{LaneKernel::Scalar};
    if (SupportedLaneKernel() >= LaneKernel::Avx2) {
        kernels.push_back(LaneKernel::Avx2);
    }
    if (SupportedLaneKernel() == LaneKernel::Avx512) {
        kernels.push_back(LaneKernel::Avx512);
    }
    return kernels;
}

// RenderMap and RenderMapRows24 (rows one byte apart, which it must not touch) against the
// reference, with every lane form; the failing form in *failed.
bool SameMap(const ViewGeometry& g, int width, int height, QString* failed) {
    static const ColorTable table = IndexTable();
    Picture reference(width, height);
    RenderMapReference(table, g, reference.frame);
    for (LaneKernel kernel : KernelsHere()) {
        ChooseLaneKernelForTests(kernel);
        Picture fast(width, height);
        RenderMap(table, g, fast.frame);
        std::vector<std::uint8_t> rows24(static_cast<std::size_t>(width * 3 + 1) * height, 0xEE);
        RenderMapRows24(table, g, 0, {rows24.data(), width, height, width * 3 + 1});
        bool same = fast.bytes == reference.bytes;
        for (int r = 0; same && r < height; ++r) {
            for (int c = 0; c < width; ++c) {
                same = same &&
                       std::memcmp(&rows24[static_cast<std::size_t>(r * (width * 3 + 1) + c * 3)],
                                   reference.frame.Row(r) + 4 * c, 3) == 0;
            }
            same =
                same && rows24[static_cast<std::size_t>(r * (width * 3 + 1) + width * 3)] == 0xEE;
        }
        if (!same) {
            *failed = QString("lane form %1").arg(static_cast<int>(kernel));
            ChooseLaneKernelForTests(LaneKernel::Avx512);
            return false;
        }
    }
    ChooseLaneKernelForTests(LaneKernel::Avx512);
    return true;
}

}  // namespace

class TestMapRender : public QObject {
    Q_OBJECT

private slots:
    void geometryAndIndex();
    void fastFormsMatchReference_data();
    void fastFormsMatchReference();
    void randomViewsMatchReference();
    void bandsAndOddSizes();
    void pixelsDistinct();
    void cyclePeriods();
    void checkedStepIsReferenceStep();
    void trapOnlyInside();
};

void TestMapRender::geometryAndIndex() {
    const ViewGeometry g = MapGeometry(MapView{}, 530, 409);
    QCOMPARE(g.centerX, -0.6f);
    QCOMPARE(g.centerY, 0.0f);
    QCOMPARE(g.step, static_cast<float>(3.4L / 530));
    QCOMPARE(g.halfWidth, 265);
    QCOMPARE(g.halfHeight, 204);
    // The step is the float nearest to the extended quotient, not the float quotient.
    QCOMPARE(MapGeometry({0.0f, 0.0f, 1.0f}, 3, 2).step, static_cast<float>(1.0L / 3));
    // 0 stays (index 0), 1 leaves at z_2 = 2, 2 and -2 at z_1 (|z| = 2 counts as out), -1 and
    // i reach a cycle.
    QCOMPARE(MapEscapeIndex(0.0f, 0.0f), 0);
    QCOMPARE(MapEscapeIndex(1.0f, 0.0f), 2);
    QCOMPARE(MapEscapeIndex(2.0f, 0.0f), 1);
    QCOMPARE(MapEscapeIndex(-2.0f, 0.0f), 1);
    QCOMPARE(MapEscapeIndex(-1.0f, 0.0f), 0);
    QCOMPARE(MapEscapeIndex(0.0f, 1.0f), 0);
    QCOMPARE(MapEscapeIndex(0.3f, 0.0f), Z2EscapeIndex(0.3f, 0.0f, 0.0f, 0.0f));
    for (float x : {0.0f, -0.0f, 1.0f, -2.0f, 0.26f, -0.75f, 0.25f, 1e30f,
                    std::numeric_limits<float>::infinity(), std::nanf("")}) {
        QCOMPARE(MapEscapeIndexDetecting(x, 0.1f), MapEscapeIndex(x, 0.1f));
        QCOMPARE(MapEscapeIndexDetecting(x, -0.0f), MapEscapeIndex(x, -0.0f));
    }
}

void TestMapRender::fastFormsMatchReference_data() {
    QTest::addColumn<float>("cx");
    QTest::addColumn<float>("cy");
    QTest::addColumn<float>("width");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::newRow("default map") << -0.6f << 0.0f << 3.4f << 530 << 409;
    QTest::newRow("boundary") << -0.7454f << 0.1130f << 0.01f << 300 << 200;
    QTest::newRow("deep zoom") << -0.743643887f << 0.131825904f << 2e-6f << 160 << 120;
    QTest::newRow("inside cardioid") << -0.2f << 0.1f << 0.05f << 120 << 90;
    QTest::newRow("outside") << 1.5f << 1.5f << 1.0f << 100 << 80;
    QTest::newRow("huge and tiny") << 0.0f << 0.0f << 3e38f << 64 << 48;
    QTest::newRow("real axis, -0 centre") << -0.0f << -0.0f << 4.0f << 65 << 3;
    QTest::newRow("one pixel") << -1.0f << 0.0f << 1.0f << 1 << 1;
}

void TestMapRender::fastFormsMatchReference() {
    QFETCH(float, cx);
    QFETCH(float, cy);
    QFETCH(float, width);
    QFETCH(int, w);
    QFETCH(int, h);
    QString failed;
    QVERIFY2(SameMap(MapGeometry({cx, cy, width}, w, h), w, h, &failed), qPrintable(failed));
}

void TestMapRender::randomViewsMatchReference() {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<float> centre(-2.0f, 1.0f);
    std::uniform_real_distribution<float> exponent(-18.0f, 2.0f);
    for (int k = 0; k < 24; ++k) {
        const MapView view{centre(random), centre(random) + 0.5f, std::exp2(exponent(random))};
        const ViewGeometry g = MapGeometry(view, 97, 61);
        QString failed;
        QVERIFY2(SameMap(g, 97, 61, &failed), qPrintable(QString("%1 at %2 %3 %4")
                                                             .arg(failed)
                                                             .arg(view.centerX, 0, 'g', 9)
                                                             .arg(view.centerY, 0, 'g', 9)
                                                             .arg(view.width, 0, 'g', 9)));
    }
}

void TestMapRender::bandsAndOddSizes() {
    // A band starting below the top is the same rows of the whole map.
    static const ColorTable table = IndexTable();
    const ViewGeometry g = MapGeometry({-0.5f, 0.3f, 1.2f}, 4099, 7);
    Picture whole(4099, 7);
    RenderMapReference(table, g, whole.frame);
    Picture band(4099, 3);
    RenderMapRows(table, g, 2, band.frame);
    QVERIFY(std::equal(band.bytes.begin(), band.bytes.end(), whole.bytes.begin() + 2 * 4099 * 4));
    // Nothing to draw, nothing touched.
    Picture empty(0, 0);
    RenderMap(table, g, empty.frame);
}

void TestMapRender::pixelsDistinct() {
    QVERIFY(MapPixelsDistinct(MapGeometry(MapView{}, 530, 409), 530, 409));
    QVERIFY(MapPixelsDistinct(MapGeometry({-0.7f, 0.1f, 1e-4f}, 530, 409), 530, 409));
    // Around 1 floats are 2^-24 and 2^-23 apart: a step below half of that adds nothing.
    QVERIFY(!MapPixelsDistinct(MapGeometry({1.0f, 0.0f, 0x1p-16f}, 530, 409), 530, 409));
    QVERIFY(MapPixelsDistinct(MapGeometry({1.0f, 0.0f, 0x1p-12f}, 530, 409), 530, 409));
    // Rows only: y around 1, x around 0.
    QVERIFY(!MapPixelsDistinct(MapGeometry({0.0f, 1.0f, 0x1p-16f}, 530, 409), 530, 409));
    QVERIFY(MapPixelsDistinct(MapGeometry({0.0f, 1.0f, 0x1p-16f}, 530, 1), 530, 1));
    QVERIFY(!MapPixelsDistinct(MapGeometry({0.0f, 0.0f, std::nanf("")}, 530, 409), 530, 409));
    QVERIFY(!MapPixelsDistinct(MapGeometry({0.0f, 0.0f, 0.0f}, 530, 409), 530, 409));
    QVERIFY(MapPixelsDistinct(MapGeometry({0.0f, 0.0f, 0.0f}, 1, 1), 1, 1));
}

void TestMapRender::cyclePeriods() {
    QCOMPARE(AttractingCyclePeriod(0.0, 0.0), 1);
    QCOMPARE(AttractingCyclePeriod(-1.0, 0.0), 2);
    QCOMPARE(AttractingCyclePeriod(-0.1226, 0.7449), 3);
    QCOMPARE(AttractingCyclePeriod(-1.3107, 0.0), 4);
    QCOMPARE(AttractingCyclePeriod(1.0, 1.0), 0);
    QCOMPARE(AttractingCyclePeriod(0.26, 0.0), 0);
    QCOMPARE(AttractingCyclePeriod(std::nan(""), 0.0), 0);
}

void TestMapRender::checkedStepIsReferenceStep() {
    std::vector<float> cx, cy, x, y;
    auto add = [&](float a, float b, float c, float d) {
        cx.push_back(a);
        cy.push_back(b);
        x.push_back(c);
        y.push_back(d);
    };
    // x*x - y*y + Cx lies 2^-64 above a float midpoint: exact in extended precision, where it
    // rounds up, while the double result is the midpoint itself, which rounds to even (down
    // for odd Cx mantissas). Only the bound's check can send these to the reference.
    const float dx = 0x1.93effep-9f;
    const float dy = 0x1.5e4f8p-9f;
    int doubleDiffers = 0;
    for (float mantissa : {0x1.000002p-1f, 0x1.000006p-1f, 0x1.00000ap-1f}) {
        for (float sx : {1.0f, -1.0f}) {
            add(mantissa, 0.25f, sx * dx, dy);
            add(-mantissa, -0.25f, sx * dy, dx);  // -(the same real part), so round to even up
            const double plain = std::fma(double{dx}, double{dx}, mantissa - double{dy} * dy);
            doubleDiffers += static_cast<float>(plain) != Z2Iterate(mantissa, 0.25, dx, dy).x;
        }
    }
    // The same for 2xy + Cy, whose lanes' ends carry the bound in their constants.
    const float ix = 0x1.0c3a32p-9f;
    const float iy = 0x1.27de52p-10f;
    for (float mantissa : {0x1.000002p-1f, 0x1.000006p-1f}) {
        for (float sign : {1.0f, -1.0f}) {
            add(0.25f, sign * mantissa, sign * ix, iy);
            const double plain = std::fma(2.0 * ix, double{iy}, double{mantissa});
            doubleDiffers += static_cast<float>(plain) != Z2Iterate(0.25, mantissa, ix, iy).y;
        }
    }
    QCOMPARE(doubleDiffers, 10);
    // Zeros of either sign in the imaginary part, an exact 0 real part, a state on |z| = 2.
    for (float zero : {0.0f, -0.0f}) {
        add(-0.75f, zero, 0.5f, zero);
        add(0.3f, zero, -1.25f, -zero);
        add(-0.25f, zero, 0.5f, zero);
        add(zero, zero, zero, zero);
    }
    add(-0.25f, 0.1f, 0.5f, 0.0f);
    add(0.0f, 0.0f, 2.0f, 0.0f);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> part(-1.4f, 1.4f);
    for (int k = 0; k < 2000; ++k) {
        add(part(random), part(random), part(random), part(random));
    }
    const int count = static_cast<int>(x.size());
    using StepForm =
        void (*)(const float*, const float*, const float*, const float*, int, FloatPoint*);
    std::vector<StepForm> forms;
    if (SupportedLaneKernel() >= LaneKernel::Avx2) {
        forms.push_back(detail::MapStepAvx2);
    }
    if (SupportedLaneKernel() == LaneKernel::Avx512) {
        forms.push_back(detail::MapStepAvx512);
    }
    if (forms.empty()) {
        QSKIP("no lane kernel on this processor");
    }
    for (StepForm form : forms) {
        std::vector<FloatPoint> next(x.size());
        form(cx.data(), cy.data(), x.data(), y.data(), count, next.data());
        for (int i = 0; i < count; ++i) {
            const FloatPoint expected = Z2Iterate(cx[i], cy[i], x[i], y[i]);
            QVERIFY2(std::memcmp(&next[i], &expected, sizeof expected) == 0,
                     qPrintable(QString("state %1: (%2, %3) c (%4, %5)")
                                    .arg(i)
                                    .arg(x[i], 0, 'g', 9)
                                    .arg(y[i], 0, 'g', 9)
                                    .arg(cx[i], 0, 'g', 9)
                                    .arg(cy[i], 0, 'g', 9)));
        }
    }
}

void TestMapRender::trapOnlyInside() {
    // Points on both sides of the edges of the cardioid and of the period-2 bulb, where orbits
    // settle slowly or leave late: the trap must catch many inside and never decide wrongly.
    std::vector<float> x, y;
    for (int k = 0; k < 400; ++k) {
        const std::complex<double> turn = std::polar(1.0, 2 * M_PI * k / 400);
        for (double s : {-3e-2, -3e-3, -3e-4, 0.0, 1e-4, 1e-3, 1e-2}) {
            const std::complex<double> cardioid = (turn / 2.0 - turn * turn / 4.0) * (1 + s);
            const std::complex<double> bulb = -1.0 + turn * (0.25 + s);
            for (const auto c : {cardioid, bulb}) {
                x.push_back(static_cast<float>(c.real()));
                y.push_back(static_cast<float>(c.imag()));
            }
        }
    }
    using RunForm = void (*)(const float*, const float*, int, std::uint8_t*, KernelCounters&);
    std::vector<RunForm> forms;
    if (SupportedLaneKernel() >= LaneKernel::Avx2) {
        forms.push_back(detail::MapRunAvx2);
    }
    if (SupportedLaneKernel() == LaneKernel::Avx512) {
        forms.push_back(detail::MapRunAvx512);
    }
    if (forms.empty()) {
        QSKIP("no lane kernel on this processor");
    }
    const int count = static_cast<int>(x.size());
    for (RunForm form : forms) {
        std::vector<std::uint8_t> indices(x.size());
        KernelCounters tally;
        form(x.data(), y.data(), count, indices.data(), tally);
        for (int i = 0; i < count; ++i) {
            QVERIFY2(indices[i] == MapEscapeIndex(x[i], y[i]),
                     qPrintable(QString("c = %1 %2").arg(x[i], 0, 'g', 9).arg(y[i], 0, 'g', 9)));
        }
        QVERIFY2(tally.trapped > 500, qPrintable(QString::number(tally.trapped)));
    }
}

QTEST_APPLESS_MAIN(TestMapRender)
#include "test_map_render.moc"
