// Compressed sizes of the gallery's fractals as PNG files against the BMP size, and the choice of
// the row filter, zlib level and strategy:
//   ombrilo-png-gallery FRACTALS_FOLDER [WIDTH HEIGHT] [--compare]
// Without --compare every picture is written once with the program's settings; with it every
// combination of filter, level and strategy is timed and sized over the whole gallery.
#include <zlib.h>

#include <algorithm>
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

Picture Render(const std::filesystem::path& file, std::int64_t width, std::int64_t height) {
    FractalState state = MakeStartState();
    ReadFractalFile(file.string(), state, true);
    Picture p{file.stem().string(), RecordFromState(state), {}};
    p.bgr.resize(static_cast<std::size_t>(width * height * 3));
    const ExportView view{state.Cx, state.Cy, state.CenterX, state.CenterY, state.ViewWidth};
    RenderExport(
        view, state.colorTable, MakeExportGeometry(state.ViewWidth, width, height, 254),
        [&](std::int64_t row, const std::uint8_t* bgr) {
            std::memcpy(p.bgr.data() + row * width * 3, bgr, static_cast<std::size_t>(width) * 3);
            return true;
        },
        [](std::int32_t) { return true; });
    return p;
}

// Processor seconds (of all threads) and bytes of one PNG file.
std::pair<double, std::uintmax_t> WritePng(const Picture& p, std::int64_t width,
                                           std::int64_t height, const PngCompression& settings) {
    const std::string path = "/tmp/ombrilo-png-gallery.png";
    const std::clock_t start = std::clock();
    PngFileWriter writer(path, {width, height, 0, p.record}, settings);
    bool ok = writer.Open();
    for (std::int64_t r = 0; ok && r < height; ++r) {
        ok = writer.WriteRow(r, p.bgr.data() + r * width * 3);
    }
    ok = ok && writer.Commit();
    const double took = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    const std::uintmax_t size = ok ? std::filesystem::file_size(path) : 0;
    std::filesystem::remove(path);
    return {took, size};
}

const char* FilterName(PngRowFilter f) {
    static const char* names[] = {"none", "sub", "up", "average", "paeth", "adaptive"};
    return names[static_cast<int>(f)];
}

const char* StrategyName(int s) {
    return s == Z_RLE ? "rle" : s == Z_FILTERED ? "filtered" : "default";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FRACTALS_FOLDER [WIDTH HEIGHT] [--compare]\n", argv[0]);
        return 2;
    }
    std::int64_t width = 3000;
    std::int64_t height = 2250;
    bool compare = false;
    std::vector<std::string> rest(argv + 2, argv + argc);
    if (!rest.empty() && rest.back() == "--compare") {
        compare = true;
        rest.pop_back();
    }
    if (rest.size() == 2) {
        width = std::stoll(rest[0]);
        height = std::stoll(rest[1]);
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        if (entry.path().extension() == ".frc") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<Picture> pictures;
    for (const auto& file : files) {
        pictures.push_back(Render(file, width, height));
    }
    const std::uint64_t bmp = BmpLayoutFor(width, height)->fileBytes;
    if (!compare) {
        std::uint64_t total = 0;
        std::printf("%lld x %lld, BMP %llu bytes each\n", static_cast<long long>(width),
                    static_cast<long long>(height), static_cast<unsigned long long>(bmp));
        for (const Picture& p : pictures) {
            const auto [seconds, size] = WritePng(p, width, height, DefaultPngCompression());
            total += size;
            std::printf("%-14s PNG %10ju bytes  %5.2f%% of BMP  %.2f s\n", p.name.c_str(), size,
                        100.0 * static_cast<double>(size) / static_cast<double>(bmp), seconds);
        }
        std::printf(
            "all %zu: PNG %llu bytes, %.2f%% of BMP\n", pictures.size(),
            static_cast<unsigned long long>(total),
            100.0 * static_cast<double>(total) / static_cast<double>(bmp * pictures.size()));
        return 0;
    }
    std::printf("filter    level strategy  cpu s  bytes (whole gallery)\n");
    for (PngRowFilter filter : {PngRowFilter::None, PngRowFilter::Sub, PngRowFilter::Up,
                                PngRowFilter::Paeth, PngRowFilter::Adaptive}) {
        for (int level : {1, 2, 3, 4, 6, 9}) {
            for (int strategy : {Z_DEFAULT_STRATEGY, Z_RLE}) {
                if (strategy == Z_RLE && level != 6) {
                    continue;  // the level does not change run-length matching
                }
                double seconds = 0;
                std::uintmax_t bytes = 0;
                for (const Picture& p : pictures) {
                    const auto [s, b] = WritePng(p, width, height, {level, strategy, filter});
                    seconds += s;
                    bytes += b;
                }
                std::printf("%-9s %5d %-9s %7.2f  %ju\n", FilterName(filter), level,
                            StrategyName(strategy), seconds, bytes);
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
