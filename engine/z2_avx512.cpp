// The main window's point function on AVX-512 lanes: eight points per register, four registers
// side by side. Each run of up to 32 new points in consecutive columns first takes its first
// steps together (most points outside the set escape there, with no bookkeeping of their own);
// the points that last longer wait for a lane, and each lane takes the next waiting point as
// soon as its own is decided.
//
// Why these lanes give exactly the reference's indices
// ----------------------------------------------------
// Every step here is the AVX2 lanes' step (z2_avx2.cpp) on eight lanes instead of four: the same
// double operations on the same operands in the same order, the same fused multiply-adds, the
// same conversions to float and back, all rounding to nearest (the program never changes the
// rounding mode, and neither form uses the embedded-rounding or approximation instructions of
// AVX-512). IEEE 754 fixes the result of each of these operations, whatever the register width,
// so a lane here holds bit for bit what a lane there holds after every step; the proof written
// at the top of z2_avx2.cpp (range, products, both parts, signs of zero) therefore holds as it
// stands. A step whose check fails goes through the very same second look, RedoFourLanes, and
// from there to the reference step.
// The escape test is that file's as well: sum = RN(x*x + y*y) by one fused multiply-add, escaped
// when sum > 4, not escaped when sum < 4, the reference test (Escaped) when sum == 4.
// The first steps of a block are those of the AVX2 lanes' runs: z_1 .. z_K tested in order, a
// point stopped at its first escaping iterate, K = 16, or K = 32 for a block none of whose
// points was decided by z_16; z_16 and z_32 looked up in the trap region; K below the limit of
// 254, so the limit cannot be reached there. A point that passes all K tests enters a lane with
// z_K and its count of K, so that the lane's counting, its limit and its early stops go on
// exactly as if the lane had computed those steps itself. Its saved states are cleared on entry,
// so the cycle detection compares only with tested iterates of the same point (z_K or later),
// and the trap region is looked up only for tested iterates: both arguments of fast_kernels.cpp
// and z2_avx2.cpp stand unchanged.

#include "z2_avx512.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "lane_masks.h"
#include "trap_region.h"
#include "z2_avx2.h"
#include "z2_lanes.h"

// GCC 12's own avx512fintrin.h hands a deliberately undefined register to the unmasked
// conversions (_mm512_cvtpd_ps, _mm512_cvtps_pd) as the unused merge source, and its optimiser
// then warns about that register; no value of ours is uninitialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define OMBRILO_AVX512 __attribute__((target("avx512f,avx512dq,avx512vl,avx512bw,avx2,fma")))

namespace ombrilo::detail {

namespace {

constexpr int kGroups = 4;  // registers of eight lanes side by side, to cover the step's latency
constexpr int kLanes = 8 * kGroups;
constexpr int kBlockRegisters = 4;  // the first steps' registers side by side
constexpr int kBlockPoints = 8 * kBlockRegisters;

struct Constants {
    __m512d cx;
    __m512d cy;
    __m512d constantBound;  // RN(|Cx| + |Cy|) * 2^-51
    __m512d scale;          // 2^-51
    __m512d four;
};

OMBRILO_AVX512 Constants MakeConstants(double cx, double cy) {
    return {_mm512_set1_pd(cx), _mm512_set1_pd(cy),
            _mm512_set1_pd((std::fabs(cx) + std::fabs(cy)) * kBoundScale),
            _mm512_set1_pd(kBoundScale), _mm512_set1_pd(4.0)};
}

OMBRILO_AVX512 inline __m512d SquaredNorm(__m512d x, __m512d y) {
    return _mm512_fmadd_pd(x, x, _mm512_mul_pd(y, y));
}

OMBRILO_AVX512 inline __mmask8 SameFloats(__m256 a, __m256 b) {
    return _mm256_cmpeq_epi32_mask(_mm256_castps_si256(a), _mm256_castps_si256(b));
}

// One checked step of eight lanes, the AVX2 lanes' CheckedStep: (x, y) becomes the next state;
// sum is RN(x*x + y*y) of the current state. Returns the lanes whose check passed.
OMBRILO_AVX512 inline __mmask8 CheckedStep(const Constants& k, __m512d& x, __m512d& y,
                                           __m512d sum) {
    const __m512d b = _mm512_mul_pd(y, y);
    const __m512d bound = _mm512_fmadd_pd(sum, k.scale, k.constantBound);
    const __m512d re = _mm512_fmadd_pd(x, x, _mm512_sub_pd(k.cx, b));
    const __m512d im = _mm512_fmadd_pd(_mm512_add_pd(x, x), y, k.cy);
    const __m256 reLow = _mm512_cvtpd_ps(_mm512_sub_pd(re, bound));
    const __m256 reHigh = _mm512_cvtpd_ps(_mm512_add_pd(re, bound));
    const __m256 imLow = _mm512_cvtpd_ps(_mm512_sub_pd(im, bound));
    const __m256 imHigh = _mm512_cvtpd_ps(_mm512_add_pd(im, bound));
    x = _mm512_cvtps_pd(reLow);
    y = _mm512_cvtps_pd(imLow);
    return SameFloats(reLow, reHigh) & SameFloats(imLow, imHigh);
}

// The failed lanes' step again through the AVX2 lanes' second look (and the reference step).
OMBRILO_AVX512 void Redo(double cx, double cy, __mmask8 failed, __m512d oldX, __m512d oldY,
                         __m512d& x, __m512d& y, KernelCounters& tally) {
    alignas(64) double ox[8];
    alignas(64) double oy[8];
    alignas(64) double nx[8];
    alignas(64) double ny[8];
    _mm512_store_pd(ox, oldX);
    _mm512_store_pd(oy, oldY);
    _mm512_store_pd(nx, x);
    _mm512_store_pd(ny, y);
    for (int half = 0; half < 2; ++half) {
        const int lanes = (failed >> (4 * half)) & 0xF;
        if (lanes != 0) {
            RedoFourLanes(cx, cy, lanes, ox + 4 * half, oy + 4 * half, nx + 4 * half, ny + 4 * half,
                          tally);
        }
    }
    x = _mm512_load_pd(nx);
    y = _mm512_load_pd(ny);
}

// The row's points after their first steps: blocks of points take kFirstSteps steps together;
// escaping points get their index on the spot, the others wait for a lane.
class FirstSteps : public FirstStepsQueue<FirstSteps, kBlockPoints> {
public:
    FirstSteps(const Constants& k, double cx, double cy, RowFeed& feed, std::uint8_t* indices,
               KernelCounters& tally)
        : FirstStepsQueue(cx, cy, feed, indices, tally), k_(k) {}

private:
    friend class FirstStepsQueue<FirstSteps, kBlockPoints>;

    // The next run of up to kBlockPoints points the lanes take, their first steps side by side
    // in kBlockRegisters registers; false at the end of the row.
    OMBRILO_AVX512 bool RunBlock() {
        int first = 0;
        const int taken = NextRun(kBlockPoints, &first);
        if (taken == 0) {
            return false;
        }
        __m512d x[kBlockRegisters];
        __m512d y[kBlockRegisters];
        __m512d sum[kBlockRegisters];
        __m512i index[kBlockRegisters];  // escape counts so far
        __mmask8 alive[kBlockRegisters];
        __mmask8 escaped[kBlockRegisters];
        for (int r = 0; r < kBlockRegisters; ++r) {
            const int points = std::clamp(taken - 8 * r, 0, 8);
            alive[r] = static_cast<__mmask8>((1u << points) - 1);
            escaped[r] = 0;
            // Masked-off floats are not read: a run may end at the row's last point.
            x[r] = _mm512_cvtps_pd(_mm256_maskz_loadu_ps(alive[r], feed_.x() + first + 8 * r));
            y[r] = _mm512_set1_pd(feed_.y());
            sum[r] = SquaredNorm(x[r], y[r]);
            index[r] = _mm512_setzero_si512();
        }
        // A block whose points all pass z_1 .. z_K and are not in the trap region there goes on
        // to z_2K (its points are likely to last); the others stop at z_K.
        int lastStep = kFirstSteps;
        for (int n = 1; n <= lastStep; ++n) {
            unsigned anyAlive = 0;
#pragma GCC unroll 4
            for (int r = 0; r < kBlockRegisters; ++r) {
                const __m512d oldX = x[r];
                const __m512d oldY = y[r];
                const auto failed =
                    static_cast<__mmask8>(~CheckedStep(k_, x[r], y[r], sum[r]) & alive[r]);
                if (failed != 0) [[unlikely]] {
                    // Through copies, so that x[r] and y[r] can stay in registers.
                    __m512d redoneX = x[r];
                    __m512d redoneY = y[r];
                    Redo(cx_, cy_, failed, oldX, oldY, redoneX, redoneY, tally_);
                    x[r] = redoneX;
                    y[r] = redoneY;
                }
                sum[r] = SquaredNorm(x[r], y[r]);
                __mmask8 out = _mm512_mask_cmp_pd_mask(alive[r], sum[r], k_.four, _CMP_GE_OQ);
                if (out != 0) {
                    const __mmask8 ties = _mm512_mask_cmp_pd_mask(out, sum[r], k_.four, _CMP_EQ_OQ);
                    if (ties != 0) [[unlikely]] {
                        out = static_cast<__mmask8>(out & ~RefusedTies(ties, x[r], y[r]));
                    }
                    index[r] = _mm512_mask_mov_epi64(index[r], out, _mm512_set1_epi64(n));
                    escaped[r] = static_cast<__mmask8>(escaped[r] | out);
                    alive[r] = static_cast<__mmask8>(alive[r] & ~out);
                }
                anyAlive |= alive[r];
            }
            if (anyAlive == 0) {
                break;
            }
            if (n == kFirstSteps || n == kLongFirstSteps) {
                // z_n of the points alive has passed its escape test.
                unsigned decided = 0;
                for (int r = 0; r < kBlockRegisters; ++r) {
                    const __mmask8 trapped = TrappedLanes(Trap(), x[r], y[r]) & alive[r];
                    index[r] = _mm512_mask_mov_epi64(index[r], trapped, _mm512_setzero_si512());
                    escaped[r] = static_cast<__mmask8>(escaped[r] | trapped);
                    alive[r] = static_cast<__mmask8>(alive[r] & ~trapped);
                    const auto count = static_cast<std::uint64_t>(std::popcount(unsigned{trapped}));
                    tally_.trapped += count;
                    tally_.iterates += count * static_cast<std::uint64_t>(n);
                    decided |= escaped[r];
                }
                if (decided == 0) {
                    lastStep = kLongFirstSteps;
                }
            }
        }
        for (int r = 0; r < kBlockRegisters; ++r) {
            _mm512_mask_cvtepi64_storeu_epi8(indices_ + first + 8 * r, escaped[r], index[r]);
            tally_.iterates +=
                static_cast<std::uint64_t>(_mm512_mask_reduce_add_epi64(escaped[r], index[r]));
            if (alive[r] == 0) {
                continue;
            }
            alignas(64) double bx[8];
            alignas(64) double by[8];
            _mm512_store_pd(bx, x[r]);
            _mm512_store_pd(by, y[r]);
            for (unsigned bits = alive[r]; bits != 0; bits &= bits - 1) {
                const int i = std::countr_zero(bits);
                Add({bx[i], by[i], first + 8 * r + i, lastStep});
            }
        }
        return true;
    }

    // Lanes of `ties` (|z|^2 = 4 in double) that the reference test finds not escaped.
    OMBRILO_AVX512 __mmask8 RefusedTies(__mmask8 ties, __m512d x, __m512d y) {
        alignas(64) double tx[8];
        alignas(64) double ty[8];
        _mm512_store_pd(tx, x);
        _mm512_store_pd(ty, y);
        __mmask8 refused = 0;
        for (unsigned bits = ties; bits != 0; bits &= bits - 1) {
            const int i = std::countr_zero(bits);
            ++tally_.escapeTies;
            if (!Escaped(tx[i], ty[i])) {
                refused = static_cast<__mmask8>(refused | (1u << i));
            }
        }
        return refused;
    }

    const Constants& k_;
};

// Eight lanes' state and saved states in memory, where the bookkeeping reads and writes them.
struct alignas(64) LaneMemory {
    double x[8];
    double y[8];
    double sum[8];
    double shortX[8];
    double shortY[8];
    double longX[8];
    double longY[8];
};

// Eight lanes in registers: the state and x*x + y*y.
struct Group {
    __m512d x, y, sum;
};

OMBRILO_AVX512 inline __mmask8 SameBitsAsSaved(__m512d x, const double* saved) {
    return _mm512_cmpeq_epi64_mask(_mm512_castpd_si512(x), _mm512_load_si512(saved));
}

// The saved states of the lanes in `lanes` become the pattern no lane value has.
OMBRILO_AVX512 inline void ForgetSavedStates(LaneMemory& m, __mmask8 lanes) {
    const __m512d none = _mm512_set1_pd(kNoState);
    _mm512_mask_store_pd(m.shortX, lanes, none);
    _mm512_mask_store_pd(m.shortY, lanes, none);
    _mm512_mask_store_pd(m.longX, lanes, none);
    _mm512_mask_store_pd(m.longY, lanes, none);
}

// The lanes' points: which column each lane works on and at which loop step its point would
// have started had the lane computed its first steps too.
struct LaneTable {
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

}  // namespace

bool ProcessorHasWideLanes() {
    return ProcessorHasLanes() && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512bw");
}

OMBRILO_AVX512 void Z2RunAvx512(double cx, double cy, const float* x, float y, int count,
                                std::uint8_t* indices, KernelCounters& tally) {
    const Constants k = MakeConstants(cx, cy);
    // Looked up when a lane first needs it: rows whose points all leave within the first
    // steps never do.
    const TrapRegion* trap = nullptr;
    RowFeed feed(cx, cy, x, y, count, indices);
    FirstSteps first(k, cx, cy, feed, indices, tally);

    LaneMemory memory[kGroups];
    Group groups[kGroups];
    LaneTable lanes;
    for (int lane = 0; lane < kLanes; ++lane) {
        Waiting point{0.0, 0.0, -1};
        const bool taken = first.Take(&point);
        lanes.Take(lane, taken, point, 0);
        LaneMemory& m = memory[lane / 8];
        m.x[lane % 8] = taken ? point.x : 0.0;
        m.y[lane % 8] = taken ? point.y : 0.0;
    }
    for (int g = 0; g < kGroups; ++g) {
        ForgetSavedStates(memory[g], 0xFF);
        groups[g].x = _mm512_load_pd(memory[g].x);
        groups[g].y = _mm512_load_pd(memory[g].y);
        groups[g].sum = SquaredNorm(groups[g].x, groups[g].y);
    }
    std::int64_t nextLimit = lanes.NextLimit();

    for (std::int64_t stepCount = 1; lanes.active != 0; ++stepCount) {
        std::uint32_t flagged = 0;
#pragma GCC unroll 4
        for (int g = 0; g < kGroups; ++g) {
            Group& group = groups[g];
            const __m512d oldX = group.x;
            const __m512d oldY = group.y;
            const auto groupActive = static_cast<__mmask8>(lanes.active >> (8 * g));
            const auto failed =
                static_cast<__mmask8>(~CheckedStep(k, group.x, group.y, group.sum) & groupActive);
            if (failed != 0) [[unlikely]] {
                __m512d redoneX = group.x;
                __m512d redoneY = group.y;
                Redo(cx, cy, failed, oldX, oldY, redoneX, redoneY, tally);
                group.x = redoneX;
                group.y = redoneY;
            }
            group.sum = SquaredNorm(group.x, group.y);
            // Only x is compared here; the bookkeeping compares both parts.
            const __mmask8 escapedOrRepeated = _mm512_cmp_pd_mask(group.sum, k.four, _CMP_GE_OQ) |
                                               SameBitsAsSaved(group.x, memory[g].shortX) |
                                               SameBitsAsSaved(group.x, memory[g].longX);
            flagged |= std::uint32_t{escapedOrRepeated} << (8 * g);
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
                trapped |= std::uint32_t{TrappedLanes(*trap, groups[g].x, groups[g].y)} << (8 * g);
            }
            flagged |= trapped;
        }
        flagged &= lanes.active;

        // Bookkeeping: lanes whose point is decided write its index and take the next point.
        for (int g = 0; g < kGroups; ++g) {
            unsigned groupFlagged = (flagged >> (8 * g)) & 0xFFu;
            if (groupFlagged == 0) {
                continue;
            }
            LaneMemory& m = memory[g];
            Group& group = groups[g];
            _mm512_store_pd(m.x, group.x);
            _mm512_store_pd(m.y, group.y);
            _mm512_store_pd(m.sum, group.sum);
            unsigned refilled = 0;
            for (; groupFlagged != 0; groupFlagged &= groupFlagged - 1) {
                const int i = std::countr_zero(groupFlagged);
                const int lane = 8 * g + i;
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
                const auto laneMask = static_cast<__mmask8>(1u << i);
                group.x = _mm512_mask_mov_pd(group.x, laneMask, _mm512_set1_pd(point.x));
                group.y = _mm512_mask_mov_pd(group.y, laneMask, _mm512_set1_pd(point.y));
                refilled |= 1u << i;
            }
            if (refilled != 0) {
                group.sum = SquaredNorm(group.x, group.y);
                ForgetSavedStates(m, static_cast<__mmask8>(refilled));
            }
        }
        if (stepCount == nextLimit) {
            nextLimit = lanes.NextLimit();
        }

        if (stepCount % kShortSaveEvery == 0) {
            const bool saveLong = stepCount % kLongSaveEvery == 0;
            for (int g = 0; g < kGroups; ++g) {
                _mm512_store_pd(memory[g].shortX, groups[g].x);
                _mm512_store_pd(memory[g].shortY, groups[g].y);
                if (saveLong) {
                    _mm512_store_pd(memory[g].longX, groups[g].x);
                    _mm512_store_pd(memory[g].longY, groups[g].y);
                }
            }
        }
    }
}

OMBRILO_AVX512 void Z2IterateCheckedAvx512(double cx, double cy, const float* x, const float* y,
                                           int count, FloatPoint* next, KernelCounters& tally) {
    const Constants k = MakeConstants(cx, cy);
    for (int first = 0; first < count; first += 8) {
        const int lanes = std::min(8, count - first);
        alignas(64) double lx[8] = {};
        alignas(64) double ly[8] = {};
        unsigned taken = 0;
        for (int lane = 0; lane < lanes; ++lane) {
            if (AcceptedStart(x[first + lane], y[first + lane])) {
                lx[lane] = x[first + lane];
                ly[lane] = y[first + lane];
                taken |= 1u << lane;
            }
        }
        __m512d vx = _mm512_load_pd(lx);
        __m512d vy = _mm512_load_pd(ly);
        const __m512d oldX = vx;
        const __m512d oldY = vy;
        const auto failed =
            static_cast<__mmask8>(~CheckedStep(k, vx, vy, SquaredNorm(vx, vy)) & taken);
        if (failed != 0) {
            Redo(cx, cy, failed, oldX, oldY, vx, vy, tally);
        }
        tally.iterates += static_cast<std::uint64_t>(std::popcount(taken));
        _mm512_store_pd(lx, vx);
        _mm512_store_pd(ly, vy);
        for (int lane = 0; lane < lanes; ++lane) {
            next[first + lane] =
                ((taken >> lane) & 1)
                    ? FloatPoint{static_cast<float>(lx[lane]), static_cast<float>(ly[lane])}
                    : Z2Iterate(cx, cy, x[first + lane], y[first + lane]);
        }
    }
}

}  // namespace ombrilo::detail
