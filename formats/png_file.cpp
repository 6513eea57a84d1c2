#include "png_file.h"

#include <fcntl.h>
#include <isa-l/igzip_lib.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <immintrin.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/worker_pool.h"
#include "file_io.h"
#include "messages.h"

namespace ombrilo {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kDeflateWindow = 32768;
// Rows are compressed in blocks of 256 KiB to 1 MiB (or one row), a few blocks per thread at a
// time, and at most kBatchBytes of rows at once, whatever the number of threads.
constexpr std::size_t kMinBlockBytes = std::size_t{256} << 10;
constexpr std::size_t kMaxBlockBytes = std::size_t{1} << 20;
constexpr std::size_t kBatchBytes = std::size_t{8} << 20;
constexpr int kBlocksPerThread = 2;
constexpr std::size_t kIdatChunkBytes = std::size_t{1} << 18;
// zlib and igzip take at most 4 GiB per call; a single row can be larger.
constexpr std::size_t kZlibPiece = std::size_t{1} << 30;

// --- Row filters -----------------------------------------------------------------------------

int Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) {
        return a;
    }
    return pb <= pc ? b : c;
}

// One filter applied to an RGB row of bytes; prior is the row above (zeros above the top row).
template <PngRowFilter filter>
void FilterWith(const std::uint8_t* __restrict row, const std::uint8_t* __restrict prior,
                std::size_t bytes, std::uint8_t* __restrict out) {
    constexpr std::size_t bpp = 3;
    const auto predict = [&](std::size_t i, int a, int c) {
        const int b = prior[i];
        switch (filter) {
            case PngRowFilter::Sub:
                return a;
            case PngRowFilter::Up:
                return b;
            case PngRowFilter::Average:
                return (a + b) / 2;
            case PngRowFilter::Paeth:
                return Paeth(a, b, c);
            default:
                return 0;
        }
    };
    const std::size_t head = std::min(bytes, bpp);
    for (std::size_t i = 0; i < head; ++i) {
        out[i] = static_cast<std::uint8_t>(row[i] - predict(i, 0, 0));
    }
    for (std::size_t i = bpp; i < bytes; ++i) {
        out[i] = static_cast<std::uint8_t>(row[i] - predict(i, row[i - bpp], prior[i - bpp]));
    }
}

// The filter byte and the filtered row.
void ApplyFilter(PngRowFilter filter, const std::uint8_t* row, const std::uint8_t* prior,
                 std::size_t bytes, std::uint8_t* out) {
    out[0] = static_cast<std::uint8_t>(filter);
    switch (filter) {
        case PngRowFilter::Sub:
            return FilterWith<PngRowFilter::Sub>(row, prior, bytes, out + 1);
        case PngRowFilter::Up:
            return FilterWith<PngRowFilter::Up>(row, prior, bytes, out + 1);
        case PngRowFilter::Average:
            return FilterWith<PngRowFilter::Average>(row, prior, bytes, out + 1);
        case PngRowFilter::Paeth:
            return FilterWith<PngRowFilter::Paeth>(row, prior, bytes, out + 1);
        default:
            std::memcpy(out + 1, row, bytes);
    }
}

void BgrToRgbScalar(const std::uint8_t* bgr, std::size_t bytes, std::uint8_t* rgb) {
    for (std::size_t i = 0; i + 2 < bytes; i += 3) {
        rgb[i] = bgr[i + 2];
        rgb[i + 1] = bgr[i + 1];
        rgb[i + 2] = bgr[i];
    }
}

// Five pixels a step with a byte shuffle; the sixteenth byte written is overwritten by the next
// step, and the last steps are left to the scalar loop so nothing is written past the row.
__attribute__((target("ssse3"))) void BgrToRgbShuffled(const std::uint8_t* bgr, std::size_t bytes,
                                                       std::uint8_t* rgb) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    std::size_t i = 0;
    for (; i + 16 <= bytes; i += 15) {
        const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bgr + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb + i), _mm_shuffle_epi8(in, order));
    }
    BgrToRgbScalar(bgr + i, bytes - i, rgb + i);
}

// Blue-green-red triples to red-green-blue ones; bgr and rgb must not overlap.
void BgrToRgb(const std::uint8_t* bgr, std::size_t bytes, std::uint8_t* rgb) {
    static const bool shuffle = __builtin_cpu_supports("ssse3");
    if (shuffle) {
        BgrToRgbShuffled(bgr, bytes, rgb);
    } else {
        BgrToRgbScalar(bgr, bytes, rgb);
    }
}

std::uint64_t AbsoluteSum(const std::uint8_t* filtered, std::size_t bytes) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        sum += static_cast<std::uint64_t>(std::abs(static_cast<std::int8_t>(filtered[i])));
    }
    return sum;
}

void FilterRow(PngRowFilter filter, const std::uint8_t* row, const std::uint8_t* prior,
               std::size_t bytes, std::uint8_t* out, std::vector<std::uint8_t>& scratch) {
    if (filter != PngRowFilter::Adaptive) {
        ApplyFilter(filter, row, prior, bytes, out);
        return;
    }
    scratch.resize(bytes + 1);
    std::uint64_t best = UINT64_MAX;
    for (PngRowFilter candidate : {PngRowFilter::None, PngRowFilter::Sub, PngRowFilter::Up,
                                   PngRowFilter::Average, PngRowFilter::Paeth}) {
        ApplyFilter(candidate, row, prior, bytes, scratch.data());
        const std::uint64_t sum = AbsoluteSum(scratch.data() + 1, bytes);
        if (sum < best) {
            best = sum;
            std::memcpy(out, scratch.data(), bytes + 1);
        }
    }
}

// --- Deflate of one block ----------------------------------------------------------------------

struct CompressedBlock {
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> work;  // igzip's hash tables, kept from block to block
    uLong adler = 1;
    std::size_t length = 0;
};

// Room for data deflated in stored blocks at worst, grown when an encoder asks for more.
void ReserveOutput(std::span<const std::uint8_t> data, CompressedBlock& out) {
    out.bytes.resize(
        std::max<std::size_t>(out.bytes.size(), data.size() + data.size() / 1000 + 1024));
}

// What an encoder left of one piece of input and output room, and whether the block is done.
struct PieceLeft {
    std::size_t in = 0;
    std::size_t out = 0;
    bool done = false;
};

// Hands data to an encoder in pieces it can take (at most 4 GiB a call), doubling the output
// room whenever it is full, until the encoder reports the block done.
template <typename Encode>
void EncodeInPieces(std::span<const std::uint8_t> data, CompressedBlock& out, Encode encode) {
    std::size_t given = 0;
    for (;;) {
        if (out.length == out.bytes.size()) {
            out.bytes.resize(out.bytes.size() * 2);
        }
        const std::size_t inPiece = std::min(data.size() - given, kZlibPiece);
        const std::size_t outPiece = std::min(out.bytes.size() - out.length, kZlibPiece);
        const bool allGiven = given + inPiece == data.size();
        const PieceLeft left = encode(const_cast<std::uint8_t*>(data.data() + given), inPiece,
                                      out.bytes.data() + out.length, outPiece, allGiven);
        given += inPiece - left.in;
        out.length += outPiece - left.out;
        if (left.done) {
            return;
        }
    }
}

struct ZlibStream {
    z_stream z{};
    ~ZlibStream() { deflateEnd(&z); }
};

// Raw deflate of data (preset with the dictionary) ending on a byte boundary, or with the final
// block when last.
void ZlibBlock(const PngCompression& settings, std::span<const std::uint8_t> dictionary,
               std::span<const std::uint8_t> data, bool last, CompressedBlock& out) {
    ZlibStream stream;
    z_stream& z = stream.z;
    if (deflateInit2(&z, settings.level, Z_DEFLATED, -15, 8, settings.strategy) != Z_OK) {
        throw std::bad_alloc();
    }
    if (!dictionary.empty()) {
        deflateSetDictionary(&z, dictionary.data(), static_cast<uInt>(dictionary.size()));
    }
    EncodeInPieces(
        data, out,
        [&](std::uint8_t* in, std::size_t inBytes, std::uint8_t* to, std::size_t toBytes,
            bool allGiven) {
            z.next_in = in;
            z.avail_in = static_cast<uInt>(inBytes);
            z.next_out = to;
            z.avail_out = static_cast<uInt>(toBytes);
            const int status = deflate(&z, !allGiven ? Z_NO_FLUSH : last ? Z_FINISH : Z_SYNC_FLUSH);
            if (status != Z_OK && status != Z_BUF_ERROR && status != Z_STREAM_END) {
                throw std::bad_alloc();
            }
            const bool flushed = allGiven && !last && z.avail_in == 0 && z.avail_out != 0;
            return PieceLeft{z.avail_in, z.avail_out, status == Z_STREAM_END || flushed};
        });
}

std::size_t IgzipWorkBytes(int level) {
    switch (level) {
        case 1:
            return ISAL_DEF_LVL1_DEFAULT;
        case 2:
            return ISAL_DEF_LVL2_DEFAULT;
        default:
            return ISAL_DEF_LVL3_DEFAULT;
    }
}

// The same with igzip: a sync flush ends the block, the end of the stream the last one.
void IgzipBlock(const PngCompression& settings, std::span<const std::uint8_t> dictionary,
                std::span<const std::uint8_t> data, bool last, CompressedBlock& out) {
    isal_zstream z;
    isal_deflate_init(&z);
    out.work.resize(IgzipWorkBytes(settings.level));
    z.level = static_cast<std::uint32_t>(settings.level);
    z.level_buf = out.work.data();
    z.level_buf_size = static_cast<std::uint32_t>(out.work.size());
    if (!dictionary.empty() &&
        isal_deflate_set_dict(&z, const_cast<std::uint8_t*>(dictionary.data()),
                              static_cast<std::uint32_t>(dictionary.size())) != COMP_OK) {
        throw std::bad_alloc();
    }
    EncodeInPieces(data, out,
                   [&](std::uint8_t* in, std::size_t inBytes, std::uint8_t* to, std::size_t toBytes,
                       bool allGiven) {
                       z.next_in = in;
                       z.avail_in = static_cast<std::uint32_t>(inBytes);
                       z.next_out = to;
                       z.avail_out = static_cast<std::uint32_t>(toBytes);
                       z.flush = allGiven ? SYNC_FLUSH : NO_FLUSH;
                       z.end_of_stream = allGiven && last ? 1 : 0;
                       if (isal_deflate(&z) != COMP_OK) {
                           throw std::bad_alloc();
                       }
                       // With room left over, everything given has been written out (and flushed).
                       return PieceLeft{z.avail_in, z.avail_out,
                                        allGiven && z.avail_in == 0 && z.avail_out != 0};
                   });
}

void DeflateBlock(const PngCompression& settings, std::span<const std::uint8_t> dictionary,
                  std::span<const std::uint8_t> data, bool last, CompressedBlock& out) {
    out.adler = isal_adler32(1, data.data(), data.size());
    out.length = 0;
    ReserveOutput(data, out);
    if (settings.deflater == PngDeflater::Igzip) {
        IgzipBlock(settings, dictionary, data, last, out);
    } else {
        ZlibBlock(settings, dictionary, data, last, out);
    }
}

std::uint8_t ZlibLevelFlags(int level) {
    if (level < 2) {
        return 0;
    }
    if (level < 6) {
        return 1;
    }
    return level == 6 ? 2 : 3;
}

[[noreturn]] void PngFailure(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void HexInto(std::string& out, std::span<const std::uint8_t> bytes) {
    static const char digits[] = "0123456789abcdef";
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool HexBytes(std::string_view text, std::uint8_t* out) {
    for (std::size_t i = 0; i < text.size() / 2; ++i) {
        const int high = HexValue(text[2 * i]);
        const int low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        out[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return text.size() % 2 == 0;
}

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint32_t>(crc32_z(0, bytes.data(), bytes.size()));
}

std::uint32_t BigEndian32(const std::uint8_t* in) {
    return (std::uint32_t{in[0]} << 24) | (std::uint32_t{in[1]} << 16) |
           (std::uint32_t{in[2]} << 8) | in[3];
}

void PutBigEndian32(std::uint8_t* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
}

// Reads pieces of a PNG file: from memory or from a descriptor.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Exactly count bytes at offset, or false.
    virtual bool Read(std::uint64_t offset, std::size_t count, std::uint8_t* out) = 0;
};

class SpanSource final : public ByteSource {
public:
    explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool Read(std::uint64_t offset, std::size_t count, std::uint8_t* out) override {
        if (offset > bytes_.size() || bytes_.size() - offset < count) {
            return false;
        }
        std::memcpy(out, bytes_.data() + offset, count);
        return true;
    }

private:
    std::span<const std::uint8_t> bytes_;
};

class FileSource final : public ByteSource {
public:
    explicit FileSource(int fd) : fd_(fd) {}
    bool Read(std::uint64_t offset, std::size_t count, std::uint8_t* out) override {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t n =
                ::pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    int fd_;
};

bool IsFractalChunk(ByteSource& source, std::uint64_t offset, std::size_t keywordBytes) {
    std::uint8_t keyword[16] = {};
    return source.Read(offset + 8, keywordBytes, keyword) &&
           std::memcmp(keyword, kPngFractalKeyword, keywordBytes) == 0;
}

// The chunk at offset (its length field there) checked by its CRC and decoded.
PngFractalRead DecodeFractalChunk(ByteSource& source, std::uint64_t offset, std::uint32_t length,
                                  std::size_t keywordBytes) {
    constexpr std::uint32_t kLongestText = 4096;
    if (length > kLongestText) {
        return {PngFractalStatus::Damaged, {}};
    }
    // Type, data and the stored CRC.
    std::vector<std::uint8_t> chunk(std::size_t{length} + 8);
    if (!source.Read(offset + 4, chunk.size(), chunk.data())) {
        return {PngFractalStatus::Damaged, {}};
    }
    const std::uint32_t stored = BigEndian32(chunk.data() + 4 + length);
    if (Crc32(std::span(chunk.data(), std::size_t{length} + 4)) != stored) {
        return {PngFractalStatus::Damaged, {}};
    }
    const std::string_view text(reinterpret_cast<const char*>(chunk.data() + 4 + keywordBytes),
                                length - keywordBytes);
    const std::optional<FractalRecord> record = DecodeFractalText(text);
    if (!record) {
        return {PngFractalStatus::Damaged, {}};
    }
    return {PngFractalStatus::Found, *record};
}

// Walks the chunks before the pixel data and decodes the fractal chunk.
PngFractalRead FindFractal(ByteSource& source) {
    std::uint8_t head[8];
    if (!source.Read(0, 8, head) || std::memcmp(head, kSignature, 8) != 0) {
        return {PngFractalStatus::NotPng, {}};
    }
    std::uint64_t offset = 8;
    for (bool first = true;; first = false) {
        if (!source.Read(offset, 8, head)) {
            return {first ? PngFractalStatus::NotPng : PngFractalStatus::NoRecord, {}};
        }
        const std::uint32_t length = BigEndian32(head);
        const std::string_view type(reinterpret_cast<const char*>(head + 4), 4);
        if (first && (type != "IHDR" || length != 13)) {
            return {PngFractalStatus::NotPng, {}};
        }
        if (type == "IDAT" || type == "IEND" || length > 0x7FFFFFFFu) {
            return {PngFractalStatus::NoRecord, {}};
        }
        const std::size_t keywordBytes = std::strlen(kPngFractalKeyword) + 1;
        if (type == "tEXt" && length >= keywordBytes &&
            IsFractalChunk(source, offset, keywordBytes)) {
            return DecodeFractalChunk(source, offset, length, keywordBytes);
        }
        offset += std::uint64_t{length} + 12;
    }
}

}  // namespace

PngCompression DefaultPngCompression() {
    return PngCompression{PngDeflater::Igzip, 2, Z_DEFAULT_STRATEGY, PngRowFilter::None};
}

bool PngCompressionValid(const PngCompression& c) {
    // igzip's level 0 codes with a fixed table and can make noise a quarter larger than stored,
    // beyond PngFileSizeBound; the other levels store what they cannot shrink.
    if (c.deflater == PngDeflater::Igzip) {
        return c.level >= 1 && c.level <= ISAL_DEF_MAX_LEVEL;
    }
    return c.level >= 0 && c.level <= 9 && c.strategy >= Z_DEFAULT_STRATEGY &&
           c.strategy <= Z_FIXED;
}

bool PngSizeFits(std::int64_t width, std::int64_t height) {
    return width >= 1 && height >= 1 && width <= kPngMaxSide && height <= kPngMaxSide;
}

std::uint64_t PngFileSizeBound(std::int64_t width, std::int64_t height) {
    if (!PngSizeFits(width, height)) {
        return 0;
    }
    const auto rowBytes = static_cast<std::uint64_t>(width) * 3 + 1;
    const std::uint64_t raw = rowBytes * static_cast<std::uint64_t>(height);
    // Stored deflate blocks cost 5 bytes per 16 KiB at worst (zlib's bound), every compressed
    // block ends with a 5-byte flush marker and a 6-byte block header, the zlib header and
    // checksum take 6 bytes, and every IDAT chunk 12.
    const std::uint64_t smallestBlockRows = std::max<std::uint64_t>(1, kMinBlockBytes / rowBytes);
    const std::uint64_t blocks = 2 * (static_cast<std::uint64_t>(height) / smallestBlockRows + 1);
    const std::uint64_t deflated =
        raw + raw / 4096 + raw / 16384 + 5 * (raw / 16384 + 1) + 11 * blocks + 6 + 13;
    const std::uint64_t idat = deflated + 12 * (deflated / kIdatChunkBytes + 1);
    // Signature, IHDR, pHYs, the fractal chunk and IEND.
    return idat + 8 + 25 + 21 + (12 + 8 + 129) + 12;
}

std::uint32_t PixelsPerMetreForDpi(int dpi) {
    return static_cast<std::uint32_t>(dpi / 0.0254 + 0.5);
}

std::string EncodeFractalText(const FractalRecord& record) {
    const auto bytes = EncodeFractalRecord(record);
    std::string text;
    HexInto(text, bytes);
    text += ' ';
    std::uint8_t crc[4];
    PutBigEndian32(crc, Crc32(bytes));
    HexInto(text, crc);
    return text;
}

std::optional<FractalRecord> DecodeFractalText(std::string_view text) {
    constexpr std::size_t kHexRecord = 2 * kFractalFileSize;
    if (text.size() != kHexRecord + 9 || text[kHexRecord] != ' ') {
        return std::nullopt;
    }
    std::array<std::uint8_t, kFractalFileSize> bytes{};
    std::uint8_t crc[4];
    if (!HexBytes(text.substr(0, kHexRecord), bytes.data()) ||
        !HexBytes(text.substr(kHexRecord + 1), crc) || BigEndian32(crc) != Crc32(bytes)) {
        return std::nullopt;
    }
    return DecodeFractalRecord(bytes, FractalRecord{});
}

bool HasPngSignature(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

PngFractalRead FindPngFractal(std::span<const std::uint8_t> file) {
    SpanSource source(file);
    return FindFractal(source);
}

PngFractalRead ReadPngFractal(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return {};
    }
    struct stat info {};
    PngFractalRead result;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        FileSource source(fd);
        result = FindFractal(source);
    }
    ::close(fd);
    return result;
}

std::string PngFractalMessage(PngFractalStatus status) {
    switch (status) {
        case PngFractalStatus::Found:
            return "";
        case PngFractalStatus::Unreadable:
            return kCannotOpenForReading;
        case PngFractalStatus::NotPng:
            return "Файл не является изображением PNG.";
        case PngFractalStatus::NoRecord:
            return "В изображении PNG нет параметров фрактала: его сохранила не программа "
                   "Ombrilo.";
        case PngFractalStatus::Damaged:
            return "Параметры фрактала в изображении PNG повреждены.";
    }
    return "";
}

// --- The writer -----------------------------------------------------------------------------

struct PngFileWriter::State {
    State(std::string path, const PngPicture& p, const PngCompression& c)
        : file(std::move(path)), picture(p), compression(c) {}
    ~State() { DestroyPng(); }

    AtomicFile file;
    PngPicture picture;
    PngCompression compression;
    int error = 0;
    std::uint64_t offset = 0;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::string fractalText;

    std::size_t rowBytes = 0;  // 3 x width
    std::int64_t blockRows = 1;
    std::int64_t batchRows = 1;
    std::vector<std::uint8_t> batch;     // raw rows of the batch being gathered
    std::vector<std::uint8_t> filtered;  // the batch after filtering, filter byte per row
    std::vector<std::uint8_t> priorRow;  // the last row of the previous batch
    std::vector<std::uint8_t> tail;      // the last filtered bytes before the batch
    std::vector<CompressedBlock> blocks;
    std::int64_t rowsInBatch = 0;
    std::int64_t nextRow = 0;
    uLong adler = 1;
    bool streamStarted = false;
    std::vector<std::uint8_t> idat;

    bool Fail(int err) {
        if (error == 0) {
            error = err != 0 ? err : EIO;
        }
        return false;
    }

    void DestroyPng() {
        if (png != nullptr) {
            png_destroy_write_struct(&png, &info);
        }
    }

    static void WriteBytes(png_structp png, png_bytep data, std::size_t length) {
        auto* self = static_cast<State*>(png_get_io_ptr(png));
        if (self->error != 0) {
            return;
        }
        if (!self->file.WriteAt(self->offset, std::span(data, length))) {
            self->Fail(self->file.error());
        }
        self->offset += length;
    }
    static void FlushBytes(png_structp) {}

    bool WriteHeaderChunks();
    bool WriteChunk(const char* type, const std::uint8_t* data, std::size_t length);
    bool AppendIdat(std::span<const std::uint8_t> bytes);
    bool FlushIdat();
    bool CompressBatch(bool last);
    void FilterBlock(std::int64_t block);
    void CompressBlock(std::int64_t block, std::int64_t blockCount, bool last);
};

// The calls into the library are kept free of objects with destructors, as an error leaves
// them by a long jump.
bool PngFileWriter::State::WriteHeaderChunks() {
    png = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, PngFailure, PngWarning);
    if (png == nullptr) {
        return Fail(ENOMEM);
    }
    info = png_create_info_struct(png);
    if (info == nullptr) {
        return Fail(ENOMEM);
    }
    png_textp text = nullptr;
    png_text entry{};
    if (picture.fractal) {
        fractalText = EncodeFractalText(*picture.fractal);
        entry.compression = PNG_TEXT_COMPRESSION_NONE;
        entry.key = const_cast<char*>(kPngFractalKeyword);
        entry.text = fractalText.data();
        entry.text_length = fractalText.size();
        text = &entry;
    }
    if (setjmp(png_jmpbuf(png)) != 0) {
        return Fail(EINVAL);
    }
    png_set_write_fn(png, this, &State::WriteBytes, &State::FlushBytes);
    png_set_user_limits(png, static_cast<png_uint_32>(kPngMaxSide),
                        static_cast<png_uint_32>(kPngMaxSide));
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width),
                 static_cast<png_uint_32>(picture.height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (picture.pixelsPerMetre != 0) {
        png_set_pHYs(png, info, picture.pixelsPerMetre, picture.pixelsPerMetre,
                     PNG_RESOLUTION_METER);
    }
    if (text != nullptr) {
        png_set_text(png, info, text, 1);
    }
    png_write_info(png, info);
    return error == 0;
}

bool PngFileWriter::State::WriteChunk(const char* type, const std::uint8_t* data,
                                      std::size_t length) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return Fail(EINVAL);
    }
    png_write_chunk(png, reinterpret_cast<png_const_bytep>(type), data, length);
    return error == 0;
}

bool PngFileWriter::State::FlushIdat() {
    if (idat.empty()) {
        return error == 0;
    }
    const bool written = WriteChunk("IDAT", idat.data(), idat.size());
    idat.clear();
    return written;
}

bool PngFileWriter::State::AppendIdat(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const std::size_t room = kIdatChunkBytes - idat.size();
        const std::size_t take = std::min(room, bytes.size());
        idat.insert(idat.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
        bytes = bytes.subspan(take);
        if (idat.size() == kIdatChunkBytes && !FlushIdat()) {
            return false;
        }
    }
    return error == 0;
}

void PngFileWriter::State::FilterBlock(std::int64_t block) {
    const std::int64_t first = block * blockRows;
    const std::int64_t end = std::min(rowsInBatch, first + blockRows);
    const std::size_t stride = rowBytes + 1;
    const auto rawRow = [&](std::int64_t r) {
        return batch.data() + static_cast<std::size_t>(r) * rowBytes;
    };
    if (compression.filter == PngRowFilter::None) {
        for (std::int64_t r = first; r < end; ++r) {
            std::uint8_t* out = filtered.data() + static_cast<std::size_t>(r) * stride;
            out[0] = 0;
            BgrToRgb(rawRow(r), rowBytes, out + 1);
        }
        return;
    }
    std::vector<std::uint8_t> scratch;
    std::vector<std::uint8_t> rgb(rowBytes);
    std::vector<std::uint8_t> priorRgb(rowBytes);  // zeros above the top row
    if (first > 0) {
        BgrToRgb(rawRow(first - 1), rowBytes, priorRgb.data());
    } else if (!priorRow.empty()) {
        BgrToRgb(priorRow.data(), rowBytes, priorRgb.data());
    }
    for (std::int64_t r = first; r < end; ++r) {
        BgrToRgb(rawRow(r), rowBytes, rgb.data());
        FilterRow(compression.filter, rgb.data(), priorRgb.data(), rowBytes,
                  filtered.data() + static_cast<std::size_t>(r) * stride, scratch);
        std::swap(rgb, priorRgb);
    }
}

void PngFileWriter::State::CompressBlock(std::int64_t block, std::int64_t blockCount, bool last) {
    const std::size_t stride = rowBytes + 1;
    const std::size_t begin = static_cast<std::size_t>(block * blockRows) * stride;
    const std::size_t end =
        static_cast<std::size_t>(std::min(rowsInBatch, (block + 1) * blockRows)) * stride;
    std::span<const std::uint8_t> dictionary(tail);
    if (block > 0) {
        const std::size_t from = begin > kDeflateWindow ? begin - kDeflateWindow : 0;
        dictionary = std::span(filtered.data() + from, begin - from);
    }
    DeflateBlock(compression, dictionary, std::span(filtered.data() + begin, end - begin),
                 last && block == blockCount - 1, blocks[static_cast<std::size_t>(block)]);
}

bool PngFileWriter::State::CompressBatch(bool last) {
    const std::int64_t blockCount = (rowsInBatch + blockRows - 1) / blockRows;
    ParallelFor(blockCount, [&](std::int64_t b) { FilterBlock(b); });
    ParallelFor(blockCount, [&](std::int64_t b) { CompressBlock(b, blockCount, last); });
    if (!streamStarted) {
        const std::uint8_t cmf = 0x78;
        std::uint8_t flg = static_cast<std::uint8_t>(ZlibLevelFlags(compression.level) << 6);
        flg = static_cast<std::uint8_t>(flg + (31 - (cmf * 256 + flg) % 31) % 31);
        const std::uint8_t header[2] = {cmf, flg};
        if (!AppendIdat(header)) {
            return false;
        }
        streamStarted = true;
    }
    for (std::int64_t b = 0; b < blockCount; ++b) {
        CompressedBlock& block = blocks[static_cast<std::size_t>(b)];
        const std::size_t raw =
            static_cast<std::size_t>(std::min(rowsInBatch, (b + 1) * blockRows) - b * blockRows) *
            (rowBytes + 1);
        adler = adler32_combine(adler, block.adler, static_cast<z_off_t>(raw));
        if (!AppendIdat(std::span(block.bytes.data(), block.length))) {
            return false;
        }
    }
    const std::size_t filteredBytes = static_cast<std::size_t>(rowsInBatch) * (rowBytes + 1);
    const std::size_t keep = std::min(filteredBytes, kDeflateWindow);
    tail.assign(filtered.begin() + static_cast<std::ptrdiff_t>(filteredBytes - keep),
                filtered.begin() + static_cast<std::ptrdiff_t>(filteredBytes));
    priorRow.assign(batch.begin() + static_cast<std::ptrdiff_t>((rowsInBatch - 1) * rowBytes),
                    batch.begin() + static_cast<std::ptrdiff_t>(rowsInBatch * rowBytes));
    rowsInBatch = 0;
    if (last) {
        std::uint8_t trailer[4];
        PutBigEndian32(trailer, static_cast<std::uint32_t>(adler));
        return AppendIdat(trailer) && FlushIdat();
    }
    return error == 0;
}

PngFileWriter::PngFileWriter(std::string path, const PngPicture& picture,
                             const PngCompression& compression)
    : state_(std::make_unique<State>(std::move(path), picture, compression)) {}

PngFileWriter::~PngFileWriter() = default;

bool PngFileWriter::Open() {
    State& s = *state_;
    if (!PngSizeFits(s.picture.width, s.picture.height) || !PngCompressionValid(s.compression)) {
        return s.Fail(EINVAL);
    }
    s.rowBytes = static_cast<std::size_t>(s.picture.width) * 3;
    const std::size_t stride = s.rowBytes + 1;
    const auto wanted =
        static_cast<std::size_t>(std::max(1, ParallelThreadCount()) * kBlocksPerThread);
    const std::size_t blockBytes = std::clamp(kBatchBytes / wanted, kMinBlockBytes, kMaxBlockBytes);
    s.blockRows = static_cast<std::int64_t>(std::max<std::size_t>(1, blockBytes / stride));
    s.blockRows = std::min(s.blockRows, s.picture.height);
    const std::size_t blockSize = static_cast<std::size_t>(s.blockRows) * stride;
    const auto blocks =
        static_cast<std::int64_t>(std::clamp<std::size_t>(kBatchBytes / blockSize, 1, wanted));
    s.batchRows = std::min(s.picture.height, s.blockRows * blocks);
    s.batch.resize(static_cast<std::size_t>(s.batchRows) * s.rowBytes);
    s.filtered.resize(static_cast<std::size_t>(s.batchRows) * stride);
    s.blocks.resize(static_cast<std::size_t>((s.batchRows + s.blockRows - 1) / s.blockRows));
    s.idat.reserve(kIdatChunkBytes);
    if (!s.file.Open()) {
        return s.Fail(s.file.error());
    }
    return s.WriteHeaderChunks();  // the library writes the signature first
}

bool PngFileWriter::WriteRow(std::int64_t row, const std::uint8_t* bgr) {
    State& s = *state_;
    if (s.error != 0) {
        return false;
    }
    if (s.png == nullptr || row != s.nextRow || row >= s.picture.height) {
        return s.Fail(EINVAL);
    }
    std::memcpy(s.batch.data() + static_cast<std::size_t>(s.rowsInBatch) * s.rowBytes, bgr,
                s.rowBytes);
    ++s.rowsInBatch;
    ++s.nextRow;
    const bool last = s.nextRow == s.picture.height;
    if (s.rowsInBatch == s.batchRows || last) {
        return s.CompressBatch(last);
    }
    return true;
}

bool PngFileWriter::Commit() {
    State& s = *state_;
    if (s.error != 0 || s.png == nullptr || s.nextRow != s.picture.height) {
        s.Fail(EINVAL);
        Discard();
        return false;
    }
    if (!s.WriteChunk("IEND", nullptr, 0)) {
        Discard();
        return false;
    }
    s.DestroyPng();
    if (!s.file.Commit()) {
        return s.Fail(s.file.error());
    }
    return true;
}

void PngFileWriter::Discard() {
    state_->DestroyPng();
    state_->file.Discard();
}

int PngFileWriter::error() const {
    return state_->error;
}

}  // namespace ombrilo
