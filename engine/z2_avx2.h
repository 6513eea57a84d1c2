#pragma once

#include <cstdint>

#include "point_function.h"

// The AVX2 lanes of the main window's point function. Everything here needs a processor with
// AVX2 and FMA; fast_kernels.cpp asks before it calls.
namespace ombrilo::detail {

struct LaneTally {
    std::uint64_t iterates = 0;
    std::uint64_t guardFallbacks = 0;
    std::uint64_t escapeTies = 0;
    std::uint64_t trapped = 0;
    std::uint64_t detailedChecks = 0;
};

// Whether the processor runs the lanes: AVX2 and FMA.
bool ProcessorHasLanes();

// Whether the lanes take this C (each part 0 or of magnitude in [2^-900, 2^40]); other constants
// go to the scalar kernel.
bool LanesAcceptConstant(double cx, double cy);

// Z2EscapeRun on the lanes, for an accepted constant.
float Z2RunAvx2(double cx, double cy, float x, float step, float y, int count,
                std::uint8_t* indices, LaneTally& tally);

// One checked step of each point (Z2Iterate's result), for an accepted constant.
void Z2IterateCheckedAvx2(double cx, double cy, const float* x, const float* y, int count,
                          FloatPoint* next, LaneTally& tally);

}  // namespace ombrilo::detail
