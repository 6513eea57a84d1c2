#pragma once

// What the lane kernels of the main window's point function (z2_avx2.cpp, z2_avx512.cpp) share
// beyond the vector registers: the ranges they take, how a lane's point is decided, and the
// row's points in order.

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "fast_kernels.h"
#include "kernel_counters.h"
#include "point_function.h"
#include "run_proof.h"
#include "trap_region.h"

namespace ombrilo::detail {

inline constexpr double kLaneLimit = 0x1p40;
inline constexpr double kSmallestConstant = 0x1p-900;
inline constexpr double kBoundScale = 0x1p-51;
// A saved state that no lane value has (a NaN pattern; lane values are finite).
inline constexpr double kNoState = std::bit_cast<double>(~std::uint64_t{0});
inline constexpr std::int64_t kShortSaveEvery = 8;
inline constexpr std::int64_t kLongSaveEvery = 64;
// Steps that new points of a row take side by side before they wait for a lane of their own.
inline constexpr int kFirstSteps = 16;
// Steps of a run of new points none of which was decided in its first steps.
inline constexpr int kLongFirstSteps = 2 * kFirstSteps;
static_assert(kLongFirstSteps < MaxIterations);

inline bool SameBits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

inline bool AcceptedStart(float x, float y) {
    return std::fabs(x) <= static_cast<float>(kLaneLimit) &&
           std::fabs(y) <= static_cast<float>(kLaneLimit);
}

// Index of a lane's point once its state z_n is decided, or -1 while it goes on. `m` holds the
// lanes' state (x, y, sum = RN(x*x + y*y)) and saved states (shortX ... longY) in memory.
template <typename LaneMemory>
int DecidedIndex(const LaneMemory& m, int i, int n, bool trapped, KernelCounters& tally) {
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
