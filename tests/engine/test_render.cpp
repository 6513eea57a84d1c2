#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/color_table.h"
#include "engine/point_function.h"
#include "engine/render.h"

using namespace ombrilo;

namespace {

// A point function that records the points it is asked for, so that the tests can see which
// plane point every pixel shows.
std::vector<FloatPoint> g_points;
std::uint8_t g_colour[3] = {1, 2, 3};

const std::uint8_t* RecordingPointColor(const FractalState&, float x, float y) {
    g_points.push_back({x, y});
    return g_colour;
}

struct Picture {
    std::vector<std::uint8_t> bytes;
    Frame32 frame;
};

Picture MakePicture(int width, int height) {
    Picture p;
    p.bytes.assign(static_cast<std::size_t>(width) * height * 4, 0xEE);
    p.frame = {p.bytes.data(), width, height, static_cast<std::ptrdiff_t>(width) * 4};
    return p;
}

std::vector<FloatPoint> RecordedPoints(FractalState state, const ViewGeometry& view, int width,
                                       int height) {
    g_points.clear();
    state.PointColor = &RecordingPointColor;
    Picture picture = MakePicture(width, height);
    RenderView(state, view, picture.frame);
    return g_points;
}

FloatPoint At(const std::vector<FloatPoint>& points, int width, int column, int row) {
    return points[static_cast<std::size_t>(row) * width + column];
}

// The boundary view of -0.8 + 0.156i at an odd size, so that blocks are clipped at the edges.
FractalState BoundaryState(int width, int height) {
    FractalState state = MakeStartState();
    state.Cx = -0.8;
    state.Cy = 0.156;
    state.CenterX = 0.9238f;
    SetMainSize(state, width, height);
    SetViewWidth(state, 0.05f);
    return state;
}

// Whether every pixel's colour is that of the top left pixel of its block in `exact`, and
// byte 3 is untouched.
bool ShowsBlocks(const Picture& picture, const Picture& exact, int spacing) {
    const Frame32& f = picture.frame;
    for (int row = 0; row < f.height; ++row) {
        for (int column = 0; column < f.width; ++column) {
            const std::uint8_t* p = f.Row(row) + 4 * column;
            const std::uint8_t* e =
                exact.frame.Row(row - row % spacing) + 4 * (column - column % spacing);
            if (std::memcmp(p, e, 3) != 0 || p[3] != 0xEE) {
                return false;
            }
        }
    }
    return true;
}

void SortPoints(std::vector<FloatPoint>& points) {
    std::sort(points.begin(), points.end(), [](const FloatPoint& a, const FloatPoint& b) {
        return a.x < b.x || (a.x == b.x && a.y < b.y);
    });
}

}  // namespace

class TestRender : public QObject {
    Q_OBJECT

private slots:
    void steps() {
        QCOMPARE(BaseStep, 0.0094339623f);
        QCOMPARE(MainStepFor(5.0f), BaseStep);
        QCOMPARE(MakeStartState().MainStep, BaseStep);
        QCOMPARE(OverviewStep, 0.061728396f);
        // C starts from the slider positions 402 and 339 in thousandths.
        QCOMPARE(MakeStartState().Cx, 0.402);
        QCOMPARE(MakeStartState().Cy, 0.339);
        // A slider position is multiplied by the double 0.001: -1918 x 0.001 is not the
        // double nearest to -1.918.
        QCOMPARE(SliderToCoefficient(-1918), -1918 * 0.001);
        QVERIFY(SliderToCoefficient(-1918) != -1.918);
        QCOMPARE(SliderToCoefficient(2000), 2.0);
    }

    void mainViewMapping() {
        // With a view 530 units wide every pixel is one unit: column j shows -265 + j and row i
        // shows 204 - i around the centre (10, -3).
        FractalState state = MakeStartState();
        state.ViewWidth = 530.0f;
        state.MainStep = MainStepFor(state.ViewWidth);
        state.CenterX = 10.0f;
        state.CenterY = -3.0f;
        QCOMPARE(state.MainStep, 1.0f);
        const auto points =
            RecordedPoints(state, MainViewGeometry(state), kMainViewWidth, kMainViewHeight);
        QCOMPARE(points.size(), std::size_t(kMainViewWidth * kMainViewHeight));
        for (int row : {0, 204, 408}) {
            for (int column : {0, 265, 529}) {
                const FloatPoint p = At(points, kMainViewWidth, column, row);
                QCOMPARE(p.x, 10.0f - 265.0f + column);
                QCOMPARE(p.y, -3.0f + 204.0f - row);
            }
        }
    }

    void coordinatesAdvanceByFloatAdditions() {
        // At the start view the step is not exact: the columns are reached by repeated float
        // additions from the left edge, not by multiplying the column index.
        const FractalState state = MakeStartState();
        const auto points =
            RecordedPoints(state, MainViewGeometry(state), kMainViewWidth, kMainViewHeight);
        float x = static_cast<float>(-265.0L * BaseStep);
        float y = static_cast<float>(204.0L * BaseStep);
        QCOMPARE(At(points, kMainViewWidth, 0, 0).x, x);
        QCOMPARE(At(points, kMainViewWidth, 0, 0).y, y);
        for (int column = 1; column < kMainViewWidth; ++column) {
            x += BaseStep;
        }
        for (int row = 1; row < kMainViewHeight; ++row) {
            y -= BaseStep;
        }
        QCOMPARE(At(points, kMainViewWidth, 529, 408).x, x);
        QCOMPARE(At(points, kMainViewWidth, 529, 408).y, y);
        // The product form lands elsewhere at the far column, so the order matters.
        QVERIFY(static_cast<float>(-265.0L * BaseStep + 529.0L * BaseStep) != x);
    }

    void viewsOfAnySize() {
        // At 530 x 409 the step is the width times 1/530 and the centre pixel (265, 204).
        FractalState state = MakeStartState();
        state.CenterX = 0.25f;
        state.CenterY = -0.5f;
        for (float width : {5.0f, 0.05f, 1e-4f, 3.3f}) {
            SetViewWidth(state, width);
            QCOMPARE(state.MainStep, MainStepFor(width));
            QCOMPARE(MainStepFor(width, 530), MainStepFor(width));
            const ViewGeometry v = MainViewGeometry(state);
            QCOMPARE(v.step, MainStepFor(width));
            QCOMPARE(v.halfWidth, 265);
            QCOMPARE(v.halfHeight, 204);
        }
        // Any other size: the width times 1/W, the first pixel trunc(W/2) steps left and
        // trunc(H/2) steps up; the width stays.
        SetMainSize(state, 1001, 77);
        QCOMPARE(state.ViewWidth, 3.3f);
        QCOMPARE(state.MainStep, static_cast<float>(3.3f * (1.0L / 1001.0L)));
        const ViewGeometry v = MainViewGeometry(state);
        QCOMPARE(v.halfWidth, 500);
        QCOMPARE(v.halfHeight, 38);
        QCOMPARE(ViewLeft(v), static_cast<float>(0.25L - 500.0L * state.MainStep));
        QCOMPARE(ViewTop(v), static_cast<float>(-0.5L + 38.0L * state.MainStep));
        SetViewWidth(state, 2.0f);
        QCOMPARE(state.MainStep, static_cast<float>(2.0L * (1.0L / 1001.0L)));
        // A size below one pixel is one pixel.
        SetMainSize(state, 0, -4);
        QCOMPARE(state.MainWidth, 1);
        QCOMPARE(state.MainHeight, 1);
        QCOMPARE(state.MainStep, 2.0f);
    }

    void passesGiveTheExactPicture() {
        const FractalState state = BoundaryState(203, 117);
        const ViewGeometry view = MainViewGeometry(state);
        Picture exact = MakePicture(203, 117);
        RenderViewReference(state, view, exact.frame);
        Picture picture = MakePicture(203, 117);
        RenderViewCoarsePass(state, view, 8, 0, picture.frame);
        QVERIFY(ShowsBlocks(picture, exact, 8));
        RenderViewCoarsePass(state, view, 4, 8, picture.frame);
        QVERIFY(ShowsBlocks(picture, exact, 4));
        // The rest in bands of any size, the last one past the bottom.
        RenderViewRestRows(state, view, 4, 0, 45, picture.frame);
        RenderViewRestRows(state, view, 4, 45, 1000, picture.frame);
        QVERIFY(picture.bytes == exact.bytes);

        // A first pass of every 4th pixel, then the rest.
        Picture direct = MakePicture(203, 117);
        RenderViewCoarsePass(state, view, 4, 0, direct.frame);
        QVERIFY(ShowsBlocks(direct, exact, 4));
        RenderViewRestRows(state, view, 4, 0, 117, direct.frame);
        QVERIFY(direct.bytes == exact.bytes);
    }

    void passesAskEveryPointOnce() {
        FractalState state = BoundaryState(37, 21);
        const ViewGeometry view = MainViewGeometry(state);
        std::vector<FloatPoint> whole = RecordedPoints(state, view, 37, 21);
        state.PointColor = &RecordingPointColor;
        g_points.clear();
        Picture picture = MakePicture(37, 21);
        RenderViewCoarsePass(state, view, 8, 0, picture.frame);
        QCOMPARE(g_points.size(), std::size_t(5 * 3));
        RenderViewCoarsePass(state, view, 4, 8, picture.frame);
        QCOMPARE(g_points.size(), std::size_t(10 * 6));
        RenderViewRestRows(state, view, 4, 0, 21, picture.frame);
        SortPoints(whole);
        SortPoints(g_points);
        QCOMPARE(g_points.size(), whole.size());
        QVERIFY(std::equal(
            whole.begin(), whole.end(), g_points.begin(),
            [](const FloatPoint& a, const FloatPoint& b) { return a.x == b.x && a.y == b.y; }));
    }

    void overviewWindow() {
        FractalState state = MakeStartState();
        state.CenterX = 100.0f;  // the overview ignores the main view's centre and width
        state.ViewWidth = 0.001f;
        const auto points =
            RecordedPoints(state, OverviewGeometry(), kOverviewWidth, kOverviewHeight);
        QCOMPARE(points.size(), std::size_t(kOverviewWidth * kOverviewHeight));
        const FloatPoint topLeft = At(points, kOverviewWidth, 0, 0);
        QCOMPARE(topLeft.x, static_cast<float>(-40.0L * OverviewStep));
        QCOMPARE(topLeft.y, static_cast<float>(32.0L * OverviewStep));
        QVERIFY(std::abs(topLeft.x + 2.469f) < 0.001f);
        QVERIFY(std::abs(topLeft.y - 1.975f) < 0.001f);
        const FloatPoint bottomRight = At(points, kOverviewWidth, 80, 64);
        QVERIFY(std::abs(bottomRight.x - 2.469f) < 0.001f);
        QVERIFY(std::abs(bottomRight.y + 1.975f) < 0.001f);
    }

    void screenGeometry() {
        const FractalState state = MakeStartState();
        const ViewGeometry screen = ScreenGeometry(state, 1024, 768);
        QCOMPARE(screen.step, 5.0f / 1024.0f);
        QCOMPARE(screen.halfWidth, 512);
        QCOMPARE(screen.halfHeight, 384);
        const auto points = RecordedPoints(state, screen, 1024, 768);
        QCOMPARE(At(points, 1024, 0, 0).x, -2.5f);
        QCOMPARE(At(points, 1024, 0, 0).y, 1.875f);
        QCOMPARE(At(points, 1024, 512, 384).x, 0.0f);
        QCOMPARE(At(points, 1024, 512, 384).y, 0.0f);
        // Odd sizes round the halves down; the preview's 145 x 105 has its centre at (72, 52).
        const ViewGeometry preview = ScreenGeometry(state, 145, 105);
        QCOMPARE(preview.halfWidth, 72);
        QCOMPARE(preview.halfHeight, 52);
        QCOMPARE(preview.step, static_cast<float>(5.0L / 145));
        QCOMPARE(ScreenGeometry(state, 1023, 767).halfWidth, 511);
    }

    void pixelsCopyTheTableBytes() {
        // The three bytes of the entry go to bytes 0..2 of each pixel; byte 3 is left alone.
        FractalState state = MakeStartState();
        Picture picture = MakePicture(kMainViewWidth, kMainViewHeight);
        RenderView(state, MainViewGeometry(state), picture.frame);
        const ViewGeometry view = MainViewGeometry(state);
        float y = ViewTop(view);
        for (int row = 0; row < kMainViewHeight; ++row) {
            float x = ViewLeft(view);
            const std::uint8_t* pixel = picture.frame.Row(row);
            for (int column = 0; column < kMainViewWidth; ++column, pixel += 4) {
                const std::uint8_t* entry =
                    state.colorTable.Entry(Z2EscapeIndex(state.Cx, state.Cy, x, y));
                if (pixel[0] != entry[0] || pixel[1] != entry[1] || pixel[2] != entry[2] ||
                    pixel[3] != 0xEE) {
                    QFAIL(qPrintable(QString("pixel %1,%2").arg(column).arg(row)));
                }
                x += view.step;
            }
            y -= view.step;
        }
        // The start picture holds both the set (entry 0) and escaped points.
        const std::uint8_t* centre = picture.frame.Row(204) + 265 * 4;
        QCOMPARE(int(centre[0]), int(state.colorTable.Entry(0)[0]));
        QCOMPARE(int(centre[2]), int(state.colorTable.Entry(0)[2]));
        const std::uint8_t* corner = picture.frame.Row(0);
        QVERIFY(corner[2] != state.colorTable.Entry(0)[2]);
    }

    // Runs of colours: equal indices in groups of sixteen (one pattern, then another), mixed
    // groups, and lengths around the group size; exactly count * 3 bytes are written.
    void colorRunsWriteEveryPixelOnce() {
        std::uint32_t colors[300];
        for (std::uint32_t i = 0; i < 300; ++i) {
            colors[i] = (i * 0x10305u) & 0xFFFFFFu;
        }
        std::vector<std::int32_t> indices;
        for (int i = 0; i < 100; ++i) {
            indices.push_back(i < 40 ? 7 : i < 72 ? 250 : i % 5);
        }
        for (int count : {1, 15, 16, 17, 32, 33, 100}) {
            std::vector<std::uint8_t> out(static_cast<std::size_t>(count) * 3 + 4, 0xEE);
            WriteColorRun(colors, indices.data(), count, out.data());
            for (int i = 0; i < count; ++i) {
                QVERIFY(std::memcmp(out.data() + 3 * i, &colors[indices[i]], 3) == 0);
            }
            QCOMPARE(out[static_cast<std::size_t>(count) * 3], std::uint8_t{0xEE});
        }
    }

    void packedRowsAskTheSamePoints() {
        // Any point function draws 24-bit rows point by point, as the 32-bit picture.
        const FractalState state = MakeStartState();
        const ViewGeometry view = ScreenGeometry(state, 7, 5);
        const std::vector<FloatPoint> expected = RecordedPoints(state, view, 7, 5);
        FractalState recording = state;
        recording.PointColor = &RecordingPointColor;
        g_points.clear();
        std::vector<std::uint8_t> rows(7 * 3 * 4, 0xEE);
        RenderViewRows24(recording, view, 1, {rows.data(), 7, 4, 7 * 3});
        QCOMPARE(g_points.size(), std::size_t{7 * 4});
        QCOMPARE(g_points.front().y, At(expected, 7, 0, 1).y);
        QCOMPARE(g_points.back().x, At(expected, 7, 6, 4).x);
        QCOMPARE(int(rows[3]), 1);
        QCOMPARE(int(rows.back()), 3);
    }

    void hostileViews() {
        // Views from edited files: NaN or infinite centres and widths, negative widths. The
        // loops must simply run; NaN points are inside the set.
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float inf = std::numeric_limits<float>::infinity();
        for (float width : {nan, inf, -5.0f, 0.0f, 3e38f}) {
            for (float centre : {0.0f, nan, inf, -inf, 1e38f}) {
                FractalState state = MakeStartState();
                state.ViewWidth = width;
                state.MainStep = MainStepFor(width);
                state.CenterX = centre;
                state.CenterY = centre;
                Picture picture = MakePicture(53, 41);
                RenderView(state, MainViewGeometry(state), picture.frame);
                Picture screen = MakePicture(32, 24);
                RenderView(state, ScreenGeometry(state, 64, 48), screen.frame);
                QCOMPARE(int(picture.bytes[3]), 0xEE);
            }
        }
        FractalState state = MakeStartState();
        state.CenterX = state.CenterY = nan;
        Picture picture = MakePicture(8, 8);
        RenderView(state, ScreenGeometry(state, 8, 8), picture.frame);
        QCOMPARE(int(picture.bytes[2]), int(state.colorTable.Entry(0)[2]));
    }
};

QTEST_APPLESS_MAIN(TestRender)
#include "test_render.moc"
