#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "fractal_file.h"

namespace ombrilo {

// The largest side a PNG file can describe.
inline constexpr std::int64_t kPngMaxSide = 2147483647;

// The keyword of the text chunk that carries the fractal record.
inline constexpr const char* kPngFractalKeyword = "Ombrilo";

// How the rows are prepared before zlib sees them (the PNG row filters); Adaptive picks per row
// the filter with the smallest sum of absolute differences.
enum class PngRowFilter { None, Sub, Up, Average, Paeth, Adaptive };

// The deflate encoder: zlib (levels 0 to 9, with its strategies) or igzip of the Intel storage
// acceleration library (levels 1 to 3), which at level 2 takes about a third of zlib's time at
// level 1 on these pictures for files an eighth to a quarter larger than zlib's at level 3.
enum class PngDeflater { Zlib, Igzip };

struct PngCompression {
    PngDeflater deflater = PngDeflater::Igzip;
    int level = 2;
    int strategy = 0;  // zlib only: Z_DEFAULT_STRATEGY, Z_FILTERED, Z_RLE ...
    PngRowFilter filter = PngRowFilter::None;
};

// True when the deflater knows the level (and zlib the strategy).
bool PngCompressionValid(const PngCompression& compression);

// The settings the program writes with.
PngCompression DefaultPngCompression();

struct PngPicture {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t pixelsPerMetre = 0;  // 0: no resolution chunk
    std::optional<FractalRecord> fractal;
};

bool PngSizeFits(std::int64_t width, std::int64_t height);

// No PNG file this program writes of that size is larger (the pixels stored uncompressed, with
// every chunk and header around them).
std::uint64_t PngFileSizeBound(std::int64_t width, std::int64_t height);

// Pixels per metre of a resolution in dots per inch, rounded.
std::uint32_t PixelsPerMetreForDpi(int dpi);

// The text of the fractal chunk: the 60 record bytes in hexadecimal, a blank and the CRC-32 of
// those bytes in hexadecimal. Decoding refuses any other text.
std::string EncodeFractalText(const FractalRecord& record);
std::optional<FractalRecord> DecodeFractalText(std::string_view text);

enum class PngFractalStatus {
    Found,
    Unreadable,  // the file cannot be opened or is not a regular file
    NotPng,      // no PNG signature and header
    NoRecord,    // a PNG without the fractal chunk before its pixels
    Damaged,     // the chunk is there but its bytes are not a sound record
};

struct PngFractalRead {
    PngFractalStatus status = PngFractalStatus::Unreadable;
    FractalRecord record;
};

// Looks for the fractal chunk among the chunks that come before the pixel data.
PngFractalRead ReadPngFractal(const std::string& path);
PngFractalRead FindPngFractal(std::span<const std::uint8_t> file);

// The message for a status other than Found, in Russian.
std::string PngFractalMessage(PngFractalStatus status);

// True when the bytes start with the PNG signature.
bool HasPngSignature(std::span<const std::uint8_t> bytes);

// Writes an 8-bit RGB PNG file row by row, top row first, without ever holding the picture:
// rows are gathered in blocks that are filtered and compressed on all cores as one zlib stream
// (each block a run of deflate data ending on a byte boundary, the checksums combined). The
// file appears under its name only on Commit; until then an older file stays as it was.
class PngFileWriter {
public:
    PngFileWriter(std::string path, const PngPicture& picture,
                  const PngCompression& compression = DefaultPngCompression());
    ~PngFileWriter();
    PngFileWriter(const PngFileWriter&) = delete;
    PngFileWriter& operator=(const PngFileWriter&) = delete;

    // Creates the temporary file and writes the chunks before the pixels; fails with EINVAL for
    // settings PngCompressionValid refuses. Throws std::bad_alloc when the row buffers cannot be
    // had.
    bool Open();
    // One row of width blue-green-red triples; rows must come in order.
    bool WriteRow(std::int64_t row, const std::uint8_t* bgr);
    bool Commit();
    void Discard();

    // The errno of the first failure, 0 when none (EINVAL for misuse such as rows out of order).
    int error() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace ombrilo
