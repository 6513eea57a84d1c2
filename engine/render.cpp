#include "render.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <type_traits>
#include <vector>

#include "fast_kernels.h"
#include "numeric.h"
#include "point_function.h"
#include "worker_pool.h"

namespace ombrilo {

float ViewLeft(const ViewGeometry& view) {
    return static_cast<float>(static_cast<long double>(view.centerX) -
                              static_cast<long double>(view.halfWidth) * view.step);
}

float ViewTop(const ViewGeometry& view) {
    return static_cast<float>(static_cast<long double>(view.centerY) +
                              static_cast<long double>(view.halfHeight) * view.step);
}

namespace {

// The straightforward loops for rows firstRow .. of the picture: the x sequence from the left
// edge in every row, the y sequence from the top edge. Frame32 or Frame24.
template <typename Frame>
void ReferenceRows(const FractalState& state, const ViewGeometry& view, int firstRow,
                   const Frame& frame) {
    constexpr int kPixelBytes = std::is_same_v<Frame, Frame24> ? 3 : 4;
    const float x0 = ViewLeft(view);
    float y = ViewTop(view);
    for (int row = 0; row < firstRow; ++row) {
        y = y - view.step;
    }
    for (int row = 0; row < frame.height; ++row) {
        std::uint8_t* pixel = frame.Row(row);
        float x = x0;
        for (int column = 0; column < frame.width; ++column) {
            std::memcpy(pixel, state.PointColor(state, x, y), 3);
            pixel += kPixelBytes;
            x = x + view.step;
        }
        y = y - view.step;
    }
}

}  // namespace

void RenderViewReference(const FractalState& state, const ViewGeometry& view,
                         const Frame32& frame) {
    ReferenceRows(state, view, 0, frame);
}

void DrawPaletteStrip(const ColorTable& table, const Frame32& frame) {
    const float scale = 256.0f / static_cast<float>(frame.width);
    for (int column = 0; column < frame.width; ++column) {
        const int k = TruncToInt32(static_cast<long double>(column) * scale);
        for (int row = 0; row < frame.height; ++row) {
            std::memcpy(frame.Row(row) + 4 * column, table.Entry(k), 3);
        }
    }
}

namespace {

// Points handed to the kernel at a time.
constexpr int kRunPixels = 4096;

// The colours of the indices the main window's point function gives (0 .. MaxIterations), each
// as bytes 0..2 of a little-endian 32-bit pixel, byte 3 clear.
using PixelColors = std::array<std::uint32_t, 256>;
static_assert(MaxIterations < 256);
static_assert(std::endian::native == std::endian::little);

PixelColors PixelColorsOf(const ColorTable& table) {
    PixelColors colors{};
    for (int i = 0; i <= MaxIterations; ++i) {
        const std::uint8_t* entry = table.Entry(i);
        colors[static_cast<std::size_t>(i)] =
            entry[0] | std::uint32_t{entry[1]} << 8 | std::uint32_t{entry[2]} << 16;
    }
    return colors;
}

// One row at height y of the points columnX, its colours into bytes 0..2 of the frame's row
// (byte 3 of each pixel keeps its value).
void RenderZ2Row(const FractalState& state, const PixelColors& colors, const float* columnX,
                 float y, const Frame32& frame, int row) {
    std::uint8_t indices[kRunPixels];
    std::uint8_t* pixel = frame.Row(row);
    for (int done = 0; done < frame.width;) {
        const int count = std::min(kRunPixels, frame.width - done);
        Z2EscapeRow(state.Cx, state.Cy, columnX + done, y, count, indices);
        for (int i = 0; i < count; ++i, pixel += 4) {
            std::uint32_t value;
            std::memcpy(&value, pixel, 4);
            value = (value & 0xFF000000u) | colors[indices[i]];
            std::memcpy(pixel, &value, 4);
        }
        done += count;
    }
}

// The same into a 24-bit row, bytes 0..2 of each colour as in the 32-bit picture.
void RenderZ2Row24(const FractalState& state, const PixelColors& colors, const float* columnX,
                   float y, const Frame24& frame, int row) {
    std::uint8_t indices[kRunPixels];
    std::uint8_t* pixel = frame.Row(row);
    for (int done = 0; done < frame.width;) {
        const int count = std::min(kRunPixels, frame.width - done);
        Z2EscapeRow(state.Cx, state.Cy, columnX + done, y, count, indices);
        WriteColorRun(colors.data(), indices, count, pixel);
        pixel += static_cast<std::ptrdiff_t>(count) * 3;
        done += count;
    }
}

// Rows of the picture into band (Frame32 or Frame24), shared out over all cores.
template <typename Frame, typename DrawRow>
void RenderZ2Rows(const FractalState& state, const ViewGeometry& view, int firstRow,
                  const Frame& band, DrawRow drawRow) {
    if (band.width <= 0 || band.height <= 0) {
        return;
    }
    // Each row's y by the reference's sequence of subtractions from the top; the x sequence by
    // its additions is the same in every row, computed once.
    std::vector<float> rowY(static_cast<std::size_t>(band.height));
    float y = ViewTop(view);
    for (int row = 0; row < firstRow; ++row) {
        y = y - view.step;
    }
    for (float& value : rowY) {
        value = y;
        y = y - view.step;
    }
    std::vector<float> columnX(static_cast<std::size_t>(band.width));
    float x = ViewLeft(view);
    for (float& value : columnX) {
        value = x;
        x = x + view.step;
    }
    const PixelColors colors = PixelColorsOf(state.colorTable);
    ParallelFor(band.height, [&](std::int64_t row) {
        drawRow(state, colors, columnX.data(), rowY[static_cast<std::size_t>(row)], band,
                static_cast<int>(row));
    });
}

}  // namespace

void RenderView(const FractalState& state, const ViewGeometry& view, const Frame32& frame) {
    RenderViewRows(state, view, 0, frame);
}

void RenderViewRows(const FractalState& state, const ViewGeometry& view, int firstRow,
                    const Frame32& band) {
    if (state.PointColor != &Z2PointColor) {
        ReferenceRows(state, view, firstRow, band);
        return;
    }
    RenderZ2Rows(state, view, firstRow, band, &RenderZ2Row);
}

void RenderViewRows24(const FractalState& state, const ViewGeometry& view, int firstRow,
                      const Frame24& band) {
    if (state.PointColor != &Z2PointColor) {
        ReferenceRows(state, view, firstRow, band);
        return;
    }
    RenderZ2Rows(state, view, firstRow, band, &RenderZ2Row24);
}

ViewGeometry MainViewGeometry(const FractalState& state) {
    return {state.CenterX, state.CenterY, state.MainStep, kMainHalfWidth, kMainHalfHeight};
}

ViewGeometry OverviewGeometry() {
    return {0.0f, 0.0f, OverviewStep, kOverviewHalfWidth, kOverviewHalfHeight};
}

ViewGeometry ScreenGeometry(const FractalState& state, int width, int height) {
    const float step = static_cast<float>(static_cast<long double>(state.ViewWidth) / width);
    return {state.CenterX, state.CenterY, step, width / 2, height / 2};
}

}  // namespace ombrilo
