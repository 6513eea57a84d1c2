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

std::vector<float> RowHeights(const ViewGeometry& view, int firstRow, int count) {
    std::vector<float> heights(static_cast<std::size_t>(std::max(0, count)));
    float y = ViewTop(view);
    for (int row = 0; row < firstRow; ++row) {
        y = y - view.step;
    }
    for (float& value : heights) {
        value = y;
        y = y - view.step;
    }
    return heights;
}

std::vector<float> ColumnPoints(const ViewGeometry& view, int count) {
    std::vector<float> points(static_cast<std::size_t>(std::max(0, count)));
    float x = ViewLeft(view);
    for (float& value : points) {
        value = x;
        x = x + view.step;
    }
    return points;
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

// The colours of the indices, as bytes 0..2 of little-endian 32-bit pixels (color_table.h).
using PixelColors = PackedColors;
static_assert(MaxIterations < 256);

// One row at height y of the points columnX, its colours into bytes 0..2 of the frame's row
// (byte 3 of each pixel keeps its value).
void RenderZ2Row(const FractalState& state, const PixelColors& colors, const float* columnX,
                 float y, const Frame32& frame, int row) {
    std::uint8_t indices[kRunPixels];
    std::uint8_t* pixel = frame.Row(row);
    for (int done = 0; done < frame.width;) {
        const int count = std::min(kRunPixels, frame.width - done);
        Z2EscapeRow(state.Cx, state.Cy, columnX + done, y, count, indices);
        WritePackedRow(colors, indices, count, pixel);
        pixel += static_cast<std::ptrdiff_t>(count) * 4;
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
    const std::vector<float> rowY = RowHeights(view, firstRow, band.height);
    const std::vector<float> columnX = ColumnPoints(view, band.width);
    const PixelColors colors = PackColors(state.colorTable);
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
    return {state.CenterX, state.CenterY, state.MainStep, state.MainWidth / 2,
            state.MainHeight / 2};
}

namespace {

// The x of every column and the y of every row of a picture, by the reference's sequences of
// float additions and subtractions.
std::vector<float> ColumnXs(const ViewGeometry& view, int width) {
    std::vector<float> xs(static_cast<std::size_t>(std::max(width, 0)));
    float x = ViewLeft(view);
    for (float& value : xs) {
        value = x;
        x = x + view.step;
    }
    return xs;
}

std::vector<float> RowYs(const ViewGeometry& view, int height) {
    std::vector<float> ys(static_cast<std::size_t>(std::max(height, 0)));
    float y = ViewTop(view);
    for (float& value : ys) {
        value = y;
        y = y - view.step;
    }
    return ys;
}

void SetColor(std::uint8_t* pixel, std::uint32_t color) {
    std::uint32_t value;
    std::memcpy(&value, pixel, 4);
    value = (value & 0xFF000000u) | (color & 0x00FFFFFFu);
    std::memcpy(pixel, &value, 4);
}

std::uint32_t ColorAt(const std::uint8_t* pixel) {
    std::uint32_t value;
    std::memcpy(&value, pixel, 4);
    return value;
}

// Computes the pixels of one row at the given columns: by the fast kernels for the main
// window's point function, else point by point.
void ComputeColumns(const FractalState& state, const PixelColors& colors,
                    const std::vector<int>& columns, const std::vector<float>& xs, float y,
                    std::uint8_t* row) {
    if (columns.empty()) {
        return;
    }
    if (state.PointColor != &Z2PointColor) {
        for (int column : columns) {
            std::uint8_t* pixel = row + 4 * static_cast<std::ptrdiff_t>(column);
            std::memcpy(pixel, state.PointColor(state, xs[static_cast<std::size_t>(column)], y), 3);
        }
        return;
    }
    std::uint8_t indices[kRunPixels];
    float gathered[kRunPixels];
    for (std::size_t done = 0; done < columns.size();) {
        const int count =
            static_cast<int>(std::min<std::size_t>(kRunPixels, columns.size() - done));
        for (int i = 0; i < count; ++i) {
            gathered[i] = xs[static_cast<std::size_t>(columns[done + i])];
        }
        Z2EscapeRow(state.Cx, state.Cy, gathered, y, count, indices);
        for (int i = 0; i < count; ++i) {
            SetColor(row + 4 * static_cast<std::ptrdiff_t>(columns[done + i]), colors[indices[i]]);
        }
        done += static_cast<std::size_t>(count);
    }
}

// The columns 0, spacing, 2 spacing, ... of a row, leaving out the multiples of `skip` (none
// when skip is 0).
std::vector<int> GridColumns(int width, int spacing, int skip) {
    std::vector<int> columns;
    for (int column = 0; column < width; column += spacing) {
        if (skip == 0 || column % skip != 0) {
            columns.push_back(column);
        }
    }
    return columns;
}

}  // namespace

void RenderViewCoarsePass(const FractalState& state, const ViewGeometry& view, int spacing,
                          int earlierSpacing, const Frame32& frame) {
    if (frame.width <= 0 || frame.height <= 0 || spacing < 1) {
        return;
    }
    const std::vector<float> xs = ColumnXs(view, frame.width);
    const std::vector<float> ys = RowYs(view, frame.height);
    const std::vector<int> all = GridColumns(frame.width, spacing, 0);
    const std::vector<int> fresh = GridColumns(frame.width, spacing, earlierSpacing);
    const PixelColors colors = PackColors(state.colorTable);
    const int rows = (frame.height + spacing - 1) / spacing;
    const auto drawRow = [&](std::int64_t index) {
        const int row = static_cast<int>(index) * spacing;
        std::uint8_t* line = frame.Row(row);
        const bool earlierRow = earlierSpacing != 0 && row % earlierSpacing == 0;
        ComputeColumns(state, colors, earlierRow ? fresh : all, xs,
                       ys[static_cast<std::size_t>(row)], line);
        // Each grid pixel across its block, then the row down the block.
        for (int column : all) {
            const std::uint32_t color = ColorAt(line + 4 * static_cast<std::ptrdiff_t>(column));
            const int end = std::min(column + spacing, frame.width);
            for (int c = column + 1; c < end; ++c) {
                SetColor(line + 4 * static_cast<std::ptrdiff_t>(c), color);
            }
        }
        const int end = std::min(row + spacing, frame.height);
        for (int r = row + 1; r < end; ++r) {
            std::uint8_t* target = frame.Row(r);
            for (int c = 0; c < frame.width; ++c) {
                SetColor(target + 4 * static_cast<std::ptrdiff_t>(c),
                         ColorAt(line + 4 * static_cast<std::ptrdiff_t>(c)));
            }
        }
    };
    if (state.PointColor != &Z2PointColor) {
        for (int index = 0; index < rows; ++index) {
            drawRow(index);
        }
        return;
    }
    ParallelFor(rows, drawRow);
}

void RenderViewRestRows(const FractalState& state, const ViewGeometry& view, int spacing,
                        int firstRow, int rowCount, const Frame32& frame) {
    const int lastRow = std::min(firstRow + rowCount, frame.height);
    if (frame.width <= 0 || firstRow >= lastRow || spacing < 1) {
        return;
    }
    const std::vector<float> xs = ColumnXs(view, frame.width);
    const std::vector<float> ys = RowYs(view, lastRow);
    std::vector<int> offGrid;
    for (int column = 0; column < frame.width; ++column) {
        if (column % spacing != 0) {
            offGrid.push_back(column);
        }
    }
    const PixelColors colors = PackColors(state.colorTable);
    const auto drawRow = [&](std::int64_t index) {
        const int row = firstRow + static_cast<int>(index);
        const float y = ys[static_cast<std::size_t>(row)];
        if (row % spacing == 0) {
            ComputeColumns(state, colors, offGrid, xs, y, frame.Row(row));
        } else if (state.PointColor != &Z2PointColor) {
            const Frame32 line{frame.Row(row), frame.width, 1, frame.bytesPerLine};
            ReferenceRows(state, view, row, line);
        } else {
            RenderZ2Row(state, colors, xs.data(), y, frame, row);
        }
    };
    if (state.PointColor != &Z2PointColor) {
        for (int index = 0; index < lastRow - firstRow; ++index) {
            drawRow(index);
        }
        return;
    }
    ParallelFor(lastRow - firstRow, drawRow);
}

ViewGeometry OverviewGeometry() {
    return {0.0f, 0.0f, OverviewStep, kOverviewHalfWidth, kOverviewHalfHeight};
}

ViewGeometry ScreenGeometry(const FractalState& state, int width, int height) {
    const float step = static_cast<float>(static_cast<long double>(state.ViewWidth) / width);
    return {state.CenterX, state.CenterY, step, width / 2, height / 2};
}

}  // namespace ombrilo
