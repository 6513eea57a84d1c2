#pragma once

#include <cstdint>

#include "kernel_counters.h"
#include "point_function.h"

namespace ombrilo {

// The fast forms of both point functions. They give exactly the indices of Z2EscapeIndex and
// ExportEscapeIndex, stopping early when the orbit repeats itself bit for bit (then it can never
// escape, and the index is 0); the picture loops use them through RenderView and RenderExport.
int Z2EscapeIndexDetecting(double cx, double cy, float x, float y);
int ExportEscapeIndexDetecting(double cx, double cy, std::int32_t limit, double x, double y);

// Escape indices (Z2EscapeIndex) of `count` points of the row at height y, the first at x and
// each next one step further by a float addition. Returns the x that would come next. Runs on
// the lanes (ActiveLaneKernel) when they are on and take C, otherwise point by point.
float Z2EscapeRun(double cx, double cy, float x, float step, float y, int count,
                  std::uint8_t* indices);
// Escape indices (Z2EscapeIndex) of the `count` points (x[i], y), on the lanes as above. The
// picture loops compute a row's x sequence once and run every row on it.
void Z2EscapeRow(double cx, double cy, const float* x, float y, int count, std::uint8_t* indices);

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

// The forms of the main window's lane kernel, narrowest first.
enum class LaneKernel { Scalar, Avx2, Avx512 };

// Whether the processor and the system run the lanes' code (AVX2 with FMA).
bool SimdSupported();
// The widest form the processor runs.
LaneKernel SupportedLaneKernel();

// The form Z2EscapeRun and Z2EscapeRow use where it takes C: the widest supported, unless the
// environment variable OMBRILO_SIMD was 0 (no lanes: the scalar kernel) or avx2 (at most the AVX2
// lanes) when this was first asked. Tests choose a form to run every form on the same pictures; a
// form wider than the supported one gives the supported one.
LaneKernel ActiveLaneKernel();
void ChooseLaneKernelForTests(LaneKernel kernel);

// Whether lanes of either form are used (ActiveLaneKernel() is not Scalar).
bool SimdEnabled();
// Whether the export's FMA kernel is used: where the processor has FMA, while SimdEnabled()
// (the kernel runs on the AVX2 lanes).
bool ExportFmaEnabled();
// true chooses the widest supported form, false the scalar kernel.
void SetSimdEnabledForTests(bool enabled);

// Whether the processor has the AVX-512 lane kernel, and whether the export's FMA kernel runs on
// it: while ExportFmaEnabled() and the active lane kernel is the AVX-512 one.
bool WideLanesSupported();
bool WideLanesEnabled();

// What the lanes and the export's FMA kernel did since the last reset (kernel_counters.h).
KernelCounters ReadKernelCounters();
void ResetKernelCounters();

}  // namespace ombrilo
