#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/color_table.h"
#include "engine/export_render.h"
#include "formats/bmp_file.h"

namespace ombrilo {

// Where the rows of an export go, top row first. A writer destroyed before Commit leaves
// nothing behind.
class ExportRowWriter {
public:
    virtual ~ExportRowWriter() = default;
    virtual bool Open() = 0;
    virtual bool WriteRow(std::int64_t row, const std::uint8_t* bgr) = 0;
    virtual bool Commit() = 0;
};

using ExportRowWriterFactory =
    std::function<std::unique_ptr<ExportRowWriter>(const std::string& path, const BmpLayout&)>;

// The bitmap file writer: rows go to the file as they are done; the file appears under its name
// (replacing an older one) only on Commit.
std::unique_ptr<ExportRowWriter> MakeBmpRowWriter(const std::string& path, const BmpLayout& layout);

enum class ExportJobResult { Written, Cancelled, TooLarge, NoMemory, WriteFailed };

// Everything one export needs; the colour table is the export window's own copy.
struct ExportJob {
    std::string path;
    ExportView view;
    const ColorTable* table = nullptr;
    ExportGeometry geometry;
};

// Renders the picture and writes it through a writer made by the factory. Memory that cannot be
// had ends the job as NoMemory; nothing is left on disk unless the result is Written.
ExportJobResult WriteExportFile(const ExportJob& job, const ExportReportPoint& reportPoint,
                                const ExportRowWriterFactory& makeWriter = MakeBmpRowWriter);

}  // namespace ombrilo
