// Times the map of C: RenderMap (all threads, lane kernels) against the straightforward
// RenderMapReference in the same run, on the default 530 x 409 map and on a 1920 x 1080 map of
// a boundary region, and checks that both give the same bytes; then MapEscapeRun alone on this
// thread over the points of both maps, with each lane form, in nanoseconds per step of the
// straightforward loop (254 for a pixel of index 0).
//   ombrilo-bench-map [repeats]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/fast_kernels.h"
#include "engine/map_render.h"
#include "engine/palette.h"
#include "engine/worker_pool.h"

using namespace ombrilo;

namespace {

struct Picture {
    Picture(int width, int height)
        : bytes(static_cast<std::size_t>(width) * height * 4),
          frame{bytes.data(), width, height, static_cast<std::ptrdiff_t>(width) * 4} {}
    std::vector<std::uint8_t> bytes;
    Frame32 frame;
};

template <typename Render>
double BestMilliseconds(int repeats, Render render) {
    double best = 1e300;
    for (int k = 0; k < repeats; ++k) {
        const auto start = std::chrono::steady_clock::now();
        render();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

bool Measure(const char* name, const MapView& view, int width, int height, int repeats) {
    ColorTable table;
    for (int i = 0; i <= ColorTable::kLastIndex; ++i) {
        table.Entry(i)[0] = static_cast<std::uint8_t>(i);
        table.Entry(i)[1] = static_cast<std::uint8_t>(i * 3);
        table.Entry(i)[2] = static_cast<std::uint8_t>(i * 7);
    }
    const ViewGeometry g = MapGeometry(view, width, height);
    Picture fast(width, height);
    Picture reference(width, height);
    const double fastMs = BestMilliseconds(repeats, [&] { RenderMap(table, g, fast.frame); });
    const double referenceMs =
        BestMilliseconds(1, [&] { RenderMapReference(table, g, reference.frame); });
    const bool same = fast.bytes == reference.bytes;
    std::printf("%-28s %5d x %-5d fast %8.2f ms  reference %9.2f ms  %6.1fx  %s\n", name, width,
                height, fastMs, referenceMs, referenceMs / fastMs, same ? "same bytes" : "DIFFER");
    return same;
}

// MapEscapeRun over the points of a width x height map, on this thread, with each lane form.
bool MeasureKernels(const MapView& view, int width, int height, int repeats) {
    const ViewGeometry g = MapGeometry(view, width, height);
    std::vector<float> xs;
    std::vector<float> ys;
    float y = ViewTop(g);
    for (int row = 0; row < height; ++row, y = y - g.step) {
        float x = ViewLeft(g);
        for (int column = 0; column < width; ++column, x = x + g.step) {
            xs.push_back(x);
            ys.push_back(y);
        }
    }
    const int count = static_cast<int>(xs.size());
    std::vector<std::uint8_t> expected(xs.size());
    double steps = 0;
    for (int i = 0; i < count; ++i) {
        expected[i] = static_cast<std::uint8_t>(MapEscapeIndex(xs[i], ys[i]));
        steps += expected[i] == 0 ? MaxIterations : expected[i];
    }
    bool same = true;
    const char* names[] = {"scalar", "AVX2", "AVX-512"};
    for (LaneKernel kernel : {LaneKernel::Avx2, LaneKernel::Avx512}) {
        if (SupportedLaneKernel() < kernel) {
            continue;
        }
        ChooseLaneKernelForTests(kernel);
        std::vector<std::uint8_t> indices(xs.size());
        const double ms = BestMilliseconds(
            repeats, [&] { MapEscapeRun(xs.data(), ys.data(), count, indices.data()); });
        const bool ok = indices == expected;
        std::printf("kernel %-8s %5d x %-5d one thread %8.2f ms  %5.3f ns per step  %s\n",
                    names[static_cast<int>(kernel)], width, height, ms, ms * 1e6 / steps,
                    ok ? "same indices" : "DIFFER");
        same = same && ok;
    }
    ChooseLaneKernelForTests(LaneKernel::Avx512);
    return same;
}

}  // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const char* lanes[] = {"scalar", "AVX2", "AVX-512"};
    std::printf("threads %d, lane kernel %s\n", ParallelThreadCount(),
                lanes[static_cast<int>(ActiveLaneKernel())]);
    bool same = Measure("default map", MapView{}, 530, 409, repeats);
    same = Measure("boundary (-0.7454, 0.1130)", {-0.7454f, 0.1130f, 0.01f}, 1920, 1080,
                   std::max(1, repeats / 4)) &&
           same;
    same = MeasureKernels(MapView{}, 530, 409, repeats) && same;
    same = MeasureKernels({-0.7454f, 0.1130f, 0.01f}, 1920, 1080, std::max(1, repeats / 4)) && same;
    return same ? 0 : 1;
}
