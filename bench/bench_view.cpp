// The main window's render thread on large views of the boundary zoom (C = -0.8 + 0.156i,
// centre (0.9238, 0), width 0.05): how soon the first picture of a new state is published, how
// long the exact picture takes (against the full-screen picture of the same size drawn in one
// pass, as the full-screen view draws it), and how many pictures a second the hand tool gets
// when it asks for a new frame as soon as the thread is idle. The exact picture is checked byte
// for byte against the straightforward loop first. Run: cmake --build build --target
// ombrilo-bench-view && build/bench/ombrilo-bench-view
#include <QCoreApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "engine/render.h"
#include "engine/render_thread.h"

using namespace ombrilo;

namespace {

using Clock = std::chrono::steady_clock;

FractalState BoundaryView(int width, int height) {
    FractalState state = MakeStartState();
    state.Cx = -0.8;
    state.Cy = 0.156;
    state.CenterX = 0.9238f;
    state.CenterY = 0.0f;
    SetMainSize(state, width, height);
    SetViewWidth(state, 0.05f);
    return state;
}

// Records when the thread publishes, from the thread itself.
struct Publications {
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;
    Clock::time_point last;

    explicit Publications(TThreadFract& thread) {
        QObject::connect(
            &thread, &TThreadFract::frameReady, &thread,
            [this] {
                std::lock_guard lock(mutex);
                ++count;
                last = Clock::now();
                changed.notify_all();
            },
            Qt::DirectConnection);
    }

    // Waits for the publication number `n`; returns its time.
    Clock::time_point WaitFor(int n) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return count >= n; });
        return last;
    }
    int Count() {
        std::lock_guard lock(mutex);
        return count;
    }
};

void WaitExact(const TThreadFract& thread, std::uint64_t frames) {
    while (thread.FramesDone() < frames || !thread.RenderIdle()) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

bool SameAsReference(const QImage& image, const FractalState& state) {
    QImage reference(state.MainWidth, state.MainHeight, QImage::Format_RGB32);
    reference.fill(Qt::black);
    RenderViewReference(
        state, MainViewGeometry(state),
        {reference.bits(), reference.width(), reference.height(), reference.bytesPerLine()});
    for (int row = 0; row < image.height(); ++row) {
        if (std::memcmp(image.constScanLine(row), reference.constScanLine(row),
                        static_cast<std::size_t>(image.width()) * 4) != 0) {
            return false;
        }
    }
    return image.size() == reference.size();
}

// Request to first picture and to exact picture, alternating between two neighbouring centres
// so that every frame is of a new state.
void BM_FirstAndExactPicture(benchmark::State& bench) {
    const int width = static_cast<int>(bench.range(0));
    const int height = static_cast<int>(bench.range(1));
    FractalState state = BoundaryView(width, height);
    OverviewMarker marker;
    TThreadFract thread(state, marker);
    Publications published(thread);
    thread.start();
    WaitExact(thread, 1);
    if (!SameAsReference(thread.MainFrame(), state)) {
        bench.SkipWithError("the exact picture differs from the straightforward loop");
        return;
    }
    double firstTotal = 0;
    double exactTotal = 0;
    double firstWorst = 0;
    std::uint64_t frames = thread.FramesDone();
    for (auto _ : bench) {
        state.CenterX = state.CenterX == 0.9238f ? 0.9239f : 0.9238f;
        const int before = published.Count();
        const Clock::time_point start = Clock::now();
        thread.RequestFrame();
        const Clock::time_point first = published.WaitFor(before + 1);
        WaitExact(thread, ++frames);
        const Clock::time_point exact = Clock::now();
        const double firstMs = std::chrono::duration<double, std::milli>(first - start).count();
        firstTotal += firstMs;
        firstWorst = std::max(firstWorst, firstMs);
        exactTotal += std::chrono::duration<double, std::milli>(exact - start).count();
    }
    const double n = static_cast<double>(bench.iterations());
    bench.counters["first_ms"] = firstTotal / n;
    bench.counters["first_worst_ms"] = firstWorst;
    bench.counters["exact_ms"] = exactTotal / n;
}

// The full-screen view's picture of the same size, one pass.
void BM_OnePassPicture(benchmark::State& bench) {
    const int width = static_cast<int>(bench.range(0));
    const int height = static_cast<int>(bench.range(1));
    const FractalState state = BoundaryView(width, height);
    QImage image(width, height, QImage::Format_RGB32);
    for (auto _ : bench) {
        RenderView(state, ScreenGeometry(state, width, height),
                   {image.bits(), width, height, image.bytesPerLine()});
        benchmark::DoNotOptimize(image.bits());
    }
}

// The hand tool dragging 7 pixels to the right per accepted move: a move is taken as soon as
// the thread is idle again, as the window takes it.
void BM_HandDrag(benchmark::State& bench) {
    const int width = static_cast<int>(bench.range(0));
    const int height = static_cast<int>(bench.range(1));
    FractalState state = BoundaryView(width, height);
    OverviewMarker marker;
    TThreadFract thread(state, marker);
    Publications published(thread);
    thread.start();
    WaitExact(thread, 1);
    int pictures = 0;
    const Clock::time_point start = Clock::now();
    for (auto _ : bench) {
        while (!thread.RenderIdle()) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        state.CenterX = static_cast<float>(state.CenterX - 7.0L * state.MainStep);
        const int before = published.Count();
        thread.RequestFrame();
        published.WaitFor(before + 1);
        ++pictures;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    bench.counters["pictures_per_s"] = pictures / seconds;
}

}  // namespace

BENCHMARK(BM_FirstAndExactPicture)
    ->Args({3840, 2160})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10);
BENCHMARK(BM_OnePassPicture)->Args({3840, 2160})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HandDrag)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
