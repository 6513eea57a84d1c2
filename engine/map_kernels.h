#pragma once

#include <cstdint>

#include "kernel_counters.h"

// The lane kernels of the map (map_lanes.h): AVX2 with FMA, and AVX-512 (F, DQ, VL, BW) besides.
// map_render.cpp asks the processor (ActiveLaneKernel) before it calls.
namespace ombrilo::detail {

void MapRunAvx2(const float* x, const float* y, int count, std::uint8_t* indices,
                KernelCounters& tally);
void MapRunAvx512(const float* x, const float* y, int count, std::uint8_t* indices,
                  KernelCounters& tally);

}  // namespace ombrilo::detail
