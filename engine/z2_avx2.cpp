// The main window's point function on AVX2 lanes: four points per register, several registers
// side by side, each lane taking the next point of the row as soon as its point is decided.
// The lanes need AVX2 and FMA.
//
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
// multiply-add. Its bound is B = RN(sum * 2^-51 + RN(|Cx| + |Cy|) * 2^-51), again fused; the
// scalings by a power of two are exact, so B >= (1 - u)^2 * 4u * N.
//
// Real part. d = a - b, S = d + Cx (exact). The reference has D = RN64(d), V = RN64(D + Cx) and
// returns fl32(V): |V - S| <= v|d| + v|D + Cx| <= v(2 + v)N. The lane has n = RN(Cx - b) and
// t = RN(x*x + n) (fused): |n - (Cx - b)| <= u(|Cx| + b) <= uN and |t - (a + n)| <= u|a + n|
// <= u(1 + u)N, so |t - S| <= u(2 + u)N. (The second look below computes t = RN(RN(d) + Cx)
// instead, with the same bound: u|d| + u|RN(d) + Cx| <= u(2 + u)N.) So
// |V - t| <= E = (u(2 + u) + v(2 + v))N < 2.01uN, whichever way the extended roundings went,
// and |t| <= (1 + u)^2 N. The ends are L = RN(t - B) and
// H = RN(t + B); L <= t - B + u(|t| + B), so
//   V - L >= (1 - u)B - u|t| - E >= uN((1 - u)^3 * 4 - (1 + u)^2 - 2.01) > 0,
// and likewise H >= V. Rounding to float is monotone, fl32(L) <= fl32(V) <= fl32(H): when the
// two ends round to the same float, that float is the reference's.
//
// Imaginary part. U = 2p + Cy is exact; the reference returns fl32(RN64(U)), the lane has
// w = RN(2x * y + Cy) = RN(U) by a fused multiply-add (2x is exact). As 2|p| <= a + b,
// |U| <= N, the two differ by at most (u + v)N, |w| <= (1 + u)N, and the same steps with the
// same B show that the ends RN(w - B), RN(w + B) enclose RN64(U).
//
// Signs of zero. The ends are compared as bit patterns, so +0 and -0 differ. B is +0 or
// positive, so an end H = RN(t + B) is never -0: two -0 ends mean H < 0, hence V < 0 and
// fl32(V) = -0. Two +0 ends mean L >= 0, so V >= 0 and fl32(V) = +0 unless V is -0 itself. The
// real part never is (a - b is never -0); the imaginary part is -0 only when 2p = -0 and
// Cy = -0, and then w = -0 and RN(w - B) is -0 or negative: the ends differ.
//
// The lane keeps the low end's float, which is both ends' when the check passes. An iterate
// whose ends differ is looked at once more (Redo), without fused operations: its guard uses
// the same B, and a part whose double operations were all exact (their rounding errors, found
// exactly by TwoSum, are 0) equals the reference's exact result, and fl32 of it is the
// reference's float; this settles exact cancellations such as x*x - y*y + Cx = 0, where the
// bound never shrinks to 0. Whatever is left is redone with Z2Iterate for that lane (a guard
// fallback).
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
// most points of the set). The region is found when it is first looked up (a row whose points
// all leave within their first steps never looks); it depends on C alone, so when it is found
// changes no lookup.
//
// Which points the lanes take. A row's columns are scanned four at a time (ScanRow) with
// the very comparison AcceptedStart makes, |x| <= 2^40 as floats, false for a NaN; the scan
// only finds where the first column the lanes refuse lies, and from there on the columns are
// looked at one by one as before. A refused point is done by the scalar kernel, whose index is
// the reference's (fast_kernels.cpp); the order in which the points of a row are done changes
// no index, as each depends on its own point alone.

#include "z2_avx2.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "fast_kernels.h"
#include "lane_masks.h"
#include "trap_region.h"
#include "z2_lanes.h"

#define OMBRILO_AVX2 __attribute__((target("avx2,fma")))  // the lanes need both

namespace ombrilo::detail {

namespace {

constexpr int kGroups = 5;  // registers of four lanes side by side, to cover the step's latency
constexpr int kLanes = 4 * kGroups;
constexpr int kGroupMask = 0xF;

bool AcceptedPart(double c) {
    const double magnitude = std::fabs(c);
    return c == 0.0 || (magnitude >= kSmallestConstant && magnitude <= kLaneLimit);
}

struct Constants {
    __m256d cx;
    __m256d cy;
    __m256d constantBound;  // RN(|Cx| + |Cy|) * 2^-51
    __m256d scale;          // 2^-51
    __m256d four;
};

OMBRILO_AVX2 Constants MakeConstants(double cx, double cy) {
    return {_mm256_set1_pd(cx), _mm256_set1_pd(cy),
            _mm256_set1_pd((std::fabs(cx) + std::fabs(cy)) * kBoundScale),
            _mm256_set1_pd(kBoundScale), _mm256_set1_pd(4.0)};
}

// One checked step of four lanes: (x, y) becomes the next state; sum is RN(x*x + y*y) of the
// current state. The real part is RN(x*x + RN(Cx - y*y)) and the imaginary part
// RN(2x * y + Cy), each by one fused multiply-add. Returns the lanes (bits 0..3) whose check
// passed.
OMBRILO_AVX2 inline int CheckedStep(const Constants& k, __m256d& x, __m256d& y, __m256d sum) {
    const __m256d b = _mm256_mul_pd(y, y);
    const __m256d bound = _mm256_fmadd_pd(sum, k.scale, k.constantBound);
    const __m256d re = _mm256_fmadd_pd(x, x, _mm256_sub_pd(k.cx, b));
    const __m256d im = _mm256_fmadd_pd(_mm256_add_pd(x, x), y, k.cy);
    const __m128 reLow = _mm256_cvtpd_ps(_mm256_sub_pd(re, bound));
    const __m128 reHigh = _mm256_cvtpd_ps(_mm256_add_pd(re, bound));
    const __m128 imLow = _mm256_cvtpd_ps(_mm256_sub_pd(im, bound));
    const __m128 imHigh = _mm256_cvtpd_ps(_mm256_add_pd(im, bound));
    const __m128i same =
        _mm_and_si128(_mm_cmpeq_epi32(_mm_castps_si128(reLow), _mm_castps_si128(reHigh)),
                      _mm_cmpeq_epi32(_mm_castps_si128(imLow), _mm_castps_si128(imHigh)));
    x = _mm256_cvtps_pd(reLow);
    y = _mm256_cvtps_pd(imLow);
    return _mm_movemask_ps(_mm_castsi128_ps(same));
}

// Exact error of a + b: a + b = RN(a + b) + TwoSumError(a, b) when nothing overflows.
OMBRILO_AVX2 inline __m256d TwoSumError(__m256d a, __m256d b, __m256d sum) {
    const __m256d aPart = _mm256_sub_pd(sum, b);
    const __m256d bPart = _mm256_sub_pd(sum, aPart);
    return _mm256_add_pd(_mm256_sub_pd(a, aPart), _mm256_sub_pd(b, bPart));
}

OMBRILO_AVX2 inline __m128i SameFloats(__m256d low, __m256d high) {
    return _mm_cmpeq_epi32(_mm_castps_si128(_mm256_cvtpd_ps(low)),
                           _mm_castps_si128(_mm256_cvtpd_ps(high)));
}

// The failed lanes' step again, without fused operations, each part passing when its guard
// passes or when its double operations were all exact (the reference's are then exact as well
// and equal them; this is what an exact cancellation such as x*x - y*y + Cx = 0 needs, where
// the guard's bound never passes). Lanes of `lanes` (bits 0..3) that still fail are redone with
// the reference arithmetic. Only the lanes of `lanes` hold next states in the result.
struct LaneStates {
    __m256d x;
    __m256d y;
};

OMBRILO_AVX2 LaneStates Redo(const Constants& k, double cx, double cy, int lanes, __m256d oldX,
                             __m256d oldY, KernelCounters& tally) {
    const __m256d a = _mm256_mul_pd(oldX, oldX);
    const __m256d b = _mm256_mul_pd(oldY, oldY);
    const __m256d zero = _mm256_setzero_pd();
    const __m256d bound =
        _mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(a, b), k.scale), k.constantBound);
    const __m256d minusB = _mm256_sub_pd(zero, b);
    const __m256d d = _mm256_sub_pd(a, b);
    const __m256d re = _mm256_add_pd(d, k.cx);
    const __m256d reExact =
        _mm256_and_pd(_mm256_cmp_pd(TwoSumError(a, minusB, d), zero, _CMP_EQ_OQ),
                      _mm256_cmp_pd(TwoSumError(d, k.cx, re), zero, _CMP_EQ_OQ));
    const __m256d p = _mm256_mul_pd(oldX, oldY);
    const __m256d twoP = _mm256_add_pd(p, p);
    const __m256d im = _mm256_add_pd(twoP, k.cy);
    const __m256d imExact = _mm256_cmp_pd(TwoSumError(twoP, k.cy, im), zero, _CMP_EQ_OQ);
    const __m128i reGuard = SameFloats(_mm256_sub_pd(re, bound), _mm256_add_pd(re, bound));
    const __m128i imGuard = SameFloats(_mm256_sub_pd(im, bound), _mm256_add_pd(im, bound));
    const int rePassed = _mm_movemask_ps(_mm_castsi128_ps(reGuard)) | _mm256_movemask_pd(reExact);
    const int imPassed = _mm_movemask_ps(_mm_castsi128_ps(imGuard)) | _mm256_movemask_pd(imExact);
    const int failed = ~(rePassed & imPassed) & lanes;

    alignas(32) double ox[4];
    alignas(32) double oy[4];
    alignas(32) double nx[4];
    alignas(32) double ny[4];
    _mm256_store_pd(ox, oldX);
    _mm256_store_pd(oy, oldY);
    _mm256_store_pd(nx, _mm256_cvtps_pd(_mm256_cvtpd_ps(re)));
    _mm256_store_pd(ny, _mm256_cvtps_pd(_mm256_cvtpd_ps(im)));
    for (int lane = 0; lane < 4; ++lane) {
        if ((failed >> lane) & 1) {
            const FloatPoint next =
                Z2Iterate(cx, cy, static_cast<float>(ox[lane]), static_cast<float>(oy[lane]));
            nx[lane] = next.x;
            ny[lane] = next.y;
        }
    }
    tally.guardFallbacks +=
        static_cast<std::uint64_t>(std::popcount(static_cast<unsigned>(failed)));
    // Lanes that passed the first time lose nothing: both ends and the midpoint round alike.
    return {_mm256_load_pd(nx), _mm256_load_pd(ny)};
}

// Four lanes' state and saved states in memory, where the bookkeeping reads and writes them.
struct alignas(32) LaneMemory {
    double x[4];
    double y[4];
    double sum[4];
    double shortX[4];
    double shortY[4];
    double longX[4];
    double longY[4];
};

// Four lanes in registers: the state and x*x + y*y.
struct Group {
    __m256d x, y, sum;
};

OMBRILO_AVX2 inline __m256d SquaredNorm(__m256d x, __m256d y) {
    return _mm256_fmadd_pd(x, x, _mm256_mul_pd(y, y));
}

OMBRILO_AVX2 inline void Load(Group& group, const LaneMemory& m) {
    group.x = _mm256_load_pd(m.x);
    group.y = _mm256_load_pd(m.y);
    group.sum = SquaredNorm(group.x, group.y);
}

OMBRILO_AVX2 inline void Store(const Group& group, LaneMemory& m) {
    _mm256_store_pd(m.x, group.x);
    _mm256_store_pd(m.y, group.y);
    _mm256_store_pd(m.sum, group.sum);
}

OMBRILO_AVX2 inline __m256d SameBitsAsSaved(__m256d x, const double* saved) {
    return _mm256_castsi256_pd(_mm256_cmpeq_epi64(
        _mm256_castpd_si256(x), _mm256_load_si256(reinterpret_cast<const __m256i*>(saved))));
}

// The saved states of the lanes in `lanes` (bits 0..3) become the pattern no lane value has.
OMBRILO_AVX2 inline void ForgetSavedStates(LaneMemory& m, int lanes) {
    const __m256d mask = LanesMask(lanes);
    const __m256d none = _mm256_set1_pd(kNoState);
    for (double* saved : {m.shortX, m.shortY, m.longX, m.longY}) {
        _mm256_store_pd(saved, _mm256_blendv_pd(_mm256_load_pd(saved), none, mask));
    }
}

constexpr int kRegisters = 4;  // the first steps' registers side by side
constexpr int kPoints = 4 * kRegisters;

// The row's points after their first steps: runs of points take kFirstSteps steps together;
// escaping points get their index on the spot, the others wait for a lane.
class FirstSteps : public FirstStepsQueue<FirstSteps, kPoints> {
public:
    FirstSteps(const Constants& k, double cx, double cy, RowFeed& feed, std::uint8_t* indices,
               KernelCounters& tally)
        : FirstStepsQueue(cx, cy, feed, indices, tally), k_(k) {}

private:
    friend class FirstStepsQueue<FirstSteps, kPoints>;

    // The next run of up to kPoints points the lanes take, their first steps side by side in
    // kRegisters registers; false at the end of the row.
    OMBRILO_AVX2 bool RunBlock() {
        int first = 0;
        const int taken = NextRun(kPoints, &first);
        if (taken == 0) {
            return false;
        }
        __m256d x[kRegisters];
        __m256d y[kRegisters];
        __m256d sum[kRegisters];
        int alive[kRegisters];
        for (int r = 0; r < kRegisters; ++r) {
            const int points = std::clamp(taken - 4 * r, 0, 4);
            alive[r] = (1 << points) - 1;
            // Masked-off floats are not read: a run may end at the row's last point.
            const __m128i load =
                _mm_cmpgt_epi32(_mm_set1_epi32(points), _mm_setr_epi32(0, 1, 2, 3));
            x[r] = _mm256_cvtps_pd(_mm_maskload_ps(feed_.x() + first + 4 * r, load));
            y[r] = _mm256_set1_pd(feed_.y());
            sum[r] = SquaredNorm(x[r], y[r]);
        }
        // A run whose points all pass z_1 .. z_K and are not in the trap region there goes on
        // to z_2K (its points are likely to last); the others stop at z_K.
        int lastStep = kFirstSteps;
        int decided = 0;
        for (int n = 1; n <= lastStep; ++n) {
            int anyAlive = 0;
#pragma GCC unroll 4
            for (int r = 0; r < kRegisters; ++r) {
                const __m256d oldX = x[r];
                const __m256d oldY = y[r];
                const int failed = ~CheckedStep(k_, x[r], y[r], sum[r]) & alive[r];
                if (failed != 0) [[unlikely]] {
                    const LaneStates redone = Redo(k_, cx_, cy_, failed, oldX, oldY, tally_);
                    const __m256d mask = LanesMask(failed);
                    x[r] = _mm256_blendv_pd(x[r], redone.x, mask);
                    y[r] = _mm256_blendv_pd(y[r], redone.y, mask);
                }
                sum[r] = SquaredNorm(x[r], y[r]);
                const int out =
                    _mm256_movemask_pd(_mm256_cmp_pd(sum[r], k_.four, _CMP_GE_OQ)) & alive[r];
                if (out != 0) {
                    const int escaped = Escape(first + 4 * r, out, n, x[r], y[r], sum[r]);
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
                for (int r = 0; r < kRegisters; ++r) {
                    const int trapped = TrappedLanes(Trap(), x[r], y[r]) & alive[r];
                    for (int bits = trapped; bits != 0; bits &= bits - 1) {
                        indices_[first + 4 * r + std::countr_zero(static_cast<unsigned>(bits))] = 0;
                    }
                    const auto count = static_cast<std::uint64_t>(std::popcount(unsigned(trapped)));
                    tally_.trapped += count;
                    tally_.iterates += count * static_cast<std::uint64_t>(n);
                    alive[r] &= ~trapped;
                    decided |= trapped;
                }
                if (decided == 0) {
                    lastStep = kLongFirstSteps;
                }
            }
        }
        for (int r = 0; r < kRegisters; ++r) {
            if (alive[r] == 0) {
                continue;
            }
            alignas(32) double bx[4];
            alignas(32) double by[4];
            _mm256_store_pd(bx, x[r]);
            _mm256_store_pd(by, y[r]);
            for (int bits = alive[r]; bits != 0; bits &= bits - 1) {
                const int i = std::countr_zero(static_cast<unsigned>(bits));
                Add({bx[i], by[i], first + 4 * r + i, lastStep});
            }
        }
        return true;
    }

    // The points of `out` (lanes of the four columns from `column` on with |z_n|^2 >= 4 in
    // double) that escape at n get their index; returns them. |z_n|^2 = 4 in double goes to the
    // reference test.
    OMBRILO_AVX2 int Escape(int column, int out, int n, __m256d x, __m256d y, __m256d sum) {
        const int ties = _mm256_movemask_pd(_mm256_cmp_pd(sum, k_.four, _CMP_EQ_OQ)) & out;
        if (ties != 0) [[unlikely]] {
            alignas(32) double tx[4];
            alignas(32) double ty[4];
            _mm256_store_pd(tx, x);
            _mm256_store_pd(ty, y);
            for (int bits = ties; bits != 0; bits &= bits - 1) {
                const int i = std::countr_zero(static_cast<unsigned>(bits));
                ++tally_.escapeTies;
                if (!Escaped(tx[i], ty[i])) {
                    out &= ~(1 << i);
                }
            }
        }
        for (int bits = out; bits != 0; bits &= bits - 1) {
            indices_[column + std::countr_zero(static_cast<unsigned>(bits))] =
                static_cast<std::uint8_t>(n);
        }
        tally_.iterates +=
            static_cast<std::uint64_t>(n * std::popcount(static_cast<unsigned>(out)));
        return out;
    }

    const Constants& k_;
};

}  // namespace

bool ProcessorHasLanes() {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

bool LanesAcceptConstant(double cx, double cy) {
    return AcceptedPart(cx) && AcceptedPart(cy);
}

OMBRILO_AVX2 void Z2RunAvx2(double cx, double cy, const float* x, float y, int count,
                            std::uint8_t* indices, KernelCounters& tally) {
    const Constants k = MakeConstants(cx, cy);
    // Looked up when a lane first needs it: rows whose points all leave within the first
    // steps never do.
    const TrapRegion* trap = nullptr;
    RowFeed feed(cx, cy, x, y, count, indices);
    FirstSteps first(k, cx, cy, feed, indices, tally);

    LaneMemory memory[kGroups];
    Group groups[kGroups];
    int column[kLanes];  // the lane's point, -1 when the lane idles
    // Loop step at which the lane's point would have started had the lane computed its first
    // steps too.
    std::int64_t start[kLanes];
    int active = 0;
    // The first loop step at which some lane reaches the iteration limit.
    std::int64_t nextLimit = 0;
    auto findNextLimit = [&] {
        nextLimit = std::numeric_limits<std::int64_t>::max();
        for (int lane = 0; lane < kLanes; ++lane) {
            if ((active >> lane) & 1) {
                nextLimit = std::min(nextLimit, start[lane] + MaxIterations);
            }
        }
    };
    for (int lane = 0; lane < kLanes; ++lane) {
        Waiting point{0.0, 0.0, -1};
        const bool taken = first.Take(&point);
        LaneMemory& m = memory[lane / 4];
        const int i = lane % 4;
        m.shortX[i] = m.shortY[i] = m.longX[i] = m.longY[i] = kNoState;
        m.x[i] = point.x;
        m.y[i] = point.y;
        column[lane] = point.column;
        start[lane] = -point.steps;
        active |= (taken ? 1 : 0) << lane;
    }
    findNextLimit();
#pragma GCC unroll 8
    for (int g = 0; g < kGroups; ++g) {
        Load(groups[g], memory[g]);
    }

    for (std::int64_t stepCount = 1; active != 0; ++stepCount) {
        __m256d oldX[kGroups], oldY[kGroups];
        int passed = 0;
#pragma GCC unroll 8
        for (int g = 0; g < kGroups; ++g) {
            Group& group = groups[g];
            oldX[g] = group.x;
            oldY[g] = group.y;
            passed |= CheckedStep(k, group.x, group.y, group.sum) << (4 * g);
        }
        const int failed = ~passed & active;
        if (failed != 0) [[unlikely]] {
            for (int g = 0; g < kGroups; ++g) {
                if (((failed >> (4 * g)) & kGroupMask) != 0) {
                    const int lanes = (failed >> (4 * g)) & kGroupMask;
                    const LaneStates redone = Redo(k, cx, cy, lanes, oldX[g], oldY[g], tally);
                    const __m256d mask = LanesMask(lanes);
                    groups[g].x = _mm256_blendv_pd(groups[g].x, redone.x, mask);
                    groups[g].y = _mm256_blendv_pd(groups[g].y, redone.y, mask);
                }
            }
        }
        int flagged = 0;
#pragma GCC unroll 8
        for (int g = 0; g < kGroups; ++g) {
            Group& group = groups[g];
            group.sum = SquaredNorm(group.x, group.y);
            const __m256d escaped = _mm256_cmp_pd(group.sum, k.four, _CMP_GE_OQ);
            // Only x is compared here; the bookkeeping compares both parts.
            const __m256d maybeRepeated = _mm256_or_pd(SameBitsAsSaved(group.x, memory[g].shortX),
                                                       SameBitsAsSaved(group.x, memory[g].longX));
            flagged |= _mm256_movemask_pd(_mm256_or_pd(escaped, maybeRepeated)) << (4 * g);
        }
        if (stepCount == nextLimit) {
            for (int lane = 0; lane < kLanes; ++lane) {
                if (start[lane] + MaxIterations == stepCount) {
                    flagged |= 1 << lane;
                }
            }
        }
        int trapped = 0;
        if (stepCount % kTrapLookEvery == 0 &&
            (trap != nullptr ? trap : (trap = &MainTrapRegion(cx, cy)))->disks > 0) {
            for (int g = 0; g < kGroups; ++g) {
                trapped |= TrappedLanes(*trap, groups[g].x, groups[g].y) << (4 * g);
            }
            flagged |= trapped;
        }
        flagged &= active;

        // Bookkeeping: lanes whose point is decided write its index and take the next point.
#pragma GCC unroll 8
        for (int g = 0; g < kGroups; ++g) {
            int groupFlagged = (flagged >> (4 * g)) & kGroupMask;
            if (groupFlagged == 0) {
                continue;
            }
            LaneMemory& m = memory[g];
            Store(groups[g], m);
            Group& group = groups[g];
            int refilled = 0;
            for (; groupFlagged != 0; groupFlagged &= groupFlagged - 1) {
                const int i = std::countr_zero(static_cast<unsigned>(groupFlagged));
                const int lane = 4 * g + i;
                const int n = static_cast<int>(stepCount - start[lane]);
                const int index = DecidedIndex(m, i, n, (trapped >> lane) & 1, tally);
                if (index < 0) {
                    continue;
                }
                indices[column[lane]] = static_cast<std::uint8_t>(index);
                tally.iterates += static_cast<std::uint64_t>(n);
                // The new state goes into the registers by blends rather than through memory,
                // where a vector load of freshly stored single values would stall.
                Waiting point{0.0, 0.0, -1};
                if (!first.Take(&point)) {
                    active &= ~(1 << lane);
                }
                column[lane] = point.column;
                start[lane] = stepCount - point.steps;
                // A point that took more first steps may reach the limit before the others.
                nextLimit = std::min(nextLimit, start[lane] + MaxIterations);
                const __m256d lanesMask = LanesMask(1 << i);
                group.x = _mm256_blendv_pd(group.x, _mm256_set1_pd(point.x), lanesMask);
                group.y = _mm256_blendv_pd(group.y, _mm256_set1_pd(point.y), lanesMask);
                refilled |= 1 << i;
            }
            if (refilled != 0) {
                group.sum = SquaredNorm(group.x, group.y);
                ForgetSavedStates(m, refilled);
            }
        }
        if (stepCount == nextLimit) {
            findNextLimit();
        }

        if (stepCount % kShortSaveEvery == 0) {
            const bool saveLong = stepCount % kLongSaveEvery == 0;
#pragma GCC unroll 8
            for (int g = 0; g < kGroups; ++g) {
                _mm256_store_pd(memory[g].shortX, groups[g].x);
                _mm256_store_pd(memory[g].shortY, groups[g].y);
                if (saveLong) {
                    _mm256_store_pd(memory[g].longX, groups[g].x);
                    _mm256_store_pd(memory[g].longY, groups[g].y);
                }
            }
        }
    }
}

OMBRILO_AVX2 void RedoFourLanes(double cx, double cy, int lanes, const double* oldX,
                                const double* oldY, double* x, double* y, KernelCounters& tally) {
    const LaneStates redone = Redo(MakeConstants(cx, cy), cx, cy, lanes, _mm256_loadu_pd(oldX),
                                   _mm256_loadu_pd(oldY), tally);
    const __m256d mask = LanesMask(lanes);
    _mm256_storeu_pd(x, _mm256_blendv_pd(_mm256_loadu_pd(x), redone.x, mask));
    _mm256_storeu_pd(y, _mm256_blendv_pd(_mm256_loadu_pd(y), redone.y, mask));
}

OMBRILO_AVX2 void Z2IterateCheckedAvx2(double cx, double cy, const float* x, const float* y,
                                       int count, FloatPoint* next, KernelCounters& tally) {
    const Constants k = MakeConstants(cx, cy);
    for (int first = 0; first < count; first += 4) {
        const int lanes = std::min(4, count - first);
        alignas(32) double lx[4] = {};
        alignas(32) double ly[4] = {};
        int taken = 0;
        for (int lane = 0; lane < lanes; ++lane) {
            if (AcceptedStart(x[first + lane], y[first + lane])) {
                lx[lane] = x[first + lane];
                ly[lane] = y[first + lane];
                taken |= 1 << lane;
            }
        }
        __m256d vx = _mm256_load_pd(lx);
        __m256d vy = _mm256_load_pd(ly);
        const __m256d oldX = vx;
        const __m256d oldY = vy;
        const __m256d a = _mm256_mul_pd(vx, vx);
        const __m256d b = _mm256_mul_pd(vy, vy);
        const int failed = ~CheckedStep(k, vx, vy, _mm256_add_pd(a, b)) & taken;
        if (failed != 0) {
            const LaneStates redone = Redo(k, cx, cy, failed, oldX, oldY, tally);
            const __m256d mask = LanesMask(failed);
            vx = _mm256_blendv_pd(vx, redone.x, mask);
            vy = _mm256_blendv_pd(vy, redone.y, mask);
        }
        tally.iterates += static_cast<std::uint64_t>(std::popcount(static_cast<unsigned>(taken)));
        _mm256_store_pd(lx, vx);
        _mm256_store_pd(ly, vy);
        for (int lane = 0; lane < lanes; ++lane) {
            next[first + lane] =
                ((taken >> lane) & 1)
                    ? FloatPoint{static_cast<float>(lx[lane]), static_cast<float>(ly[lane])}
                    : Z2Iterate(cx, cy, x[first + lane], y[first + lane]);
        }
    }
}

}  // namespace ombrilo::detail
