// Speed of the picture loops, the straightforward reference forms against the fast ones (all
// cores or OMBRILO_THREADS=N, the widest lanes the processor has, exact cycle detection, the
// trap region). Every
// fast picture is checked byte for byte against the reference before it is timed. The full-screen
// and export benchmarks of the fast loops time the reference once more in the same run and report
// the ratio as `speedup` and the guard fallbacks of the lanes (and of the export kernel) per
// iterate; the lanes also count the escape tests left to the reference (tie_rate) and the
// points stopped in the trap region; box_rate is the share of the pixels whose index a box
// proved for a whole run at once. Run: cmake --build build --target ombrilo-bench &&
// build/bench/ombrilo-bench
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "engine/fast_kernels.h"

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

using ViewRenderer = void (*)(const FractalState&, const ViewGeometry&, const Frame32&);

FractalState View(float centerX, float centerY, float width) {
    FractalState state = MakeStartState();
    state.CenterX = centerX;
    state.CenterY = centerY;
    SetViewWidth(state, width);
    return state;
}

FractalState WithConstant(FractalState state, double cx, double cy) {
    state.Cx = cx;
    state.Cy = cy;
    return state;
}

// The views measured, all but the last with the start constant: the start view, one entirely
// inside the set, a zoom at its boundary (two thirds of the pixels inside, the others escaping
// after anything from 1 to 254 iterates), a small view outside the set where every point
// escapes at iterate 5 (the least work per point, so the most bookkeeping per iterate for the
// lanes), and a view entirely inside the set of the rabbit constant. The start constant's cycle
// attracts weakly: its inside orbits need all 254 iterates; the rabbit's reach the trap region
// within a few dozen.
FractalState BenchView(int which) {
    switch (which) {
        case 1:
            return View(0.0f, 0.0f, 0.05f);
        case 2:
            return View(0.148389578f, 0.0f, 1e-3f);
        case 3:
            return View(0.5186f, 0.2317f, 1e-4f);
        case 4:
            return WithConstant(View(0.0f, 0.0f, 0.05f), -0.123, 0.745);
        default:
            return View(0.0f, 0.0f, 5.0f);
    }
}

void MainFrame(benchmark::State& bench, ViewRenderer render) {
    const FractalState state = BenchView(static_cast<int>(bench.range(0)));
    Buffer main(kMainViewWidth, kMainViewHeight);
    Buffer overview(kOverviewWidth, kOverviewHeight);
    for (auto _ : bench) {
        render(state, MainViewGeometry(state), main.frame);
        render(state, OverviewGeometry(), overview.frame);
        benchmark::DoNotOptimize(main.bytes.data());
    }
}

double Seconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

template <typename Run>
double SecondsOf(const Run& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return Seconds(std::chrono::steady_clock::now() - start);
}

// The fast loops with the lanes switched off: the scalar kernel on all cores.
void RenderViewWithoutLanes(const FractalState& state, const ViewGeometry& view,
                            const Frame32& frame) {
    ChooseLaneKernelForTests(LaneKernel::Scalar);
    RenderView(state, view, frame);
    ChooseLaneKernelForTests(SupportedLaneKernel());
}

// The fast loops on the AVX2 lanes also where the processor has AVX-512.
void RenderViewOnAvx2Lanes(const FractalState& state, const ViewGeometry& view,
                           const Frame32& frame) {
    ChooseLaneKernelForTests(LaneKernel::Avx2);
    RenderView(state, view, frame);
    ChooseLaneKernelForTests(SupportedLaneKernel());
}

void FullScreen(benchmark::State& bench, ViewRenderer render) {
    const FractalState state = BenchView(static_cast<int>(bench.range(0)));
    const ViewGeometry view = ScreenGeometry(state, 1920, 1080);
    Buffer picture(1920, 1080);
    double referenceSeconds = 0.0;
    if (render != &RenderViewReference) {
        Buffer reference(1920, 1080);
        referenceSeconds = SecondsOf([&] { RenderViewReference(state, view, reference.frame); });
        render(state, view, picture.frame);
        if (picture.bytes != reference.bytes) {
            bench.SkipWithError("picture differs from the reference");
            return;
        }
    }
    ResetKernelCounters();
    double seconds = 0.0;
    for (auto _ : bench) {
        seconds += SecondsOf([&] { render(state, view, picture.frame); });
        benchmark::DoNotOptimize(picture.bytes.data());
    }
    if (referenceSeconds > 0.0) {
        bench.counters["speedup"] =
            referenceSeconds * static_cast<double>(bench.iterations()) / seconds;
        const KernelCounters lanes = ReadKernelCounters();
        if (lanes.iterates > 0) {
            const auto iterates = static_cast<double>(lanes.iterates);
            bench.counters["fallback_rate"] = static_cast<double>(lanes.guardFallbacks) / iterates;
            bench.counters["tie_rate"] = static_cast<double>(lanes.escapeTies) / iterates;
        }
        bench.counters["box_rate"] =
            static_cast<double>(lanes.provenPoints) /
            (static_cast<double>(bench.iterations()) * static_cast<double>(picture.frame.width) *
             static_cast<double>(picture.frame.height));
    }
}

using ExportRenderer = ExportOutcome (*)(const ExportView&, const ColorTable&,
                                         const ExportGeometry&, const ExportRowSink&,
                                         const ExportReportPoint&);

std::vector<std::uint8_t> Export(ExportRenderer render, std::int64_t width, int detail) {
    const FractalState s = MakeStartState();
    const ExportView view{s.Cx, s.Cy, s.CenterX, s.CenterY, s.ViewWidth};
    const ExportGeometry geometry =
        MakeExportGeometry(s.ViewWidth, width, width * 3 / 4, *ExportLimitForDetail(detail));
    std::vector<std::uint8_t> bytes;
    render(
        view, s.colorTable, geometry,
        [&](std::int64_t, const std::uint8_t* row) {
            bytes.insert(bytes.end(), row, row + width * 3);
            return true;
        },
        [](std::int32_t) { return true; });
    return bytes;
}

void ExportBench(benchmark::State& bench, ExportRenderer render) {
    const auto width = bench.range(0);
    const int detail = static_cast<int>(bench.range(1));
    double referenceSeconds = 0.0;
    if (render != &RenderExportReference) {
        std::vector<std::uint8_t> reference;
        referenceSeconds =
            SecondsOf([&] { reference = Export(&RenderExportReference, width, detail); });
        if (Export(render, width, detail) != reference) {
            bench.SkipWithError("export differs from the reference");
            return;
        }
    }
    ResetKernelCounters();
    double seconds = 0.0;
    for (auto _ : bench) {
        seconds +=
            SecondsOf([&] { benchmark::DoNotOptimize(Export(render, width, detail).data()); });
    }
    if (referenceSeconds > 0.0) {
        bench.counters["speedup"] =
            referenceSeconds * static_cast<double>(bench.iterations()) / seconds;
        const KernelCounters kernel = ReadKernelCounters();
        if (kernel.iterates > 0) {
            bench.counters["fallback_rate"] =
                static_cast<double>(kernel.guardFallbacks) / static_cast<double>(kernel.iterates);
        }
    }
}

// Range 0: 0 start view, 1 inside the set, 2 boundary zoom, 3 outside the set, 4 inside the
// rabbit's set.
BENCHMARK_CAPTURE(MainFrame, reference, &RenderViewReference)
    ->DenseRange(0, 4)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(MainFrame, fast, &RenderView)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FullScreen, reference, &RenderViewReference)
    ->DenseRange(0, 4)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(FullScreen, fast, &RenderView)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FullScreen, fast_avx2, &RenderViewOnAvx2Lanes)
    ->DenseRange(0, 4)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FullScreen, fast_without_lanes, &RenderViewWithoutLanes)
    ->DenseRange(0, 4)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ExportBench, reference, &RenderExportReference)
    ->Args({1024, 256})
    ->Args({1280, 8192})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(ExportBench, fast, &RenderExport)
    ->Args({1024, 256})
    ->Args({1280, 8192})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
