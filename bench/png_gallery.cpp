// Compressed sizes of the gallery's fractals as PNG files against the BMP size, and the choice of
// the deflater, its level and strategy and the row filter:
//   ombrilo-png-gallery FRACTALS_FOLDER|start [WIDTH HEIGHT] [--detail N] [--compare [ROUNDS]]
// Without --compare every picture is written once with the program's settings. With it the
// candidate settings are timed and sized over the whole gallery, in ROUNDS alternating rounds
// (3 by default; the medians are printed), against zlib level 3, the earlier setting.
// "start" stands for the start fractal alone; --detail sets the export detail (254 steps when
// not given). The 10000 x 7500 export at detail 8192:
//   ombrilo-png-gallery start 10000 7500 --detail 8192 --compare
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/export_render.h"
#include "engine/fractal_state.h"
#include "formats/bmp_file.h"
#include "formats/fractal_file.h"
#include "formats/png_file.h"

namespace {

using namespace ombrilo;

struct Picture {
    std::string name;
    FractalRecord record;
    std::vector<std::uint8_t> bgr;
};

Picture Render(const std::filesystem::path& file, std::int64_t width, std::int64_t height,
               std::int32_t limit) {
    FractalState state = MakeStartState();
    if (!file.empty()) {
        ReadFractalFile(file.string(), state, true);
    }
    Picture p{file.empty() ? "start" : file.stem().string(), RecordFromState(state), {}};
    p.bgr.resize(static_cast<std::size_t>(width * height * 3));
    const ExportView view{state.Cx, state.Cy, state.CenterX, state.CenterY, state.ViewWidth};
    RenderExport(
        view, state.colorTable, MakeExportGeometry(state.ViewWidth, width, height, limit),
        [&](std::int64_t row, const std::uint8_t* bgr) {
            std::memcpy(p.bgr.data() + row * width * 3, bgr, static_cast<std::size_t>(width) * 3);
            return true;
        },
        [](std::int32_t) { return true; });
    return p;
}

struct Cost {
    double cpu = 0;   // processor seconds of all threads
    double wall = 0;  // seconds
    std::uintmax_t bytes = 0;
};

Cost WritePng(const Picture& p, std::int64_t width, std::int64_t height,
              const PngCompression& settings) {
    const std::string path = "/tmp/ombrilo-png-gallery.png";
    const std::clock_t start = std::clock();
    const auto wallStart = std::chrono::steady_clock::now();
    PngFileWriter writer(path, {width, height, 0, p.record}, settings);
    bool ok = writer.Open();
    for (std::int64_t r = 0; ok && r < height; ++r) {
        ok = writer.WriteRow(r, p.bgr.data() + r * width * 3);
    }
    ok = ok && writer.Commit();
    Cost cost;
    cost.cpu = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    cost.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    cost.bytes = ok ? std::filesystem::file_size(path) : 0;
    std::filesystem::remove(path);
    return cost;
}

std::string MethodName(const PngCompression& c) {
    static const char* filters[] = {"none", "sub", "up", "average", "paeth", "adaptive"};
    std::string name = c.deflater == PngDeflater::Igzip ? "igzip " : "zlib ";
    name += std::to_string(c.level);
    if (c.deflater == PngDeflater::Zlib) {
        name += c.strategy == Z_RLE            ? " rle"
                : c.strategy == Z_HUFFMAN_ONLY ? " huffman"
                : c.strategy == Z_FILTERED     ? " filtered"
                                               : "";
    }
    return name + ", filter " + filters[static_cast<int>(c.filter)];
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Every candidate over every picture, round after round, and the table of the medians.
void Compare(const std::vector<Picture>& pictures, std::int64_t width, std::int64_t height,
             int rounds) {
    using F = PngRowFilter;
    const PngCompression earlier{PngDeflater::Zlib, 3, Z_DEFAULT_STRATEGY, F::None};
    const std::vector<PngCompression> candidates = {
        earlier,
        {PngDeflater::Zlib, 1, Z_DEFAULT_STRATEGY, F::None},
        {PngDeflater::Zlib, 2, Z_DEFAULT_STRATEGY, F::None},
        {PngDeflater::Zlib, 3, Z_DEFAULT_STRATEGY, F::Sub},
        {PngDeflater::Zlib, 3, Z_DEFAULT_STRATEGY, F::Up},
        {PngDeflater::Zlib, 6, Z_RLE, F::Sub},
        {PngDeflater::Zlib, 6, Z_RLE, F::Up},
        {PngDeflater::Zlib, 6, Z_HUFFMAN_ONLY, F::Up},
        {PngDeflater::Igzip, 1, 0, F::None},
        {PngDeflater::Igzip, 2, 0, F::None},
        {PngDeflater::Igzip, 3, 0, F::None},
        {PngDeflater::Igzip, 2, 0, F::Sub},
        {PngDeflater::Igzip, 2, 0, F::Up},
    };
    std::vector<std::vector<double>> cpu(candidates.size()), wall(candidates.size());
    std::vector<std::uintmax_t> bytes(candidates.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t c = 0; c < candidates.size(); ++c) {
            Cost total;
            for (const Picture& p : pictures) {
                const Cost cost = WritePng(p, width, height, candidates[c]);
                total.cpu += cost.cpu;
                total.wall += cost.wall;
                total.bytes += cost.bytes;
            }
            cpu[c].push_back(total.cpu);
            wall[c].push_back(total.wall);
            bytes[c] = total.bytes;
        }
    }
    std::printf("%zu picture(s) of %lld x %lld, medians of %d rounds; the default is marked *\n",
                pictures.size(), static_cast<long long>(width), static_cast<long long>(height),
                rounds);
    std::printf("%-28s %8s %8s %12s %8s %8s\n", "method", "cpu s", "wall s", "bytes", "cpu x",
                "size x");
    const double cpu0 = Median(cpu[0]);
    for (std::size_t c = 0; c < candidates.size(); ++c) {
        const PngCompression& m = candidates[c];
        const PngCompression d = DefaultPngCompression();
        const bool marked = m.deflater == d.deflater && m.level == d.level &&
                            m.strategy == d.strategy && m.filter == d.filter;
        std::printf("%-28s %8.3f %8.3f %12ju %8.2f %8.3f\n",
                    (MethodName(m) + (marked ? " *" : "")).c_str(), Median(cpu[c]), Median(wall[c]),
                    bytes[c], Median(cpu[c]) / cpu0,
                    static_cast<double>(bytes[c]) / static_cast<double>(bytes[0]));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const char* usage =
        "usage: %s FRACTALS_FOLDER|start [WIDTH HEIGHT] [--detail N] [--compare [ROUNDS]]\n";
    if (argc < 2) {
        std::fprintf(stderr, usage, argv[0]);
        return 2;
    }
    std::int64_t width = 3000;
    std::int64_t height = 2250;
    std::int32_t limit = 254;
    int rounds = 0;  // 0: no comparison
    std::vector<std::string> sizes;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--compare") {
            rounds = i + 1 < argc && std::isdigit(static_cast<unsigned char>(argv[i + 1][0]))
                         ? std::stoi(argv[++i])
                         : 3;
        } else if (arg == "--detail" && i + 1 < argc) {
            const auto detailLimit = ExportLimitForDetail(std::stoi(argv[++i]));
            if (!detailLimit) {
                std::fprintf(stderr, "unknown detail %s\n", argv[i]);
                return 2;
            }
            limit = *detailLimit;
        } else {
            sizes.push_back(arg);
        }
    }
    if (sizes.size() == 2) {
        width = std::stoll(sizes[0]);
        height = std::stoll(sizes[1]);
    } else if (!sizes.empty()) {
        std::fprintf(stderr, usage, argv[0]);
        return 2;
    }
    std::vector<std::filesystem::path> files;
    if (std::string(argv[1]) == "start") {
        files.emplace_back();
    } else {
        for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
            if (entry.path().extension() == ".frc") {
                files.push_back(entry.path());
            }
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<Picture> pictures;
    for (const auto& file : files) {
        pictures.push_back(Render(file, width, height, limit));
    }
    const std::uint64_t bmp = BmpLayoutFor(width, height)->fileBytes;
    if (rounds == 0) {
        std::uint64_t total = 0;
        std::printf("%lld x %lld, BMP %llu bytes each\n", static_cast<long long>(width),
                    static_cast<long long>(height), static_cast<unsigned long long>(bmp));
        for (const Picture& p : pictures) {
            const Cost cost = WritePng(p, width, height, DefaultPngCompression());
            total += cost.bytes;
            std::printf(
                "%-14s PNG %10ju bytes  %5.2f%% of BMP  %.2f s\n", p.name.c_str(), cost.bytes,
                100.0 * static_cast<double>(cost.bytes) / static_cast<double>(bmp), cost.cpu);
        }
        std::printf(
            "all %zu: PNG %llu bytes, %.2f%% of BMP\n", pictures.size(),
            static_cast<unsigned long long>(total),
            100.0 * static_cast<double>(total) / static_cast<double>(bmp * pictures.size()));
        return 0;
    }
    Compare(pictures, width, height, rounds);
    return 0;
}
