#include "export_render.h"

#include <cstring>
#include <vector>

#include "numeric.h"
#include "point_function.h"

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

ExportOutcome RenderExport(const ExportView& view, const ColorTable& table,
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

}  // namespace ombrilo
