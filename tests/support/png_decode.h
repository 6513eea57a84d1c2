#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <png.h>

#include <cstdint>

// PNG files read back by the library's own reader, for comparison with the bitmap export.
namespace pngdecode {

struct Decoded {
    bool ok = false;
    std::int64_t width = 0;
    std::int64_t height = 0;
    QByteArray bgr;  // top row first, 3 bytes per pixel
};

inline Decoded DecodeToBgr(const QByteArray& file) {
    Decoded out;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.constData(),
                                          static_cast<std::size_t>(file.size()))) {
        return out;
    }
    image.format = PNG_FORMAT_BGR;
    out.bgr.resize(static_cast<qsizetype>(PNG_IMAGE_SIZE(image)));
    if (!png_image_finish_read(&image, nullptr, out.bgr.data(), 0, nullptr)) {
        png_image_free(&image);
        return out;
    }
    out.ok = true;
    out.width = image.width;
    out.height = image.height;
    return out;
}

// The bitmap file's pixel rows, top row first, without padding.
inline QByteArray BmpRowsTopDown(const QByteArray& bmp, std::int64_t width, std::int64_t height) {
    const std::int64_t rowBytes = (width * 3 + 3) / 4 * 4;
    QByteArray rows;
    for (std::int64_t r = height - 1; r >= 0; --r) {
        rows +=
            bmp.mid(static_cast<qsizetype>(54 + r * rowBytes), static_cast<qsizetype>(width * 3));
    }
    return rows;
}

// The chunk types of a PNG file in order ("IHDR", "tEXt", ...).
inline QStringList ChunkTypes(const QByteArray& file) {
    QStringList types;
    qsizetype at = 8;
    while (at + 8 <= file.size()) {
        const auto* p = reinterpret_cast<const unsigned char*>(file.constData() + at);
        const quint32 length = (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (p[2] << 8) | p[3];
        types << QString::fromLatin1(file.mid(at + 4, 4));
        at += 12 + static_cast<qsizetype>(length);
    }
    return types;
}

}  // namespace pngdecode
