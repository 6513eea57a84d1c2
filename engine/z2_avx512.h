#pragma once

#include <cstdint>

#include "kernel_counters.h"
#include "point_function.h"

// The AVX-512 lanes of the main window's point function. Everything here but the question
// itself needs a processor with AVX-512 (F, DQ, VL, BW), AVX2 and FMA; fast_kernels.cpp asks
// before it calls. They take the constants the AVX2 lanes take (LanesAcceptConstant).
namespace ombrilo::detail {

// Whether the processor runs these lanes.
bool ProcessorHasWideLanes();

// Z2EscapeRow on the AVX-512 lanes, for an accepted constant.
void Z2RunAvx512(double cx, double cy, const float* x, float y, int count, std::uint8_t* indices,
                 KernelCounters& tally);

// One checked step of each point (Z2Iterate's result), for an accepted constant.
void Z2IterateCheckedAvx512(double cx, double cy, const float* x, const float* y, int count,
                            FloatPoint* next, KernelCounters& tally);

}  // namespace ombrilo::detail
