#include <QtTest>

#include <cmath>
#include <cstdint>
#include <limits>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/overview_marker.h"

using namespace ombrilo;

namespace {

constexpr int kIntMax = std::numeric_limits<int>::max();
constexpr int kIntMin = std::numeric_limits<int>::min();

using Pixel = std::pair<int, int>;  // column, row
using PixelSet = std::set<Pixel>;

// An overview picture filled with a colour no pen has, byte 3 included, and with padding after
// each row that no drawing may touch.
struct Picture {
    static constexpr int kPadding = 8;
    std::vector<std::uint8_t> bytes;
    Frame32 frame;

    Picture() {
        const int stride = kOverviewWidth * 4 + kPadding;
        bytes.assign(static_cast<std::size_t>(stride) * kOverviewHeight, 0xAB);
        frame = {bytes.data(), kOverviewWidth, kOverviewHeight, stride};
        for (int row = 0; row < kOverviewHeight; ++row) {
            for (int column = 0; column < kOverviewWidth; ++column) {
                std::uint8_t* p = At(column, row);
                p[0] = 0x33;
                p[1] = 0x44;
                p[2] = 0x55;
                p[3] = 0x77;
            }
        }
    }

    std::uint8_t* At(int column, int row) { return frame.Row(row) + column * 4; }

    bool Is(int column, int row, std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
        const std::uint8_t* p = At(column, row);
        return p[0] == blue && p[1] == green && p[2] == red && p[3] == 0x77;
    }
    bool Untouched(int column, int row) { return Is(column, row, 0x33, 0x44, 0x55); }
    bool Red(int column, int row) { return Is(column, row, 0, 0, 255); }
    bool Aqua(int column, int row) { return Is(column, row, 255, 255, 0); }

    bool PaddingUntouched() {
        for (int row = 0; row < kOverviewHeight; ++row) {
            for (int i = 0; i < kPadding; ++i) {
                if (frame.Row(row)[kOverviewWidth * 4 + i] != 0xAB) {
                    return false;
                }
            }
        }
        return true;
    }
};

OverviewMarker FrameMarker(int x1, int y1, int x2, int y2) {
    OverviewMarker marker;
    marker.MarkerIsFrame = true;
    marker.FrameX1 = x1;
    marker.FrameY1 = y1;
    marker.FrameX2 = x2;
    marker.FrameY2 = y2;
    marker.PenWidth = 1;
    marker.PenColor = kMarkerFrameColor;
    return marker;
}

OverviewMarker CrossMarker(int cx, int cy, int penWidth = 2) {
    OverviewMarker marker;
    marker.MarkerIsFrame = false;
    marker.CrossX = cx;
    marker.CrossY = cy;
    marker.PenWidth = penWidth;
    marker.PenColor = kMarkerCrossColor;
    return marker;
}

// The border of the rectangle spanned by two corners.
PixelSet RectangleBorder(int x1, int y1, int x2, int y2) {
    PixelSet border;
    for (int x = std::min(x1, x2); x <= std::max(x1, x2); ++x) {
        border.insert({x, y1});
        border.insert({x, y2});
    }
    for (int y = std::min(y1, y2); y <= std::max(y1, y2); ++y) {
        border.insert({x1, y});
        border.insert({x2, y});
    }
    return border;
}

// 2 x 2 blocks (a point and its neighbours right and below) at the given top left corners.
PixelSet Blocks(const std::vector<Pixel>& corners) {
    PixelSet pixels;
    for (const auto& [x, y] : corners) {
        pixels.insert({x, y});
        pixels.insert({x + 1, y});
        pixels.insert({x, y + 1});
        pixels.insert({x + 1, y + 1});
    }
    return pixels;
}

// Every pixel in `painted` has the pen's colour, every other pixel is as before.
bool PaintedExactly(Picture& picture, const PixelSet& painted, bool red) {
    for (int row = 0; row < kOverviewHeight; ++row) {
        for (int column = 0; column < kOverviewWidth; ++column) {
            const bool expected = painted.count({column, row}) > 0;
            const bool ok = expected ? (red ? picture.Red(column, row) : picture.Aqua(column, row))
                                     : picture.Untouched(column, row);
            if (!ok) {
                qWarning("pixel (%d, %d) is wrong", column, row);
                return false;
            }
        }
    }
    return picture.PaddingUntouched();
}

#define QCOMPARE_FRAME(marker, x1, y1, x2, y2) \
    do {                                       \
        QVERIFY((marker).MarkerIsFrame);       \
        QCOMPARE((marker).FrameX1, x1);        \
        QCOMPARE((marker).FrameY1, y1);        \
        QCOMPARE((marker).FrameX2, x2);        \
        QCOMPARE((marker).FrameY2, y2);        \
    } while (false)

}  // namespace

class TestOverviewMarker : public QObject {
    Q_OBJECT

private slots:
    void penColoursAreRedAndAqua() {
        QCOMPARE(kMarkerFrameColor, std::uint32_t(255));
        QCOMPARE(kMarkerCrossColor, std::uint32_t(255 * 256 + 255 * 65536));
    }

    void resetGivesTheInvisibleFrame() {
        OverviewMarker marker = CrossMarker(7, 8);
        ResetOverviewMarker(marker);
        QCOMPARE_FRAME(marker, -1, -1, 82, 66);
        QCOMPARE(marker.PenWidth, 1);
        QCOMPARE(marker.PenColor, kMarkerFrameColor);

        const OverviewMarker fresh;
        QCOMPARE_FRAME(fresh, -1, -1, 82, 66);
        QCOMPARE(fresh.PenWidth, 1);
        QCOMPARE(fresh.PenColor, kMarkerFrameColor);
    }

    void frameOfTheDefaultViewSpansTheOverview() {
        OverviewMarker marker;
        UpdateOverviewMarker(marker, 0.0f, 0.0f, BaseStep);
        QCOMPARE_FRAME(marker, 0, 64, 80, 0);
        QCOMPARE(marker.PenWidth, 1);
        QCOMPARE(marker.PenColor, kMarkerFrameColor);
    }

    void frameCornersOfZoomedViews() {
        OverviewMarker marker;
        // Width 1 around (1, 0.5): columns 49.1 and 64.3, rows 31.1 and 17.7.
        UpdateOverviewMarker(marker, 1.0f, 0.5f, MainStepFor(1.0f));
        QCOMPARE_FRAME(marker, 49, 31, 64, 17);
        // Width 0.5 around (-2.6, 0): the left edge at column -5.17 truncates toward zero.
        UpdateOverviewMarker(marker, -2.6f, 0.0f, MainStepFor(0.5f));
        QCOMPARE_FRAME(marker, -5, 36, 1, 28);
        // Just above the threshold the frame is still drawn, a few pixels wide.
        UpdateOverviewMarker(marker, 0.0f, 0.0f, MainStepFor(0.2121f));
        QCOMPARE_FRAME(marker, 39, 34, 41, 30);
        QCOMPARE(marker.PenWidth, 1);
        QCOMPARE(marker.PenColor, kMarkerFrameColor);
    }

    void narrowViewsGiveTheAquaCross() {
        OverviewMarker marker;
        for (float step : {MainStepFor(0.212f), MarkerThreshold, MainStepFor(0.001f), 0.0f}) {
            marker = OverviewMarker{};
            UpdateOverviewMarker(marker, 0.5f, -0.25f, step);
            QVERIFY(!marker.MarkerIsFrame);
            QCOMPARE(marker.PenWidth, 2);
            QCOMPARE(marker.PenColor, kMarkerCrossColor);
            QCOMPARE(marker.CrossX, 48);  // 40 + 8.1
            QCOMPARE(marker.CrossY, 36);  // 32 + 4.05
        }
        UpdateOverviewMarker(marker, -0.5f, 0.5f, MarkerThreshold);
        QCOMPARE(marker.CrossX, 31);
        QCOMPARE(marker.CrossY, 23);
        // Column and row -0.5 and -0.4 truncate toward zero, not down.
        UpdateOverviewMarker(marker, -2.5f, 2.0f, MarkerThreshold);
        QCOMPARE(marker.CrossX, 0);
        QCOMPARE(marker.CrossY, 0);

        // Zooming out again brings back the red frame with the thin pen.
        UpdateOverviewMarker(marker, 0.0f, 0.0f, BaseStep);
        QCOMPARE_FRAME(marker, 0, 64, 80, 0);
        QCOMPARE(marker.PenWidth, 1);
        QCOMPARE(marker.PenColor, kMarkerFrameColor);
    }

    void farAwayAndBrokenViewsSaturate() {
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float inf = std::numeric_limits<float>::infinity();
        OverviewMarker marker;

        UpdateOverviewMarker(marker, 1e30f, -1e30f, BaseStep);
        QCOMPARE_FRAME(marker, kIntMax, kIntMax, kIntMax, kIntMax);
        UpdateOverviewMarker(marker, -1e30f, 1e30f, BaseStep);
        QCOMPARE_FRAME(marker, kIntMin, kIntMin, kIntMin, kIntMin);
        UpdateOverviewMarker(marker, nan, nan, BaseStep);
        QCOMPARE_FRAME(marker, 0, 0, 0, 0);
        UpdateOverviewMarker(marker, inf, 0.0f, BaseStep);
        QCOMPARE_FRAME(marker, kIntMax, 64, kIntMax, 0);
        // An endless view: its edges lie at both ends; infinity minus infinity is NaN, i.e. 0 (the
        // left edge below).
        UpdateOverviewMarker(marker, 0.0f, 0.0f, inf);
        QCOMPARE_FRAME(marker, kIntMin, kIntMax, kIntMax, kIntMin);
        UpdateOverviewMarker(marker, inf, 0.0f, inf);
        QCOMPARE_FRAME(marker, 0, kIntMax, kIntMax, kIntMin);
        UpdateOverviewMarker(marker, 0.0f, 0.0f, 1e30f);
        QCOMPARE_FRAME(marker, kIntMin, kIntMax, kIntMax, kIntMin);

        UpdateOverviewMarker(marker, 1e30f, -1e30f, MarkerThreshold);
        QVERIFY(!marker.MarkerIsFrame);
        QCOMPARE(marker.CrossX, kIntMax);
        QCOMPARE(marker.CrossY, kIntMax);
        UpdateOverviewMarker(marker, -inf, inf, MarkerThreshold);
        QCOMPARE(marker.CrossX, kIntMin);
        QCOMPARE(marker.CrossY, kIntMin);
        UpdateOverviewMarker(marker, nan, nan, MarkerThreshold);
        QCOMPARE(marker.CrossX, 0);
        QCOMPARE(marker.CrossY, 0);
        // A NaN step is not above the threshold: cross.
        UpdateOverviewMarker(marker, 0.0f, 0.0f, nan);
        QVERIFY(!marker.MarkerIsFrame);
        QCOMPARE(marker.CrossX, 40);
        QCOMPARE(marker.CrossY, 32);
    }

    void resetFrameLeavesThePictureAlone() {
        Picture picture;
        const std::vector<std::uint8_t> before = picture.bytes;
        OverviewMarker marker;
        ResetOverviewMarker(marker);
        DrawOverviewMarker(marker, picture.frame);
        QVERIFY(picture.bytes == before);
    }

    void defaultViewFrameOutlinesThePicture() {
        Picture picture;
        OverviewMarker marker;
        UpdateOverviewMarker(marker, 0.0f, 0.0f, BaseStep);
        DrawOverviewMarker(marker, picture.frame);
        QVERIFY(PaintedExactly(picture, RectangleBorder(0, 0, 80, 64), true));
    }

    void frameCoversItsBorderWhicheverWayItRuns() {
        for (const auto& [x1, y1, x2, y2] : std::vector<std::tuple<int, int, int, int>>{
                 {10, 5, 20, 15}, {20, 15, 10, 5}, {10, 15, 20, 5}, {20, 5, 10, 15}}) {
            Picture picture;
            DrawOverviewMarker(FrameMarker(x1, y1, x2, y2), picture.frame);
            QVERIFY(PaintedExactly(picture, RectangleBorder(10, 5, 20, 15), true));
        }
    }

    void degenerateFrames() {
        // All four lines end where they start: nothing is drawn.
        Picture dot;
        DrawOverviewMarker(FrameMarker(30, 30, 30, 30), dot.frame);
        QVERIFY(PaintedExactly(dot, {}, true));
        // A frame one column wide is the column, both ends included.
        Picture column;
        DrawOverviewMarker(FrameMarker(10, 5, 10, 15), column.frame);
        QVERIFY(PaintedExactly(column, RectangleBorder(10, 5, 10, 15), true));
    }

    void penColourGoesToBlueGreenRedBytes() {
        Picture picture;
        OverviewMarker marker = FrameMarker(1, 1, 2, 2);
        marker.PenColor = 0x123456;
        DrawOverviewMarker(marker, picture.frame);
        QVERIFY(picture.Is(1, 1, 0x12, 0x34, 0x56));
        QVERIFY(picture.Is(2, 2, 0x12, 0x34, 0x56));
        QVERIFY(picture.Untouched(3, 3));
    }

    void crossOfWidthTwo() {
        Picture picture;
        DrawOverviewMarker(CrossMarker(40, 32), picture.frame);
        // Each stroke covers the points 2 to 5 pixels off the centre (the end point at 6 is left
        // out), each widened to a 2 x 2 block.
        const PixelSet expected = Blocks({{38, 30},
                                          {37, 29},
                                          {36, 28},
                                          {35, 27},  // up left
                                          {42, 30},
                                          {43, 29},
                                          {44, 28},
                                          {45, 27},  // up right
                                          {42, 34},
                                          {43, 35},
                                          {44, 36},
                                          {45, 37},  // down right
                                          {38, 34},
                                          {37, 35},
                                          {36, 36},
                                          {35, 37}});
        QCOMPARE(expected.size(), std::size_t(52));
        QVERIFY(PaintedExactly(picture, expected, false));
        QVERIFY(picture.Untouched(40, 32));
        QVERIFY(picture.Untouched(34, 26));
    }

    void crossOfWidthOne() {
        Picture picture;
        DrawOverviewMarker(CrossMarker(40, 32, 1), picture.frame);
        PixelSet expected;
        for (int k = 2; k <= 5; ++k) {
            expected.insert({40 - k, 32 - k});
            expected.insert({40 + k, 32 - k});
            expected.insert({40 + k, 32 + k});
            expected.insert({40 - k, 32 + k});
        }
        QVERIFY(PaintedExactly(picture, expected, false));
    }

    void crossIsClippedAtTheEdges() {
        // Right of the picture: only the ends of the two left strokes show, in the last two
        // columns; nothing wraps into the next row.
        Picture right;
        DrawOverviewMarker(CrossMarker(84, 32), right.frame);
        QVERIFY(PaintedExactly(right,
                               {{79, 27},
                                {80, 27},
                                {79, 28},
                                {80, 28},
                                {80, 29},
                                {79, 37},
                                {80, 37},
                                {79, 38},
                                {80, 38},
                                {80, 36}},
                               false));
        // Top left corner: only the stroke down and right.
        Picture corner;
        DrawOverviewMarker(CrossMarker(0, 0), corner.frame);
        QVERIFY(PaintedExactly(corner, Blocks({{2, 2}, {3, 3}, {4, 4}, {5, 5}}), false));
        // A block whose point lies just outside still shows its inner half.
        Picture above;
        DrawOverviewMarker(CrossMarker(40, -3), above.frame);
        QVERIFY(PaintedExactly(
            above,
            Blocks({{42, -1}, {43, 0}, {44, 1}, {45, 2}, {38, -1}, {37, 0}, {36, 1}, {35, 2}}),
            false));
    }

    void frameIsClippedAtTheEdges() {
        // The left side lies off the picture; of the top and bottom only columns 0 and 1 show.
        Picture picture;
        DrawOverviewMarker(FrameMarker(-5, 36, 1, 28), picture.frame);
        QVERIFY(PaintedExactly(picture, RectangleBorder(-5, 28, 1, 36), true));
    }

    void saturatedMarkersDrawOnlyWhatIsInside() {
        // Corners billions of pixels apart: the rows at 10 and 20 cross the whole picture.
        Picture rows;
        DrawOverviewMarker(FrameMarker(kIntMin, 10, kIntMax, 20), rows.frame);
        PixelSet expected;
        for (int x = 0; x < kOverviewWidth; ++x) {
            expected.insert({x, 10});
            expected.insert({x, 20});
        }
        QVERIFY(PaintedExactly(rows, expected, true));

        // A frame around everything and markers far away leave the picture as it was.
        for (const OverviewMarker& marker :
             {FrameMarker(kIntMin, kIntMax, kIntMax, kIntMin),
              FrameMarker(kIntMax, kIntMax, kIntMax, kIntMax),
              FrameMarker(kIntMin, kIntMin, kIntMin, kIntMin), CrossMarker(kIntMax, kIntMax),
              CrossMarker(kIntMin, kIntMin), CrossMarker(kIntMax, 32), CrossMarker(40, kIntMin)}) {
            Picture picture;
            DrawOverviewMarker(marker, picture.frame);
            QVERIFY(PaintedExactly(picture, {}, true));
        }
    }
};

QTEST_APPLESS_MAIN(TestOverviewMarker)
#include "test_overview_marker.moc"
