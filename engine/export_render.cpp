#include "export_render.h"

#include <algorithm>
#include <cstring>
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
// Row buffers of one block of rows; fewer rows than a report interval when rows are huge.
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

}  // namespace

ExportOutcome RenderExport(const ExportView& view, const ColorTable& table, const ExportGeometry& g,
                           const ExportRowSink& sink, const ExportReportPoint& reportPoint) {
    if (g.WidthPixels <= 0 || g.HeightPixels <= 0) {
        return RenderExportReference(view, table, g, sink, reportPoint);
    }
    const std::size_t rowBytes = static_cast<std::size_t>(g.WidthPixels) * 3;
    const std::int64_t blockRows = std::min<std::int64_t>(
        {kExportReportInterval, g.HeightPixels,
         std::max<std::int64_t>(1, static_cast<std::int64_t>(kBlockBytes / rowBytes))});
    std::vector<std::uint8_t> block(static_cast<std::size_t>(blockRows) * rowBytes);
    const ColumnXs columns = MakeColumnXs(ExportLeft(view, g), g.ExportStep, g.WidthPixels);
    const std::int64_t chunksPerRow = (g.WidthPixels + kChunkPixels - 1) / kChunkPixels;
    std::vector<double> rowY(static_cast<std::size_t>(blockRows));

    auto computeChunk = [&](std::int64_t item) {
        const std::int64_t row = item / chunksPerRow;
        const std::int64_t chunk = item % chunksPerRow;
        const std::int64_t first = chunk * kChunkPixels;
        const std::int64_t end = std::min(g.WidthPixels, first + kChunkPixels);
        const double y = rowY[static_cast<std::size_t>(row)];
        const int count = static_cast<int>(end - first);
        const double* chunkXs = columns.x.data() + first;
        std::vector<double> added;  // only for rows too wide to keep every column's x
        if (!columns.everyColumn) {
            double x = columns.x[static_cast<std::size_t>(chunk)];
            added.resize(static_cast<std::size_t>(count));
            for (double& xi : added) {
                xi = x;
                x = AddStep(x, g.ExportStep);
            }
            chunkXs = added.data();
        }
        std::int32_t indices[kChunkPixels];
        ExportEscapeRun(view.Cx, view.Cy, g.ExportLimit, chunkXs, y, count, indices);
        std::uint8_t* pixel = block.data() + static_cast<std::size_t>(row) * rowBytes +
                              static_cast<std::size_t>(first) * 3;
        for (int i = 0; i < count; ++i) {
            std::memcpy(pixel, table.Entry(indices[i]), 3);
            pixel += 3;
        }
    };

    double y = ExportTop(view, g);
    for (std::int64_t top = 0; top < g.HeightPixels; top += blockRows) {
        const std::int64_t rows = std::min(blockRows, g.HeightPixels - top);
        for (std::int64_t i = 0; i < rows; ++i) {
            rowY[static_cast<std::size_t>(i)] = y;
            y = SubtractStep(y, g.ExportStep);
        }
        ParallelFor(rows * chunksPerRow, computeChunk);
        for (std::int64_t i = 0; i < rows; ++i) {
            const std::int64_t r = top + i;
            if (!sink(r, block.data() + static_cast<std::size_t>(i) * rowBytes)) {
                return ExportOutcome::RowRejected;
            }
            if (IsReportRow(r) &&
                !reportPoint(static_cast<std::int32_t>(static_cast<std::uint32_t>(r)))) {
                return ExportOutcome::Cancelled;
            }
        }
    }
    return ExportOutcome::Finished;
}

}  // namespace ombrilo
