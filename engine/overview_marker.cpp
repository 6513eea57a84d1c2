#include "overview_marker.h"

#include <algorithm>

#include "numeric.h"

namespace ombrilo {

namespace {

struct Pen {
    std::uint8_t blue;
    std::uint8_t green;
    std::uint8_t red;
    int width;
};

Pen PenOf(const OverviewMarker& marker) {
    return {static_cast<std::uint8_t>(marker.PenColor >> 16),
            static_cast<std::uint8_t>(marker.PenColor >> 8),
            static_cast<std::uint8_t>(marker.PenColor), marker.PenWidth > 1 ? 2 : 1};
}

void PlotPenBlock(const Frame32& frame, const Pen& pen, std::int64_t x, std::int64_t y) {
    for (std::int64_t row = y; row < y + pen.width; ++row) {
        for (std::int64_t column = x; column < x + pen.width; ++column) {
            if (column < 0 || column >= frame.width || row < 0 || row >= frame.height) {
                continue;
            }
            std::uint8_t* pixel = frame.Row(static_cast<int>(row)) + column * 4;
            pixel[0] = pen.blue;
            pixel[1] = pen.green;
            pixel[2] = pen.red;
        }
    }
}

// Narrows [first, last] to the steps t whose coordinate start + t * step lies in [lo, hi].
void ClipSteps(std::int64_t start, std::int64_t step, std::int64_t lo, std::int64_t hi,
               std::int64_t& first, std::int64_t& last) {
    if (step == 0) {
        if (start < lo || start > hi) {
            last = first - 1;
        }
        return;
    }
    const std::int64_t a = (lo - start) * step;
    const std::int64_t b = (hi - start) * step;
    first = std::max(first, std::min(a, b));
    last = std::min(last, std::max(a, b));
}

// A line from (x1, y1) up to but without (x2, y2). The marker is made only of axis-parallel and
// diagonal strokes, so each step moves by -1, 0 or 1 in either direction. Corners of saturated
// markers lie billions of pixels away: the steps are clipped to the picture before drawing.
void DrawLine(const Frame32& frame, const Pen& pen, std::int64_t x1, std::int64_t y1,
              std::int64_t x2, std::int64_t y2) {
    const std::int64_t stepX = (x2 > x1) - (x2 < x1);
    const std::int64_t stepY = (y2 > y1) - (y2 < y1);
    std::int64_t first = 0;
    std::int64_t last = std::max(x2 > x1 ? x2 - x1 : x1 - x2, y2 > y1 ? y2 - y1 : y1 - y2) - 1;
    // A pen block reaches width - 1 pixels right and down of its point.
    const std::int64_t reach = pen.width - 1;
    ClipSteps(x1, stepX, -reach, frame.width - 1, first, last);
    ClipSteps(y1, stepY, -reach, frame.height - 1, first, last);
    for (std::int64_t t = first; t <= last; ++t) {
        PlotPenBlock(frame, pen, x1 + t * stepX, y1 + t * stepY);
    }
}

void DrawFrame(const OverviewMarker& marker, const Frame32& frame, const Pen& pen) {
    const std::int64_t x1 = marker.FrameX1;
    const std::int64_t y1 = marker.FrameY1;
    const std::int64_t x2 = marker.FrameX2;
    const std::int64_t y2 = marker.FrameY2;
    DrawLine(frame, pen, x1, y1, x2, y1);
    DrawLine(frame, pen, x2, y1, x2, y2);
    DrawLine(frame, pen, x2, y2, x1, y2);
    DrawLine(frame, pen, x1, y2, x1, y1);
}

// Four diagonal strokes from 2 to 6 pixels off the centre; the centre itself stays free.
void DrawCross(const OverviewMarker& marker, const Frame32& frame, const Pen& pen) {
    const std::int64_t cx = marker.CrossX;
    const std::int64_t cy = marker.CrossY;
    DrawLine(frame, pen, cx - 2, cy - 2, cx - 6, cy - 6);
    DrawLine(frame, pen, cx + 2, cy - 2, cx + 6, cy - 6);
    DrawLine(frame, pen, cx + 2, cy + 2, cx + 6, cy + 6);
    DrawLine(frame, pen, cx - 2, cy + 2, cx - 6, cy + 6);
}

}  // namespace

void ResetOverviewMarker(OverviewMarker& marker) {
    marker.MarkerIsFrame = true;
    marker.PenWidth = 1;
    marker.PenColor = kMarkerFrameColor;
    marker.FrameX1 = -1;
    marker.FrameY1 = -1;
    marker.FrameX2 = 82;
    marker.FrameY2 = 66;
}

void UpdateOverviewMarker(OverviewMarker& marker, float CenterX, float CenterY, float MainStep) {
    const long double overviewStep = OverviewStep;
    if (static_cast<long double>(MainStep) - MarkerThreshold > 0) {
        const double hw = 265.0L * MainStep;
        const double hh = 204.0L * MainStep;
        const long double left = CenterX - static_cast<long double>(hw);
        const long double right = CenterX + static_cast<long double>(hw);
        const long double bottom = CenterY - static_cast<long double>(hh);
        const long double top = CenterY + static_cast<long double>(hh);
        marker.MarkerIsFrame = true;
        marker.PenWidth = 1;
        marker.PenColor = kMarkerFrameColor;
        marker.FrameX1 = TruncToInt32(left / overviewStep + 40 + 1);
        marker.FrameY1 = TruncToInt32(32 - bottom / overviewStep + 1);
        marker.FrameX2 = TruncToInt32(right / overviewStep + 40);
        marker.FrameY2 = TruncToInt32(32 - top / overviewStep);
    } else {
        marker.MarkerIsFrame = false;
        marker.PenWidth = 2;
        marker.PenColor = kMarkerCrossColor;
        marker.CrossX = TruncToInt32(CenterX / overviewStep + 40);
        marker.CrossY = TruncToInt32(32 - CenterY / overviewStep);
    }
}

void DrawOverviewMarker(const OverviewMarker& marker, const Frame32& frame) {
    const Pen pen = PenOf(marker);
    if (marker.MarkerIsFrame) {
        DrawFrame(marker, frame, pen);
    } else {
        DrawCross(marker, frame, pen);
    }
}

}  // namespace ombrilo
