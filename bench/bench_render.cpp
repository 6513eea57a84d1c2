// Speed of the picture loops: the main-window frame (main view and overview) and an export.
// Run: build/bench/ombrilo-bench
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "engine/export_render.h"
#include "engine/fractal_state.h"
#include "engine/render.h"

using namespace ombrilo;

namespace {

struct Buffer {
    explicit Buffer(int width, int height)
        : bytes(static_cast<std::size_t>(width) * height * 4),
          frame{bytes.data(), width, height, static_cast<std::ptrdiff_t>(width) * 4} {}
    std::vector<std::uint8_t> bytes;
    Frame32 frame;
};

void RenderMainFrame(const FractalState& state, Buffer& main, Buffer& overview) {
    RenderView(state, MainViewGeometry(state), main.frame);
    RenderView(state, OverviewGeometry(), overview.frame);
}

void MainFrame(benchmark::State& bench, const FractalState& state) {
    Buffer main(kMainViewWidth, kMainViewHeight);
    Buffer overview(kOverviewWidth, kOverviewHeight);
    for (auto _ : bench) {
        RenderMainFrame(state, main, overview);
        benchmark::DoNotOptimize(main.bytes.data());
    }
    bench.SetItemsProcessed(bench.iterations() *
                            (kMainViewWidth * kMainViewHeight + kOverviewWidth * kOverviewHeight));
}

void BM_MainFrameStartView(benchmark::State& bench) { MainFrame(bench, MakeStartState()); }

// A view that lies entirely inside the set: every point runs all 255 iterates.
void BM_MainFrameInside(benchmark::State& bench) {
    FractalState state = MakeStartState();
    state.ViewWidth = 0.05f;
    state.MainStep = MainStepFor(state.ViewWidth);
    MainFrame(bench, state);
}

void BM_Export(benchmark::State& bench) {
    const FractalState s = MakeStartState();
    const ExportView view{s.Cx, s.Cy, s.CenterX, s.CenterY, s.ViewWidth};
    const auto width = bench.range(0);
    const auto height = width * 3 / 4;
    const ExportGeometry geometry =
        MakeExportGeometry(s.ViewWidth, width, height, *ExportLimitForDetail(static_cast<int>(bench.range(1))));
    std::uint64_t checksum = 0;
    for (auto _ : bench) {
        RenderExport(
            view, s.colorTable, geometry,
            [&](std::int64_t, const std::uint8_t* row) {
                checksum += row[0];
                return true;
            },
            [](std::int32_t) { return true; });
    }
    benchmark::DoNotOptimize(checksum);
    bench.SetItemsProcessed(bench.iterations() * width * height);
}

}  // namespace

BENCHMARK(BM_MainFrameStartView)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MainFrameInside)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Export)->Args({1024, 256})->Args({1280, 8192})->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();

// --- Export through the export thread's path: picture rows straight into the bitmap file ---------
#include <unistd.h>

#include <cstdio>
#include <string>

#include "export/export_job.h"

namespace {

void BM_ExportFile(benchmark::State& bench) {
    const FractalState s = MakeStartState();
    const auto width = bench.range(0);
    const auto height = width * 3 / 4;
    const std::string path = "/tmp/ombrilo-bench-export-" + std::to_string(getpid()) + ".bmp";
    const ExportJob job{path, {s.Cx, s.Cy, s.CenterX, s.CenterY, s.ViewWidth}, &s.colorTable,
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

BENCHMARK(BM_ExportFile)->Args({1280, 256})->Args({1280, 8192})->Unit(benchmark::kMillisecond)->Iterations(1);
