#pragma once

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>

#include "engine/export_render.h"
#include "engine/point_function.h"
#include "export/export_job.h"

// The bitmap file an export must give, built here pixel by pixel from the point function and
// the step arithmetic of the export, without the export's loop or its file writer.
inline QByteArray ExpectedBmp(const ombrilo::ExportView& view, const ombrilo::ColorTable& table,
                              std::int64_t width, std::int64_t height, std::int32_t limit) {
    const ombrilo::ExportGeometry g =
        ombrilo::MakeExportGeometry(view.ViewWidth, width, height, limit);
    const std::int64_t rowBytes = (width * 3 + 3) / 4 * 4;
    QByteArray file(static_cast<qsizetype>(54 + rowBytes * height), '\0');
    auto put = [&](int at, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            file[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    };
    file[0] = 'B';
    file[1] = 'M';
    put(2, static_cast<std::uint32_t>(file.size()), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<std::uint32_t>(width), 4);
    put(22, static_cast<std::uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    put(34, static_cast<std::uint32_t>(rowBytes * height), 4);
    const long double step = g.ExportStep;
    const double x0 = static_cast<double>(static_cast<long double>(view.CenterX) -
                                          static_cast<long double>(g.ExportHalfWidth) * step);
    double y = static_cast<double>(static_cast<long double>(g.ExportHalfHeight) * step +
                                   static_cast<long double>(view.CenterY));
    for (std::int64_t r = 0; r < height; ++r) {
        double x = x0;
        char* out = file.data() + 54 + (height - 1 - r) * rowBytes;
        for (std::int64_t c = 0; c < width; ++c) {
            const std::uint8_t* p = ombrilo::ExportPointColor(table, view.Cx, view.Cy, limit, x, y);
            out[3 * c] = static_cast<char>(p[0]);
            out[3 * c + 1] = static_cast<char>(p[1]);
            out[3 * c + 2] = static_cast<char>(p[2]);
            x = static_cast<double>(static_cast<long double>(x) + step);
        }
        y = static_cast<double>(static_cast<long double>(y) - step);
    }
    return file;
}

// A hold inside an export: the writer stops before the row `holdRow` until Release().
class RowGate {
public:
    explicit RowGate(std::int64_t row) : holdRow(row) {}

    void PassRow(std::int64_t row) {
        lastRow = row;
        if (row != holdRow) {
            return;
        }
        std::unique_lock lock(mutex_);
        held = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_; });
    }
    void Release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

    const std::int64_t holdRow;
    std::atomic<bool> held{false};
    std::atomic<std::int64_t> lastRow{-1};

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool released_ = false;
};

// What a test writer does at a row besides passing it to the bitmap file.
enum class RowFault { None, WriteFails, OutOfMemory };

// The real bitmap writer with a gate and an optional fault at one row.
class TestRowWriter final : public ombrilo::ExportRowWriter {
public:
    TestRowWriter(std::unique_ptr<ombrilo::ExportRowWriter> file, RowGate* gate,
                  std::int64_t faultRow, RowFault fault)
        : file_(std::move(file)), gate_(gate), faultRow_(faultRow), fault_(fault) {}

    bool Open() override { return file_->Open(); }
    bool WriteRow(std::int64_t row, const std::uint8_t* bgr) override {
        if (gate_ != nullptr) {
            gate_->PassRow(row);
        }
        if (row == faultRow_ && fault_ == RowFault::WriteFails) {
            return false;
        }
        if (row == faultRow_ && fault_ == RowFault::OutOfMemory) {
            throw std::bad_alloc();
        }
        return file_->WriteRow(row, bgr);
    }
    bool Commit() override { return file_->Commit(); }

private:
    std::unique_ptr<ombrilo::ExportRowWriter> file_;
    RowGate* gate_;
    std::int64_t faultRow_;
    RowFault fault_;
};

inline ombrilo::ExportRowWriterFactory TestWriters(RowGate* gate, std::int64_t faultRow = -1,
                                                   RowFault fault = RowFault::None) {
    return [=](const ombrilo::ExportJob& job) {
        return std::make_unique<TestRowWriter>(ombrilo::MakeExportRowWriter(job), gate, faultRow,
                                               fault);
    };
}
