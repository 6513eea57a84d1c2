#include "export_render.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "fast_kernels.h"
#include "numeric.h"
#include "point_function.h"
#include "worker_pool.h"

namespace ombrilo {

std::optional<std::int32_t> ExportLimitForDetail(int detail) {
    for (int allowed : kExportDetails) {
        if (allowed == detail) {
            return detail - 2;
        }
    }
    return std::nullopt;
}

ExportGeometry MakeExportGeometry(float viewWidth, std::int64_t widthPixels,
                                  std::int64_t heightPixels, std::int32_t limit) {
    ExportGeometry g;
    g.WidthPixels = widthPixels;
    g.HeightPixels = heightPixels;
    g.ExportHalfWidth = TruncToInt64(static_cast<long double>(widthPixels) * 0.5L);
    g.ExportHalfHeight = TruncToInt64(static_cast<long double>(heightPixels) * 0.5L);
    g.ExportStep = static_cast<float>(static_cast<long double>(viewWidth) / widthPixels);
    g.ExportLimit = limit;
    return g;
}

double ExportLeft(const ExportView& view, const ExportGeometry& g) {
    return static_cast<double>(static_cast<long double>(view.CenterX) -
                               static_cast<long double>(g.ExportHalfWidth) * g.ExportStep);
}

double ExportTop(const ExportView& view, const ExportGeometry& g) {
    return static_cast<double>(static_cast<long double>(g.ExportHalfHeight) * g.ExportStep +
                               static_cast<long double>(view.CenterY));
}

ExportOutcome RenderExportReference(const ExportView& view, const ColorTable& table,
                                    const ExportGeometry& g, const ExportRowSink& sink,
                                    const ExportReportPoint& reportPoint) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(g.WidthPixels) * 3);
    const double x0 = ExportLeft(view, g);
    double y = ExportTop(view, g);
    int reportCounter = 0;
    for (std::int64_t r = 0; r < g.HeightPixels; ++r) {
        double x = x0;
        std::uint8_t* pixel = row.data();
        for (std::int64_t c = 0; c < g.WidthPixels; ++c) {
            std::memcpy(pixel, ExportPointColor(table, view.Cx, view.Cy, g.ExportLimit, x, y), 3);
            pixel += 3;
            x = AddStep(x, g.ExportStep);
        }
        y = SubtractStep(y, g.ExportStep);
        if (!sink(r, row.data())) {
            return ExportOutcome::RowRejected;
        }
        if (reportCounter < kExportReportInterval - 1) {
            ++reportCounter;
        } else {
            reportCounter = 0;
            if (!reportPoint(static_cast<std::int32_t>(static_cast<std::uint32_t>(r)))) {
                return ExportOutcome::Cancelled;
            }
        }
    }
    return ExportOutcome::Finished;
}

namespace {

// Pixels of one row that one worker computes at a time.
constexpr std::int64_t kChunkPixels = 256;
// Pixels of one block of rows at least, so that the workers meet at the end of a block seldom
// (a report interval of rows when rows are wide), and its row buffers at most: fewer rows than
// a report interval when rows are huge.
constexpr std::int64_t kBlockPixels = std::int64_t{1} << 16;
constexpr std::size_t kBlockBytes = std::size_t{64} << 20;

bool IsReportRow(std::int64_t row) {
    return row % kExportReportInterval == kExportReportInterval - 1;
}

// Rows up to this wide keep the x of every column, computed once for all rows; wider ones keep
// the x of every kChunkPixels-th column, and each chunk adds its way on from there.
constexpr std::int64_t kStoredColumns = std::int64_t{1} << 20;

// The x of the columns by the reference's sequence of additions (the same in every row), so
// that a worker can start a chunk anywhere in a row: every column's, or every chunk's first.
struct ColumnXs {
    std::vector<double> x;
    bool everyColumn = false;
};

ColumnXs MakeColumnXs(double x0, float step, std::int64_t width) {
    ColumnXs columns;
    columns.everyColumn = width <= kStoredColumns;
    columns.x.resize(static_cast<std::size_t>(
        columns.everyColumn ? width : (width + kChunkPixels - 1) / kChunkPixels));
    double x = x0;
    for (std::int64_t c = 0; c < width; ++c) {
        if (columns.everyColumn) {
            columns.x[static_cast<std::size_t>(c)] = x;
        } else if (c % kChunkPixels == 0) {
            columns.x[static_cast<std::size_t>(c / kChunkPixels)] = x;
        }
        x = AddStep(x, step);
    }
    return columns;
}

// The colour table with each entry's three bytes at the start of four, so that a pixel is one
// four-byte copy.
std::vector<std::uint32_t> FourByteColors(const ColorTable& table) {
    std::vector<std::uint32_t> colors(ColorTable::kEntries);
    for (int i = 0; i < ColorTable::kEntries; ++i) {
        std::memcpy(&colors[static_cast<std::size_t>(i)], table.Entry(i), 3);
    }
    return colors;
}

// Two blocks of rows: the rows of one go to the sink on the calling thread while the next is
// computed on the others, so that a slow sink (a file on a busy disk) does not hold the work up.
class BlockPipeline {
public:
    static constexpr int kSlots = 2;

    // The compute side: waits for a free slot; false when the export has stopped.
    bool WaitForSlot(std::int64_t block) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || block - delivered_ < kSlots; });
        return !stopped_;
    }
    // Read by the workers between chunks, so that a stop does not wait for a whole block.
    bool Stopped() const { return stopped_.load(std::memory_order_relaxed); }
    void Computed(std::int64_t block) {
        Set([&] { computed_ = block + 1; });
    }
    void Failed(std::exception_ptr error) {
        Set([&] {
            error_ = std::move(error);
            stopped_ = true;
        });
    }

    // The delivering side: waits for a block; false when the computing side failed.
    bool WaitForBlock(std::int64_t block) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return error_ != nullptr || computed_ > block; });
        return error_ == nullptr;
    }
    void Delivered(std::int64_t block) {
        Set([&] { delivered_ = block + 1; });
    }
    void Stop() {
        Set([&] { stopped_ = true; });
    }
    std::exception_ptr Error() {
        std::lock_guard lock(mutex_);
        return error_;
    }

private:
    template <typename Change>
    void Set(const Change& change) {
        {
            std::lock_guard lock(mutex_);
            change();
        }
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::int64_t computed_ = 0;
    std::int64_t delivered_ = 0;
    std::atomic<bool> stopped_{false};  // set under the lock; workers also read it without
    std::exception_ptr error_;
};

// How an export's rows are cut into blocks: at least kBlockPixels pixels or a report interval
// of rows to a block, at most kBlockBytes of row buffers (but one row), at most every row.
struct BlockLayout {
    std::int64_t height = 0;
    std::size_t rowBytes = 0;
    std::int64_t blockRows = 0;
    std::int64_t blocks = 0;

    explicit BlockLayout(const ExportGeometry& g)
        : height(g.HeightPixels),
          rowBytes(static_cast<std::size_t>(g.WidthPixels) * 3),
          blockRows(std::min<std::int64_t>(
              {std::max<std::int64_t>(kExportReportInterval, kBlockPixels / g.WidthPixels),
               g.HeightPixels,
               std::max<std::int64_t>(1, static_cast<std::int64_t>(kBlockBytes / rowBytes))})),
          blocks((g.HeightPixels + blockRows - 1) / blockRows) {}

    // Rows of the block: blockRows but for the last.
    std::int64_t RowsOf(std::int64_t block) const {
        return std::min(blockRows, height - block * blockRows);
    }
};

// One block's row buffers: its pixels and the y of each of its rows.
struct BlockSlot {
    std::vector<std::uint8_t> pixels;
    std::vector<double> rowY;
};

// The slots of the pipeline, each with room for a whole block.
struct BlockSlots {
    BlockSlot slot[BlockPipeline::kSlots];

    explicit BlockSlots(const BlockLayout& layout) {
        for (BlockSlot& s : slot) {
            s.pixels.resize(static_cast<std::size_t>(layout.blockRows) * layout.rowBytes);
            s.rowY.resize(static_cast<std::size_t>(layout.blockRows));
        }
    }

    BlockSlot& Of(std::int64_t block) { return slot[block % BlockPipeline::kSlots]; }
};

// Paints chunks of kChunkPixels pixels of a block's rows, the unit of work of one worker.
class ChunkPainter {
public:
    ChunkPainter(const ExportView& view, const ColorTable& table, const ExportGeometry& g,
                 const BlockLayout& layout)
        : view_(view),
          g_(g),
          rowBytes_(layout.rowBytes),
          colors_(FourByteColors(table)),
          columns_(MakeColumnXs(ExportLeft(view, g), g.ExportStep, g.WidthPixels)),
          chunksPerRow_((g.WidthPixels + kChunkPixels - 1) / kChunkPixels) {}

    std::int64_t ChunksPerRow() const { return chunksPerRow_; }

    // Chunk `item` of the block in `slot`, counted row by row.
    void Paint(BlockSlot& slot, std::int64_t item) const {
        const std::int64_t row = item / chunksPerRow_;
        const std::int64_t chunk = item % chunksPerRow_;
        const std::int64_t first = chunk * kChunkPixels;
        const std::int64_t end = std::min(g_.WidthPixels, first + kChunkPixels);
        const double y = slot.rowY[static_cast<std::size_t>(row)];
        const int count = static_cast<int>(end - first);
        const double* chunkXs = columns_.x.data() + first;
        std::vector<double> added;  // only for rows too wide to keep every column's x
        if (!columns_.everyColumn) {
            double x = columns_.x[static_cast<std::size_t>(chunk)];
            added.resize(static_cast<std::size_t>(count));
            for (double& xi : added) {
                xi = x;
                x = AddStep(x, g_.ExportStep);
            }
            chunkXs = added.data();
        }
        std::int32_t indices[kChunkPixels];
        ExportEscapeRun(view_.Cx, view_.Cy, g_.ExportLimit, chunkXs, y, count, indices);
        // Exactly the chunk's bytes: the next byte belongs to another chunk or row.
        WriteColorRun(colors_.data(), indices, count,
                      slot.pixels.data() + static_cast<std::size_t>(row) * rowBytes_ +
                          static_cast<std::size_t>(first) * 3);
    }

private:
    const ExportView& view_;
    const ExportGeometry& g_;
    std::size_t rowBytes_;
    std::vector<std::uint32_t> colors_;
    ColumnXs columns_;
    std::int64_t chunksPerRow_;
};

// The computing side: block after block into a free slot, each on all workers; the rows' y by
// the reference's sequence of subtractions. An error (no memory) stops the pipeline and is kept
// for the delivering side.
void ComputeBlocks(const ExportView& view, const ExportGeometry& g, const BlockLayout& layout,
                   const ChunkPainter& painter, BlockSlots& slots, BlockPipeline& pipeline) {
    try {
        double y = ExportTop(view, g);
        for (std::int64_t block = 0; block < layout.blocks && pipeline.WaitForSlot(block);
             ++block) {
            BlockSlot& slot = slots.Of(block);
            const std::int64_t rows = layout.RowsOf(block);
            for (std::int64_t i = 0; i < rows; ++i) {
                slot.rowY[static_cast<std::size_t>(i)] = y;
                y = SubtractStep(y, g.ExportStep);
            }
            ParallelFor(rows * painter.ChunksPerRow(), [&](std::int64_t item) {
                if (!pipeline.Stopped()) {
                    painter.Paint(slot, item);
                }
            });
            pipeline.Computed(block);
        }
    } catch (...) {
        pipeline.Failed(std::current_exception());
    }
}

// The delivering side, on the calling thread: every row in order to the sink, a report point
// after every 21st. Finished as well when the computing side failed (Finish rethrows its error).
ExportOutcome DeliverBlocks(const BlockLayout& layout, BlockSlots& slots, BlockPipeline& pipeline,
                            const ExportRowSink& sink, const ExportReportPoint& reportPoint) {
    for (std::int64_t block = 0; block < layout.blocks; ++block) {
        if (!pipeline.WaitForBlock(block)) {
            return ExportOutcome::Finished;
        }
        const BlockSlot& slot = slots.Of(block);
        for (std::int64_t i = 0; i < layout.RowsOf(block); ++i) {
            const std::int64_t r = block * layout.blockRows + i;
            if (!sink(r, slot.pixels.data() + static_cast<std::size_t>(i) * layout.rowBytes)) {
                return ExportOutcome::RowRejected;
            }
            if (IsReportRow(r) &&
                !reportPoint(static_cast<std::int32_t>(static_cast<std::uint32_t>(r)))) {
                return ExportOutcome::Cancelled;
            }
        }
        pipeline.Delivered(block);
    }
    return ExportOutcome::Finished;
}

// The thread of the computing side. Whatever ends the export (an exception of the sink
// included), it stops before the blocks it writes go away.
class ComputingThread {
public:
    template <typename Work>
    ComputingThread(BlockPipeline& pipeline, Work&& work)
        : pipeline_(pipeline), thread_(std::forward<Work>(work)) {}
    ComputingThread(const ComputingThread&) = delete;
    ComputingThread& operator=(const ComputingThread&) = delete;
    ~ComputingThread() {
        if (thread_.joinable()) {
            pipeline_.Stop();
            thread_.join();
        }
    }

    // Stops the computing side and waits for it; rethrows its error, else returns `outcome`.
    ExportOutcome Finish(ExportOutcome outcome) {
        pipeline_.Stop();
        thread_.join();
        if (std::exception_ptr error = pipeline_.Error()) {
            std::rethrow_exception(error);
        }
        return outcome;
    }

private:
    BlockPipeline& pipeline_;
    std::thread thread_;
};

}  // namespace

ExportOutcome RenderExport(const ExportView& view, const ColorTable& table, const ExportGeometry& g,
                           const ExportRowSink& sink, const ExportReportPoint& reportPoint) {
    if (g.WidthPixels <= 0 || g.HeightPixels <= 0) {
        return RenderExportReference(view, table, g, sink, reportPoint);
    }
    const BlockLayout layout(g);
    BlockSlots slots(layout);
    const ChunkPainter painter(view, table, g, layout);
    BlockPipeline pipeline;
    ComputingThread computer(pipeline,
                             [&] { ComputeBlocks(view, g, layout, painter, slots, pipeline); });
    return computer.Finish(DeliverBlocks(layout, slots, pipeline, sink, reportPoint));
}

}  // namespace ombrilo
