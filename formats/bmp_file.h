#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "file_io.h"

namespace ombrilo {

inline constexpr std::size_t kBmpHeaderSize = 54;

// Sizes of an uncompressed 24-bit bottom-up bitmap file.
struct BmpLayout {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t rowBytes = 0;    // width x 3 rounded up to a multiple of 4
    std::uint32_t pixelBytes = 0;  // rowBytes x height
    std::uint32_t fileBytes = 0;   // 54 + pixelBytes
};

// Nothing when the picture cannot be a BMP file: a side below one pixel, above 2^31 - 1, or a
// file larger than its 32-bit size fields can describe.
std::optional<BmpLayout> BmpLayoutFor(std::int64_t width, std::int64_t height);

std::array<std::uint8_t, kBmpHeaderSize> EncodeBmpHeader(const BmpLayout& layout);

// Writes a 24-bit bitmap file row by row as the rows are produced, top row first, placing each
// at its bottom-up position; the result is the same file as one written from a whole picture.
// Rows that follow each other in the file (a picture's rows top first do, backwards) are
// gathered into spans of half a megabyte, each written at once; every few megabytes written
// are handed to the disk while later rows are computed. The file appears under its name only on
// Commit (an older file stays until then).
class BmpFileWriter {
public:
    BmpFileWriter(std::string path, const BmpLayout& layout);

    // Creates the temporary file, reserves its size and writes the header. WriteRow throws
    // std::bad_alloc when its half-megabyte span cannot be had.
    bool Open();
    // One row of width blue-green-red triples; row 0 is the top of the picture.
    bool WriteRow(std::int64_t row, const std::uint8_t* bgr);
    // `count` rows from `first` on, row r at pixels + r * stride, written straight from there
    // (no copy into a span first) in the file's order.
    bool WriteRows(std::int64_t first, std::int64_t count, const std::uint8_t* pixels,
                   std::ptrdiff_t stride);
    bool Commit();
    void Discard();

    int error() const { return file_.error(); }

private:
    bool Opened() const { return spanRows_ > 0; }  // Open set the span's size
    bool Flush();
    void Written(std::uint64_t offset, std::uint64_t bytes);
    void StartWriteback();

    BmpLayout layout_;
    AtomicFile file_;
    std::vector<std::uint8_t> span_;  // file rows [spanFirst_, spanEnd_) at its end
    std::int64_t spanRows_ = 0;       // rows the span can hold
    std::int64_t spanFirst_ = 0;
    std::int64_t spanEnd_ = 0;
    std::uint64_t unsyncedFirst_ = 0;  // file bytes written but not yet handed to the disk
    std::uint64_t unsyncedEnd_ = 0;
};

}  // namespace ombrilo
