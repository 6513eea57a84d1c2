#pragma once

// Escape indices of a whole run of a row's points at once, proven by interval arithmetic: one
// box that holds every point's iterate is stepped instead of the points, and where the box lies
// wholly on one side of |z| = 2 at every step, every point's index is known without its orbit.

#include <algorithm>

#include "trap_region.h"

namespace ombrilo {

// How far a point function's step may lie from the exact z^2 + C, in each part: at most
// relative * N + absolute with N = x^2 + y^2 + |Cx| + |Cy|, the roundings of the box's own
// double arithmetic included (run_proof.cpp).
struct StepErrorModel {
    double relative;
    double absolute;
};

// The main window's step (floats between iterates) and the export's (doubles).
inline constexpr StepErrorModel kMainStepError{0x1p-22, 0x1p-140};
inline constexpr StepErrorModel kExportStepError{0x1p-49, 0x1p-1000};

// A rectangle of the plane, ends included.
struct Box {
    double xLow;
    double xHigh;
    double yLow;
    double yHigh;
};

// The escape index that every start point of `start` has, -1 when the box cannot show one
// within `steps` steps. An index is shown when the box escapes as a whole (every point's
// |z_n| >= 2, and no earlier iterate of any point escapes), or, after kTrapLookEvery steps,
// when it lies wholly in one disk of the point function's trap region (index 0), looked up
// through `trap` only then. The start box's parts and C must be finite, at most 2^40 in
// magnitude. The steps the box took are left in *stepsTaken when it is given.
int ProvenEscapeIndex(const Box& start, double cx, double cy, const StepErrorModel& model,
                      int steps, TrapLook& trap, int* stepsTaken = nullptr);

// The box of the points x[first .. first + count) at height y, when x never turns back (ascends
// or descends throughout): then the span's ends bound all of its points.
template <typename Real>
Box SpanBox(const Real* x, int first, int count, double y) {
    const double a = x[first];
    const double b = x[first + count - 1];
    return {std::min(a, b), std::max(a, b), y, y};
}

}  // namespace ombrilo
