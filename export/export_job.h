#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/color_table.h"
#include "engine/export_render.h"
#include "formats/bmp_file.h"
#include "formats/png_file.h"

namespace ombrilo {

// Where the rows of an export go, top row first. A writer destroyed before Commit leaves
// nothing behind.
class ExportRowWriter {
public:
    virtual ~ExportRowWriter() = default;
    virtual bool Open() = 0;
    virtual bool WriteRow(std::int64_t row, const std::uint8_t* bgr) = 0;
    // `count` rows from `first` on, row r at pixels + r * stride.
    virtual bool WriteRows(std::int64_t first, std::int64_t count, const std::uint8_t* pixels,
                           std::ptrdiff_t stride) {
        for (std::int64_t r = 0; r < count; ++r) {
            if (!WriteRow(first + r, pixels + r * stride)) {
                return false;
            }
        }
        return true;
    }
    virtual bool Commit() = 0;
    // The errno of the first failure, 0 when none or unknown.
    virtual int error() const { return 0; }
};

enum class ExportFormat { Bmp, Png };

// Which format a file name asks for: ".bmp" or ".png" in any letter case; nothing otherwise.
std::optional<ExportFormat> ExportFormatForPath(std::string_view path);

// The picture fits the format: sides of 1 .. 2^31 - 1 pixels, and for a BMP a file within the
// 32-bit size fields.
bool ExportSizeFits(ExportFormat format, std::int64_t width, std::int64_t height);

// The bitmap file writer: rows go to the file as they are done; the file appears under its name
// (replacing an older one) only on Commit.
std::unique_ptr<ExportRowWriter> MakeBmpRowWriter(const std::string& path, const BmpLayout& layout);

// The PNG writer, fed with the rows as they are done.
std::unique_ptr<ExportRowWriter> MakePngRowWriter(const std::string& path,
                                                  const PngPicture& picture);

enum class ExportJobResult { Written, Cancelled, TooLarge, NoMemory, WriteFailed };

// Everything one export needs; the colour table is the export window's own copy.
struct ExportJob {
    std::string path;
    ExportView view;
    const ColorTable* table = nullptr;
    ExportGeometry geometry;
    ExportFormat format = ExportFormat::Bmp;
    // PNG only: the fractal kept inside the picture and the resolution (0: none recorded).
    std::optional<FractalRecord> fractal{};
    std::uint32_t pixelsPerMetre = 0;
};

using ExportRowWriterFactory =
    std::function<std::unique_ptr<ExportRowWriter>(const ExportJob& job)>;

// The writer of the job's format (its size must fit the format).
std::unique_ptr<ExportRowWriter> MakeExportRowWriter(const ExportJob& job);

// Renders the picture and writes it through a writer made by the factory. Memory that cannot be
// had ends the job as NoMemory; nothing is left on disk unless the result is Written.
ExportJobResult WriteExportFile(const ExportJob& job, const ExportReportPoint& reportPoint,
                                const ExportRowWriterFactory& makeWriter = MakeExportRowWriter);

}  // namespace ombrilo
