#include "bmp_file.h"

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

BmpFileWriter::BmpFileWriter(std::string path, const BmpLayout& layout)
    : layout_(layout), file_(std::move(path)) {}

bool BmpFileWriter::Open() {
    return file_.Open() && file_.Reserve(layout_.fileBytes) &&
           file_.WriteAt(0, EncodeBmpHeader(layout_));
}

bool BmpFileWriter::WriteRow(std::int64_t row, const std::uint8_t* bgr) {
    if (row < 0 || row >= layout_.height) {
        return false;
    }
    const std::uint64_t offset =
        kBmpHeaderSize + static_cast<std::uint64_t>(layout_.height - 1 - row) * layout_.rowBytes;
    const std::size_t pixelBytes = static_cast<std::size_t>(layout_.width) * 3;
    const std::size_t pad = layout_.rowBytes - pixelBytes;
    return file_.WriteAt(offset, std::span(bgr, pixelBytes)) &&
           (pad == 0 || file_.WriteAt(offset + pixelBytes, std::span(padding_.data(), pad)));
}

bool BmpFileWriter::Commit() {
    return file_.Commit();
}

void BmpFileWriter::Discard() {
    file_.Discard();
}

}  // namespace ombrilo
