#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "color_table.h"
#include "fractal_state.h"

namespace ombrilo {

// The part of the fractal state an export keeps for itself when its window opens.
struct ExportView {
    double Cx = 0.0;
    double Cy = 0.0;
    float CenterX = 0.0f;
    float CenterY = 0.0f;
    float ViewWidth = 0.0f;
};

inline ExportView ExportViewOf(const FractalState& state) {
    return {state.Cx, state.Cy, state.CenterX, state.CenterY, state.ViewWidth};
}

// Size and depth of one export.
struct ExportGeometry {
    std::int64_t WidthPixels = 0;
    std::int64_t HeightPixels = 0;
    std::int64_t ExportHalfWidth = 0;
    std::int64_t ExportHalfHeight = 0;
    float ExportStep = 0.0f;
    std::int32_t ExportLimit = 254;
};

// The detail choices of the export ("256" .. "8192"); the limit is the number minus 2.
inline constexpr int kExportDetails[] = {256, 512, 1024, 2048, 4096, 8192};
std::optional<std::int32_t> ExportLimitForDetail(int detail);

// Half sizes by truncation of size x 0.5, step = view width / pixel width as a float.
ExportGeometry MakeExportGeometry(float viewWidth, std::int64_t widthPixels,
                                  std::int64_t heightPixels, std::int32_t limit);

// The export advances its coordinates by a float step in extended precision, rounded to double
// once per addition (not a plain double addition: the rounding can differ).
inline double AddStep(double value, float step) {
    return static_cast<double>(static_cast<long double>(value) + step);
}
inline double SubtractStep(double value, float step) {
    return static_cast<double>(static_cast<long double>(value) - step);
}

// Coordinates of the export's top left pixel.
double ExportLeft(const ExportView& view, const ExportGeometry& geometry);
double ExportTop(const ExportView& view, const ExportGeometry& geometry);

// Rows come every 21 rows to a report point; the first after row 20.
inline constexpr int kExportReportInterval = 21;

enum class ExportOutcome { Finished, Cancelled, RowRejected };

// Called with each finished row (top row first) as widthPixels blue-green-red triples; returns
// false when the row could not be taken (a write failed), which ends the export.
using ExportRowSink = std::function<bool(std::int64_t row, const std::uint8_t* bgr)>;

// Called at every report point with the row just done (its low 32 bits); returns false when the
// export is to stop there.
using ExportReportPoint = std::function<bool(std::int32_t progressRow)>;

// Computes the picture with the export's point function and its own colour table. Blocks of
// rows are computed on all cores; the rows reach the sink in order, on the calling thread, and
// the report point comes after every 21st row exactly as in RenderExportReference (no row is
// delivered after a report point that stopped the export). Throws std::bad_alloc when the row
// buffers cannot be had.
ExportOutcome RenderExport(const ExportView& view, const ColorTable& table,
                           const ExportGeometry& geometry, const ExportRowSink& sink,
                           const ExportReportPoint& reportPoint);

// The straightforward form: one thread, one row buffer, each pixel in turn.
ExportOutcome RenderExportReference(const ExportView& view, const ColorTable& table,
                                    const ExportGeometry& geometry, const ExportRowSink& sink,
                                    const ExportReportPoint& reportPoint);

}  // namespace ombrilo
