#pragma once

// Helpers shared by the command-line renderer's tests: pictures computed straight from the
// engine, bitmap files assembled byte by byte without the formats library, and a way to run the
// tool in-process.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "engine/fractal_state.h"
#include "engine/point_function.h"
#include "engine/render.h"
#include "tools/render_cli.h"

namespace ombrilo::test {

// Blue-green-red triples, rows from the top of the picture.
struct Picture {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::vector<std::uint8_t> bgr;

    const std::uint8_t* Pixel(std::int64_t column, std::int64_t row) const {
        return &bgr[static_cast<std::size_t>((row * width + column) * 3)];
    }
};

// Plane points of an export: the x of every column and the y of every row, reached by the sums
// the export makes (double plus float step, in extended precision, rounded to double).
struct ExportPoints {
    std::vector<double> xs;
    std::vector<double> ys;
};

inline ExportPoints ExportPointsFor(const FractalState& state, std::int64_t width,
                                    std::int64_t height) {
    const float step = static_cast<float>(static_cast<long double>(state.ViewWidth) / width);
    const long double longStep = step;
    const std::int64_t halfWidth = width / 2;
    const std::int64_t halfHeight = height / 2;
    ExportPoints points;
    double x = static_cast<double>(static_cast<long double>(state.CenterX) -
                                   static_cast<long double>(halfWidth) * longStep);
    double y = static_cast<double>(static_cast<long double>(halfHeight) * longStep +
                                   static_cast<long double>(state.CenterY));
    for (std::int64_t c = 0; c < width; ++c) {
        points.xs.push_back(x);
        x = static_cast<double>(x + longStep);
    }
    for (std::int64_t r = 0; r < height; ++r) {
        points.ys.push_back(y);
        y = static_cast<double>(y - longStep);
    }
    return points;
}

inline Picture ExportPicture(const FractalState& state, std::int64_t width, std::int64_t height,
                             std::int32_t limit) {
    const ExportPoints points = ExportPointsFor(state, width, height);
    Picture picture{width, height, {}};
    for (double y : points.ys) {
        for (double x : points.xs) {
            const std::uint8_t* color =
                ExportPointColor(state.colorTable, state.Cx, state.Cy, limit, x, y);
            picture.bgr.insert(picture.bgr.end(), color, color + 3);
        }
    }
    return picture;
}

// The picture RenderView draws, without byte 3 of each pixel.
inline Picture ViewPicture(const FractalState& state, const ViewGeometry& view, int width,
                           int height) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4, 0xEE);
    const Frame32 frame{pixels.data(), width, height, static_cast<std::ptrdiff_t>(width) * 4};
    RenderView(state, view, frame);
    Picture picture{width, height, {}};
    for (std::size_t i = 0; i < pixels.size(); i += 4) {
        picture.bgr.insert(picture.bgr.end(), &pixels[i], &pixels[i] + 3);
    }
    return picture;
}

inline void AppendLittleEndian(QByteArray& bytes, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

// An uncompressed 24-bit bottom-up bitmap file of the picture.
inline QByteArray BmpFileOf(const Picture& picture) {
    const auto rowBytes = static_cast<std::uint32_t>((picture.width * 3 + 3) / 4 * 4);
    const auto pixelBytes = rowBytes * static_cast<std::uint32_t>(picture.height);
    QByteArray file("BM");
    AppendLittleEndian(file, 54 + pixelBytes, 4);
    AppendLittleEndian(file, 0, 4);
    AppendLittleEndian(file, 54, 4);
    AppendLittleEndian(file, 40, 4);
    AppendLittleEndian(file, static_cast<std::uint32_t>(picture.width), 4);
    AppendLittleEndian(file, static_cast<std::uint32_t>(picture.height), 4);
    AppendLittleEndian(file, 1, 2);
    AppendLittleEndian(file, 24, 2);
    AppendLittleEndian(file, 0, 4);
    AppendLittleEndian(file, pixelBytes, 4);
    file.append(QByteArray(16, '\0'));
    for (std::int64_t row = picture.height - 1; row >= 0; --row) {
        const auto* first = reinterpret_cast<const char*>(picture.Pixel(0, row));
        file.append(first, static_cast<qsizetype>(picture.width * 3));
        file.append(QByteArray(static_cast<qsizetype>(rowBytes - picture.width * 3), '\0'));
    }
    return file;
}

inline std::uint32_t UInt32At(const QByteArray& bytes, int offset) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<std::uint8_t>(bytes[offset + i]);
    }
    return value;
}

inline std::uint16_t UInt16At(const QByteArray& bytes, int offset) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[offset]) |
                                      (static_cast<std::uint8_t>(bytes[offset + 1]) << 8));
}

// The three bytes of pixel (column, row), row 0 at the top, of a 24-bit bottom-up file.
inline QByteArray BmpPixel(const QByteArray& file, int column, int row) {
    const int width = static_cast<int>(UInt32At(file, 18));
    const int height = static_cast<int>(UInt32At(file, 22));
    const int rowBytes = (width * 3 + 3) / 4 * 4;
    return file.mid(54 + (height - 1 - row) * rowBytes + column * 3, 3);
}

inline QByteArray ColorBytes(const std::uint8_t* color) {
    return QByteArray(reinterpret_cast<const char*>(color), 3);
}

inline QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

inline bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// Every entry of a folder, hidden ones included, sorted by name.
inline QStringList FolderEntries(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

inline CliRun RunCli(const std::vector<std::string>& args,
                     const RenderCliEnvironment& environment = {}) {
    std::ostringstream out;
    std::ostringstream err;
    CliRun run;
    run.code = RunRenderCli(args, out, err, environment);
    run.out = out.str();
    run.err = err.str();
    return run;
}

inline std::string Std(const QString& text) {
    return text.toStdString();
}

}  // namespace ombrilo::test
