#pragma once

#include <cstdint>

#include "color_table.h"
#include "render.h"

namespace ombrilo {

// The map of C: the parameter plane of z -> z^2 + C, each pixel coloured by how soon the orbit
// of 0 under z -> z^2 + c leaves, where c is the pixel's own point. The view is a centre and a
// width in plane units, all floats.
struct MapView {
    float centerX = -0.6f;
    float centerY = 0.0f;
    float width = 3.4f;
};

// The map's pixels for a picture of width x height: step = view.width / width in extended
// precision rounded to float, halves by integer division; the points come from the same float
// loop as every other picture (ViewLeft, ViewTop, float additions and subtractions).
ViewGeometry MapGeometry(const MapView& view, int width, int height);

// The escape index of 0 under z -> z^2 + c, c = (x, y): Z2EscapeIndex(x, y, 0, 0), so the first
// iterate is c itself and the limit is 254. The straightforward form.
int MapEscapeIndex(float x, float y);

// The same index, stopping early when the orbit repeats itself bit for bit (then it never
// escapes, index 0).
int MapEscapeIndexDetecting(float x, float y);

// MapEscapeIndex of the `count` points (x[i], y[i]) into indices[i], on this thread, through the
// lane kernel ActiveLaneKernel() names (the scalar MapEscapeIndexDetecting without lanes).
void MapEscapeRun(const float* x, const float* y, int count, std::uint8_t* indices);

// The straightforward picture: one thread, MapEscapeIndex for each pixel, the colour table's
// entry of that index into bytes 0..2 of the pixel (byte 3 is never written).
void RenderMapReference(const ColorTable& table, const ViewGeometry& g, const Frame32& frame);

// The same picture, rows shared over the worker pool, points on the lane kernels. Any thread
// may call it, also several at once.
void RenderMap(const ColorTable& table, const ViewGeometry& g, const Frame32& frame);

// Rows firstRow .. firstRow + band.height - 1 of the picture RenderMap draws for g (band's row
// 0 is the picture's row firstRow), as 32-bit pixels or packed into 24-bit rows: a large map a
// band at a time.
void RenderMapRows(const ColorTable& table, const ViewGeometry& g, int firstRow,
                   const Frame32& band);
void RenderMapRows24(const ColorTable& table, const ViewGeometry& g, int firstRow,
                     const Frame24& band);

// Whether every two neighbouring columns of the picture have different x (x grows to the
// right) and every two neighbouring rows different y (y falls downwards). Zooming in on the map
// stops before this fails.
bool MapPixelsDistinct(const ViewGeometry& g, int width, int height);

// The period of the attracting cycle of z -> z^2 + C that the engine proves (a ring of disks
// around it that the main window's step maps into itself, trap_region.h), 0 when it proves none
// (C outside the set, on its boundary, or a cycle too weak to prove).
int AttractingCyclePeriod(double cx, double cy);

}  // namespace ombrilo
