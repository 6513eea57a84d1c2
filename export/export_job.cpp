#include "export_job.h"

#include <new>

namespace ombrilo {

namespace {

class BmpRowWriter final : public ExportRowWriter {
public:
    BmpRowWriter(const std::string& path, const BmpLayout& layout) : file_(path, layout) {}

    bool Open() override { return file_.Open(); }
    bool WriteRow(std::int64_t row, const std::uint8_t* bgr) override {
        return file_.WriteRow(row, bgr);
    }
    bool Commit() override { return file_.Commit(); }

private:
    BmpFileWriter file_;
};

}  // namespace

std::unique_ptr<ExportRowWriter> MakeBmpRowWriter(const std::string& path,
                                                  const BmpLayout& layout) {
    return std::make_unique<BmpRowWriter>(path, layout);
}

ExportJobResult WriteExportFile(const ExportJob& job, const ExportReportPoint& reportPoint,
                                const ExportRowWriterFactory& makeWriter) {
    const std::optional<BmpLayout> layout =
        BmpLayoutFor(job.geometry.WidthPixels, job.geometry.HeightPixels);
    if (!layout || job.table == nullptr) {
        return ExportJobResult::TooLarge;
    }
    try {
        std::unique_ptr<ExportRowWriter> writer = makeWriter(job.path, *layout);
        if (!writer || !writer->Open()) {
            return ExportJobResult::WriteFailed;
        }
        const ExportOutcome outcome = RenderExport(
            job.view, *job.table, job.geometry,
            [&](std::int64_t row, const std::uint8_t* bgr) { return writer->WriteRow(row, bgr); },
            reportPoint);
        switch (outcome) {
            case ExportOutcome::Cancelled:
                return ExportJobResult::Cancelled;
            case ExportOutcome::RowRejected:
                return ExportJobResult::WriteFailed;
            case ExportOutcome::Finished:
                break;
        }
        return writer->Commit() ? ExportJobResult::Written : ExportJobResult::WriteFailed;
    } catch (const std::bad_alloc&) {
        return ExportJobResult::NoMemory;
    }
}

}  // namespace ombrilo
