#pragma once

#include <cstdint>

#include "render.h"

namespace ombrilo {

// Pen colours as the overview pen holds them: red + green * 256 + blue * 65536.
inline constexpr std::uint32_t kMarkerFrameColor = 0x0000FF;  // red
inline constexpr std::uint32_t kMarkerCrossColor = 0xFFFF00;  // aqua

// Below this MainStep (a main view narrower than about 0.212) the frame would collapse, and the
// overview shows a cross instead.
inline constexpr float MarkerThreshold = 0.0004f;

// Where the overview marks the part of the plane that the main view shows, in overview pixels,
// together with the pen it is drawn with.
struct OverviewMarker {
    bool MarkerIsFrame = true;
    int FrameX1 = -1;
    int FrameY1 = -1;
    int FrameX2 = 82;
    int FrameY2 = 66;
    int CrossX = 0;
    int CrossY = 0;
    int PenWidth = 1;
    std::uint32_t PenColor = kMarkerFrameColor;
};

// The frame just outside the 81 x 65 overview: nothing of it is visible.
void ResetOverviewMarker(OverviewMarker& marker);

// Recomputes the marker and its pen for a main view at the given centre and step.
void UpdateOverviewMarker(OverviewMarker& marker, float CenterX, float CenterY, float MainStep);

// Draws the marker with its pen onto the overview picture, clipped to the picture. Lines leave
// out their end point, as a raster line-to does. A pen of width 2 (any width above 1) covers
// for every point of the thin line the 2 x 2 block that reaches one pixel right and down.
void DrawOverviewMarker(const OverviewMarker& marker, const Frame32& frame);

}  // namespace ombrilo
