#pragma once

#include <cstdint>

#include "kernel_counters.h"
#include "point_function.h"

// The AVX2 lanes of the main window's point function. Everything here needs a processor with
// AVX2 and FMA; fast_kernels.cpp asks before it calls.
namespace ombrilo::detail {

// Whether the processor runs the lanes: AVX2 and FMA.
bool ProcessorHasLanes();

// Whether the lanes take this C (each part 0 or of magnitude in [2^-900, 2^40]); other constants
// go to the scalar kernel.
bool LanesAcceptConstant(double cx, double cy);

// Z2EscapeRow on the lanes, for an accepted constant.
void Z2RunAvx2(double cx, double cy, const float* x, float y, int count, std::uint8_t* indices,
               KernelCounters& tally);

// One checked step of each point (Z2Iterate's result), for an accepted constant.
void Z2IterateCheckedAvx2(double cx, double cy, const float* x, const float* y, int count,
                          FloatPoint* next, KernelCounters& tally);

}  // namespace ombrilo::detail
