#pragma once

#include <cstdint>

#include "point_function.h"
#include "z2_avx2.h"

// The export's point function in double-double arithmetic with fused multiply-adds, checked to
// give exactly the extended-precision reference's doubles. Everything here needs a processor
// with FMA, the lanes AVX2 as well; fast_kernels.cpp asks before it calls.
namespace ombrilo::detail {

bool ProcessorHasFma();

// Whether the kernel takes this C (each part 0 or of magnitude in [2^-400, 2^40]); other
// constants go to the reference arithmetic.
bool FmaAcceptsConstant(double cx, double cy);

// One step from (x, y) for an accepted constant: true with *next = ExportIterate(cx, cy, x, y)
// when the check proves the double-double result equal to it, false (and *next untouched) when
// it cannot.
bool ExportStepFma(double cx, double cy, double x, double y, DoublePoint* next);

// ExportEscapeIndex of one point with the scalar FMA kernel, for an accepted constant.
int ExportEscapeIndexFma(double cx, double cy, std::int32_t limit, double x, double y,
                         KernelCounters& tally);

// The same step on the AVX2 lanes (lane 0 of a register), which also need FMA.
bool ExportStepLanes(double cx, double cy, double x, double y, DoublePoint* next);

// ExportEscapeIndex of `count` points (x[i], y) for an accepted constant on the AVX2 lanes, with
// cycle detection; steps the check refuses are redone with ExportIterate, start points the lanes
// do not take go through the scalar FMA kernel.
void ExportRunFma(double cx, double cy, std::int32_t limit, const double* x, double y, int count,
                  std::int32_t* indices, KernelCounters& tally);

// ExportStepLanes and ExportRunFma on the AVX-512 lanes (eight to a register).
bool ExportStepAvx512(double cx, double cy, double x, double y, DoublePoint* next);
void ExportRunAvx512(double cx, double cy, std::int32_t limit, const double* x, double y, int count,
                     std::int32_t* indices, KernelCounters& tally);

}  // namespace ombrilo::detail
