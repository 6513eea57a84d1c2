#pragma once

#include <cstdint>

#include "kernel_counters.h"
#include "point_function.h"

// The lane kernels of the map (map_lanes.h): AVX2 with FMA, and AVX-512 (F, DQ, VL, BW) besides.
// map_render.cpp asks the processor (ActiveLaneKernel) before it calls.
namespace ombrilo::detail {

void MapRunAvx2(const float* x, const float* y, int count, std::uint8_t* indices,
                KernelCounters& tally);
void MapRunAvx512(const float* x, const float* y, int count, std::uint8_t* indices,
                  KernelCounters& tally);

// One step of each state (x[i], y[i]) with c = (cx[i], cy[i]) through a lane's checked step, as
// the kernels take it; always Z2Iterate's result. For tests of the check.
void MapStepAvx2(const float* cx, const float* cy, const float* x, const float* y, int count,
                 FloatPoint* next);
void MapStepAvx512(const float* cx, const float* cy, const float* x, const float* y, int count,
                   FloatPoint* next);

}  // namespace ombrilo::detail
