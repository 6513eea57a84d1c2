#include "bmp_file.h"

#include <algorithm>
#include <limits>
#include <span>

namespace ombrilo {

std::optional<BmpLayout> BmpLayoutFor(std::int64_t width, std::int64_t height) {
    constexpr std::int64_t kMaxSide = std::numeric_limits<std::int32_t>::max();
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
        return std::nullopt;
    }
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(width) * 3 + 3) / 4 * 4;
    const std::uint64_t pixelBytes = rowBytes * static_cast<std::uint64_t>(height);
    const std::uint64_t fileBytes = pixelBytes + kBmpHeaderSize;
    if (fileBytes > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    return BmpLayout{static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                     static_cast<std::uint32_t>(rowBytes), static_cast<std::uint32_t>(pixelBytes),
                     static_cast<std::uint32_t>(fileBytes)};
}

std::array<std::uint8_t, kBmpHeaderSize> EncodeBmpHeader(const BmpLayout& layout) {
    std::array<std::uint8_t, kBmpHeaderSize> h{};
    h[0] = 'B';
    h[1] = 'M';
    PutUInt32(&h[2], layout.fileBytes);
    PutUInt32(&h[10], kBmpHeaderSize);
    PutUInt32(&h[14], 40);
    PutInt32(&h[18], layout.width);
    PutInt32(&h[22], layout.height);
    PutUInt16(&h[26], 1);
    PutUInt16(&h[28], 24);
    PutUInt32(&h[34], layout.pixelBytes);
    return h;
}

namespace {

// Bytes of rows gathered before they are written: small enough to stay in the processor's
// cache until the system copies them, which large spans do not (the copy then reads memory
// and took several times as long).
constexpr std::size_t kSpanBytes = std::size_t{512} << 10;
// Bytes written before they are handed to the disk in one request.
constexpr std::uint64_t kWritebackBytes = std::uint64_t{1} << 20;

}  // namespace

BmpFileWriter::BmpFileWriter(std::string path, const BmpLayout& layout)
    : layout_(layout), file_(std::move(path)) {}

bool BmpFileWriter::Open() {
    if (!(file_.Open() && file_.Reserve(layout_.fileBytes) &&
          file_.WriteAt(0, EncodeBmpHeader(layout_)))) {
        return false;
    }
    spanRows_ = std::clamp<std::int64_t>(
        static_cast<std::int64_t>(kSpanBytes / std::max<std::uint32_t>(layout_.rowBytes, 1)), 1,
        layout_.height);
    return true;
}

bool BmpFileWriter::WriteRow(std::int64_t row, const std::uint8_t* bgr) {
    if (row < 0 || row >= layout_.height || !Opened()) {
        return false;
    }
    if (span_.empty()) {  // made when first needed: bands of rows do without
        span_.assign(static_cast<std::size_t>(spanRows_) * layout_.rowBytes, 0);
    }
    const std::int64_t fileRow = layout_.height - 1 - row;
    const bool extends =
        spanFirst_ < spanEnd_ && fileRow == spanFirst_ - 1 && spanEnd_ - spanFirst_ < spanRows_;
    if (!extends) {
        if (!Flush()) {
            return false;
        }
        spanEnd_ = fileRow + 1;
    }
    spanFirst_ = fileRow;
    const std::size_t slot = static_cast<std::size_t>(spanRows_ - (spanEnd_ - fileRow));
    // The padding bytes of the slot stay zero: only the pixels are ever copied in.
    std::copy_n(bgr, static_cast<std::size_t>(layout_.width) * 3,
                span_.data() + slot * layout_.rowBytes);
    return true;
}

bool BmpFileWriter::Flush() {
    const std::int64_t rows = spanEnd_ - spanFirst_;
    if (rows <= 0) {
        return true;
    }
    const std::size_t bytes = static_cast<std::size_t>(rows) * layout_.rowBytes;
    const std::uint64_t offset =
        kBmpHeaderSize + static_cast<std::uint64_t>(spanFirst_) * layout_.rowBytes;
    spanFirst_ = spanEnd_ = 0;
    if (!file_.WriteAt(offset, std::span(span_.data() + span_.size() - bytes, bytes))) {
        return false;
    }
    Written(offset, bytes);
    return true;
}

bool BmpFileWriter::WriteRows(std::int64_t first, std::int64_t count, const std::uint8_t* pixels,
                              std::ptrdiff_t stride) {
    if (first < 0 || count < 1 || first + count > layout_.height || !Opened() || !Flush()) {
        return false;
    }
    static constexpr std::uint8_t kPadding[3] = {};
    const std::size_t pixelBytes = static_cast<std::size_t>(layout_.width) * 3;
    const std::size_t padding = layout_.rowBytes - pixelBytes;
    std::vector<std::span<const std::uint8_t>> pieces;
    pieces.reserve(static_cast<std::size_t>(count) * 2);
    for (std::int64_t r = count - 1; r >= 0; --r) {  // bottom row first, as in the file
        pieces.emplace_back(pixels + r * stride, pixelBytes);
        if (padding > 0) {
            pieces.emplace_back(kPadding, padding);
        }
    }
    const std::int64_t fileRow = layout_.height - first - count;
    const std::uint64_t offset =
        kBmpHeaderSize + static_cast<std::uint64_t>(fileRow) * layout_.rowBytes;
    if (!file_.WriteAt(offset, pieces)) {
        return false;
    }
    Written(offset, static_cast<std::uint64_t>(count) * layout_.rowBytes);
    return true;
}

// Spans of a picture's rows arrive backwards through the file, each ending where the last
// began; they are handed to the disk together once enough of them are written.
void BmpFileWriter::Written(std::uint64_t offset, std::uint64_t bytes) {
    if (offset + bytes != unsyncedFirst_) {
        StartWriteback();
        unsyncedEnd_ = offset + bytes;
    }
    unsyncedFirst_ = offset;
    if (unsyncedEnd_ - unsyncedFirst_ >= kWritebackBytes) {
        StartWriteback();
    }
}

void BmpFileWriter::StartWriteback() {
    file_.StartWriteback(unsyncedFirst_, unsyncedEnd_ - unsyncedFirst_);
    unsyncedFirst_ = unsyncedEnd_ = 0;
}

bool BmpFileWriter::Commit() {
    if (!Flush()) {
        file_.Discard();
        return false;
    }
    StartWriteback();
    return file_.Commit();
}

void BmpFileWriter::Discard() {
    file_.Discard();
}

}  // namespace ombrilo
