// The export's point function in double-double arithmetic with fused multiply-adds.
//
// Why an accepted step gives exactly the reference's doubles
// ----------------------------------------------------------
// The reference step (ExportIterate) rounds every operation to extended precision (64-bit
// mantissa, RN64) and each part to double at the end (RN53):
//   real part       A = RN64(x*x), B = RN64(y*y), D = RN64(A - B), V = RN64(D + Cx), RN53(V);
//   imaginary part  P = RN64(x*y), W = RN64(2P + Cy), RN53(W).
// Notation: u = 2^-53 and v = 2^-64 are the unit roundoffs of double and extended; RN is
// rounding to nearest double; S = x^2 - y^2 + Cx and T = 2xy + Cy are the exact results;
// N = x^2 + y^2 + |Cx| + |Cy|.
//
// Range. The kernel takes C only when each part is 0 or of magnitude in [2^-400, 2^40], and
// steps only from a state whose parts are each 0 or of magnitude in [2^-400, 2^40]; any other
// state is stepped with ExportIterate. So nothing overflows, and every double computed below
// (products, their exact errors, sums and the errors of sums) is a multiple of 2^-904: it is 0
// or at least 2^-904 in magnitude, never subnormal, so fma gives the exact error of a product,
// TwoSum the exact error of a sum, and every rounding has |RN(r) - r| <= u|r|. Extended
// precision reaches far lower than double, so its roundings have |RN64(r) - r| <= v|r| too.
//
// The reference's error. |A - x^2| <= v x^2, |B - y^2| <= v y^2, |D - (A - B)| <= v|A - B| and
// |V - (D + Cx)| <= v|D + Cx|, where |A - B| <= |x^2 - y^2| + v(x^2 + y^2) and
// |D + Cx| <= |S| + 2v(1 + v)(x^2 + y^2). So
//   |V - S| <= v(1 + 2^-60)(x^2 + y^2 + |x^2 - y^2| + |S|).
// Likewise |P - xy| <= v|xy| and |W - (2P + Cy)| <= v(|T| + 2v|xy|), so
//   |W - T| <= v(1 + 2^-60)(2|xy| + |T|).
//
// Double-double. x^2 = aHi + aLo, y^2 = bHi + bLo, xy = pHi + pLo exactly (aHi = RN(x*x),
// aLo = fma(x, x, -aHi), ...). TwoSum gives aHi - bHi = s1 + s2, s1 + Cx = t1 + t2, so
// S = t1 + r with r = t2 + s2 + aLo - bLo. Each of the four terms is at most u times aHi + bHi +
// |Cx| (or (1 + u) times that for t1), so the three roundings of lo = ((t2 + s2) + aLo) - bLo
// err by at most 3u(1 + u)^2 u(3 + u)(1 + u)N <= 9.1u^2 N < 2^-102 N. Then TwoSum(t1, lo) gives
// re = RN(t1 + lo) and its exact error e, so S - re = e + (r - lo). For the imaginary part
// 2pHi + Cy = w1 + w2 (TwoSum; 2pHi and 2pLo are exact), T = w1 + w2 + 2pLo, one rounding
// for its low part, error below u^2 (2 + u)(1 + u)N < 2^-102 N, and TwoSum(w1, low) gives im
// and its exact error f.
//
// The check. Let h be half the gap between re and its nearer neighbour: for |re| in
// [2^k, 2^(k+1)) it is 2^(k-53), or 2^(k-54) when |re| = 2^k (the gap below a power of two is
// half the gap above); h is computed exactly from the bits of re (a zero or subnormal re gets
// h = 0, a power of two below 2^-1020 gets h rounded down). The bound is
//   K = RN(M * 2^-64 + RN(RN(aHi + bHi) + RN(|Cx| + |Cy|)) * 2^-98),
//   M = RN(RN(RN(aHi + bHi) + |s1|) + |re|),
// the scalings by powers of two being exact (M is 0 or at least 2^-800, N at least 2^-400 when
// it is not 0). The step's real part is accepted when RN(|e| + K) < h. Rounding is monotone and
// h is a double, so then |e| + K < h itself. In particular |e| < h <= u|re|, so
// |S| <= (1 + u)|re| + 2^-102 N, and with x^2 <= (1 + 2u)aHi, y^2 <= (1 + 2u)bHi,
// |x^2 - y^2| <= (1 + u)|s1|:
//   |V - S| + |r - lo| <= v(1 + 2^-50)(aHi + bHi + |s1| + |re|) + 2^-101 N
//                      <= v(1 + 2^-48)M + 2^-101 N <= K
// (the second term of K is at least 7.9 * 2^-101 N, which also covers the (1 + 2^-48) and the
// rounding of K). So |V - re| <= |V - S| + |e| + |r - lo| < h: V lies strictly nearer to re than
// to any other double, RN53(V) = re, and re is the reference's real part (also in sign: re != 0
// because h > 0, and V has its sign). The imaginary part is the same with
// M = RN(|2pHi| + |im|), as 2|xy| <= (1 + 2u)|2pHi|: accepted when RN(|f| + K) < h of im.
// When N = 0 both results are 0 and h = 0: refused, so signs of zero are always left to the
// reference.
//
// Escape test. The reference escapes when RN64(RN64(RN64(x^2) + RN64(y^2)) - 4) >= 0, that is
// when Q = RN64(RN64(x^2) + RN64(y^2)) >= 4; with q = x^2 + y^2, |Q - q| <= 2.01vq. After an
// accepted step both parts are at most 2^83 in magnitude, and the kernel has qd = RN(RN(x*x) +
// RN(y*y)) with |qd - q| <= 2.01uq + 3 * 2^-1074. If qd >= 4 + 2^-48 then q > 4 + 2^-49 and
// Q > 4: escaped; if qd <= 4 - 2^-48 then q < 4 - 2^-49 and Q < 4: not escaped. Anything
// between goes to the reference test (Escaped, an escape tie). After a step redone with
// ExportIterate the reference test is used as well: that state can be anything, NaN included.
//
// Cycle detection is CycleWatch's (fast_kernels.cpp explains why it never changes an index):
// the kernel's states are bit for bit the reference's.
//
// The lanes do the same operations in the same order on four points, each lane rounding as the
// scalar code does; K's first product comes in a fused multiply-add, which changes nothing as
// M * 2^-64 is exact. Their cycle detection: each lane saves its state every 8, 64 and 512
// steps of the loop (after the step's decisions) and compares every state that has passed its
// escape test with its saved ones, bit for bit (x in the registers, then y for the lanes whose
// x matched). A lane taking a new point forgets its saved states (they become a NaN pattern no
// lane holds: start points the lanes take are finite and at most 2^40, and every later state
// is either the first iterate, below 2^83, or has passed the escape test), so a saved state is
// a tested iterate of the lane's point or its start point z_0. If z_n = z_j with j < n and
// z_1 .. z_n all passed the test, the orbit runs through z_(j+1) .. z_n for ever (for j = 0 as
// well), no iterate up to the limit escapes, and the reference gives 0. The escape test of z_n
// comes first, so 2 -> 2 -> 2 with C = -2 still gives 1.
//
// Trap region. Every 16th iterate of the scalar kernel, and every 16 steps of the lanes' loop
// each lane's tested state, is looked up in the export's trap region (trap_region.cpp): a state
// in it never escapes, index 0.

#include "export_fma.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>

#include "color_table.h"
#include "cycle_watch.h"
#include "lane_masks.h"
#include "trap_region.h"

#define OMBRILO_FMA __attribute__((target("fma")))
#define OMBRILO_LANES __attribute__((target("avx2,fma")))

namespace ombrilo::detail {

namespace {

constexpr double kLargest = 0x1p40;
constexpr double kSmallest = 0x1p-400;
constexpr double kRoundingScale = 0x1p-64;  // v
constexpr double kSlackScale = 0x1p-98;
constexpr double kEscapedAbove = 4.0 + 0x1p-48;
constexpr double kInsideBelow = 4.0 - 0x1p-48;
constexpr std::uint64_t kExponentBits = 0x7FF0000000000000;
constexpr std::uint64_t kMantissaBits = 0x000FFFFFFFFFFFFF;
constexpr std::uint64_t kNoStateBits = ~std::uint64_t{0};

bool InRange(double value) {
    const double magnitude = std::fabs(value);
    return value == 0.0 || (magnitude >= kSmallest && magnitude <= kLargest);
}

// Half the gap between d and its nearer neighbour double; 0 for 0 and subnormals.
inline double HalfGap(double d) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(d);
    const double power = std::bit_cast<double>(bits & kExponentBits);
    return power * ((bits & kMantissaBits) == 0 ? 0x1p-54 : 0x1p-53);
}

struct Sum {
    double value;
    double error;  // exact: a + b = value + error
};

inline Sum TwoSum(double a, double b) {
    const double s = a + b;
    const double aPart = s - b;
    const double bPart = s - aPart;
    return {s, (a - aPart) + (b - bPart)};
}

struct FmaConstants {
    double cx;
    double cy;
    double magnitude;  // RN(|Cx| + |Cy|)
};

FmaConstants MakeConstants(double cx, double cy) {
    return {cx, cy, std::fabs(cx) + std::fabs(cy)};
}

// The checked step; false when the state is out of range or the check refuses.
OMBRILO_FMA inline bool CheckedStep(const FmaConstants& k, double x, double y, double* nx,
                                    double* ny) {
    if (!InRange(x) || !InRange(y)) {
        return false;
    }
    const double aHi = x * x;
    const double aLo = std::fma(x, x, -aHi);
    const double bHi = y * y;
    const double bLo = std::fma(y, y, -bHi);
    const double pHi = x * y;
    const double pLo = std::fma(x, y, -pHi);
    const double squares = aHi + bHi;
    const double slack = (squares + k.magnitude) * kSlackScale;

    const Sum s = TwoSum(aHi, -bHi);
    const Sum t = TwoSum(s.value, k.cx);
    const Sum re = TwoSum(t.value, ((t.error + s.error) + aLo) - bLo);

    const Sum w = TwoSum(pHi * 2.0, k.cy);
    const Sum im = TwoSum(w.value, w.error + pLo * 2.0);

    const double reBound =
        ((squares + std::fabs(s.value)) + std::fabs(re.value)) * kRoundingScale + slack;
    const double imBound = (std::fabs(pHi * 2.0) + std::fabs(im.value)) * kRoundingScale + slack;
    if (!(std::fabs(re.error) + reBound < HalfGap(re.value)) ||
        !(std::fabs(im.error) + imBound < HalfGap(im.value))) {
        return false;
    }
    *nx = re.value;
    *ny = im.value;
    return true;
}

// Escape test of a state from an accepted step: 1 escaped, 0 not, -1 undecided.
inline int FastEscape(double x, double y) {
    const double q = x * x + y * y;
    if (q >= kEscapedAbove) {
        return 1;
    }
    return q <= kInsideBelow ? 0 : -1;
}

OMBRILO_FMA int EscapeIndex(const FmaConstants& k, std::int32_t limit, double x, double y,
                            KernelCounters& tally) {
    CycleWatch<DoubleStateBits> watch;
    TrapLook trap(&ExportTrapRegion, k.cx, k.cy);
    for (std::int32_t n = 1;; ++n) {
        double nx;
        double ny;
        bool escaped;
        if (CheckedStep(k, x, y, &nx, &ny)) [[likely]] {
            x = nx;
            y = ny;
            if (n > limit) {
                tally.iterates += static_cast<std::uint64_t>(n);
                return 0;
            }
            const int fast = FastEscape(x, y);
            if (fast < 0) {
                ++tally.escapeTies;
            }
            escaped = fast < 0 ? Escaped(x, y) : fast == 1;
        } else {
            ++tally.guardFallbacks;
            const DoublePoint next = ExportIterate(k.cx, k.cy, x, y);
            x = next.x;
            y = next.y;
            if (n > limit) {
                tally.iterates += static_cast<std::uint64_t>(n);
                return 0;
            }
            escaped = Escaped(x, y);
        }
        if (escaped) {
            tally.iterates += static_cast<std::uint64_t>(n);
            return static_cast<int>(n);
        }
        if (watch.Repeats(n, DoubleStateBits::Of(x, y))) {
            tally.iterates += static_cast<std::uint64_t>(n);
            return 0;
        }
        if (n % kTrapLookEvery == 0 && trap.Contains(x, y)) {
            tally.iterates += static_cast<std::uint64_t>(n);
            ++tally.trapped;
            return 0;
        }
    }
}

// The same step on four lanes. Returns the lanes (bits 0..3) whose check passed.
OMBRILO_LANES inline __m256d InRangeLanes(__m256d v) {
    const __m256d magnitude = _mm256_andnot_pd(_mm256_set1_pd(-0.0), v);
    return _mm256_or_pd(
        _mm256_cmp_pd(v, _mm256_setzero_pd(), _CMP_EQ_OQ),
        _mm256_and_pd(_mm256_cmp_pd(magnitude, _mm256_set1_pd(kSmallest), _CMP_GE_OQ),
                      _mm256_cmp_pd(magnitude, _mm256_set1_pd(kLargest), _CMP_LE_OQ)));
}

struct SumLanes {
    __m256d value;
    __m256d error;
};

OMBRILO_LANES inline SumLanes TwoSumLanes(__m256d a, __m256d b) {
    const __m256d s = _mm256_add_pd(a, b);
    const __m256d aPart = _mm256_sub_pd(s, b);
    const __m256d bPart = _mm256_sub_pd(s, aPart);
    return {s, _mm256_add_pd(_mm256_sub_pd(a, aPart), _mm256_sub_pd(b, bPart))};
}

OMBRILO_LANES inline __m256d HalfGapLanes(__m256d d) {
    const __m256i bits = _mm256_castpd_si256(d);
    const __m256d power = _mm256_castsi256_pd(
        _mm256_and_si256(bits, _mm256_set1_epi64x(static_cast<std::int64_t>(kExponentBits))));
    const __m256d powerOfTwo = _mm256_castsi256_pd(_mm256_cmpeq_epi64(
        _mm256_and_si256(bits, _mm256_set1_epi64x(static_cast<std::int64_t>(kMantissaBits))),
        _mm256_setzero_si256()));
    return _mm256_mul_pd(
        power, _mm256_blendv_pd(_mm256_set1_pd(0x1p-53), _mm256_set1_pd(0x1p-54), powerOfTwo));
}

OMBRILO_LANES inline __m256d Magnitude(__m256d v) {
    return _mm256_andnot_pd(_mm256_set1_pd(-0.0), v);
}

OMBRILO_LANES inline __m256d Passes(SumLanes exact, __m256d bound) {
    const __m256d magnitude = Magnitude(exact.error);
    return _mm256_cmp_pd(_mm256_add_pd(magnitude, bound), HalfGapLanes(exact.value), _CMP_LT_OQ);
}

OMBRILO_LANES inline int CheckedStepLanes(__m256d cx, __m256d cy, __m256d magnitude, __m256d x,
                                          __m256d y, __m256d& nx, __m256d& ny) {
    const __m256d aHi = _mm256_mul_pd(x, x);
    const __m256d aLo = _mm256_fmsub_pd(x, x, aHi);
    const __m256d bHi = _mm256_mul_pd(y, y);
    const __m256d bLo = _mm256_fmsub_pd(y, y, bHi);
    const __m256d pHi = _mm256_mul_pd(x, y);
    const __m256d pLo = _mm256_fmsub_pd(x, y, pHi);
    const __m256d squares = _mm256_add_pd(aHi, bHi);
    const __m256d slack =
        _mm256_mul_pd(_mm256_add_pd(squares, magnitude), _mm256_set1_pd(kSlackScale));
    const SumLanes s = TwoSumLanes(aHi, _mm256_sub_pd(_mm256_setzero_pd(), bHi));
    const SumLanes t = TwoSumLanes(s.value, cx);
    const SumLanes re = TwoSumLanes(
        t.value, _mm256_sub_pd(_mm256_add_pd(_mm256_add_pd(t.error, s.error), aLo), bLo));
    const SumLanes w = TwoSumLanes(_mm256_add_pd(pHi, pHi), cy);
    const SumLanes im = TwoSumLanes(w.value, _mm256_add_pd(w.error, _mm256_add_pd(pLo, pLo)));

    nx = re.value;
    ny = im.value;
    const __m256d v = _mm256_set1_pd(kRoundingScale);
    const __m256d reBound = _mm256_fmadd_pd(
        _mm256_add_pd(_mm256_add_pd(squares, Magnitude(s.value)), Magnitude(re.value)), v, slack);
    const __m256d imBound = _mm256_fmadd_pd(
        _mm256_add_pd(Magnitude(_mm256_add_pd(pHi, pHi)), Magnitude(im.value)), v, slack);
    const __m256d ok = _mm256_and_pd(_mm256_and_pd(InRangeLanes(x), InRangeLanes(y)),
                                     _mm256_and_pd(Passes(re, reBound), Passes(im, imBound)));
    return _mm256_movemask_pd(ok);
}

constexpr int kGroups = 2;  // registers of four lanes side by side
constexpr std::int64_t kShortSaveEvery = 8;
constexpr std::int64_t kLongSaveEvery = 64;
constexpr std::int64_t kLongestSaveEvery = 512;

struct alignas(32) LaneArrays {
    double x[4];
    double y[4];
    std::int64_t n[4];
};

// Four lanes: states, iterate counts, saved states, and the points they work on.
struct LaneGroup {
    __m256d x;
    __m256d y;
    __m256i n;
    __m256d saved[6];  // short x, y, long x, y, longest x, y
    int column[4];     // the lane's point, -1 when the lane idles
    int active = 0;
};

// The run's points in order, handed to the lanes; points the lanes do not take are done on
// the spot by the scalar FMA kernel.
class PointFeed {
public:
    PointFeed(const FmaConstants& k, std::int32_t limit, const double* x, double y, int count,
              std::int32_t* indices, KernelCounters& tally)
        : k_(k), limit_(limit), x_(x), y_(y), count_(count), indices_(indices), tally_(tally) {}

    // The next point for the lanes, or -1 at the end of the run.
    int Next() {
        while (next_ < count_) {
            const int p = next_++;
            if (std::fabs(x_[p]) <= kLargest && std::fabs(y_) <= kLargest) {
                return p;
            }
            indices_[p] = EscapeIndex(k_, limit_, x_[p], y_, tally_);
        }
        return -1;
    }
    double X(int p) const { return p >= 0 ? x_[p] : 0.0; }
    double Y(int p) const { return p >= 0 ? y_ : 0.0; }
    void Write(int p, int index) { indices_[p] = index; }

private:
    const FmaConstants& k_;
    std::int32_t limit_;
    const double* x_;
    double y_;
    int count_;
    std::int32_t* indices_;
    KernelCounters& tally_;
    int next_ = 0;
};

// The lanes of `slow` (bits 0..3) stepped with ExportIterate from (oldX, oldY) instead.
OMBRILO_LANES void RedoLanes(const FmaConstants& k, int slow, __m256d oldX, __m256d oldY,
                             __m256d& x, __m256d& y, KernelCounters& tally) {
    LaneArrays old;
    LaneArrays next;
    _mm256_store_pd(old.x, oldX);
    _mm256_store_pd(old.y, oldY);
    _mm256_store_pd(next.x, x);
    _mm256_store_pd(next.y, y);
    for (int i = 0; i < 4; ++i) {
        if ((slow >> i) & 1) {
            const DoublePoint p = ExportIterate(k.cx, k.cy, old.x[i], old.y[i]);
            next.x[i] = p.x;
            next.y[i] = p.y;
        }
    }
    tally.guardFallbacks += static_cast<std::uint64_t>(std::popcount(static_cast<unsigned>(slow)));
    x = _mm256_load_pd(next.x);
    y = _mm256_load_pd(next.y);
}

struct LaneFlags {
    int slow;       // stepped by the reference: its escape test decides
    int escaped;    // qd >= 4 + 2^-48
    int near;       // qd > 4 - 2^-48 (escaped or undecided)
    int xRepeated;  // x equals a saved x
    int overLimit;
    int trapped;  // in the trap region: never escapes
};

// Lanes of a group whose point is decided write its index and take the next point.
OMBRILO_LANES void Decide(LaneGroup& g, int flagged, const LaneFlags& f, PointFeed& feed,
                          KernelCounters& tally) {
    LaneArrays m;
    _mm256_store_pd(m.x, g.x);
    _mm256_store_pd(m.y, g.y);
    _mm256_store_si256(reinterpret_cast<__m256i*>(m.n), g.n);
    alignas(32) double saved[6][4];
    for (int s = 0; s < 6; ++s) {
        _mm256_store_pd(saved[s], g.saved[s]);
    }
    int refilled = 0;
    for (; flagged != 0; flagged &= flagged - 1) {
        const int i = std::countr_zero(static_cast<unsigned>(flagged));
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
            g.active &= ~(1 << i);
        }
        refilled |= 1 << i;
    }
    if (refilled != 0) {
        g.x = _mm256_load_pd(m.x);
        g.y = _mm256_load_pd(m.y);
        g.n = _mm256_load_si256(reinterpret_cast<const __m256i*>(m.n));
        const __m256d mask = LanesMask(refilled);
        const __m256d none = _mm256_set1_pd(std::bit_cast<double>(kNoStateBits));
        for (__m256d& s : g.saved) {
            s = _mm256_blendv_pd(s, none, mask);
        }
    }
}

// The run on the lanes, each lane taking the run's next point as soon as its point is decided.
OMBRILO_LANES void RunLanes(const FmaConstants& k, std::int32_t limit, const double* x, double y,
                            int count, std::int32_t* indices, KernelCounters& tally) {
    const __m256d cx = _mm256_set1_pd(k.cx);
    const __m256d cy = _mm256_set1_pd(k.cy);
    const __m256d magnitude = _mm256_set1_pd(k.magnitude);
    const __m256d escapedAbove = _mm256_set1_pd(kEscapedAbove);
    const __m256d insideBelow = _mm256_set1_pd(kInsideBelow);
    const __m256i limits = _mm256_set1_epi64x(limit);
    const __m256i one = _mm256_set1_epi64x(1);
    PointFeed feed(k, limit, x, y, count, indices, tally);
    const TrapRegion& trap = ExportTrapRegion(k.cx, k.cy);

    LaneGroup groups[kGroups];
    for (LaneGroup& g : groups) {
        LaneArrays m{};
        for (int i = 0; i < 4; ++i) {
            g.column[i] = feed.Next();
            m.x[i] = feed.X(g.column[i]);
            m.y[i] = feed.Y(g.column[i]);
            g.active |= (g.column[i] >= 0 ? 1 : 0) << i;
        }
        g.x = _mm256_load_pd(m.x);
        g.y = _mm256_load_pd(m.y);
        g.n = _mm256_setzero_si256();
        for (__m256d& s : g.saved) {
            s = _mm256_set1_pd(std::bit_cast<double>(kNoStateBits));
        }
    }

    for (std::int64_t step = 1; groups[0].active != 0 || groups[1].active != 0; ++step) {
#pragma GCC unroll 2
        for (LaneGroup& g : groups) {
            __m256d nx, ny;
            const int slow = ~CheckedStepLanes(cx, cy, magnitude, g.x, g.y, nx, ny) & g.active;
            if (slow != 0) [[unlikely]] {
                RedoLanes(k, slow, g.x, g.y, nx, ny, tally);
            }
            g.x = nx;
            g.y = ny;
            g.n = _mm256_add_epi64(g.n, one);

            const __m256d q = _mm256_add_pd(_mm256_mul_pd(g.x, g.x), _mm256_mul_pd(g.y, g.y));
            const __m256i xBits = _mm256_castpd_si256(g.x);
            const __m256i xRepeated = _mm256_or_si256(
                _mm256_or_si256(_mm256_cmpeq_epi64(xBits, _mm256_castpd_si256(g.saved[0])),
                                _mm256_cmpeq_epi64(xBits, _mm256_castpd_si256(g.saved[2]))),
                _mm256_cmpeq_epi64(xBits, _mm256_castpd_si256(g.saved[4])));
            const int trapped = step % kTrapLookEvery == 0 ? TrappedLanes(trap, g.x, g.y) : 0;
            const LaneFlags f{
                slow,
                _mm256_movemask_pd(_mm256_cmp_pd(q, escapedAbove, _CMP_GE_OQ)),
                _mm256_movemask_pd(_mm256_cmp_pd(q, insideBelow, _CMP_GT_OQ)),
                _mm256_movemask_pd(_mm256_castsi256_pd(xRepeated)),
                _mm256_movemask_pd(_mm256_castsi256_pd(_mm256_cmpgt_epi64(g.n, limits))),
                trapped};
            const int flagged =
                (f.slow | f.near | f.xRepeated | f.overLimit | f.trapped) & g.active;
            if (flagged != 0) [[unlikely]] {
                Decide(g, flagged, f, feed, tally);
            }
        }
        if (step % kShortSaveEvery == 0) {
            for (LaneGroup& g : groups) {
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
        }
    }
}

}  // namespace

bool ProcessorHasFma() {
    return __builtin_cpu_supports("fma");
}

bool FmaAcceptsConstant(double cx, double cy) {
    return InRange(cx) && InRange(cy);
}

OMBRILO_FMA bool ExportStepFma(double cx, double cy, double x, double y, DoublePoint* next) {
    return CheckedStep(MakeConstants(cx, cy), x, y, &next->x, &next->y);
}

OMBRILO_LANES bool ExportStepLanes(double cx, double cy, double x, double y, DoublePoint* next) {
    const FmaConstants k = MakeConstants(cx, cy);
    __m256d nx, ny;
    const int passed = CheckedStepLanes(
        _mm256_set1_pd(cx), _mm256_set1_pd(cy), _mm256_set1_pd(k.magnitude),
        _mm256_setr_pd(x, 0.5, 0.0, 1.0), _mm256_setr_pd(y, 0.25, 0.0, -1.0), nx, ny);
    if ((passed & 1) == 0) {
        return false;
    }
    next->x = _mm256_cvtsd_f64(nx);
    next->y = _mm256_cvtsd_f64(ny);
    return true;
}

void ExportRunFma(double cx, double cy, std::int32_t limit, const double* x, double y, int count,
                  std::int32_t* indices, KernelCounters& tally) {
    limit = std::clamp<std::int32_t>(limit, 0, ColorTable::kLastIndex);
    RunLanes(MakeConstants(cx, cy), limit, x, y, count, indices, tally);
}

}  // namespace ombrilo::detail
