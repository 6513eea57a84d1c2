#include "export_job.h"

#include <new>

namespace ombrilo {

namespace {

// A picture file writer (BmpFileWriter, PngFileWriter) as an export's row writer.
template <class File>
class FileRowWriter final : public ExportRowWriter {
public:
    template <class Layout>
    FileRowWriter(const std::string& path, const Layout& layout) : file_(path, layout) {}

    bool Open() override { return file_.Open(); }
    bool WriteRow(std::int64_t row, const std::uint8_t* bgr) override {
        return file_.WriteRow(row, bgr);
    }
    // A writer that takes a band of rows in one piece (the bitmap's) gets it so.
    bool WriteRows(std::int64_t first, std::int64_t count, const std::uint8_t* pixels,
                   std::ptrdiff_t stride) override {
        if constexpr (requires { file_.WriteRows(first, count, pixels, stride); }) {
            return file_.WriteRows(first, count, pixels, stride);
        } else {
            return ExportRowWriter::WriteRows(first, count, pixels, stride);
        }
    }
    bool Commit() override { return file_.Commit(); }
    int error() const override { return file_.error(); }

private:
    File file_;
};

bool EndsWithNoCase(std::string_view text, std::string_view end) {
    if (text.size() < end.size()) {
        return false;
    }
    for (std::size_t i = 0; i < end.size(); ++i) {
        const char c = text[text.size() - end.size() + i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != end[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::unique_ptr<ExportRowWriter> MakeBmpRowWriter(const std::string& path,
                                                  const BmpLayout& layout) {
    return std::make_unique<FileRowWriter<BmpFileWriter>>(path, layout);
}

std::unique_ptr<ExportRowWriter> MakePngRowWriter(const std::string& path,
                                                  const PngPicture& picture) {
    return std::make_unique<FileRowWriter<PngFileWriter>>(path, picture);
}

std::optional<ExportFormat> ExportFormatForPath(std::string_view path) {
    const std::string_view name = path.substr(path.rfind('/') + 1);
    if (EndsWithNoCase(name, ".bmp")) {
        return ExportFormat::Bmp;
    }
    if (EndsWithNoCase(name, ".png")) {
        return ExportFormat::Png;
    }
    return std::nullopt;
}

bool ExportSizeFits(ExportFormat format, std::int64_t width, std::int64_t height) {
    return format == ExportFormat::Png ? PngSizeFits(width, height)
                                       : BmpLayoutFor(width, height).has_value();
}

std::unique_ptr<ExportRowWriter> MakeExportRowWriter(const ExportJob& job) {
    const std::int64_t width = job.geometry.WidthPixels;
    const std::int64_t height = job.geometry.HeightPixels;
    if (job.format == ExportFormat::Png) {
        return MakePngRowWriter(job.path,
                                PngPicture{width, height, job.pixelsPerMetre, job.fractal});
    }
    return MakeBmpRowWriter(job.path, *BmpLayoutFor(width, height));
}

ExportJobResult WriteExportFile(const ExportJob& job, const ExportReportPoint& reportPoint,
                                const ExportRowWriterFactory& makeWriter) {
    if (!ExportSizeFits(job.format, job.geometry.WidthPixels, job.geometry.HeightPixels) ||
        job.table == nullptr) {
        return ExportJobResult::TooLarge;
    }
    try {
        std::unique_ptr<ExportRowWriter> writer = makeWriter(job);
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
