#include "map_render.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <vector>

#include "cycle_watch.h"
#include "fast_kernels.h"
#include "map_kernels.h"
#include "map_proof.h"
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

// Rows of a task: the blocks whose orbits are proven together (map_proof.h) are at most this
// high and wide.
constexpr int kBlockSize = 16;

// The largest coordinate a block's disk takes (ProvenMapIndex asks for at most 2^40).
constexpr float kMapProofLimit = 0x1p40f;

// Steps a block's disk may take before it is given up, by block size 16, 8, 4: a small block's
// pixels are soon done by the lanes.
constexpr int kBlockSteps[] = {MaxIterations, MaxIterations, 96};

using PixelColors = std::array<std::uint32_t, 256>;
static_assert(MaxIterations < 256);
static_assert(std::endian::native == std::endian::little);

// Colour table entries 0 .. MaxIterations as bytes 0..2 of little-endian 32-bit pixels.
PixelColors PixelColorsOf(const ColorTable& table) {
    PixelColors colors{};
    for (int i = 0; i <= MaxIterations; ++i) {
        const std::uint8_t* entry = table.Entry(i);
        colors[static_cast<std::size_t>(i)] =
            entry[0] | std::uint32_t{entry[1]} << 8 | std::uint32_t{entry[2]} << 16;
    }
    return colors;
}

void ColorRow(const PixelColors& colors, const std::uint8_t* indices, int width,
              const Frame32& band, int row) {
    std::uint8_t* pixel = band.Row(row);
    for (int i = 0; i < width; ++i, pixel += 4) {
        std::uint32_t value;
        std::memcpy(&value, pixel, 4);
        value = (value & 0xFF000000u) | colors[indices[i]];
        std::memcpy(pixel, &value, 4);
    }
}

void ColorRow(const PixelColors& colors, const std::uint8_t* indices, int width,
              const Frame24& band, int row) {
    WriteColorRun(colors.data(), indices, width, band.Row(row));
}

// The indices of a task's rows: first the corners of blocks, through the lanes; blocks whose
// corners are all 0 are tried with one disk for all their pixels (ProvenMapIndex), a block that
// fails in quarters down to 4 x 4; the pixels still open go through the lanes at the end.
class BandIndices {
public:
    BandIndices(const float* columnX, const float* rowY, int width, int rows)
        : columnX_(columnX),
          rowY_(rowY),
          width_(width),
          rows_(rows),
          index_(static_cast<std::size_t>(width) * static_cast<std::size_t>(rows), kOpen) {}

    void ProveBlocks() {
        std::vector<Block> blocks;
        for (int c = 0; c < width_; c += kBlockSize) {
            blocks.push_back({0, c, rows_, std::min(kBlockSize, width_ - c)});
        }
        for (int level = 0; !blocks.empty(); ++level) {
            for (const Block& b : blocks) {
                for (const int r : {b.row, b.row + b.height - 1}) {
                    Queue(r, b.column);
                    Queue(r, b.column + b.width - 1);
                }
            }
            RunQueued();
            std::vector<Block> next;
            for (const Block& b : blocks) {
                Try(b, kBlockSteps[level], level + 1 < static_cast<int>(std::size(kBlockSteps)),
                    next);
            }
            blocks.swap(next);
        }
    }

    // Every pixel still open, through the lanes.
    void Finish() {
        for (int r = 0; r < rows_; ++r) {
            for (int c = 0; c < width_; ++c) {
                Queue(r, c);
            }
        }
        RunQueued();
    }

    const std::uint8_t* Row(int r) const {
        return reinterpret_cast<const std::uint8_t*>(&index_[At(r, 0)]);
    }

private:
    struct Block {
        int row, column, height, width;
    };
    static constexpr std::uint8_t kOpen = 0xFF;  // no index is 255 (MaxIterations < 255)
    static_assert(MaxIterations < kOpen);

    std::size_t At(int r, int c) const {
        return static_cast<std::size_t>(r) * static_cast<std::size_t>(width_) +
               static_cast<std::size_t>(c);
    }

    void Queue(int r, int c) {
        const std::size_t at = At(r, c);
        if (index_[at] == kOpen && (queued_.empty() || queued_.back() != at)) {
            queued_.push_back(at);
            xs_.push_back(columnX_[c]);
            ys_.push_back(rowY_[r]);
        }
    }

    void RunQueued() {
        std::vector<std::uint8_t> found(queued_.size());
        MapEscapeRun(xs_.data(), ys_.data(), static_cast<int>(queued_.size()), found.data());
        for (std::size_t k = 0; k < queued_.size(); ++k) {
            index_[queued_[k]] = found[k];
        }
        queued_.clear();
        xs_.clear();
        ys_.clear();
    }

    // Block b, whose corners are known: proven as a whole when its corners are all 0 and the
    // disk shows an index; else its quarters go to `next` when `split` and some corner is 0.
    void Try(const Block& b, int steps, bool split, std::vector<Block>& next) {
        const int bottom = b.row + b.height - 1;
        const int right = b.column + b.width - 1;
        const int zeros = (index_[At(b.row, b.column)] == 0) + (index_[At(b.row, right)] == 0) +
                          (index_[At(bottom, b.column)] == 0) + (index_[At(bottom, right)] == 0);
        if (zeros == 0) {
            return;
        }
        if (zeros == 4) {
            Box box{columnX_[b.column], columnX_[b.column], rowY_[b.row], rowY_[b.row]};
            bool usable = true;
            for (int c = b.column; c <= right; ++c) {
                usable = usable && std::fabs(columnX_[c]) <= kMapProofLimit;
                box.xLow = std::min<double>(box.xLow, columnX_[c]);
                box.xHigh = std::max<double>(box.xHigh, columnX_[c]);
            }
            for (int r = b.row; r <= bottom; ++r) {
                usable = usable && std::fabs(rowY_[r]) <= kMapProofLimit;
                box.yLow = std::min<double>(box.yLow, rowY_[r]);
                box.yHigh = std::max<double>(box.yHigh, rowY_[r]);
            }
            const int index = usable ? ProvenMapIndex(box, steps) : -1;
            if (index >= 0) {
                for (int r = b.row; r <= bottom; ++r) {
                    std::fill_n(&index_[At(r, b.column)], b.width,
                                static_cast<std::uint8_t>(index));
                }
                return;
            }
        }
        if (!split || (b.width < 2 && b.height < 2)) {
            return;
        }
        const int h1 = (b.height + 1) / 2;
        const int w1 = (b.width + 1) / 2;
        for (const Block& q :
             {Block{b.row, b.column, h1, w1}, Block{b.row, b.column + w1, h1, b.width - w1},
              Block{b.row + h1, b.column, b.height - h1, w1},
              Block{b.row + h1, b.column + w1, b.height - h1, b.width - w1}}) {
            if (q.height > 0 && q.width > 0) {
                next.push_back(q);
            }
        }
    }

    const float* columnX_;
    const float* rowY_;
    int width_;
    int rows_;
    std::vector<std::uint8_t> index_;
    std::vector<std::size_t> queued_;
    std::vector<float> xs_;
    std::vector<float> ys_;
};

// The map's rows firstRow .. into band (Frame32 or Frame24), tasks of whole rows shared out
// over the pool. Each point comes from the reference's float sequences, computed once.
template <typename Frame>
void RenderMapBand(const ColorTable& table, const ViewGeometry& g, int firstRow,
                   const Frame& band) {
    if (band.width <= 0 || band.height <= 0) {
        return;
    }
    const int width = band.width;
    std::vector<float> rowY(static_cast<std::size_t>(band.height));
    float y = ViewTop(g);
    for (int row = 0; row < firstRow; ++row) {
        y = y - g.step;
    }
    for (float& value : rowY) {
        value = y;
        y = y - g.step;
    }
    std::vector<float> columnX(static_cast<std::size_t>(width));
    float x = ViewLeft(g);
    for (float& value : columnX) {
        value = x;
        x = x + g.step;
    }
    const PixelColors colors = PixelColorsOf(table);
    const int tasks = (band.height + kBlockSize - 1) / kBlockSize;
    ParallelFor(tasks, [&](std::int64_t task) {
        const int first = static_cast<int>(task) * kBlockSize;
        const int rows = std::min(kBlockSize, band.height - first);
        BandIndices indices(columnX.data(), rowY.data() + first, width, rows);
        indices.ProveBlocks();
        indices.Finish();
        for (int r = 0; r < rows; ++r) {
            ColorRow(colors, indices.Row(r), width, band, first + r);
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
