#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fractal_state.h"

namespace ombrilo {

// A 32-bit picture in memory: bytes 0, 1, 2 of a pixel are blue, green, red; byte 3 is never
// written by the renderers.
struct Frame32 {
    std::uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t bytesPerLine = 0;

    std::uint8_t* Row(int row) const { return bits + bytesPerLine * row; }
};

// A 24-bit picture in memory, as the rows of a bitmap file: bytes 0, 1, 2 of a pixel are blue,
// green, red, pixels packed without gaps.
struct Frame24 {
    std::uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t bytesPerLine = 0;

    std::uint8_t* Row(int row) const { return bits + bytesPerLine * row; }
};

// Where a picture lies in the plane: the pixel (halfWidth, halfHeight) shows the centre, and
// neighbouring pixels are one step apart, reached by repeated float additions from the top left.
struct ViewGeometry {
    float centerX = 0.0f;
    float centerY = 0.0f;
    float step = 0.0f;
    int halfWidth = 0;
    int halfHeight = 0;
};

// Plane point of the top left pixel, each coordinate rounded to float.
float ViewLeft(const ViewGeometry& view);
float ViewTop(const ViewGeometry& view);

// The heights of rows firstRow .. firstRow + count - 1 and the x of columns 0 .. count - 1, by
// the pictures' own float sequences: subtractions of the step from the top, additions to the
// left edge.
std::vector<float> RowHeights(const ViewGeometry& view, int firstRow, int count);
std::vector<float> ColumnPoints(const ViewGeometry& view, int count);

// Draws a picture with the state's point function. With the main window's point function the
// rows are shared out over all cores and computed by the fast kernels; any other point function
// (a test's recording one) is called once per pixel, row by row from the top, on this thread.
// Either way every pixel is the one RenderViewReference gives. Any thread may call it, also
// several at once.
void RenderView(const FractalState& state, const ViewGeometry& view, const Frame32& frame);

// Rows firstRow .. firstRow + band.height - 1 of the picture RenderView draws for `view`, into
// band (band's row 0 is the picture's row firstRow; its width is the picture's). Lets a caller
// draw a large picture a band at a time, in any order, without holding all of it.
void RenderViewRows(const FractalState& state, const ViewGeometry& view, int firstRow,
                    const Frame32& band);

// The same rows as RenderViewRows, each pixel's bytes 0..2 packed into 24-bit rows: what a
// picture file takes, drawn there without a 32-bit picture in between.
void RenderViewRows24(const FractalState& state, const ViewGeometry& view, int firstRow,
                      const Frame24& band);

// The straightforward form: one thread, the state's point function for each pixel in turn.
void RenderViewReference(const FractalState& state, const ViewGeometry& view, const Frame32& frame);

// The main window's palette line: column c of a strip of width w shows the colour table entry
// trunc(c * (256/w)) (the scale rounded to float), the same colour all the way down.
void DrawPaletteStrip(const ColorTable& table, const Frame32& frame);

// The main view of the state's MainWidth x MainHeight pixels at its centre and MainStep: the
// pixel (trunc(MainWidth/2), trunc(MainHeight/2)) shows the centre.
ViewGeometry MainViewGeometry(const FractalState& state);

// A picture drawn in passes, for large views that must show something at once. A coarse pass
// of spacing s computes the exact pixels (s*i, s*j) and shows each as an s x s block (clipped
// at the picture's edges); passed the spacing of an earlier coarse pass into the same frame
// (a multiple of s, or 0 for none), it leaves the pixels that pass computed as they are. The
// rest pass then computes every pixel of its rows that is not on the grid of spacing s, so that
// after the coarse pass and the rest pass over all rows the frame holds exactly the picture
// RenderView draws. Only bytes 0..2 of each pixel are written.
void RenderViewCoarsePass(const FractalState& state, const ViewGeometry& view, int spacing,
                          int earlierSpacing, const Frame32& frame);
void RenderViewRestRows(const FractalState& state, const ViewGeometry& view, int spacing,
                        int firstRow, int rowCount, const Frame32& frame);

// The 81 x 65 overview of the fixed window around the origin.
ViewGeometry OverviewGeometry();

// A picture of width x height pixels that spans the state's view width (full screen, the
// browsers' previews, the slides): step ViewWidth / width, halves by integer division.
ViewGeometry ScreenGeometry(const FractalState& state, int width, int height);

}  // namespace ombrilo
