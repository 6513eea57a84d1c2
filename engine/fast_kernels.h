#pragma once

#include <cstdint>

#include "point_function.h"

namespace ombrilo {

// The fast forms of both point functions. They give exactly the indices of Z2EscapeIndex and
// ExportEscapeIndex, stopping early when the orbit repeats itself bit for bit (then it can never
// escape, and the index is 0); the picture loops use them through RenderView and RenderExport.
int Z2EscapeIndexDetecting(double cx, double cy, float x, float y);
int ExportEscapeIndexDetecting(double cx, double cy, std::int32_t limit, double x, double y);

// Escape indices (Z2EscapeIndex) of `count` points of the row at height y, the first at x and
// each next one step further by a float addition. Returns the x that would come next. Runs on
// the AVX2 lanes when they are on and take C, otherwise point by point.
float Z2EscapeRun(double cx, double cy, float x, float step, float y, int count,
                  std::uint8_t* indices);

// One step of the main window's point function for each of `count` points, through the lanes'
// checked double arithmetic when they are on (the reference step where the check fails);
// always equal to Z2Iterate. For tests of the check.
void Z2IterateChecked(double cx, double cy, const float* x, const float* y, int count,
                      FloatPoint* next);

// ExportEscapeIndex of `count` points (x[i], y) into indices[i]. Runs on the checked FMA kernel
// (AVX2 lanes) when it is on and takes C, otherwise point by point with ExportEscapeIndexDetecting.
void ExportEscapeRun(double cx, double cy, std::int32_t limit, const double* x, double y, int count,
                     std::int32_t* indices);

// One step of the export's point function: *next = ExportIterate(cx, cy, x, y) always. Returns
// whether the FMA kernel's check took the step (false when the kernel is off, does not take C,
// or the check sent the step back to the reference arithmetic). For tests of the check.
bool ExportIterateChecked(double cx, double cy, double x, double y, DoublePoint* next);

// Whether the processor and the system run the lanes' code (AVX2 with FMA).
bool SimdSupported();

// Whether Z2EscapeRun uses the AVX2 lanes: where supported, unless the environment variable
// OMBRILO_SIMD was 0 when this was first asked. Tests switch the lanes off to run the scalar
// kernel on the same pictures; switching them on has no effect where they are not supported.
bool SimdEnabled();
// Whether the export's FMA kernel is used: where the processor has FMA, while SimdEnabled()
// (the kernel runs on the AVX2 lanes).
bool ExportFmaEnabled();
void SetSimdEnabledForTests(bool enabled);

// Whether the processor and the system run the wide lanes (AVX-512F with AVX2 and FMA).
bool WideLanesSupported();
// Whether the export's FMA kernel runs on the wide lanes: while ExportFmaEnabled(), where
// supported, unless OMBRILO_SIMD was avx2 when this was first asked (the AVX2 lanes then). Tests
// switch them off to run the AVX2 form on a processor that has both.
bool WideLanesEnabled();
void SetWideLanesEnabledForTests(bool enabled);

// What the lanes and the export's FMA kernel did since the last reset: iterates computed in
// them, iterates their check sent back to the reference arithmetic, escape tests too close to
// |z|^2 = 4 to decide in double, left to the reference test, and points they found in the trap
// region (trap_region.h), which never escape; and the export kernel's steps its cheap bound could
// not decide, left to its detailed bound (guardFallbacks of them went on to the reference).
struct KernelCounters {
    std::uint64_t iterates = 0;
    std::uint64_t guardFallbacks = 0;
    std::uint64_t escapeTies = 0;
    std::uint64_t trapped = 0;
    std::uint64_t detailedChecks = 0;
};
KernelCounters ReadKernelCounters();
void ResetKernelCounters();

}  // namespace ombrilo
