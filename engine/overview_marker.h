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
    // The overview picture the marker is drawn on, in its pixels (device pixels: 81 x 65 on a
    // screen of scale 1, more on denser screens), and the cross's strokes, from CrossNear to
    // CrossFar pixels off its centre (2 and 6 at scale 1, in proportion to the width otherwise).
    int PictureWidth = kOverviewWidth;
    int PictureHeight = kOverviewHeight;
    int CrossNear = 2;
    int CrossFar = 6;
};

// Sets the overview picture's size in pixels; the cross and the pens grow with it. The marker
// itself is recomputed by the next Reset or Update.
void SetOverviewPictureSize(OverviewMarker& marker, int width, int height);

// The overview's geometry for the marker's picture size: the same window of width 5 around the
// origin, step 5/width (OverviewStep at 81 pixels).
ViewGeometry OverviewGeometryOf(const OverviewMarker& marker);

// The frame just outside the overview picture: nothing of it is visible.
void ResetOverviewMarker(OverviewMarker& marker);

// Recomputes the marker and its pen for a main view of 530 x 409 pixels at the given centre
// and step.
void UpdateOverviewMarker(OverviewMarker& marker, float CenterX, float CenterY, float MainStep);

// The same for a main view of any size: its centre, step and half sizes from `mainView`.
void UpdateOverviewMarker(OverviewMarker& marker, const ViewGeometry& mainView);

// Draws the marker with its pen onto the overview picture, clipped to the picture. Lines leave
// out their end point, as a raster line-to does. A pen of width n above 1 covers for every
// point of the thin line the n x n block that reaches n - 1 pixels right and down.
void DrawOverviewMarker(const OverviewMarker& marker, const Frame32& frame);

}  // namespace ombrilo
