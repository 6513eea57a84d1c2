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
            static_cast<std::uint8_t>(marker.PenColor), std::max(marker.PenWidth, 1)};
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
    const std::int64_t n = marker.CrossNear;
    const std::int64_t f = marker.CrossFar;
    DrawLine(frame, pen, cx - n, cy - n, cx - f, cy - f);
    DrawLine(frame, pen, cx + n, cy - n, cx + f, cy - f);
    DrawLine(frame, pen, cx + n, cy + n, cx + f, cy + f);
    DrawLine(frame, pen, cx - n, cy + n, cx - f, cy + f);
}

// The picture's scale against the 81 pixels of a screen of scale 1, applied to a length.
int Scaled(const OverviewMarker& marker, int length) {
    const long double scale =
        static_cast<long double>(marker.PictureWidth) / static_cast<long double>(kOverviewWidth);
    return std::max(1, TruncToInt32(length * scale + 0.5L));
}

}  // namespace

void SetOverviewPictureSize(OverviewMarker& marker, int width, int height) {
    marker.PictureWidth = std::max(width, 1);
    marker.PictureHeight = std::max(height, 1);
    marker.CrossNear = Scaled(marker, 2);
    marker.CrossFar = Scaled(marker, 6);
}

ViewGeometry OverviewGeometryOf(const OverviewMarker& marker) {
    if (marker.PictureWidth == kOverviewWidth) {
        return OverviewGeometry();
    }
    const float step = static_cast<float>(5.0L / static_cast<long double>(marker.PictureWidth));
    return {0.0f, 0.0f, step, marker.PictureWidth / 2, marker.PictureHeight / 2};
}

void ResetOverviewMarker(OverviewMarker& marker) {
    marker.MarkerIsFrame = true;
    marker.PenWidth = Scaled(marker, 1);
    marker.PenColor = kMarkerFrameColor;
    marker.FrameX1 = -1;
    marker.FrameY1 = -1;
    marker.FrameX2 = marker.PictureWidth + 1;
    marker.FrameY2 = marker.PictureHeight + 1;
}

void UpdateOverviewMarker(OverviewMarker& marker, float CenterX, float CenterY, float MainStep) {
    UpdateOverviewMarker(marker,
                         ViewGeometry{CenterX, CenterY, MainStep, kMainHalfWidth, kMainHalfHeight});
}

void UpdateOverviewMarker(OverviewMarker& marker, const ViewGeometry& mainView) {
    const float CenterX = mainView.centerX;
    const float CenterY = mainView.centerY;
    const float MainStep = mainView.step;
    const ViewGeometry overview = OverviewGeometryOf(marker);
    const long double overviewStep = overview.step;
    const int halfX = overview.halfWidth;
    const int halfY = overview.halfHeight;
    if (static_cast<long double>(MainStep) - MarkerThreshold > 0) {
        const double hw = static_cast<long double>(mainView.halfWidth) * MainStep;
        const double hh = static_cast<long double>(mainView.halfHeight) * MainStep;
        const long double left = CenterX - static_cast<long double>(hw);
        const long double right = CenterX + static_cast<long double>(hw);
        const long double bottom = CenterY - static_cast<long double>(hh);
        const long double top = CenterY + static_cast<long double>(hh);
        marker.MarkerIsFrame = true;
        marker.PenWidth = Scaled(marker, 1);
        marker.PenColor = kMarkerFrameColor;
        marker.FrameX1 = TruncToInt32(left / overviewStep + halfX + 1);
        marker.FrameY1 = TruncToInt32(halfY - bottom / overviewStep + 1);
        marker.FrameX2 = TruncToInt32(right / overviewStep + halfX);
        marker.FrameY2 = TruncToInt32(halfY - top / overviewStep);
    } else {
        marker.MarkerIsFrame = false;
        marker.PenWidth = Scaled(marker, 2);
        marker.PenColor = kMarkerCrossColor;
        marker.CrossX = TruncToInt32(CenterX / overviewStep + halfX);
        marker.CrossY = TruncToInt32(halfY - CenterY / overviewStep);
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
