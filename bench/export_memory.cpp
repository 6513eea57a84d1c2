// Peak memory of one export written to a file: ombrilo-export-memory WIDTH HEIGHT DETAIL [PATH]
// The rows go to the file as they are done, so the figure should stay at a few rows of pixels
// whatever the picture's size.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/fractal_state.h"
#include "export/export_job.h"

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
    const ExportJob job{path,
                        {s.Cx, s.Cy, s.CenterX, s.CenterY, s.ViewWidth},
                        &s.colorTable,
                        MakeExportGeometry(s.ViewWidth, width, height, *limit)};
    const long before = PeakResidentKb();
    const auto start = std::chrono::steady_clock::now();
    const ExportJobResult result = WriteExportFile(job, [](std::int32_t) { return true; });
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::remove(path.c_str());
    if (result != ExportJobResult::Written) {
        std::fprintf(stderr, "the export failed\n");
        return 1;
    }
    std::printf("%lld x %lld, detail %s: %.1f s, peak resident memory %.1f MB (%.1f MB before)\n",
                width, height, argv[3], took.count(), PeakResidentKb() / 1024.0, before / 1024.0);
    return 0;
}
