#pragma once

// The lane kernels of the main window's point function, written once for every lane width: the
// checked step, its second look, the first steps of a row's new points and the row loop that
// hands each lane the next point as soon as its own is decided. Included only by the files that
// instantiate it for one instruction set (z2_avx2.cpp: four doubles to a register, AVX2 and FMA;
// z2_avx512.cpp: eight, AVX-512); each defines OMBRILO_Z2_LANES as the target attribute of its
// instruction set and a traits class L with the lane operations used below:
//   kWidth (lanes to a register), kGroups (registers of lanes the row loop steps side by side);
//   Real (kWidth doubles), Mask (a comparison's result), Floats (kWidth floats), FloatMask;
//   Set, Load, Store, StoreLanes(p, lanes, v) (v into the lanes `lanes` of p only),
//   LoadFloats(p, count) (the first `count` floats of p, as doubles; the others 0, not read);
//   Add, Sub, Mul, FmAdd(a, b, c) = RN(a*b + c); FloatGrid(v) (v's bits plus 2^28, the low 29
//   bits cleared); GreaterEq, Equal (ordered comparisons),
//   SameBits (bit for bit equal), Or, And, Bits (lane i at bit i, for both mask types);
//   ToFloats (rounded to nearest), FromFloats, SameFloats (bit for bit);
//   Replace(v, w, lanes) (the lanes of w in `lanes`, v's elsewhere);
//   WriteIndex(p, lanes, index) (p[i] = index for the lanes i of `lanes`); Trapped(region, x, y).
// The template parts live in an unnamed namespace: the two files compile them for different
// processors, and no function may be shared between them by the linker.
#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "fast_kernels.h"
#include "kernel_counters.h"
#include "numeric.h"
#include "point_function.h"
#include "run_proof.h"
#include "trap_region.h"

namespace ombrilo::detail {

inline constexpr double kLaneLimit = 0x1p40;
inline constexpr double kSmallestConstant = 0x1p-900;
inline constexpr double kBoundScale = 0x1p-51;
// The least bound a step uses: the ends of a check are then more than 2^-149 apart, farther
// than the boundaries of the bit-pattern rounding below 2^-126 (see below).
inline constexpr double kLeastBound = 0x1p-148;
// FloatGrid on a double's bit pattern: add half of the 24-bit grid's step, keep the bits above
// its low 29.
inline constexpr std::int64_t kFloatGridHalfStep = std::int64_t{1} << 28;
inline constexpr std::int64_t kFloatGridKept = ~((std::int64_t{1} << 29) - 1);
// A saved state that no lane value has (a NaN pattern; lane values are finite).
inline constexpr double kNoState = std::bit_cast<double>(~std::uint64_t{0});
inline constexpr std::int64_t kShortSaveEvery = 8;
inline constexpr std::int64_t kLongSaveEvery = 64;
// Whether the lanes compare each state with the saved ones (cycle detection). Only where the
// orbit of 0 stays near the set for long: a constant whose critical orbit leaves |z| <= 2 within
// kQuickCriticalEscape steps lies well outside the Mandelbrot set, no orbit lingers where float
// steps could stand still, and a repeat bit for bit before the limit of 254 is all but unknown
// (none in the boundary zoom at -0.8 + 0.156i, whose critical orbit leaves after 252 steps),
// while the compares cost about a tenth of each step. Nor where C has a trap region: the orbits
// that stay are drawn to its cycle and, as a rule, enter the region, which the lanes look up
// every 16 steps, long before a float orbit closes on itself bit for bit (in the start view and
// the views of the rabbit, of C = -1 and of constants near the main cardioid, no inside orbit
// repeats before it is found in the region). Either way no index changes: a repeat only stops
// an orbit that would run to the limit anyway (fast_kernels.cpp).
inline constexpr int kQuickCriticalEscape = 2048;

inline bool LanesWatchRepeats(double cx, double cy) {
    const int escape = CriticalOrbitEscape(cx, cy);
    return (escape == 0 || escape > kQuickCriticalEscape) && MainTrapRegion(cx, cy).disks == 0;
}

// Steps that new points of a row take side by side before they wait for a lane of their own.
inline constexpr int kFirstSteps = 16;
// Steps of a run of new points none of which was decided in its first steps.
inline constexpr int kLongFirstSteps = 2 * kFirstSteps;
static_assert(kLongFirstSteps < MaxIterations);

inline bool AcceptedStart(float x, float y) {
    return std::fabs(x) <= static_cast<float>(kLaneLimit) &&
           std::fabs(y) <= static_cast<float>(kLaneLimit);
}

// Index of a lane's point once its state z_n is decided, or -1 while it goes on. `m` holds the
// lanes' state (x, y, sum = RN(x*x + y*y)) and saved states (shortX ... longY) in memory.
// Always inlined: a call would make the row loop save and restore every lane register.
template <typename LaneMemory>
[[gnu::always_inline]] inline int DecidedIndex(const LaneMemory& m, int i, int n, bool trapped,
                                               KernelCounters& tally) {
    if (m.sum[i] >= 4.0) {
        if (m.sum[i] > 4.0) {
            return n;
        }
        ++tally.escapeTies;
        if (Escaped(m.x[i], m.y[i])) {
            return n;
        }
    }
    if (trapped) {
        ++tally.trapped;
        return 0;
    }
    const bool repeated = (SameBits(m.x[i], m.shortX[i]) && SameBits(m.y[i], m.shortY[i])) ||
                          (SameBits(m.x[i], m.longX[i]) && SameBits(m.y[i], m.longY[i]));
    if (repeated || n >= MaxIterations) {
        return 0;
    }
    return -1;  // |z|^2 was 4 in double only, or only x matched a saved state
}

// A point that passed its first steps: its state z_K, its column and K.
struct Waiting {
    double x;
    double y;
    int column;
    int steps = kFirstSteps;
};

// What the lanes need to know of a row's x before they start: the length of the leading run
// of x[0 .. count) whose points (x[i], y) AcceptedStart takes (the same comparison: a NaN is not
// taken), and whether x ascends or descends throughout with no NaN, so that the ends of any
// span of it bound the span (run_proof.h). Four columns at a time.
struct RowScan {
    int acceptedLead = 0;
    bool monotone = false;
};

inline bool Monotone(const float* x, int count, int from, int notUp, int notDown) {
    for (int i = std::max(from, 1); i < count; ++i) {
        notUp |= !(x[i] >= x[i - 1]);
        notDown |= !(x[i] <= x[i - 1]);
    }
    return notUp == 0 || notDown == 0;
}

inline RowScan ScanRow(const float* x, float y, int count) {
    if (count == 0) {
        return {0, true};
    }
    const __m128 sign = _mm_set1_ps(-0.0f);
    const __m128 limit = _mm_set1_ps(static_cast<float>(kLaneLimit));
    const bool rowTaken = AcceptedStart(0.0f, y);
    int notUp = !(x[0] == x[0]);
    int notDown = notUp;
    int column = 0;
    for (; rowTaken && column + 5 <= count; column += 4) {
        const __m128 here = _mm_loadu_ps(x + column);
        const __m128 next = _mm_loadu_ps(x + column + 1);
        if (_mm_movemask_ps(_mm_cmple_ps(_mm_andnot_ps(sign, here), limit)) != 0xF) {
            break;
        }
        notUp |= _mm_movemask_ps(_mm_cmpnge_ps(next, here));
        notDown |= _mm_movemask_ps(_mm_cmpnle_ps(next, here));
    }
    // Here x[0 .. column] has been compared in order; the rest one by one.
    const bool monotone = Monotone(x, count, column + 1, notUp, notDown);
    while (rowTaken && column < count && AcceptedStart(x[column], y)) {
        ++column;
    }
    return {rowTaken ? column : 0, monotone};
}

// The points (x[i], y) of one row in order, handed to the lanes in runs; points the lanes do not
// take are done on the spot by the scalar kernel.
class RowFeed {
public:
    RowFeed(double cx, double cy, const float* x, float y, int count, std::uint8_t* indices)
        : cx_(cx),
          cy_(cy),
          x_(x),
          y_(y),
          count_(count),
          indices_(indices),
          scan_(ScanRow(x, y, count)) {}

    // The next run of at most `most` points in consecutive columns that the lanes take: its
    // first column in *first, its length returned (0 at the end of the row). Points before it
    // that the lanes do not take are done on the spot.
    int NextRun(int most, int* first) {
        if (column_ < scan_.acceptedLead) {  // the usual case: every point of the row is taken
            *first = column_;
            const int length = std::min(most, scan_.acceptedLead - column_);
            column_ += length;
            return length;
        }
        while (column_ < count_ && !AcceptedStart(x_[column_], y_)) {
            indices_[column_] =
                static_cast<std::uint8_t>(Z2EscapeIndexDetecting(cx_, cy_, x_[column_], y_));
            ++column_;
        }
        *first = column_;
        int length = 0;
        while (length < most && column_ < count_ && AcceptedStart(x_[column_], y_)) {
            ++length;
            ++column_;
        }
        return length;
    }

    // Gives back the points from `column` on, which the last run handed out.
    void Rewind(int column) { column_ = column; }

    float y() const { return y_; }
    const float* x() const { return x_; }
    bool monotone() const { return scan_.monotone; }

private:
    double cx_;
    double cy_;
    const float* x_;
    float y_;
    int count_;
    std::uint8_t* indices_;
    RowScan scan_;
    int column_ = 0;
};

// The points of a row that passed their first steps, in the order the lanes take them, and what
// the first steps of both kernels work with. Steps, the kernel's first steps, has RunBlock(): the
// next run of the row's points takes its first steps, the points that pass them are Added, and
// the result is false at the end of the row.
template <typename Steps, int kCapacity>
class FirstStepsQueue {
public:
    FirstStepsQueue(double cx, double cy, RowFeed& feed, std::uint8_t* indices,
                    KernelCounters& tally)
        : cx_(cx),
          cy_(cy),
          feed_(feed),
          indices_(indices),
          tally_(tally),
          trap_(MainTrapRegion, cx, cy),
          boxes_(feed.monotone()) {}

    // The next waiting point; false at the end of the row.
    bool Take(Waiting* point) {
        while (next_ == size_) {
            next_ = size_ = 0;
            if (!static_cast<Steps*>(this)->RunBlock()) {
                return false;
            }
        }
        *point = points_[next_++];
        return true;
    }

    // The next run of at most `most` points for the kernel's first steps, as RowFeed::NextRun;
    // runs whose indices a box proves at once (run_proof.h) are written on the way. The box is
    // tried on spans of up to kLongestSpan points, shorter after spans it could not decide and
    // not at all for a few runs after a short one failed: it seldom decides near the set.
    int NextRun(int most, int* first) {
        for (;;) {
            if (!boxes_) {
                return feed_.NextRun(most, first);
            }
            if (runsToSkip_ > 0) {
                --runsToSkip_;
                return feed_.NextRun(most, first);
            }
            const int span = feed_.NextRun(spanLength_, first);
            if (span == 0) {
                return 0;
            }
            if (!ProvenAtOnce(*first, span)) {
                const int taken = std::min(span, most);
                feed_.Rewind(*first + taken);
                return taken;
            }
        }
    }

protected:
    void Add(const Waiting& point) { points_[size_++] = point; }

    // C's trap region, found when first needed.
    const TrapRegion& Trap() { return trap_.Region(); }

    double cx_;
    double cy_;
    RowFeed& feed_;
    std::uint8_t* indices_;
    KernelCounters& tally_;

private:
    static constexpr int kShortestSpan = 32;
    static constexpr int kLongestSpan = 512;
    static constexpr int kMostRunsSkipped = 32;

    // Whether a box proved the index of all `count` points from column `first`; then their
    // indices are written. The next span is longer after a success and shorter after a failure.
    bool ProvenAtOnce(int first, int count) {
        int steps = 0;
        const int index = ProvenEscapeIndex(SpanBox(feed_.x(), first, count, feed_.y()), cx_, cy_,
                                            kMainStepError, kFirstSteps, trap_, &steps);
        if (index < 0) {
            if (spanLength_ > kShortestSpan) {
                spanLength_ /= 4;
            } else {
                missesInARow_ = std::min(2 * missesInARow_ + 1, kMostRunsSkipped);
                runsToSkip_ = missesInARow_;
            }
            return false;
        }
        missesInARow_ = 0;
        spanLength_ = std::min(4 * spanLength_, kLongestSpan);
        std::fill(indices_ + first, indices_ + first + count, static_cast<std::uint8_t>(index));
        const auto points = static_cast<std::uint64_t>(count);
        tally_.provenPoints += points;
        tally_.iterates += points * static_cast<std::uint64_t>(steps);
        if (index == 0) {
            tally_.trapped += points;
        }
        return true;
    }

    TrapLook trap_;
    bool boxes_;  // whether the row's x never turns back, so that a span's ends bound it
    int spanLength_ = kLongestSpan / 4;
    int missesInARow_ = 0;
    int runsToSkip_ = 0;
    Waiting points_[kCapacity];
    int next_ = 0;
    int size_ = 0;
};

}  // namespace ombrilo::detail

#ifndef OMBRILO_Z2_LANES
#error "define OMBRILO_Z2_LANES as the target attribute of the lanes' instruction set"
#endif

namespace ombrilo::detail {
namespace {

// Why the lanes give exactly the reference's floats
// -------------------------------------------------
// The reference step (Z2Iterate) computes X = (x*x - y*y) + Cx and Y = (x*y)*2 + Cy in extended
// precision (64-bit mantissa) and rounds each to float. The lanes hold x and y as doubles (every
// float is one) and compute in double; each fused multiply-add named below rounds once.
// Notation: u = 2^-53 and v = 2^-64 are the unit roundoffs of double and extended, RN is
// rounding to nearest in double, fl32 rounding to float; a = x*x, b = y*y, p = x*y (exact
// values), N = a + b + |Cx| + |Cy|.
//
// Range. The lanes take C only when each part is 0 or of magnitude in [2^-900, 2^40], and a
// start point only when both parts are at most 2^40 in magnitude; every later state they step
// from has passed the escape test (|z| < 2). So all values below are finite and below 2^83.
// Floats are multiples of 2^-149, so a, b and p are multiples of 2^-298; a nonzero part of C is
// a multiple of 2^-952. Every sum formed below, and its rounding, is then 0 or at least 2^-1003
// in magnitude: nothing overflows or reaches the subnormal range, and every double operation
// has |RN(r) - r| <= u|r| for its exact result r.
//
// Products. a, b and p have at most 48 significant bits: exact in double as in extended, and
// so is 2p. The lane's RN(y*y) is b itself, and sum = RN(x*x + b) = RN(a + b) by a fused
// multiply-add. Its bound is B = RN(sum * 2^-51 + K), again fused, with
// K = max(RN(|Cx| + |Cy|) * 2^-51, 2^-148); the scalings by a power of two are exact, so
// B >= (1 - u)^2 * 4u * N, and B >= 2^-148. A state that has passed its escape test has
// sum <= 4, so the lanes' loop, whose states all have, uses the larger B = RN(4 * 2^-51 + K)
// for every step; the argument below holds for any bound at least as large as that of the step.
//
// Real part. d = a - b, S = d + Cx (exact). The reference has D = RN64(d), V = RN64(D + Cx) and
// returns fl32(V): |V - S| <= v|d| + v|D + Cx| <= v(2 + v)N. The lane has n = RN(Cx - b) and
// t = RN(x*x + n) (fused): |n - (Cx - b)| <= u(|Cx| + b) <= uN and |t - (a + n)| <= u|a + n|
// <= u(1 + u)N, so |t - S| <= u(2 + u)N. (The second look below computes t = RN(RN(d) + Cx)
// instead, with the same bound: u|d| + u|RN(d) + Cx| <= u(2 + u)N.) So
// |V - t| <= E = (u(2 + u) + v(2 + v))N < 2.01uN, whichever way the extended roundings went,
// and |t| <= (1 + u)^2 N. As B >= (1 - u)^2 * 4uN, E < B: V lies strictly within B of t.
//
// The ends are L = RN(t - B) and H = RN(t + B); L <= t - B + u(|t| + B), so
//   V - L >= (1 - u)B - u|t| - E >= uN((1 - u)^3 * 4 - (1 + u)^2 - 2.01) > 0,
// and likewise H > V: V lies strictly between the ends.
//
// Rounding on the bit pattern. FloatGrid(X) is the double whose bits are those of X plus 2^28
// with the low 29 bits cleared (a carry into the exponent field goes to the next power of two):
// X rounded to 24 significant bits in its own binade, ties away from zero. The lane keeps
// R = FloatGrid(L) and passes when FloatGrid(H) is the same bit pattern. Take L and H positive
// (negative ones mirror this; ends of different signs differ in the sign bit and never pass).
// FloatGrid is monotone there, so on a pass every double from L to H rounds to R: no boundary of
// the grid (a value with 25 significant bits, which a double holds) lies strictly between L and
// H. From 2^-126 up the grid's boundaries are exactly the midpoints between neighbouring floats,
// also at a power of two (the binade below has the finer spacing there, as floats do). Below
// 2^-126 they lie at most 2^-150 apart, the last at 2^-126 - 2^-151, while H - L > 2^-149
// (B >= 2^-148): so on a pass H >= 2^-126, which makes R a normal float (below 2^84), and an
// end L below 2^-126 is at least 2^-126 - 2^-151, beyond the last midpoint between floats below
// 2^-126, 2^-126 - 2^-150. No midpoint between floats lies strictly between L and H, and V,
// strictly between them, is nearer to R than to any other float, without a tie: fl32(V) = R.
// Rounding to float is monotone as well, so fl32(L) = fl32(H) is an equivalent test, which the
// second look below uses; the bit pattern needs no conversion.
//
// Imaginary part. U = 2p + Cy is exact; the reference returns fl32(RN64(U)), the lane has
// w = RN(2x * y + Cy) = RN(U) by a fused multiply-add (2x is exact). As 2|p| <= a + b,
// |U| <= N, the two differ by at most (u + v)N, |w| <= (1 + u)N, and the same steps with the
// same B show that the ends RN(w - B), RN(w + B) enclose RN64(U) strictly.
//
// Signs of zero. A pass gives a normal float, never 0, with the sign of both ends and of V.
//
// An iterate whose check fails is looked at once more (RedoLanes), without fused operations:
// its guard uses the same B and compares fl32 of the ends as bit patterns (an end RN(t + B) is
// never -0, and two -0 ends mean V < 0; the real part is never -0, as a - b is never -0; the
// imaginary part is -0 only when 2p = -0 and Cy = -0, and then its ends differ), and a part
// whose double operations were all exact (their rounding errors, found exactly by TwoSum, are
// 0) equals the reference's exact result, and fl32 of it is the reference's float; this settles
// exact cancellations such as x*x - y*y + Cx = 0, where the bound never shrinks to 0. Whatever
// is left is redone with Z2Iterate for that lane (a guard fallback).
//
// Escape test. The reference escapes when RN64(a + b) - 4 >= 0, that is when RN64(a + b) >= 4.
// The lane has sum = RN(a + b). If sum > 4, then sum >= 4 + 2^-50 and a + b >= 4 + 2^-51:
// escaped for both. If sum < 4, then sum <= 4 - 2^-51 and a + b <= 4 - 2^-52, an extended
// number below 4: not escaped for both. sum == 4 goes to the reference test (Escaped).
//
// Cycle detection. Each lane saves its state every 8 and every 64 steps of the loop (after the
// step's decisions) and compares every state that has passed its escape test with the two saved
// ones, bit for bit. A saved state is a tested iterate of the lane's point or its start point
// z_0. If z_n = z_j with j < n and z_1 .. z_n all passed the test, the orbit runs through
// z_(j+1) .. z_n for ever, so no iterate up to the limit escapes and the reference gives 0. The
// escape test of z_n comes first, so 2 -> 2 -> 2 with C = -2 still gives 1. A lane that takes a
// new point gets saved states no lane value has (a NaN pattern; lane values are finite).
//
// First steps. New points of a row, in runs of consecutive columns, first step side by side
// without bookkeeping: the run tests z_1 .. z_K (K = kFirstSteps = 16) in order with the escape
// test above and stops a point at its first escaping iterate, as the reference does. A run none
// of whose points escaped or was found in the trap region (below) by z_16 goes on in the same
// way to K = 32 (kLongFirstSteps). K is below the limit of 254, so the limit cannot be reached
// there, and no early stop but the trap region is tried. A point that passes all K tests waits
// for a lane and enters it with z_K and its count of K, so that the lane's counting, its limit
// and its early stops go on exactly as if the lane had computed those steps itself. Its saved
// states are cleared on entry, so the cycle detection compares only with tested iterates of the
// same point (z_K or later).
//
// Trap region. Every 16 steps of the loop each lane's state, a tested iterate, is looked up in
// the main window's trap region (trap_region.cpp): a state in it never escapes, index 0. So are
// z_16 and z_32 of the points still in their first steps: each has passed its escape test, and a
// point found there gets index 0 without a lane (for constants whose cycle attracts strongly,
// most points of the set). The region is found when it is first looked up: when a row chooses
// whether to watch for repeats, for a C whose critical orbit stays long, and otherwise when a
// point first needs it (a row whose points all leave within their first steps never looks); it
// depends on C alone, so when it is found changes no lookup.
//
// Which points the lanes take. A row's columns are scanned four at a time (ScanRow) with
// the very comparison AcceptedStart makes, |x| <= 2^40 as floats, false for a NaN; the scan
// only finds where the first column the lanes refuse lies, and from there on the columns are
// looked at one by one as before. A refused point is done by the scalar kernel, whose index is
// the reference's (fast_kernels.cpp); the order in which the points of a row are done changes
// no index, as each depends on its own point alone.
//
// Every width alike. The lane operations of both instruction sets do in every lane what the
// scalar double operation of the same name does, and nothing else: add, sub, mul and the fused
// multiply-add round once to nearest even under the rounding mode the program never changes (no
// embedded rounding, no approximation instructions, denormals neither flushed nor read as zero);
// the conversions to float and back are the scalar ones; comparisons use the same ordered
// predicates (a NaN compares false) and give bit i for lane i; SameBits, SameFloats, Replace and
// StoreLanes move or compare whole lanes bit for bit. So a lane holds after every step what the
// argument above says, whatever the register width, and the index a row's point gets does not
// depend on the lane, the register or the form that computed it.

// Registers of lanes that the first steps of a run of new points use side by side.
constexpr int kFirstStepRegisters = 4;

template <class L>
struct StepConstants {
    typename L::Real cx;
    typename L::Real cy;
    typename L::Real constantBound;  // max(RN(|Cx| + |Cy|) * 2^-51, 2^-148)
    typename L::Real scale;          // 2^-51
    typename L::Real four;
    typename L::Real testedBound;  // RN(4 * 2^-51 + constantBound): every tested state's
};

template <class L>
OMBRILO_Z2_LANES StepConstants<L> MakeStepConstants(double cx, double cy) {
    const double constantBound =
        std::max((std::fabs(cx) + std::fabs(cy)) * kBoundScale, kLeastBound);
    return {L::Set(cx),          L::Set(cy),  L::Set(constantBound),
            L::Set(kBoundScale), L::Set(4.0), L::Set(std::fma(4.0, kBoundScale, constantBound))};
}

template <class L>
struct LaneStates {
    typename L::Real x;
    typename L::Real y;
};

// RN(x*x + y*y), and y*y (exact: y is a float) in *yy, which the next checked step uses.
template <class L>
OMBRILO_Z2_LANES inline typename L::Real SquaredNorm(typename L::Real x, typename L::Real y,
                                                     typename L::Real* yy) {
    *yy = L::Mul(y, y);
    return L::FmAdd(x, x, *yy);
}

template <class L>
OMBRILO_Z2_LANES inline typename L::Real SquaredNorm(typename L::Real x, typename L::Real y) {
    typename L::Real yy;
    return SquaredNorm<L>(x, y, &yy);
}

// The float of the ends RN(t - bound), RN(t + bound) rounded on their bit patterns, in
// *rounded, and the lanes where both ends give the same one: there it is fl32 of any value
// strictly between the ends.
template <class L>
OMBRILO_Z2_LANES inline typename L::Mask CertifiedFloat(typename L::Real t, typename L::Real bound,
                                                        typename L::Real* rounded) {
    *rounded = L::FloatGrid(L::Sub(t, bound));
    return L::SameBits(*rounded, L::FloatGrid(L::Add(t, bound)));
}

// One checked step of every lane with the step's bound: (x, y) becomes the next state; b is
// the current state's y*y (as SquaredNorm gives it). The real part is RN(x*x + RN(Cx - b)) and
// the imaginary part RN(2x * y + Cy), each by one fused multiply-add. Returns the lanes whose
// check passed.
template <class L>
OMBRILO_Z2_LANES inline unsigned CheckedStepWithin(const StepConstants<L>& k, typename L::Real& x,
                                                   typename L::Real& y, typename L::Real b,
                                                   typename L::Real bound) {
    const auto re = L::FmAdd(x, x, L::Sub(k.cx, b));
    const auto im = L::FmAdd(L::Add(x, x), y, k.cy);
    const auto rePassed = CertifiedFloat<L>(re, bound, &x);
    const auto imPassed = CertifiedFloat<L>(im, bound, &y);
    return L::Bits(L::And(rePassed, imPassed));
}

// The same with the bound of the current state, whose RN(x*x + y*y) is sum: for a start
// point, which has not passed an escape test.
template <class L>
OMBRILO_Z2_LANES inline unsigned CheckedStep(const StepConstants<L>& k, typename L::Real& x,
                                             typename L::Real& y, typename L::Real b,
                                             typename L::Real sum) {
    return CheckedStepWithin<L>(k, x, y, b, L::FmAdd(sum, k.scale, k.constantBound));
}

// Exact error of a + b: a + b = RN(a + b) + TwoSumError(a, b, RN(a + b)) when nothing overflows.
template <class L>
OMBRILO_Z2_LANES inline typename L::Real TwoSumError(typename L::Real a, typename L::Real b,
                                                     typename L::Real sum) {
    const auto aPart = L::Sub(sum, b);
    const auto bPart = L::Sub(sum, aPart);
    return L::Add(L::Sub(a, aPart), L::Sub(b, bPart));
}

template <class L>
OMBRILO_Z2_LANES inline unsigned SameRoundedEnds(typename L::Real low, typename L::Real high) {
    return L::Bits(L::SameFloats(L::ToFloats(low), L::ToFloats(high)));
}

// The second look at the lanes of `lanes`, whose checked step from (oldX, oldY) failed: the step
// again without fused operations, each part passing when its guard passes or when its double
// operations were all exact (the reference's are then exact as well and equal them; this is
// what an exact cancellation such as x*x - y*y + Cx = 0 needs, where the guard's bound never
// passes). Lanes that still fail are redone with the reference arithmetic. Returns (x, y) with
// the next states of the lanes of `lanes` put in.
template <class L>
OMBRILO_Z2_LANES LaneStates<L> RedoLanes(const StepConstants<L>& k, double cx, double cy,
                                         unsigned lanes, typename L::Real oldX,
                                         typename L::Real oldY, typename L::Real x,
                                         typename L::Real y, KernelCounters& tally) {
    constexpr int kWidth = L::kWidth;
    const auto a = L::Mul(oldX, oldX);
    const auto b = L::Mul(oldY, oldY);
    const auto zero = L::Set(0.0);
    const auto bound = L::Add(L::Mul(L::Add(a, b), k.scale), k.constantBound);
    const auto d = L::Sub(a, b);
    const auto re = L::Add(d, k.cx);
    const auto reExact = L::And(L::Equal(TwoSumError<L>(a, L::Sub(zero, b), d), zero),
                                L::Equal(TwoSumError<L>(d, k.cx, re), zero));
    const auto p = L::Mul(oldX, oldY);
    const auto twoP = L::Add(p, p);
    const auto im = L::Add(twoP, k.cy);
    const auto imExact = L::Equal(TwoSumError<L>(twoP, k.cy, im), zero);
    const unsigned rePassed =
        SameRoundedEnds<L>(L::Sub(re, bound), L::Add(re, bound)) | L::Bits(reExact);
    const unsigned imPassed =
        SameRoundedEnds<L>(L::Sub(im, bound), L::Add(im, bound)) | L::Bits(imExact);
    const unsigned failed = ~(rePassed & imPassed) & lanes;

    alignas(64) double ox[kWidth];
    alignas(64) double oy[kWidth];
    alignas(64) double nx[kWidth];
    alignas(64) double ny[kWidth];
    L::Store(ox, oldX);
    L::Store(oy, oldY);
    L::Store(nx, L::FromFloats(L::ToFloats(re)));
    L::Store(ny, L::FromFloats(L::ToFloats(im)));
    for (unsigned bits = failed; bits != 0; bits &= bits - 1) {
        const int lane = std::countr_zero(bits);
        const FloatPoint next =
            Z2Iterate(cx, cy, static_cast<float>(ox[lane]), static_cast<float>(oy[lane]));
        nx[lane] = next.x;
        ny[lane] = next.y;
    }
    tally.guardFallbacks += static_cast<std::uint64_t>(std::popcount(failed));
    return {L::Replace(x, L::Load(nx), lanes), L::Replace(y, L::Load(ny), lanes)};
}

// The row's points after their first steps: runs of points take kFirstSteps steps together in
// kFirstStepRegisters registers; escaping points get their index on the spot, the others wait
// for a lane.
template <class L>
class FirstSteps : public FirstStepsQueue<FirstSteps<L>, L::kWidth * kFirstStepRegisters> {
    static constexpr int kWidth = L::kWidth;
    static constexpr int kPoints = kWidth * kFirstStepRegisters;
    using Queue = FirstStepsQueue<FirstSteps<L>, kPoints>;
    using Real = typename L::Real;

public:
    FirstSteps(const StepConstants<L>& k, double cx, double cy, RowFeed& feed,
               std::uint8_t* indices, KernelCounters& tally)
        : Queue(cx, cy, feed, indices, tally), k_(k) {}

private:
    friend Queue;

    // The next run of up to kPoints points the lanes take, their first steps side by side;
    // false at the end of the row.
    OMBRILO_Z2_LANES bool RunBlock() {
        int first = 0;
        const int taken = this->NextRun(kPoints, &first);
        if (taken == 0) {
            return false;
        }
        Real x[kFirstStepRegisters];
        Real y[kFirstStepRegisters];
        Real sum[kFirstStepRegisters];
        Real yy[kFirstStepRegisters];
        unsigned alive[kFirstStepRegisters];
        for (int r = 0; r < kFirstStepRegisters; ++r) {
            const int points = std::clamp(taken - kWidth * r, 0, kWidth);
            alive[r] = (1u << points) - 1;
            // Masked-off floats are not read: a run may end at the row's last point.
            x[r] = L::LoadFloats(this->feed_.x() + first + kWidth * r, points);
            y[r] = L::Set(this->feed_.y());
            sum[r] = SquaredNorm<L>(x[r], y[r], &yy[r]);
        }
        // A run whose points all pass z_1 .. z_K and are not in the trap region there goes on
        // to z_2K (its points are likely to last); the others stop at z_K.
        int lastStep = kFirstSteps;
        unsigned decided = 0;
        for (int n = 1; n <= lastStep; ++n) {
            unsigned anyAlive = 0;
#pragma GCC unroll 4
            for (int r = 0; r < kFirstStepRegisters; ++r) {
                const Real oldX = x[r];
                const Real oldY = y[r];
                const unsigned failed = ~CheckedStep<L>(k_, x[r], y[r], yy[r], sum[r]) & alive[r];
                if (failed != 0) [[unlikely]] {
                    const LaneStates<L> redone = RedoLanes<L>(k_, this->cx_, this->cy_, failed,
                                                              oldX, oldY, x[r], y[r], this->tally_);
                    x[r] = redone.x;
                    y[r] = redone.y;
                }
                sum[r] = SquaredNorm<L>(x[r], y[r], &yy[r]);
                const unsigned out = L::Bits(L::GreaterEq(sum[r], k_.four)) & alive[r];
                if (out != 0) {
                    const unsigned escaped = Escape(first + kWidth * r, out, n, x[r], y[r], sum[r]);
                    alive[r] &= ~escaped;
                    decided |= escaped;
                }
                anyAlive |= alive[r];
            }
            if (anyAlive == 0) {
                return true;
            }
            if (n == kFirstSteps || n == kLongFirstSteps) {
                // z_n of the points alive has passed its escape test.
                for (int r = 0; r < kFirstStepRegisters; ++r) {
                    const unsigned trapped = L::Trapped(this->Trap(), x[r], y[r]) & alive[r];
                    L::WriteIndex(this->indices_ + first + kWidth * r, trapped, 0);
                    const auto count = static_cast<std::uint64_t>(std::popcount(trapped));
                    this->tally_.trapped += count;
                    this->tally_.iterates += count * static_cast<std::uint64_t>(n);
                    alive[r] &= ~trapped;
                    decided |= trapped;
                }
                if (decided == 0) {
                    lastStep = kLongFirstSteps;
                }
            }
        }
        for (int r = 0; r < kFirstStepRegisters; ++r) {
            if (alive[r] == 0) {
                continue;
            }
            alignas(64) double bx[kWidth];
            alignas(64) double by[kWidth];
            L::Store(bx, x[r]);
            L::Store(by, y[r]);
            for (unsigned bits = alive[r]; bits != 0; bits &= bits - 1) {
                const int i = std::countr_zero(bits);
                this->Add({bx[i], by[i], first + kWidth * r + i, lastStep});
            }
        }
        return true;
    }

    // The points of `out` (lanes of the columns from `column` on with |z_n|^2 >= 4 in double)
    // that escape at n get their index; returns them. |z_n|^2 = 4 in double goes to the
    // reference test.
    OMBRILO_Z2_LANES unsigned Escape(int column, unsigned out, int n, Real x, Real y, Real sum) {
        const unsigned ties = L::Bits(L::Equal(sum, k_.four)) & out;
        if (ties != 0) [[unlikely]] {
            alignas(64) double tx[kWidth];
            alignas(64) double ty[kWidth];
            L::Store(tx, x);
            L::Store(ty, y);
            for (unsigned bits = ties; bits != 0; bits &= bits - 1) {
                const int i = std::countr_zero(bits);
                ++this->tally_.escapeTies;
                if (!Escaped(tx[i], ty[i])) {
                    out &= ~(1u << i);
                }
            }
        }
        L::WriteIndex(this->indices_ + column, out, n);
        this->tally_.iterates += static_cast<std::uint64_t>(n * std::popcount(out));
        return out;
    }

    const StepConstants<L>& k_;
};

// One register's lanes: state and saved states in memory, where the bookkeeping reads and
// writes them.
template <class L>
struct alignas(64) LaneMemory {
    double x[L::kWidth];
    double y[L::kWidth];
    double sum[L::kWidth];
    double shortX[L::kWidth];
    double shortY[L::kWidth];
    double longX[L::kWidth];
    double longY[L::kWidth];
};

// One register's lanes in registers: the state, y*y and x*x + y*y.
template <class L>
struct LaneGroup {
    typename L::Real x;
    typename L::Real y;
    typename L::Real yy;
    typename L::Real sum;
};

// The lanes' points: which column each lane works on and at which loop step its point would
// have started had the lane computed its first steps too.
template <int kLanes>
struct LaneTable {
    static_assert(kLanes <= 32);
    int column[kLanes];  // -1 when the lane idles
    std::int64_t start[kLanes];
    std::uint32_t active = 0;

    // The first loop step at which some lane reaches the iteration limit.
    std::int64_t NextLimit() const {
        std::int64_t limit = std::numeric_limits<std::int64_t>::max();
        for (int lane = 0; lane < kLanes; ++lane) {
            if ((active >> lane) & 1) {
                limit = std::min(limit, start[lane] + MaxIterations);
            }
        }
        return limit;
    }

    // Lane takes the waiting point (or idles when there is none) at loop step stepCount.
    void Take(int lane, bool taken, const Waiting& point, std::int64_t stepCount) {
        column[lane] = taken ? point.column : -1;
        start[lane] = stepCount - point.steps;
        if (taken) {
            active |= 1u << lane;
        } else {
            active &= ~(1u << lane);
        }
    }
};

// Z2EscapeRow on the lanes, for an accepted constant: kGroups registers of lanes step side by
// side, and each lane takes the next waiting point of the row as soon as its own is decided.
// kWatchRepeats: whether states are compared with the saved ones (LanesWatchRepeats).
template <class L, bool kWatchRepeats>
OMBRILO_Z2_LANES void RunRowOnLanes(double cx, double cy, const float* x, float y, int count,
                                    std::uint8_t* indices, KernelCounters& tally) {
    constexpr int kWidth = L::kWidth;
    constexpr int kGroups = L::kGroups;
    constexpr int kLanes = kWidth * kGroups;
    constexpr unsigned kGroupMask = (1u << kWidth) - 1;
    const StepConstants<L> k = MakeStepConstants<L>(cx, cy);
    // Looked up when a lane first needs it. Where the choice of the repeat watch did not find
    // the region already (LanesWatchRepeats), rows whose points all leave within the first
    // steps never do.
    const TrapRegion* trap = nullptr;
    RowFeed feed(cx, cy, x, y, count, indices);
    FirstSteps<L> first(k, cx, cy, feed, indices, tally);
    const auto none = L::Set(kNoState);

    LaneMemory<L> memory[kGroups];
    LaneGroup<L> groups[kGroups];
    LaneTable<kLanes> lanes;
    for (int lane = 0; lane < kLanes; ++lane) {
        Waiting point{0.0, 0.0, -1};
        const bool taken = first.Take(&point);
        lanes.Take(lane, taken, point, 0);
        LaneMemory<L>& m = memory[lane / kWidth];
        m.x[lane % kWidth] = point.x;
        m.y[lane % kWidth] = point.y;
    }
    for (int g = 0; g < kGroups; ++g) {
        for (double* saved :
             {memory[g].shortX, memory[g].shortY, memory[g].longX, memory[g].longY}) {
            L::Store(saved, none);
        }
        groups[g].x = L::Load(memory[g].x);
        groups[g].y = L::Load(memory[g].y);
        groups[g].sum = SquaredNorm<L>(groups[g].x, groups[g].y, &groups[g].yy);
    }
    std::int64_t nextLimit = lanes.NextLimit();

    for (std::int64_t stepCount = 1; lanes.active != 0; ++stepCount) {
        std::uint32_t flagged = 0;
#pragma GCC unroll 8
        for (int g = 0; g < kGroups; ++g) {
            LaneGroup<L>& group = groups[g];
            const auto oldX = group.x;
            const auto oldY = group.y;
            const unsigned groupActive = (lanes.active >> (kWidth * g)) & kGroupMask;
            const unsigned failed =
                ~CheckedStepWithin<L>(k, group.x, group.y, group.yy, k.testedBound) & groupActive;
            if (failed != 0) [[unlikely]] {
                const LaneStates<L> redone =
                    RedoLanes<L>(k, cx, cy, failed, oldX, oldY, group.x, group.y, tally);
                group.x = redone.x;
                group.y = redone.y;
            }
            group.sum = SquaredNorm<L>(group.x, group.y, &group.yy);
            // Only x is compared here; the bookkeeping compares both parts.
            auto escapedOrRepeated = L::GreaterEq(group.sum, k.four);
            if constexpr (kWatchRepeats) {
                escapedOrRepeated =
                    L::Or(escapedOrRepeated, L::Or(L::SameBits(group.x, L::Load(memory[g].shortX)),
                                                   L::SameBits(group.x, L::Load(memory[g].longX))));
            }
            flagged |= std::uint32_t{L::Bits(escapedOrRepeated)} << (kWidth * g);
        }
        if (stepCount == nextLimit) {
            for (int lane = 0; lane < kLanes; ++lane) {
                if (lanes.start[lane] + MaxIterations == stepCount) {
                    flagged |= 1u << lane;
                }
            }
        }
        std::uint32_t trapped = 0;
        if (stepCount % kTrapLookEvery == 0 &&
            (trap != nullptr ? trap : (trap = &MainTrapRegion(cx, cy)))->disks > 0) {
            for (int g = 0; g < kGroups; ++g) {
                trapped |= std::uint32_t{L::Trapped(*trap, groups[g].x, groups[g].y)}
                           << (kWidth * g);
            }
            flagged |= trapped;
        }
        flagged &= lanes.active;

        // Bookkeeping: lanes whose point is decided write its index and take the next point.
#pragma GCC unroll 8
        for (int g = 0; g < kGroups; ++g) {
            unsigned groupFlagged = (flagged >> (kWidth * g)) & kGroupMask;
            if (groupFlagged == 0) {
                continue;
            }
            LaneMemory<L>& m = memory[g];
            LaneGroup<L>& group = groups[g];
            L::Store(m.x, group.x);
            L::Store(m.y, group.y);
            L::Store(m.sum, group.sum);
            unsigned refilled = 0;
            for (; groupFlagged != 0; groupFlagged &= groupFlagged - 1) {
                const int i = std::countr_zero(groupFlagged);
                const int lane = kWidth * g + i;
                const int n = static_cast<int>(stepCount - lanes.start[lane]);
                const int index = DecidedIndex(m, i, n, (trapped >> lane) & 1, tally);
                if (index < 0) {
                    continue;
                }
                indices[lanes.column[lane]] = static_cast<std::uint8_t>(index);
                tally.iterates += static_cast<std::uint64_t>(n);
                Waiting point{0.0, 0.0, -1};
                const bool taken = first.Take(&point);
                lanes.Take(lane, taken, point, stepCount);
                // A point that took more first steps may reach the limit before the others.
                nextLimit = std::min(nextLimit, lanes.start[lane] + MaxIterations);
                // The new state goes into the registers by blends rather than through memory,
                // where a vector load of freshly stored single values would stall.
                group.x = L::Replace(group.x, L::Set(point.x), 1u << i);
                group.y = L::Replace(group.y, L::Set(point.y), 1u << i);
                refilled |= 1u << i;
            }
            if (refilled != 0) {
                group.sum = SquaredNorm<L>(group.x, group.y, &group.yy);
                for (double* saved : {m.shortX, m.shortY, m.longX, m.longY}) {
                    L::StoreLanes(saved, refilled, none);
                }
            }
        }
        if (stepCount == nextLimit) {
            nextLimit = lanes.NextLimit();
        }

        if (kWatchRepeats && stepCount % kShortSaveEvery == 0) {
            const bool saveLong = stepCount % kLongSaveEvery == 0;
#pragma GCC unroll 8
            for (int g = 0; g < kGroups; ++g) {
                L::Store(memory[g].shortX, groups[g].x);
                L::Store(memory[g].shortY, groups[g].y);
                if (saveLong) {
                    L::Store(memory[g].longX, groups[g].x);
                    L::Store(memory[g].longY, groups[g].y);
                }
            }
        }
    }
}

// Z2EscapeRow on the lanes, comparing with saved states only where repeats may pay.
template <class L>
OMBRILO_Z2_LANES void RunRowOnLanes(double cx, double cy, const float* x, float y, int count,
                                    std::uint8_t* indices, KernelCounters& tally) {
    if (LanesWatchRepeats(cx, cy)) {
        RunRowOnLanes<L, true>(cx, cy, x, y, count, indices, tally);
    } else {
        RunRowOnLanes<L, false>(cx, cy, x, y, count, indices, tally);
    }
}

// One checked step of each point (Z2Iterate's result), for an accepted constant; points the
// lanes do not take are stepped by the reference.
template <class L>
OMBRILO_Z2_LANES void IterateCheckedOnLanes(double cx, double cy, const float* x, const float* y,
                                            int count, FloatPoint* next, KernelCounters& tally) {
    constexpr int kWidth = L::kWidth;
    using Real = typename L::Real;
    const StepConstants<L> k = MakeStepConstants<L>(cx, cy);
    for (int first = 0; first < count; first += kWidth) {
        const int lanes = std::min(kWidth, count - first);
        alignas(64) double lx[kWidth] = {};
        alignas(64) double ly[kWidth] = {};
        unsigned taken = 0;
        for (int lane = 0; lane < lanes; ++lane) {
            if (AcceptedStart(x[first + lane], y[first + lane])) {
                lx[lane] = x[first + lane];
                ly[lane] = y[first + lane];
                taken |= 1u << lane;
            }
        }
        auto vx = L::Load(lx);
        auto vy = L::Load(ly);
        const auto oldX = vx;
        const auto oldY = vy;
        Real yy;
        const Real sum = SquaredNorm<L>(vx, vy, &yy);
        const unsigned failed = ~CheckedStep<L>(k, vx, vy, yy, sum) & taken;
        if (failed != 0) {
            const LaneStates<L> redone = RedoLanes<L>(k, cx, cy, failed, oldX, oldY, vx, vy, tally);
            vx = redone.x;
            vy = redone.y;
        }
        tally.iterates += static_cast<std::uint64_t>(std::popcount(taken));
        L::Store(lx, vx);
        L::Store(ly, vy);
        for (int lane = 0; lane < lanes; ++lane) {
            next[first + lane] =
                ((taken >> lane) & 1)
                    ? FloatPoint{static_cast<float>(lx[lane]), static_cast<float>(ly[lane])}
                    : Z2Iterate(cx, cy, x[first + lane], y[first + lane]);
        }
    }
}

}  // namespace
}  // namespace ombrilo::detail
