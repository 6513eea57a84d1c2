#include "map_render.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "cycle_watch.h"
#include "fast_kernels.h"
#include "map_kernels.h"
#include "point_function.h"
#include "trap_region.h"
#include "worker_pool.h"

namespace ombrilo {

ViewGeometry MapGeometry(const MapView& view, int width, int height) {
    const float step = static_cast<float>(static_cast<long double>(view.width) / width);
    return {view.centerX, view.centerY, step, width / 2, height / 2};
}

int MapEscapeIndex(float x, float y) {
    return Z2EscapeIndex(x, y, 0.0f, 0.0f);
}

int MapEscapeIndexDetecting(float x, float y) {
    // The cycle detection of Z2EscapeIndexDetecting (fast_kernels.cpp); its trap region belongs
    // to one constant and does not apply here.
    const double cx = x;
    const double cy = y;
    float zx = 0.0f;
    float zy = 0.0f;
    detail::CycleWatch<detail::FloatStateBits> watch;
    for (int n = 1;; ++n) {
        const FloatPoint next = Z2Iterate(cx, cy, zx, zy);
        zx = next.x;
        zy = next.y;
        if (n > MaxIterations) {
            return 0;
        }
        if (Escaped(zx, zy)) {
            return n;
        }
        if (watch.Repeats(n, detail::FloatStateBits::Of(zx, zy))) {
            return 0;
        }
    }
}

void MapEscapeRun(const float* x, const float* y, int count, std::uint8_t* indices) {
    const LaneKernel kernel = ActiveLaneKernel();
    if (kernel == LaneKernel::Scalar) {
        for (int i = 0; i < count; ++i) {
            indices[i] = static_cast<std::uint8_t>(MapEscapeIndexDetecting(x[i], y[i]));
        }
        return;
    }
    KernelCounters tally;
    if (kernel == LaneKernel::Avx512) {
        detail::MapRunAvx512(x, y, count, indices, tally);
    } else {
        detail::MapRunAvx2(x, y, count, indices, tally);
    }
}

void RenderMapReference(const ColorTable& table, const ViewGeometry& g, const Frame32& frame) {
    const float x0 = ViewLeft(g);
    float y = ViewTop(g);
    for (int row = 0; row < frame.height; ++row) {
        std::uint8_t* pixel = frame.Row(row);
        float x = x0;
        for (int column = 0; column < frame.width; ++column) {
            std::memcpy(pixel, table.Entry(MapEscapeIndex(x, y)), 3);
            pixel += 4;
            x = x + g.step;
        }
        y = y - g.step;
    }
}

namespace {

// Pixels handed to the kernel at a time: whole rows, at least this many, so that the lanes stay
// busy to the end of a task.
constexpr int kTaskPixels = 2048;

static_assert(MaxIterations < 256);

void ColorRow(const PackedColors& colors, const std::uint8_t* indices, int width,
              const Frame32& band, int row) {
    WritePackedRow(colors, indices, width, band.Row(row));
}

void ColorRow(const PackedColors& colors, const std::uint8_t* indices, int width,
              const Frame24& band, int row) {
    WriteColorRun(colors.data(), indices, width, band.Row(row));
}

// The map's rows firstRow .. into band (Frame32 or Frame24), tasks of whole rows shared out
// over the pool. Each point comes from the reference's float sequences, computed once.
template <typename Frame>
void RenderMapBand(const ColorTable& table, const ViewGeometry& g, int firstRow,
                   const Frame& band) {
    if (band.width <= 0 || band.height <= 0) {
        return;
    }
    const int width = band.width;
    const std::vector<float> rowY = RowHeights(g, firstRow, band.height);
    const std::vector<float> columnX = ColumnPoints(g, width);
    const PackedColors colors = PackColors(table);
    const int rowsPerTask = std::max(1, kTaskPixels / width);
    const int tasks = (band.height + rowsPerTask - 1) / rowsPerTask;
    ParallelFor(tasks, [&](std::int64_t task) {
        const int first = static_cast<int>(task) * rowsPerTask;
        const int rows = std::min(rowsPerTask, band.height - first);
        const std::size_t points = static_cast<std::size_t>(rows) * static_cast<std::size_t>(width);
        std::vector<float> xs(points);
        std::vector<float> ys(points);
        std::vector<std::uint8_t> indices(points);
        for (int r = 0; r < rows; ++r) {
            const std::size_t at = static_cast<std::size_t>(r) * static_cast<std::size_t>(width);
            std::copy(columnX.begin(), columnX.end(), xs.begin() + static_cast<std::ptrdiff_t>(at));
            std::fill_n(ys.begin() + static_cast<std::ptrdiff_t>(at), width,
                        rowY[static_cast<std::size_t>(first + r)]);
        }
        MapEscapeRun(xs.data(), ys.data(), static_cast<int>(points), indices.data());
        for (int r = 0; r < rows; ++r) {
            ColorRow(colors, indices.data() + static_cast<std::ptrdiff_t>(r) * width, width, band,
                     first + r);
        }
    });
}

}  // namespace

void RenderMap(const ColorTable& table, const ViewGeometry& g, const Frame32& frame) {
    RenderMapBand(table, g, 0, frame);
}

void RenderMapRows(const ColorTable& table, const ViewGeometry& g, int firstRow,
                   const Frame32& band) {
    RenderMapBand(table, g, firstRow, band);
}

void RenderMapRows24(const ColorTable& table, const ViewGeometry& g, int firstRow,
                     const Frame24& band) {
    RenderMapBand(table, g, firstRow, band);
}

bool MapPixelsDistinct(const ViewGeometry& g, int width, int height) {
    float x = ViewLeft(g);
    for (int column = 1; column < width; ++column) {
        const float next = x + g.step;
        if (!(next > x)) {
            return false;
        }
        x = next;
    }
    float y = ViewTop(g);
    for (int row = 1; row < height; ++row) {
        const float next = y - g.step;
        if (!(next < y)) {
            return false;
        }
        y = next;
    }
    return true;
}

int AttractingCyclePeriod(double cx, double cy) {
    return MainTrapRegion(cx, cy).disks;
}

}  // namespace ombrilo
