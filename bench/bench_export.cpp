// The export thread's whole path: picture rows rendered on all cores and written straight into
// the bitmap file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "engine/fractal_state.h"
#include "export/export_job.h"

namespace {

using namespace ombrilo;

void BM_ExportFile(benchmark::State& bench) {
    const FractalState s = MakeStartState();
    const auto width = bench.range(0);
    const auto height = width * 3 / 4;
    const std::string path = "/tmp/ombrilo-bench-export-" + std::to_string(getpid()) + ".bmp";
    const ExportJob job{
        path,
        {s.Cx, s.Cy, s.CenterX, s.CenterY, s.ViewWidth},
        &s.colorTable,
        MakeExportGeometry(s.ViewWidth, width, height,
                           *ExportLimitForDetail(static_cast<int>(bench.range(1))))};
    for (auto _ : bench) {
        if (WriteExportFile(job, [](std::int32_t) { return true; }) != ExportJobResult::Written) {
            bench.SkipWithError("the file could not be written");
            break;
        }
    }
    std::remove(path.c_str());
    bench.SetItemsProcessed(bench.iterations() * width * height);
}

}  // namespace

BENCHMARK(BM_ExportFile)
    ->Args({1280, 256})
    ->Args({1280, 8192})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

BENCHMARK_MAIN();
