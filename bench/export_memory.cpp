// Peak memory of one export written to a file: ombrilo-export-memory WIDTH HEIGHT DETAIL [PATH]
// The rows go to the file as they are done, so the figure should stay at a few rows of pixels
// whatever the picture's size. A PATH ending in .png writes a PNG file (compressed in blocks of
// rows), anything else a BMP file.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/fractal_state.h"
#include "export/export_job.h"
#include "formats/fractal_file.h"

namespace {

long PeakResidentKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace ombrilo;
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT DETAIL [PATH]\n", argv[0]);
        return 2;
    }
    const long long width = std::atoll(argv[1]);
    const long long height = std::atoll(argv[2]);
    const auto limit = ExportLimitForDetail(std::atoi(argv[3]));
    const std::string path = argc > 4 ? argv[4] : "/tmp/ombrilo-export-memory.bmp";
    if (!limit || width < 1 || height < 1) {
        std::fprintf(stderr, "bad size or detail\n");
        return 2;
    }
    const FractalState s = MakeStartState();
    ExportJob job{path,
                  {s.Cx, s.Cy, s.CenterX, s.CenterY, s.ViewWidth},
                  &s.colorTable,
                  MakeExportGeometry(s.ViewWidth, width, height, *limit)};
    job.format = ExportFormatForPath(path).value_or(ExportFormat::Bmp);
    job.fractal = RecordFromState(s);
    const long before = PeakResidentKb();
    const auto start = std::chrono::steady_clock::now();
    const ExportJobResult result = WriteExportFile(job, [](std::int32_t) { return true; });
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(path, ec);
    std::remove(path.c_str());
    if (result != ExportJobResult::Written) {
        std::fprintf(stderr, "the export failed\n");
        return 1;
    }
    std::printf(
        "%lld x %lld, detail %s: %.1f s, file %.1f MB, peak resident memory %.1f MB (%.1f MB "
        "before)\n",
        width, height, argv[3], took.count(), static_cast<double>(bytes) / 1e6,
        PeakResidentKb() / 1024.0, before / 1024.0);
    return 0;
}
