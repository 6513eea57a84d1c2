// The export thread's whole path, BMP against PNG: picture rows rendered on all cores and
// written straight into the bitmap file or the PNG file (compressed on all cores), with the size.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/fractal_state.h"
#include "export/export_job.h"
#include "formats/fractal_file.h"

namespace {

using namespace ombrilo;

void BM_ExportFile(benchmark::State& bench) {
    const FractalState s = MakeStartState();
    const auto width = bench.range(0);
    const auto height = width * 3 / 4;
    const bool png = bench.range(2) != 0;
    const std::string path =
        "/tmp/ombrilo-bench-export-" + std::to_string(getpid()) + (png ? ".png" : ".bmp");
    ExportJob job{path,
                  {s.Cx, s.Cy, s.CenterX, s.CenterY, s.ViewWidth},
                  &s.colorTable,
                  MakeExportGeometry(s.ViewWidth, width, height,
                                     *ExportLimitForDetail(static_cast<int>(bench.range(1))))};
    job.format = png ? ExportFormat::Png : ExportFormat::Bmp;
    job.fractal = RecordFromState(s);
    for (auto _ : bench) {
        if (WriteExportFile(job, [](std::int32_t) { return true; }) != ExportJobResult::Written) {
            bench.SkipWithError("the file could not be written");
            break;
        }
    }
    std::error_code ec;
    bench.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(path, ec)) / 1e6;
    std::remove(path.c_str());
    bench.SetItemsProcessed(bench.iterations() * width * height);
}

}  // namespace

// Third argument: 0 writes a BMP file, 1 a PNG file. 10000 x 7500 at 8192 compares the two
// formats on a large deep export; run it alone with --benchmark_filter=BM_ExportFile/10000.
BENCHMARK(BM_ExportFile)
    ->ArgNames({"width", "detail", "png"})
    ->Args({1280, 256, 0})
    ->Args({1280, 256, 1})
    ->Args({1280, 8192, 0})
    ->Args({1280, 8192, 1})
    ->Args({10000, 8192, 0})
    ->Args({10000, 8192, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

BENCHMARK_MAIN();
