// Random pictures of the fast renderers against the straightforward reference loops, byte for
// byte: main-window pictures of 320 x 240 and exports of 200 x 150 at every detail, for random
// constants (a third of them near the edge of the main cardioid, where the trap regions are
// thinnest) and random views from 2^-20 to about 11 wide.
//
//   ombrilo-random-pictures [COUNT] [SEED]
//
// COUNT pictures of each kind (default 200), from SEED (default 1). Every picture that differs
// is printed with its constant and view, to be drawn again; the exit status is 1 when one does.
// OMBRILO_SIMD (avx2, 0) and OMBRILO_THREADS choose the kernels and threads.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>

#include "engine/export_render.h"
#include "engine/fast_kernels.h"
#include "engine/render.h"
#include "tests/support/kernel_pictures.h"

namespace {

using namespace ombrilo;
using namespace testpictures;

struct RandomCase {
    double cx;
    double cy;
    float centerX;
    float centerY;
    float width;
};

class CaseMaker {
public:
    explicit CaseMaker(unsigned seed) : random_(seed) {}

    RandomCase Next(bool nearTheCardioid) {
        RandomCase c{0.9 * Unit(), 0.9 * Unit(), 0.0f, 0.0f, 0.0f};
        if (nearTheCardioid) {
            const double angle = 3.14159 * Unit();
            c.cx = 0.5 * std::cos(angle) - 0.25 * std::cos(2 * angle) + 1e-3 * Unit();
            c.cy = 0.5 * std::sin(angle) - 0.25 * std::sin(2 * angle) + 1e-3 * Unit();
        }
        c.centerX = static_cast<float>(1.8 * Unit());
        c.centerY = static_cast<float>(1.8 * Unit());
        const int scale = std::uniform_int_distribution<int>(-20, 2)(random_);
        c.width = std::ldexp(1.0f, scale) * static_cast<float>(1.0 + 1.8 * std::fabs(Unit()));
        return c;
    }

private:
    double Unit() { return std::uniform_real_distribution<double>(-1.0, 1.0)(random_); }

    std::mt19937 random_;
};

void PrintCase(const char* kind, const RandomCase& c, int limit) {
    std::printf("%s differs: C = (%.17g, %.17g), centre (%.9g, %.9g), width %.9g, limit %d\n", kind,
                c.cx, c.cy, c.centerX, c.centerY, c.width, limit);
}

bool MainPictureAgrees(const RandomCase& c) {
    const FractalState state = StateAt(c.cx, c.cy, c.centerX, c.centerY, c.width);
    const ViewGeometry view = ScreenGeometry(state, 320, 240);
    Picture fast(320, 240);
    Picture reference(320, 240);
    RenderView(state, view, fast.frame);
    RenderViewReference(state, view, reference.frame);
    return fast.bytes == reference.bytes;
}

const char* LanesName(LaneKernel kernel) {
    switch (kernel) {
        case LaneKernel::Avx512:
            return "AVX-512";
        case LaneKernel::Avx2:
            return "AVX2";
        case LaneKernel::Scalar:
            break;
    }
    return "none";
}

bool ExportAgrees(const RandomCase& c, int limit) {
    const ExportView view{c.cx, c.cy, c.centerX, c.centerY, c.width};
    const ExportGeometry g = MakeExportGeometry(c.width, 200, 150, limit);
    return ExportBytes(RenderExport, view, g) == ExportBytes(RenderExportReference, view, g);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 200;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 1;
    CaseMaker cases(seed);
    int differing = 0;
    for (int i = 0; i < count; ++i) {
        const RandomCase c = cases.Next(i % 3 == 0);
        if (!MainPictureAgrees(c)) {
            PrintCase("main picture", c, MaxIterations);
            ++differing;
        }
        const RandomCase e = cases.Next(i % 3 == 0);
        const int limit = *ExportLimitForDetail(
            kExportDetails[static_cast<std::size_t>(i) % std::size(kExportDetails)]);
        if (!ExportAgrees(e, limit)) {
            PrintCase("export", e, limit);
            ++differing;
        }
    }
    std::printf("%d main pictures and %d exports, %d differ (lanes: %s)\n", count, count, differing,
                LanesName(ActiveLaneKernel()));
    return differing == 0 ? 0 : 1;
}
