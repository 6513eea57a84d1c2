#pragma once

// The export's checked step and escape loop on vector lanes, written once for every lane width.
// Included only by the files that instantiate it for one instruction set (export_fma.cpp for
// AVX2, export_avx512.cpp for AVX-512); each defines OMBRILO_EXPORT_LANES as the target
// attribute of its instruction set and a traits class L with the operations used below:
//   kWidth, Real, Mask, Int; Set, Load, LoadUnaligned, Store, SetInt, LoadInt, StoreInt, First;
//   Add, Sub, Mul, FmSub(a, b, c) = RN(a*b - c), FmAdd(a, b, c) = RN(a*b + c), Abs;
//   Less, LessEq, Greater, GreaterEq, Equal (ordered comparisons), And, Or, Bits (lane i at
//   bit i), SameBits (bit for bit equal), IntAdd, IntGreater, HalfGap, Replace(v, w, lanes)
//   (the lanes of w in `lanes`, v's elsewhere), Trapped(region, x, y).
// Every operation rounds each lane exactly as the scalar operation of the same name does; the
// argument of export_fma.cpp therefore holds lane by lane. Everything here lives in an unnamed
// namespace: the two files compile it for different processors, and no function may be shared
// between them by the linker.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "export_fma.h"
#include "point_function.h"
#include "run_proof.h"
#include "trap_region.h"

#ifndef OMBRILO_EXPORT_LANES
#error "define OMBRILO_EXPORT_LANES as the target attribute of the lanes' instruction set"
#endif

namespace ombrilo::detail {
namespace {

constexpr double kLaneLargest = 0x1p40;
constexpr double kLaneSmallest = 0x1p-400;
constexpr double kLaneRoundingScale = 0x1p-64;  // v
constexpr double kLaneSlackScale = 0x1p-98;
constexpr double kLaneEscapedAbove = 4.0 + 0x1p-48;
constexpr double kLaneInsideBelow = 4.0 - 0x1p-48;
constexpr std::uint64_t kExponentBits = 0x7FF0000000000000;
constexpr std::uint64_t kMantissaBits = 0x000FFFFFFFFFFFFF;
// A refused step whose result is this far out escapes in the reference as well (while
// |Cx| + |Cy| <= kLaneFarOutConstants): no need to redo it.
constexpr double kLaneFarOut = 4.0 + 0x1p-30;
constexpr double kLaneFarOutConstants = 4.0;
constexpr std::uint64_t kLaneNoStateBits = ~std::uint64_t{0};

// Registers of lanes stepped side by side, so that one register's latency hides the other's.
constexpr int kGroups = 2;
constexpr std::int64_t kShortSaveEvery = 8;
constexpr std::int64_t kLongSaveEvery = 64;
constexpr std::int64_t kLongestSaveEvery = 512;

template <class L>
struct LaneSum {
    typename L::Real value;
    typename L::Real error;  // exact: a + b = value + error
};

template <class L>
OMBRILO_EXPORT_LANES inline LaneSum<L> TwoSumOnLanes(typename L::Real a, typename L::Real b) {
    const auto s = L::Add(a, b);
    const auto aPart = L::Sub(s, b);
    const auto bPart = L::Sub(s, aPart);
    return {s, L::Add(L::Sub(a, aPart), L::Sub(b, bPart))};
}

template <class L>
OMBRILO_EXPORT_LANES inline typename L::Mask InRangeOnLanes(typename L::Real v) {
    const auto magnitude = L::Abs(v);
    return L::Or(L::Equal(v, L::Set(0.0)), L::And(L::GreaterEq(magnitude, L::Set(kLaneSmallest)),
                                                  L::LessEq(magnitude, L::Set(kLaneLargest))));
}

template <class L>
struct LaneConstants {
    typename L::Real cx;
    typename L::Real cy;
    typename L::Real magnitude;  // RN(|Cx| + |Cy|)
};

// What the lanes' check saw besides its verdict.
struct CheckCount {
    unsigned detailed = 0;  // lanes the bound refused, left to the exact-tie rule
    unsigned inRange = 0;   // lanes whose state was in the kernel's range
};

// The checked step of every lane. Returns the lanes (bit i for lane i) whose step is proven
// equal to ExportIterate's; the bound K decides most, the exact-tie rule looks only at the
// lanes of `active` it refused.
template <class L>
OMBRILO_EXPORT_LANES __attribute__((always_inline)) inline unsigned CheckedStepOnLanes(
    const LaneConstants<L>& k, typename L::Real x, typename L::Real y, typename L::Real& nx,
    typename L::Real& ny, unsigned active, CheckCount& count) {
    const auto aHi = L::Mul(x, x);
    const auto aLo = L::FmSub(x, x, aHi);
    const auto bHi = L::Mul(y, y);
    const auto bLo = L::FmSub(y, y, bHi);
    const auto pHi = L::Mul(x, y);
    const auto pLo = L::FmSub(x, y, pHi);
    const auto squares = L::Add(aHi, bHi);
    const auto scale = L::Add(squares, k.magnitude);
    const LaneSum<L> s = TwoSumOnLanes<L>(aHi, L::Sub(L::Set(0.0), bHi));
    const LaneSum<L> t = TwoSumOnLanes<L>(s.value, k.cx);
    const LaneSum<L> re =
        TwoSumOnLanes<L>(t.value, L::Sub(L::Add(L::Add(t.error, s.error), aLo), bLo));
    const auto twoP = L::Add(pHi, pHi);
    const LaneSum<L> w = TwoSumOnLanes<L>(twoP, k.cy);
    const LaneSum<L> im = TwoSumOnLanes<L>(w.value, L::Add(w.error, L::Add(pLo, pLo)));
    nx = re.value;
    ny = im.value;

    const auto inRange = L::And(InRangeOnLanes<L>(x), InRangeOnLanes<L>(y));
    count.inRange = L::Bits(inRange);
    const auto reGap = L::HalfGap(re.value);
    const auto imGap = L::HalfGap(im.value);
    const auto reMiss = L::Abs(re.error);
    const auto imMiss = L::Abs(im.error);
    const auto v = L::Set(kLaneRoundingScale);
    const auto slack = L::Mul(scale, L::Set(kLaneSlackScale));
    const auto reBound =
        L::FmAdd(L::Add(L::Add(squares, L::Abs(s.value)), L::Abs(re.value)), v, slack);
    const auto imBound = L::FmAdd(L::Add(L::Abs(twoP), L::Abs(im.value)), v, slack);
    const auto reOk = L::Less(L::Add(reMiss, reBound), reGap);
    const auto imOk = L::Less(L::Add(imMiss, imBound), imGap);
    const unsigned passed = L::Bits(L::And(inRange, L::And(reOk, imOk)));
    const unsigned undecided = active & ~passed;
    if (undecided == 0) [[likely]] {
        return passed;
    }
    count.detailed += static_cast<unsigned>(std::popcount(undecided));
    const auto zero = L::Set(0.0);
    const auto reTie = L::And(
        L::And(L::Equal(aLo, zero), L::Equal(bLo, zero)),
        L::And(L::Equal(s.error, zero), L::And(L::Equal(reMiss, reGap), L::Greater(reGap, zero))));
    const auto imTie =
        L::And(L::Equal(pLo, zero), L::And(L::Equal(imMiss, imGap), L::Greater(imGap, zero)));
    return passed | L::Bits(L::And(inRange, L::And(L::Or(reOk, reTie), L::Or(imOk, imTie))));
}

// One checked step of (x, y) in lane 0 (the other lanes hold harmless points).
template <class L>
OMBRILO_EXPORT_LANES bool StepOneOnLanes(double cx, double cy, double x, double y,
                                         DoublePoint* next) {
    alignas(64) double xs[L::kWidth];
    alignas(64) double ys[L::kWidth];
    for (int i = 0; i < L::kWidth; ++i) {
        xs[i] = i == 0 ? x : 0.5;
        ys[i] = i == 0 ? y : 0.25;
    }
    const LaneConstants<L> k{L::Set(cx), L::Set(cy), L::Set(std::fabs(cx) + std::fabs(cy))};
    typename L::Real nx;
    typename L::Real ny;
    CheckCount count;
    if ((CheckedStepOnLanes<L>(k, L::Load(xs), L::Load(ys), nx, ny, 1u, count) & 1u) == 0) {
        return false;
    }
    next->x = L::First(nx);
    next->y = L::First(ny);
    return true;
}

template <class L>
struct alignas(64) LaneArrays {
    double x[L::kWidth];
    double y[L::kWidth];
    std::int64_t n[L::kWidth];
};

// One register of lanes: states, iterate counts, saved states, and the points they work on.
template <class L>
struct LaneGroup {
    typename L::Real x;
    typename L::Real y;
    typename L::Int n;
    typename L::Real saved[6];  // short x, y, long x, y, longest x, y
    int column[L::kWidth];      // the lane's point, -1 when the lane idles
    unsigned active = 0;
};

// The run's points in order, handed to the lanes; points the lanes do not take are done on
// the spot by the scalar FMA kernel.
class PointFeed {
public:
    PointFeed(double cx, double cy, std::int32_t limit, const double* x, double y, int count,
              std::int32_t* indices, KernelCounters& tally)
        : cx_(cx),
          cy_(cy),
          limit_(limit),
          x_(x),
          y_(y),
          count_(count),
          indices_(indices),
          tally_(tally) {}

    // The next point for the lanes, or -1 at the end of the run. Points whose index is already
    // written (not -1) are passed over.
    int Next() {
        while (next_ < count_) {
            const int p = next_++;
            if (indices_[p] != -1) {
                continue;
            }
            if (std::fabs(x_[p]) <= kLaneLargest && std::fabs(y_) <= kLaneLargest) {
                return p;
            }
            indices_[p] = ExportEscapeIndexFma(cx_, cy_, limit_, x_[p], y_, tally_);
        }
        return -1;
    }
    // The first of the next `width` points when the lanes take all of them (the feed then
    // moves past them), or -1 (and the feed stays where it is).
    int NextBlock(int width) {
        if (count_ - next_ < width || std::fabs(y_) > kLaneLargest) {
            return -1;
        }
        for (int i = 0; i < width; ++i) {
            if (!(std::fabs(x_[next_ + i]) <= kLaneLargest) || indices_[next_ + i] != -1) {
                return -1;
            }
        }
        next_ += width;
        return next_ - width;
    }
    const double* XAt(int p) const { return x_ + p; }
    double RowY() const { return y_; }
    double X(int p) const { return p >= 0 ? x_[p] : 0.0; }
    double Y(int p) const { return p >= 0 ? y_ : 0.0; }
    void Write(int p, int index) { indices_[p] = index; }

private:
    double cx_;
    double cy_;
    std::int32_t limit_;
    const double* x_;
    double y_;
    int count_;
    std::int32_t* indices_;
    KernelCounters& tally_;
    int next_ = 0;
};

// The lanes of `slow` stepped with ExportIterate from (oldX, oldY) instead.
template <class L>
OMBRILO_EXPORT_LANES void RedoOnLanes(double cx, double cy, unsigned slow, typename L::Real oldX,
                                      typename L::Real oldY, typename L::Real& x,
                                      typename L::Real& y, KernelCounters& tally) {
    LaneArrays<L> old;
    LaneArrays<L> next;
    L::Store(old.x, oldX);
    L::Store(old.y, oldY);
    L::Store(next.x, x);
    L::Store(next.y, y);
    for (unsigned lanes = slow; lanes != 0; lanes &= lanes - 1) {
        const int i = std::countr_zero(lanes);
        const DoublePoint p = ExportIterate(cx, cy, old.x[i], old.y[i]);
        next.x[i] = p.x;
        next.y[i] = p.y;
    }
    tally.guardFallbacks += static_cast<std::uint64_t>(std::popcount(slow));
    x = L::Load(next.x);
    y = L::Load(next.y);
}

struct LaneFlags {
    unsigned slow;       // stepped by the reference: its escape test decides
    unsigned escaped;    // qd >= 4 + 2^-48
    unsigned near;       // qd > 4 - 2^-48 (escaped or undecided)
    unsigned overLimit;  // the lane's count passed the limit
    unsigned trapped;    // in the trap region: never escapes
};

template <class L>
OMBRILO_EXPORT_LANES void StartGroup(LaneGroup<L>& g, PointFeed& feed) {
    LaneArrays<L> m{};
    for (int i = 0; i < L::kWidth; ++i) {
        g.column[i] = feed.Next();
        m.x[i] = feed.X(g.column[i]);
        m.y[i] = feed.Y(g.column[i]);
        g.active |= (g.column[i] >= 0 ? 1u : 0u) << i;
    }
    g.x = L::Load(m.x);
    g.y = L::Load(m.y);
    g.n = L::SetInt(0);
    for (auto& s : g.saved) {
        s = L::Set(std::bit_cast<double>(kLaneNoStateBits));
    }
}

// When every lane of a full group escaped cleanly (the usual end of points outside the set,
// which tend to escape together), the indices are written and the group takes the run's next
// points as one block. False when that does not apply.
template <class L>
OMBRILO_EXPORT_LANES bool AllEscapedTogether(LaneGroup<L>& g, unsigned flagged, const LaneFlags& f,
                                             PointFeed& feed, KernelCounters& tally) {
    constexpr unsigned kAll = (1u << L::kWidth) - 1;
    if (g.active != kAll || flagged != kAll || (f.escaped & ~(f.slow | f.overLimit)) != kAll) {
        return false;
    }
    alignas(64) std::int64_t n[L::kWidth];
    L::StoreInt(n, g.n);
    for (int i = 0; i < L::kWidth; ++i) {
        feed.Write(g.column[i], static_cast<int>(n[i]));
        tally.iterates += static_cast<std::uint64_t>(n[i]);
    }
    const int first = feed.NextBlock(L::kWidth);
    if (first < 0) {
        // Points the lanes do not take come next: the group starts over point by point.
        g.active = 0;
        StartGroup<L>(g, feed);
        return true;
    }
    for (int i = 0; i < L::kWidth; ++i) {
        g.column[i] = first + i;
    }
    g.x = L::LoadUnaligned(feed.XAt(first));
    g.y = L::Set(feed.RowY());
    g.n = L::SetInt(0);
    for (auto& s : g.saved) {
        s = L::Set(std::bit_cast<double>(kLaneNoStateBits));
    }
    return true;
}

// Lanes of a group whose point is decided write its index and take the next point.
template <class L>
OMBRILO_EXPORT_LANES void DecideOnLanes(LaneGroup<L>& g, unsigned flagged, const LaneFlags& f,
                                        PointFeed& feed, KernelCounters& tally) {
    if (AllEscapedTogether<L>(g, flagged, f, feed, tally)) {
        return;
    }
    LaneArrays<L> m;
    L::Store(m.x, g.x);
    L::Store(m.y, g.y);
    L::StoreInt(m.n, g.n);
    alignas(64) double saved[6][L::kWidth];
    for (int s = 0; s < 6; ++s) {
        L::Store(saved[s], g.saved[s]);
    }
    unsigned refilled = 0;
    for (; flagged != 0; flagged &= flagged - 1) {
        const int i = std::countr_zero(flagged);
        const std::int64_t n = m.n[i];
        int index = -1;
        if ((f.overLimit >> i) & 1) {
            index = 0;
        } else {
            bool out = false;
            if ((f.slow >> i) & 1) {
                out = Escaped(m.x[i], m.y[i]);
            } else if ((f.escaped >> i) & 1) {
                out = true;
            } else if ((f.near >> i) & 1) {
                ++tally.escapeTies;
                out = Escaped(m.x[i], m.y[i]);
            }
            bool repeated = false;
            for (int s = 0; s < 6; s += 2) {
                repeated = repeated || (std::bit_cast<std::uint64_t>(m.x[i]) ==
                                            std::bit_cast<std::uint64_t>(saved[s][i]) &&
                                        std::bit_cast<std::uint64_t>(m.y[i]) ==
                                            std::bit_cast<std::uint64_t>(saved[s + 1][i]));
            }
            if (out) {
                index = static_cast<int>(n);
            } else if (repeated || ((f.trapped >> i) & 1)) {
                index = 0;
                tally.trapped += (f.trapped >> i) & 1;
            }
        }
        if (index < 0) {
            continue;  // undecided escape test passed, or only x matched
        }
        feed.Write(g.column[i], index);
        tally.iterates += static_cast<std::uint64_t>(n);
        g.column[i] = feed.Next();
        m.x[i] = feed.X(g.column[i]);
        m.y[i] = feed.Y(g.column[i]);
        m.n[i] = 0;
        if (g.column[i] < 0) {
            g.active &= ~(1u << i);
        }
        refilled |= 1u << i;
    }
    if (refilled != 0) {
        g.x = L::Load(m.x);
        g.y = L::Load(m.y);
        g.n = L::LoadInt(m.n);
        const auto none = L::Set(std::bit_cast<double>(kLaneNoStateBits));
        for (auto& s : g.saved) {
            s = L::Replace(s, none, refilled);
        }
    }
}

template <class L>
struct LoopConstants {
    LaneConstants<L> k;
    typename L::Real escapedAbove;
    typename L::Real insideBelow;
    typename L::Real farOut;  // kLaneFarOut, or infinity when C is too large for it
    typename L::Int limits;
    typename L::Int one;
};

// One step of one group with its decisions.
template <class L>
OMBRILO_EXPORT_LANES inline void StepGroup(double cx, double cy, const LoopConstants<L>& c,
                                           const TrapRegion& trap, std::int64_t step,
                                           LaneGroup<L>& g, PointFeed& feed,
                                           KernelCounters& tally) {
    typename L::Real nx;
    typename L::Real ny;
    CheckCount count;
    unsigned slow = ~CheckedStepOnLanes<L>(c.k, g.x, g.y, nx, ny, g.active, count) & g.active;
    tally.detailedChecks += count.detailed;
    if (slow != 0) [[unlikely]] {
        // Refused steps far outside escape in the reference too: their index is n whatever the
        // exact state, so they keep the double-double result.
        slow &= ~(count.inRange &
                  L::Bits(L::GreaterEq(L::Add(L::Mul(nx, nx), L::Mul(ny, ny)), c.farOut)));
        if (slow != 0) {
            RedoOnLanes<L>(cx, cy, slow, g.x, g.y, nx, ny, tally);
        }
    }
    g.x = nx;
    g.y = ny;
    g.n = L::IntAdd(g.n, c.one);

    const auto q = L::Add(L::Mul(g.x, g.x), L::Mul(g.y, g.y));
    const unsigned xRepeated =
        L::Bits(L::Or(L::Or(L::SameBits(g.x, g.saved[0]), L::SameBits(g.x, g.saved[2])),
                      L::SameBits(g.x, g.saved[4])));
    const LaneFlags f{slow, L::Bits(L::GreaterEq(q, c.escapedAbove)),
                      L::Bits(L::Greater(q, c.insideBelow)), L::Bits(L::IntGreater(g.n, c.limits)),
                      step % kTrapLookEvery == 0 ? L::Trapped(trap, g.x, g.y) : 0u};
    const unsigned flagged = (f.slow | f.near | xRepeated | f.overLimit | f.trapped) & g.active;
    if (flagged != 0) [[unlikely]] {
        DecideOnLanes<L>(g, flagged, f, feed, tally);
    }
}

template <class L>
OMBRILO_EXPORT_LANES inline void SaveStates(LaneGroup<L>& g, std::int64_t step) {
    g.saved[0] = g.x;
    g.saved[1] = g.y;
    if (step % kLongSaveEvery == 0) {
        g.saved[2] = g.x;
        g.saved[3] = g.y;
        if (step % kLongestSaveEvery == 0) {
            g.saved[4] = g.x;
            g.saved[5] = g.y;
        }
    }
}

// Points that escape at the first iterate whatever the rounding get their index at once (-1 is
// left for the others): an in-range start point with RN(RN(x*x) + RN(y*y)) >= RN(|Cx| + |Cy|) +
// 2.5 (export_fma.cpp proves that its first iterate escapes in the reference). Returns how many
// points are left to the lanes.
template <class L>
OMBRILO_EXPORT_LANES inline int DecideAtOnce(double cx, double cy, std::int32_t limit,
                                             const double* x, double y, int count,
                                             std::int32_t* indices, KernelCounters& tally) {
    const double farAway = (std::fabs(cx) + std::fabs(cy)) + 2.5;
    const std::int32_t index = limit >= 1 ? 1 : 0;
    if (!(std::fabs(y) <= kLaneLargest)) {
        std::fill_n(indices, count, -1);
        return count;
    }
    const double ySquared = y * y;
    const auto farAwayLanes = L::Set(farAway);
    const auto ySquaredLanes = L::Set(ySquared);
    const auto largest = L::Set(kLaneLargest);
    int atOnce = 0;
    int i = 0;
    for (; i + L::kWidth <= count; i += L::kWidth) {
        const auto xs = L::LoadUnaligned(x + i);
        const unsigned out =
            L::Bits(L::And(L::LessEq(L::Abs(xs), largest),
                           L::GreaterEq(L::Add(L::Mul(xs, xs), ySquaredLanes), farAwayLanes)));
        for (int j = 0; j < L::kWidth; ++j) {
            indices[i + j] = ((out >> j) & 1u) != 0 ? index : -1;
        }
        atOnce += std::popcount(out);
    }
    for (; i < count; ++i) {
        const bool out = std::fabs(x[i]) <= kLaneLargest && x[i] * x[i] + ySquared >= farAway;
        indices[i] = out ? index : -1;
        atOnce += out;
    }
    tally.iterates += static_cast<std::uint64_t>(atOnce);
    return count - atOnce;
}

// A run whose index one box proves for all of its points at once (run_proof.h) gets it written,
// whatever was written before (a box's index is the reference's). Only the whole run is tried:
// the plain steps below decide the outside's points cheaply one by one, so a box pays where it
// finds a whole run in the trap region, as inside a strongly attracting set.
constexpr int kBoxSteps = 32;

// Whether x[0 .. count) ascends or descends throughout, with no NaN.
template <class L>
OMBRILO_EXPORT_LANES inline bool Monotone(const double* x, int count) {
    if (count == 0 || !(x[0] == x[0])) {
        return count == 0;
    }
    unsigned up = 1;
    unsigned down = 1;
    int i = 1;
    for (; i + L::kWidth <= count; i += L::kWidth) {
        const auto next = L::LoadUnaligned(x + i);
        const auto previous = L::LoadUnaligned(x + i - 1);
        up &= L::Bits(L::GreaterEq(next, previous)) == (1u << L::kWidth) - 1;
        down &= L::Bits(L::LessEq(next, previous)) == (1u << L::kWidth) - 1;
    }
    for (; i < count; ++i) {
        up &= x[i] >= x[i - 1];
        down &= x[i] <= x[i - 1];
    }
    return (up | down) != 0;
}

template <class L>
OMBRILO_EXPORT_LANES inline void DecideRunByBox(double cx, double cy, std::int32_t limit,
                                                const double* x, double y, int count,
                                                std::int32_t* indices, KernelCounters& tally) {
    const double constantSize = std::fabs(cx) + std::fabs(cy);
    if (!(std::fabs(y) <= kLaneLargest) || !(constantSize <= kLaneLargest) || limit < 1 ||
        count == 0 || !Monotone<L>(x, count) || !(std::fabs(x[0]) <= kLaneLargest) ||
        !(std::fabs(x[count - 1]) <= kLaneLargest)) {
        return;
    }
    TrapLook trap(ExportTrapRegion, cx, cy);
    int stepsTaken = 0;
    const int index =
        ProvenEscapeIndex(SpanBox(x, 0, count, y), cx, cy, kExportStepError,
                          std::min<std::int32_t>(kBoxSteps, limit), trap, &stepsTaken);
    if (index < 0) {
        return;
    }
    std::fill_n(indices, count, index);
    const auto points = static_cast<std::uint64_t>(count);
    tally.provenPoints += points;
    tally.iterates += points * static_cast<std::uint64_t>(stepsTaken);
    tally.trapped += index == 0 ? points : 0;
}

// Points whose index plain double steps can prove, much cheaper than the checked ones: each
// lane keeps a bound on how far its plain iterate may lie from the reference's, grown by the
// step's own derivative, and decides its point once the plain iterate is far enough from
// |z| = 2 (an escape, or none up to the limit) or inside a trap disk (export_fma.cpp, "Plain").
constexpr int kPlainSteps = 1024;         // most steps a point takes
constexpr int kPlainLeadSteps = 8;        // steps taken before any index is written
constexpr int kPlainRunPoints = 256;      // most points of a run the plain steps take
constexpr double kPlainGiveUp = 0x1p-12;  // a lane whose bound grows past this is dropped
constexpr double kPlainRaise = 1.0 + 0x1p-46;
constexpr double kPlainLower = 1.0 - 0x1p-46;

// What every step of the plain lanes uses: the error a step may add to the drift, for states
// with |p|, |r| <= 2 + kPlainGiveUp, and the thresholds of |p|^2 beyond which the reference's
// state has escaped, and within which it has not, for a drift of at most kPlainGiveUp; all
// computed in extended precision and rounded outwards (export_fma.cpp, "Plain").
struct PlainBounds {
    double error;
    double escapedFrom;
    double insideTo;
};

inline PlainBounds MakePlainBounds() {
    const long double reach = 2.0L + kPlainGiveUp;
    const long double error =
        (4.04L * 0x1p-53L * (2.0L * reach * reach + 4.0001L) + 0x1p-1071L) * (1.0L + 0x1p-46L);
    const long double out = 2.0L + 0x1p-40L + kPlainGiveUp;
    const long double in = 2.0L - 0x1p-40L - kPlainGiveUp;
    return {std::nextafter(static_cast<double>(error), 1.0),
            std::nextafter(static_cast<double>((out * out + 0x1p-1000L) * (1.0L + 0x1p-46L)), 8.0),
            std::nextafter(static_cast<double>(in * in * (1.0L - 0x1p-46L) - 0x1p-1000L), 0.0)};
}

// The trap disks' radii, lowered so that a point within one of them lies in the disk.
struct PlainDisks {
    int count = 0;
    double radius[TrapRegion::kMaxDisks];
};

inline PlainDisks MakePlainDisks(const TrapRegion& region) {
    PlainDisks disks;
    disks.count = region.disks;
    for (int i = 0; i < region.disks; ++i) {
        disks.radius[i] = std::sqrt(region.squaredRadius[i]) * kPlainLower;
    }
    return disks;
}

// Lanes of (x, y) that lie in some disk with room `drift` to spare.
template <class L>
OMBRILO_EXPORT_LANES inline unsigned TrappedWithDrift(const TrapRegion& region,
                                                      const PlainDisks& disks, typename L::Real x,
                                                      typename L::Real y, typename L::Real drift) {
    unsigned inside = 0;
    for (int i = 0; i < disks.count; ++i) {
        const auto dx = L::Sub(x, L::Set(region.centerX[i]));
        const auto dy = L::Sub(y, L::Set(region.centerY[i]));
        const auto d2 = L::Mul(L::Add(L::Mul(dx, dx), L::Mul(dy, dy)), L::Set(kPlainRaise));
        const auto room = L::Sub(L::Set(disks.radius[i]), drift);
        inside |= L::Bits(L::And(L::Greater(room, L::Set(0.0)), L::LessEq(d2, L::Mul(room, room))));
    }
    return inside;
}

template <class L>
struct PlainConstants {
    typename L::Real cx;
    typename L::Real cy;
    typename L::Real error;
    typename L::Real escapedFrom;
    typename L::Real insideTo;
    typename L::Real raise;
    typename L::Real giveUp;
};

// Open points of a run, packed: plain states, drift bounds and columns (as doubles, which hold
// them exactly).
template <class L>
struct alignas(64) PlainPoints {
    // Room for the last pair of registers loaded, and for a whole register stored at the end.
    static constexpr int kCapacity = kPlainRunPoints + 2 * L::kWidth;
    double x[kCapacity];
    double y[kCapacity];
    double drift[kCapacity];
    double column[kCapacity];
};

// A register of points on their plain steps: states, |p|^2, drift bounds, the points' columns
// once packed, and the lanes still open.
template <class L>
struct PlainRegister {
    typename L::Real x;
    typename L::Real y;
    typename L::Real q;
    typename L::Real drift;
    typename L::Real column;
    unsigned live;

    // The points [at, at + min(count, kWidth)) of `points`.
    OMBRILO_EXPORT_LANES static PlainRegister Load(const PlainPoints<L>& points, int at,
                                                   int count) {
        const auto x = L::Load(points.x + at);
        const auto y = L::Load(points.y + at);
        return {x,
                y,
                L::Add(L::Mul(x, x), L::Mul(y, y)),
                L::Load(points.drift + at),
                L::Load(points.column + at),
                count >= L::kWidth ? (1u << L::kWidth) - 1 : (1u << std::max(count, 0)) - 1};
    }

    // Stores the open lanes packed from `at` on, with the columns `columns` (a whole register
    // is written); returns how many they are.
    OMBRILO_EXPORT_LANES int StorePacked(PlainPoints<L>& points, int at,
                                         typename L::Real columns) const {
        L::StoreUnaligned(points.x + at, L::Compress(x, live));
        L::StoreUnaligned(points.y + at, L::Compress(y, live));
        L::StoreUnaligned(points.drift + at, L::Compress(drift, live));
        L::StoreUnaligned(points.column + at, L::Compress(columns, live));
        return std::popcount(live);
    }

    // Gives the places past the last point defined values, for the last registers loaded.
    OMBRILO_EXPORT_LANES static void ClearPast(PlainPoints<L>& points, int at) {
        for (double* part : {points.x, points.y, points.drift, points.column}) {
            L::StoreUnaligned(part + at, L::Set(0.0));
            L::StoreUnaligned(part + at + L::kWidth, L::Set(0.0));
        }
    }

    // One step of every lane; returns the open lanes that escaped, and leaves open those still
    // inside with a small enough drift.
    OMBRILO_EXPORT_LANES __attribute__((always_inline)) unsigned Step(const PlainConstants<L>& c) {
        // |p| <= size for the state stepped from.
        const auto size = L::Add(L::RootBound(q), L::Set(0x1p-500));
        drift = L::FmAdd(L::Mul(drift, c.raise), L::Add(L::Add(size, size), drift), c.error);
        const auto xy = L::Mul(x, y);
        x = L::Add(L::Sub(L::Mul(x, x), L::Mul(y, y)), c.cx);
        y = L::Add(L::Add(xy, xy), c.cy);
        q = L::Add(L::Mul(x, x), L::Mul(y, y));
        // The thresholds hold while the drift is at most kPlainGiveUp.
        const unsigned bounded = live & L::Bits(L::LessEq(drift, c.giveUp));
        live = bounded & L::Bits(L::LessEq(q, c.insideTo));
        return bounded & L::Bits(L::GreaterEq(q, c.escapedFrom));
    }
};

// Writes `index` for the points of the lanes `lanes`, whose columns `columns` holds, decided
// after `steps` iterates.
template <class L>
OMBRILO_EXPORT_LANES inline void DecideLanes(typename L::Real columns, unsigned lanes,
                                             std::int32_t index, int steps, std::int32_t* indices,
                                             KernelCounters& tally) {
    const auto points = static_cast<std::uint64_t>(std::popcount(lanes));
    L::WriteIndex(indices, columns, lanes, index);
    tally.iterates += static_cast<std::uint64_t>(steps) * points;
    tally.plainPoints += points;
}

// Writes the index of every point left at -1 whose reference orbit the plain steps decide, for
// points in whole registers (the rest stay -1 for the checked lanes); at most kPlainRunPoints.
// Each register first takes the leading steps with the points it was loaded with; the points
// still open after them go on together, packed into whole registers again at every look at the
// trap region, so that the few slow points of many registers share registers instead of idling
// beside decided ones.
template <class L>
OMBRILO_EXPORT_LANES inline void DecidePlainSegment(double cx, double cy, std::int32_t limit,
                                                    const double* x, double y, int count,
                                                    std::int32_t* indices, KernelCounters& tally) {
    const int steps = std::min<std::int32_t>(kPlainSteps, limit);
    TrapLook trap(ExportTrapRegion, cx, cy);
    PlainDisks disks;
    bool disksMade = false;
    const auto cxs = L::Set(cx);
    const auto cys = L::Set(cy);
    const auto ys = L::Set(y);
    const auto startQ = L::Mul(ys, ys);
    const auto four = L::Set(4.0);
    static const PlainBounds bounds = MakePlainBounds();
    const PlainConstants<L> constants{cxs,
                                      cys,
                                      L::Set(bounds.error),
                                      L::Set(bounds.escapedFrom),
                                      L::Set(bounds.insideTo),
                                      L::Set(kPlainRaise),
                                      L::Set(kPlainGiveUp)};
    // The iterates of the points the leading steps decide, summed lane by lane.
    auto leadIterates = L::Set(0.0);
    PlainPoints<L> points;
    int open = 0;  // points of `points`
    const auto zero = L::Set(0.0);
    // The register of the points [at, at + kWidth) still at -1 and inside |z| <= 2, none when
    // the segment ends before.
    auto fresh = [&](int at) OMBRILO_EXPORT_LANES {
        if (at + L::kWidth > count) {
            return PlainRegister<L>{zero, zero, zero, zero, zero, 0};
        }
        unsigned live = 0;
        for (int j = 0; j < L::kWidth; ++j) {
            live |= (indices[at + j] == -1 ? 1u : 0u) << j;
        }
        const auto px = L::LoadUnaligned(x + at);
        const auto q = L::Add(L::Mul(px, px), startQ);
        live &= L::Bits(L::LessEq(q, four));
        return PlainRegister<L>{px, ys, q, zero, L::Add(L::LaneNumbers(), L::Set(at)), live};
    };
    // Stores the indices of the register's points that escaped in the leading steps, and packs
    // the ones still open.
    auto endLead = [&](const PlainRegister<L>& r, int at, unsigned escaped,
                       typename L::Real escapedAt) OMBRILO_EXPORT_LANES {
        if (escaped != 0) {
            L::StoreIndices(indices + at, escaped, escapedAt);
            leadIterates = L::Add(leadIterates, escapedAt);
            tally.plainPoints += static_cast<std::uint64_t>(std::popcount(escaped));
        }
        if (r.live != 0) {
            open += r.StorePacked(points, open, r.column);
        }
    };
    // The leading steps without a branch, two registers side by side: most points outside the
    // set escape within them, and their lanes only note the step; the indices are stored
    // together afterwards.
    const int lead = std::min(kPlainLeadSteps, steps);
    for (int i = 0; i + L::kWidth <= count; i += 2 * L::kWidth) {
        PlainRegister<L> a = fresh(i);
        PlainRegister<L> b = fresh(i + L::kWidth);
        auto escapedAtA = zero;
        auto escapedAtB = zero;
        unsigned escapedA = 0;
        unsigned escapedB = 0;
        for (int k = 1; k <= lead && (a.live | b.live) != 0; ++k) {
            const auto step = L::Set(static_cast<double>(k));
            const unsigned outA = a.Step(constants);
            const unsigned outB = b.Step(constants);
            escapedAtA = L::Replace(escapedAtA, step, outA);
            escapedAtB = L::Replace(escapedAtB, step, outB);
            escapedA |= outA;
            escapedB |= outB;
        }
        endLead(a, i, escapedA, escapedAtA);
        endLead(b, i + L::kWidth, escapedB, escapedAtB);
    }
    tally.iterates += static_cast<std::uint64_t>(L::Sum(leadIterates));
    if (open == 0) {
        return;
    }
    PlainRegister<L>::ClearPast(points, open);
    // A register's look at the trap region at the end of a round (when it ends at a look), and
    // its open points packed from `at` on; returns the end of the packed points.
    auto finishRound = [&](PlainRegister<L>& r, int roundEnd, int at) OMBRILO_EXPORT_LANES {
        if (roundEnd % kTrapLookEvery == 0 && r.live != 0) {
            if (!disksMade) {
                disks = MakePlainDisks(trap.Region());
                disksMade = true;
            }
            const unsigned trapped =
                r.live & TrappedWithDrift<L>(trap.Region(), disks, r.x, r.y, r.drift);
            if (trapped != 0) {
                DecideLanes<L>(r.column, trapped, 0, roundEnd, indices, tally);
                tally.trapped += static_cast<std::uint64_t>(std::popcount(trapped));
                r.live &= ~trapped;
            }
        }
        return r.live != 0 ? at + r.StorePacked(points, at, r.column) : at;
    };
    // Every open point has taken the leading steps. The rest go in rounds that end where the
    // trap region is looked at; each round packs the points still open into whole registers.
    int k = lead + 1;
    while (open > 0 && k <= steps) {
        const int roundEnd = std::min(steps, (k / kTrapLookEvery + 1) * kTrapLookEvery);
        const int sweep = open;
        open = 0;
        // Two registers side by side: one's latency hides the other's.
        for (int i = 0; i < sweep; i += 2 * L::kWidth) {
            PlainRegister<L> a = PlainRegister<L>::Load(points, i, sweep - i);
            PlainRegister<L> b =
                PlainRegister<L>::Load(points, i + L::kWidth, sweep - i - L::kWidth);
            for (int n = k; n <= roundEnd && (a.live | b.live) != 0; ++n) {
                const unsigned outA = a.Step(constants);
                const unsigned outB = b.Step(constants);
                if ((outA | outB) != 0) {
                    DecideLanes<L>(a.column, outA, n, n, indices, tally);
                    DecideLanes<L>(b.column, outB, n, n, indices, tally);
                }
            }
            open = finishRound(a, roundEnd, open);
            open = finishRound(b, roundEnd, open);
        }
        k = roundEnd + 1;
    }
    // Points still inside after every step up to the limit: the reference gives 0.
    if (steps == limit && k > steps) {
        for (int i = 0; i < open; i += L::kWidth) {
            const PlainRegister<L> r = PlainRegister<L>::Load(points, i, open - i);
            DecideLanes<L>(r.column, r.live, 0, steps, indices, tally);
        }
    }
}

template <class L>
OMBRILO_EXPORT_LANES inline void DecideByPlainSteps(double cx, double cy, std::int32_t limit,
                                                    const double* x, double y, int count,
                                                    std::int32_t* indices, KernelCounters& tally) {
    if (!((std::fabs(cx) + std::fabs(cy)) <= 4.0) || limit < 1) {
        return;
    }
    for (int first = 0; first < count; first += kPlainRunPoints) {
        DecidePlainSegment<L>(cx, cy, limit, x + first, y, std::min(kPlainRunPoints, count - first),
                              indices + first, tally);
    }
}

// The run on the lanes, each lane taking the run's next point as soon as its point is decided.
template <class L>
OMBRILO_EXPORT_LANES void RunOnLanes(double cx, double cy, std::int32_t limit, const double* x,
                                     double y, int count, std::int32_t* indices,
                                     KernelCounters& tally) {
    if (DecideAtOnce<L>(cx, cy, limit, x, y, count, indices, tally) == 0) {
        return;
    }
    DecideRunByBox<L>(cx, cy, limit, x, y, count, indices, tally);
    DecideByPlainSteps<L>(cx, cy, limit, x, y, count, indices, tally);
    if (std::find(indices, indices + count, -1) == indices + count) {
        return;  // nothing left for the checked lanes
    }
    const LoopConstants<L> c{{L::Set(cx), L::Set(cy), L::Set(std::fabs(cx) + std::fabs(cy))},
                             L::Set(kLaneEscapedAbove),
                             L::Set(kLaneInsideBelow),
                             L::Set(std::fabs(cx) + std::fabs(cy) <= kLaneFarOutConstants
                                        ? kLaneFarOut
                                        : std::numeric_limits<double>::infinity()),
                             L::SetInt(limit),
                             L::SetInt(1)};
    PointFeed feed(cx, cy, limit, x, y, count, indices, tally);
    const TrapRegion& trap = ExportTrapRegion(cx, cy);

    LaneGroup<L> groups[kGroups];
    for (LaneGroup<L>& g : groups) {
        StartGroup<L>(g, feed);
    }
    auto anyActive = [&] {
        unsigned active = 0;
        for (const LaneGroup<L>& g : groups) {
            active |= g.active;
        }
        return active != 0;
    };
    for (std::int64_t step = 1; anyActive(); ++step) {
        for (LaneGroup<L>& g : groups) {
            StepGroup<L>(cx, cy, c, trap, step, g, feed, tally);
        }
        if (step % kShortSaveEvery == 0) {
            for (LaneGroup<L>& g : groups) {
                SaveStates<L>(g, step);
            }
        }
    }
}

}  // namespace
}  // namespace ombrilo::detail
