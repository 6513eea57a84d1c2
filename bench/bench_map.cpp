// Times the map of C: RenderMap (all threads, lane kernels) against the straightforward
// RenderMapReference in the same run, on the default 530 x 409 map and on a 1920 x 1080 map of
// a boundary region, and checks that both give the same bytes.
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
    return same ? 0 : 1;
}
