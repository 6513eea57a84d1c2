// Cycle detection never changes an index
// --------------------------------------
// The next iterate is a function of the stored state alone (two floats, or two doubles in the
// export) and of C: the same bits in give the same bits out, and the escape test of a state is
// a function of its bits as well. The reference computes z_1, z_2, ... from the start point z_0,
// returns 0 as soon as n exceeds the limit (254 for the main window, the export's limit) and
// otherwise n for the first z_n that escapes; z_0 is never tested, and z_(limit+1) is computed
// but never tested.
// The detecting kernels save a state only after it has passed the escape test (so 1 <= j <=
// limit, never z_0), and compare with the saved states only a z_n with n <= limit that has just
// passed its own test. If z_n == z_j (j < n), the orbit from z_j on repeats z_j .. z_(n-1)
// forever, all of which passed the test: no later iterate up to the limit can escape, and the
// reference returns 0, which is what the kernels return. The start point is never compared, so
// 2 -> 2 -> 2 with C = -2 still gives 1 (z_1 = 2 escapes), and z_(limit+1) is never compared
// either. Comparisons use bit patterns, not ==: -0 and +0 are different states (they can lead
// to different iterates), and a NaN state equals itself.
//
// Nor does the trap region
// ------------------------
// Every kTrapLookEvery-th tested iterate is also looked up in the trap region of C for that
// point function (trap_region.cpp proves that the step maps the region into itself, well inside
// |z| < 2). Once z_n is in it, so are all later iterates, none of them escapes, and the
// reference returns 0. The orbits of the interior of a filled Julia set come near its attracting
// cycle after tens or hundreds of iterates, long before they repeat bit for bit: for the start
// constant, whose cycle attracts weakly, after about 55 iterates on average, against about
// 1450 for a repeat of the main window's floats and 4600 for the export's doubles.

#include "fast_kernels.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "cycle_watch.h"
#include "export_fma.h"
#include "trap_region.h"
#include "z2_avx2.h"
#include "z2_avx512.h"

namespace ombrilo {

int Z2EscapeIndexDetecting(double cx, double cy, float x, float y) {
    detail::CycleWatch<detail::FloatStateBits> watch;
    TrapLook trap(&MainTrapRegion, cx, cy);
    for (int n = 1;; ++n) {
        const FloatPoint next = Z2Iterate(cx, cy, x, y);
        x = next.x;
        y = next.y;
        if (n > MaxIterations) {
            return 0;
        }
        if (Escaped(x, y)) {
            return n;
        }
        if (watch.Repeats(n, detail::FloatStateBits::Of(x, y))) {
            return 0;
        }
        if (n % kTrapLookEvery == 0 && trap.Contains(x, y)) {
            return 0;
        }
    }
}

int ExportEscapeIndexDetecting(double cx, double cy, std::int32_t limit, double x, double y) {
    limit = std::clamp<std::int32_t>(limit, 0, ColorTable::kLastIndex);
    detail::CycleWatch<detail::DoubleStateBits> watch;
    TrapLook trap(&ExportTrapRegion, cx, cy);
    for (std::int32_t n = 1;; ++n) {
        const DoublePoint next = ExportIterate(cx, cy, x, y);
        x = next.x;
        y = next.y;
        if (n > limit) {
            return 0;
        }
        if (Escaped(x, y)) {
            return static_cast<int>(n);
        }
        if (watch.Repeats(n, detail::DoubleStateBits::Of(x, y))) {
            return 0;
        }
        if (n % kTrapLookEvery == 0 && trap.Contains(x, y)) {
            return 0;
        }
    }
}

namespace {

// -1 while no test has chosen; then a LaneKernel.
std::atomic<int> kernelChosenByTest{-1};

// Every field of KernelCounters, each with its process-wide total below.
constexpr std::uint64_t KernelCounters::*kCounterFields[] = {
    &KernelCounters::iterates,   &KernelCounters::guardFallbacks, &KernelCounters::escapeTies,
    &KernelCounters::trapped,    &KernelCounters::detailedChecks, &KernelCounters::provenPoints,
    &KernelCounters::plainPoints};
static_assert(sizeof(KernelCounters) == std::size(kCounterFields) * sizeof(std::uint64_t));

std::atomic<std::uint64_t> counters[std::size(kCounterFields)];

void AddToCounters(const KernelCounters& tally) {
    for (std::size_t i = 0; i < std::size(kCounterFields); ++i) {
        counters[i].fetch_add(tally.*kCounterFields[i], std::memory_order_relaxed);
    }
}

LaneKernel KernelAllowedByEnvironment() {
    const char* value = std::getenv("OMBRILO_SIMD");
    if (value != nullptr && std::strcmp(value, "0") == 0) {
        return LaneKernel::Scalar;
    }
    if (value != nullptr && std::strcmp(value, "avx2") == 0) {
        return LaneKernel::Avx2;
    }
    return LaneKernel::Avx512;
}

bool FmaSupported() {
    static const bool supported = detail::ProcessorHasFma();
    return supported;
}

bool FmaTakes(double cx, double cy) {
    return ExportFmaEnabled() && detail::FmaAcceptsConstant(cx, cy);
}

// The lane kernel that takes C, Scalar when none does.
LaneKernel LanesFor(double cx, double cy) {
    const LaneKernel kernel = ActiveLaneKernel();
    return kernel != LaneKernel::Scalar && detail::LanesAcceptConstant(cx, cy) ? kernel
                                                                               : LaneKernel::Scalar;
}

}  // namespace

bool SimdSupported() {
    static const bool supported = detail::ProcessorHasLanes();
    return supported;
}

LaneKernel SupportedLaneKernel() {
    static const LaneKernel supported = !SimdSupported()                  ? LaneKernel::Scalar
                                        : detail::ProcessorHasWideLanes() ? LaneKernel::Avx512
                                                                          : LaneKernel::Avx2;
    return supported;
}

LaneKernel ActiveLaneKernel() {
    static const LaneKernel allowed = KernelAllowedByEnvironment();
    const int chosen = kernelChosenByTest.load(std::memory_order_relaxed);
    return std::min(SupportedLaneKernel(), chosen < 0 ? allowed : static_cast<LaneKernel>(chosen));
}

void ChooseLaneKernelForTests(LaneKernel kernel) {
    kernelChosenByTest.store(static_cast<int>(kernel), std::memory_order_relaxed);
}

bool SimdEnabled() {
    return ActiveLaneKernel() != LaneKernel::Scalar;
}

bool ExportFmaEnabled() {
    return SimdEnabled() && FmaSupported();
}

void SetSimdEnabledForTests(bool enabled) {
    ChooseLaneKernelForTests(enabled ? LaneKernel::Avx512 : LaneKernel::Scalar);
}

bool WideLanesSupported() {
    return SupportedLaneKernel() == LaneKernel::Avx512;
}

bool WideLanesEnabled() {
    return ExportFmaEnabled() && ActiveLaneKernel() == LaneKernel::Avx512;
}

KernelCounters ReadKernelCounters() {
    KernelCounters totals;
    for (std::size_t i = 0; i < std::size(kCounterFields); ++i) {
        totals.*kCounterFields[i] = counters[i].load(std::memory_order_relaxed);
    }
    return totals;
}

void ResetKernelCounters() {
    for (std::atomic<std::uint64_t>& counter : counters) {
        counter.store(0, std::memory_order_relaxed);
    }
}

void Z2IterateChecked(double cx, double cy, const float* x, const float* y, int count,
                      FloatPoint* next) {
    const LaneKernel kernel = LanesFor(cx, cy);
    if (kernel != LaneKernel::Scalar) {
        KernelCounters tally;
        if (kernel == LaneKernel::Avx512) {
            detail::Z2IterateCheckedAvx512(cx, cy, x, y, count, next, tally);
        } else {
            detail::Z2IterateCheckedAvx2(cx, cy, x, y, count, next, tally);
        }
        AddToCounters(tally);
        return;
    }
    for (int i = 0; i < count; ++i) {
        next[i] = Z2Iterate(cx, cy, x[i], y[i]);
    }
}

void Z2EscapeRow(double cx, double cy, const float* x, float y, int count, std::uint8_t* indices) {
    const LaneKernel kernel = LanesFor(cx, cy);
    if (kernel != LaneKernel::Scalar) {
        KernelCounters tally;
        if (kernel == LaneKernel::Avx512) {
            detail::Z2RunAvx512(cx, cy, x, y, count, indices, tally);
        } else {
            detail::Z2RunAvx2(cx, cy, x, y, count, indices, tally);
        }
        AddToCounters(tally);
        return;
    }
    for (int i = 0; i < count; ++i) {
        indices[i] = static_cast<std::uint8_t>(Z2EscapeIndexDetecting(cx, cy, x[i], y));
    }
}

float Z2EscapeRun(double cx, double cy, float x, float step, float y, int count,
                  std::uint8_t* indices) {
    constexpr int kChunk = 1024;
    float xs[kChunk];
    for (int done = 0; done < count;) {
        const int points = std::min(kChunk, count - done);
        for (int i = 0; i < points; ++i) {
            xs[i] = x;
            x = x + step;
        }
        Z2EscapeRow(cx, cy, xs, y, points, indices + done);
        done += points;
    }
    return x;
}

void ExportEscapeRun(double cx, double cy, std::int32_t limit, const double* x, double y, int count,
                     std::int32_t* indices) {
    if (FmaTakes(cx, cy)) {
        KernelCounters tally;
        if (WideLanesEnabled()) {
            detail::ExportRunAvx512(cx, cy, limit, x, y, count, indices, tally);
        } else {
            detail::ExportRunFma(cx, cy, limit, x, y, count, indices, tally);
        }
        AddToCounters(tally);
        return;
    }
    for (int i = 0; i < count; ++i) {
        indices[i] = ExportEscapeIndexDetecting(cx, cy, limit, x[i], y);
    }
}

bool ExportIterateChecked(double cx, double cy, double x, double y, DoublePoint* next) {
    if (FmaTakes(cx, cy) && (WideLanesEnabled() ? detail::ExportStepAvx512(cx, cy, x, y, next)
                                                : detail::ExportStepLanes(cx, cy, x, y, next))) {
        return true;
    }
    *next = ExportIterate(cx, cy, x, y);
    return false;
}

}  // namespace ombrilo
