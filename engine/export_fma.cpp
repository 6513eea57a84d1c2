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
// Every step computes K for both parts and is taken when both pass. (An earlier form tried a
// cheaper bound first and K only where it refused; about half of the registers of lanes then
// paid for both, and the branch between them cost more than K itself.)
//
// Exact ties. K bounds the reference's error whether or not its roundings were exact, so a
// result on a midpoint, |e| = h, is always refused by it, although steps from start points with
// short mantissas reach exact midpoints often. When aLo = bLo = 0 (x^2 and y^2 are doubles) and
// the TwoSum error s2 of aHi - bHi is 0, the reference's A, B and D are exact: D = s1 and
// V = RN64(s1 + Cx) = RN64(S) with S = t1 + t2 exactly; then lo = t2 and re + e = S exactly. If
// moreover |e| = h > 0, S = re +- h is a multiple of h below 2^(k+1) (re is a multiple of 2h):
// at most 55 significant bits, so V = S and RN53(V) = RN(S) = RN(t1 + lo) = re, ties included.
// Likewise for the imaginary part when pLo = 0 and |f| = h > 0: W = RN64(T) = T = im + f. Such a
// part is taken even when K refuses it.
//
// Escape test. The reference escapes when RN64(RN64(RN64(x^2) + RN64(y^2)) - 4) >= 0, that is
// when Q = RN64(RN64(x^2) + RN64(y^2)) >= 4; with q = x^2 + y^2, |Q - q| <= 2.01vq. After an
// accepted step both parts are at most 2^83 in magnitude, and the kernel has qd = RN(RN(x*x) +
// RN(y*y)) with |qd - q| <= 2.01uq + 3 * 2^-1074. If qd >= 4 + 2^-48 then q > 4 + 2^-49 and
// Q > 4: escaped; if qd <= 4 - 2^-48 then q < 4 - 2^-49 and Q < 4: not escaped. Anything
// between goes to the reference test (Escaped, an escape tie). After a step redone with
// ExportIterate the reference test is used as well: that state can be anything, NaN included.
//
// Far out. A step of the lanes refused by K and the tie rule from an in-range state need not be
// redone when its double-double result (re, im) has qd >= 4 + 2^-30 and |Cx| + |Cy| <= 4: the
// reference escapes at that iterate too, so its index is the count n whatever its exact state
// (unless n is past the limit, which is tested first and gives 0 in both). Proof: from the
// bounds above, the reference's parts xr = RN53(V), yr = RN53(W) satisfy
// |xr - re| <= 2.01u|re| + 3.02vN and |yr - im| <= 2.01u|im| + 2.02vN, and
// N <= 1.0001(|re| + |im|) + 2.0001(|Cx| + |Cy|) <= 1.0001(|re| + |im|) + 8.001, as
// x^2 + y^2 = |z^2| <= |z^2 + C| + |Cx| + |Cy|. With qd >= 4 + 2^-30, r = |(re, im)| >= 2 + 2^-34
// and the reference's point lies within 2^-49 r + 2^-54 of it, so its |z|^2 > 4 + 2^-33 and
// its Q >= 4. The lane then leaves the loop at once with index n; no later step uses that state.
//
// At once. Before the lanes take a run's points, a start point with |x|, |y| <= 2^40 and
// qd = RN(RN(x*x) + RN(y*y)) >= RN(RN(|Cx| + |Cy|) + 2.5) gets index 1 (0 when the limit is 0)
// without a step. With P = |Cx| + |Cy| <= 2^41 (accepted constants), the exact
// |z|^2 >= (1 - 4u)(P + 2.5) - 2^-1073 >= P + 2.49, so the exact first iterate has
// |z^2 + C| >= |z|^2 - P >= 2.49. The reference's parts differ from the exact ones by at most
// u|V| + 3.02vN and u|W| + 2.02vN (plus 2^-1075 where a part is subnormal), with
// N = |z|^2 + P <= |z^2 + C| + 2P: its first iterate lies within 2^-51 |z^2 + C| + 2^-59 P +
// 2^-1074 of the exact one, so its modulus exceeds 2.49 - 2^-48 - 2^-18 > 2.4, Q > 4, and the
// reference escapes at n = 1 (or returns 0 first when the limit is 0). Nothing overflows: |x|, |y|
// <= 2^40.
//
// Plain. The lanes then run the points still open through plain double steps,
// re = RN(RN(RN(x*x) - RN(y*y)) + Cx), im = RN(2 RN(x*y) + Cy), with q = RN(RN(re*re) +
// RN(im*im)), to find those whose reference orbit provably leaves at one of these iterates, or
// provably never does. Only the index matters there, not the states: the reference's index is n
// when its iterates 1 .. n-1 do not escape, iterate n does, and n is not past the limit; it is 0
// when no iterate up to the limit escapes, or when an iterate lies in the trap region. Taken only
// for RN(|Cx| + |Cy|) <= 4 (so P <= 4.0001) and start points with RN(RN(x*x) + RN(y*y)) <= 4.
// One step from states p (plain) and r (the reference's) with |p|, |r| <= m has, against the
// exact w^2 + C of each: in the plain step an error below 3.01u(m^2 + |Cx|) in the real part and
// 2.01u(m^2 + |Cy|) in the imaginary part (four and two roundings, 2|xy| <= m^2), in the
// reference's below 1.03u(m^2 + |Cx|) and 1.02u(m^2 + |Cy|) (the bounds of "The reference's
// error" plus the rounding to double), and at most 2^-1072 in all where results are subnormal; in
// modulus together E(m) <= 4.04u(2m^2 + 4.0001) + 2^-1071. With d_k the distance between the
// plain iterate p_k and the reference's r_k (d_0 = 0), |p^2 - r^2| = |p - r||p + r| gives
//   d_(k+1) <= d_k (|p_k| + |r_k|) + E(max(|p_k|, |r_k|)),
// and the lane bounds it step by step with its own |p_k|: s_k >= |p_k|, where s_k is the lanes'
// RootBound of q_k (at least sqrt(q_k): the rounded root raised by 2^-46, or on AVX-512 lanes
// q' / sqrt(q') with q' = q_k + 2^-1000 from the reciprocal root approximation, whose relative
// error is below 2^-14, raised by 2^-13) plus 2^-500 (q_k is within a factor (1 + u)^3 of |p_k|^2,
// plus 2^-1073, which the raising and the 2^-500 cover). Every state a lane steps from has
// |p_k| < 2 + 2^-50 and D_k <= 2^-12 (below), so E(max(|p_k|, |r_k|)) <= E(2 + 2^-12) =: E*,
// computed once in extended precision, raised by 2^-46 and rounded up.
// D_(k+1) = RN(fma(RN(D_k (1 + 2^-46)), RN(2 s_k + D_k), E*)): the factor covers the three
// roundings of positive terms, so D_(k+1) >= D_k (2 s_k + D_k) + E* >= d_(k+1), and d_k <= D_k.
// A lane whose D_k passes 2^-12 is dropped; for the others, the reference escapes at iterate k when
// |r_k| >= 2 + 2^-40 (then its Q >= (4 + 2^-38)(1 - 2.01v) > 4) and does not when |r_k| <= 2 -
// 2^-40. The plain q_k lies within 3u q_k + 2^-1073 of |p_k|^2, so q_k >= ((2 + 2^-40 + 2^-12)^2 +
// 2^-1000)(1 + 2^-46) gives |r_k| >= |p_k| - D_k >= 2 + 2^-40: escaped; q_k <= (2 - 2^-40 -
// 2^-12)^2 (1 - 2^-46) - 2^-1000 gives |r_k| <= |p_k| + D_k <= 2 - 2^-40: not escaped, and |p_k| <
// 2 for the next step. Both thresholds are computed once in extended precision and rounded outwards
// to double. A lane still inside at the limit has no escaping iterate up to it: index 0. Every
// kTrapLookEvery steps a lane inside is looked up in the trap region with room D_k: d2 =
// RN(RN(dx^2) + RN(dy^2)) of its plain state against a centre bounds |p_k - c|^2 <= d2 (1 + 5u)
// (trap_region.cpp), so d2 (1 + 2^-46) <= (rho - D_k)^2 (two roundings) with rho =
// RN(sqrt(squaredRadius)) (1 - 2^-46) and rho > D_k gives |r_k - c| <= |p_k - c| + D_k <= rho (1 +
// 2u), still below the square root of squaredRadius: the reference's state is in the disk, and its
// orbit never escapes (index 0). A lane whose q_k falls between the escape thresholds, or whose D_k
// grows past 2^-12, is dropped, keeps -1 and goes through the checked lanes from its start point;
// so does one still open after 1024 steps short of the limit. Nothing overflows: the lanes only
// step from states with |p| < 2 and D_k <= 2^-12.
//
// Cycle detection is CycleWatch's (fast_kernels.cpp explains why it never changes an index):
// the kernel's states are bit for bit the reference's (the one exception, a far-out result,
// escapes before any test looks at it).
//
// The lanes (export_lanes.h, four to a register with AVX2 here, eight with AVX-512 in
// export_avx512.cpp) do the same operations in the same order, each lane rounding as the
// scalar code does; K's first product comes in a fused multiply-add, which changes nothing as
// M * 2^-64 is exact. The tie rule runs for a whole register when K refused any of its active
// lanes; a lane's verdict is the same either way. Their cycle
// detection: each lane saves its state every 8, 64 and 512 steps of the loop (after the step's
// decisions) and compares every state that has passed its escape test with its saved ones, bit for
// bit (x in the registers, then y for the lanes whose x matched). A lane taking a new point forgets
// its saved states (they become a NaN pattern no lane holds: start points the lanes take are finite
// and at most 2^40, and every later state is either the first iterate, below 2^83, or has passed
// the escape test), so a saved state is a tested iterate of the lane's point or its start point
// z_0. If z_n = z_j with j < n and z_1 .. z_n all passed the test, the orbit runs through z_(j+1)
// .. z_n for ever (for j = 0 as well), no iterate up to the limit escapes, and the reference gives
// 0. The escape test of z_n comes first, so 2 -> 2 -> 2 with C = -2 still gives 1.
//
// Trap region. Every 16th iterate of the scalar kernel, and every 16 steps of the lanes' loop
// each lane's tested state, is looked up in the export's trap region (trap_region.cpp): a state
// in it never escapes, index 0.

#include "export_fma.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

#include "color_table.h"
#include "cycle_watch.h"
#include "lane_masks.h"
#include "trap_region.h"

#define OMBRILO_FMA __attribute__((target("fma")))
#define OMBRILO_LANES __attribute__((target("avx2,fma")))
#define OMBRILO_EXPORT_LANES OMBRILO_LANES
#include "export_lanes.h"

namespace ombrilo::detail {

namespace {

// The bounds and thresholds are the lanes' own (export_lanes.h), for the scalar and the lane forms
// of the one proven step.

bool InRange(double value) {
    const double magnitude = std::fabs(value);
    return value == 0.0 || (magnitude >= kLaneSmallest && magnitude <= kLaneLargest);
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

// The checked step; false when the state is out of range or the check refuses. *detailed counts
// the steps the bound K cannot take, left to the exact-tie rule.
OMBRILO_FMA inline bool CheckedStep(const FmaConstants& k, double x, double y, double* nx,
                                    double* ny, std::uint64_t* detailed) {
    if (!InRange(x) || !InRange(y)) {
        ++*detailed;
        return false;
    }
    const double aHi = x * x;
    const double aLo = std::fma(x, x, -aHi);
    const double bHi = y * y;
    const double bLo = std::fma(y, y, -bHi);
    const double pHi = x * y;
    const double pLo = std::fma(x, y, -pHi);
    const double squares = aHi + bHi;
    const double scale = squares + k.magnitude;

    const Sum s = TwoSum(aHi, -bHi);
    const Sum t = TwoSum(s.value, k.cx);
    const Sum re = TwoSum(t.value, ((t.error + s.error) + aLo) - bLo);

    const double twoP = pHi * 2.0;
    const Sum w = TwoSum(twoP, k.cy);
    const Sum im = TwoSum(w.value, w.error + pLo * 2.0);

    const double reGap = HalfGap(re.value);
    const double imGap = HalfGap(im.value);
    const double reMiss = std::fabs(re.error);
    const double imMiss = std::fabs(im.error);
    const double slack = scale * kLaneSlackScale;
    const double reBound =
        ((squares + std::fabs(s.value)) + std::fabs(re.value)) * kLaneRoundingScale + slack;
    const double imBound = (std::fabs(twoP) + std::fabs(im.value)) * kLaneRoundingScale + slack;
    if (!(reMiss + reBound < reGap) || !(imMiss + imBound < imGap)) {
        ++*detailed;
        const bool reTie =
            aLo == 0.0 && bLo == 0.0 && s.error == 0.0 && reMiss == reGap && reGap > 0.0;
        const bool imTie = pLo == 0.0 && imMiss == imGap && imGap > 0.0;
        if (!(reMiss + reBound < reGap || reTie) || !(imMiss + imBound < imGap || imTie)) {
            return false;
        }
    }
    *nx = re.value;
    *ny = im.value;
    return true;
}

// Escape test of a state from an accepted step: 1 escaped, 0 not, -1 undecided.
inline int FastEscape(double x, double y) {
    const double q = x * x + y * y;
    if (q >= kLaneEscapedAbove) {
        return 1;
    }
    return q <= kLaneInsideBelow ? 0 : -1;
}

OMBRILO_FMA int EscapeIndex(const FmaConstants& k, std::int32_t limit, double x, double y,
                            KernelCounters& tally) {
    CycleWatch<DoubleStateBits> watch;
    TrapLook trap(&ExportTrapRegion, k.cx, k.cy);
    for (std::int32_t n = 1;; ++n) {
        double nx;
        double ny;
        bool escaped;
        if (CheckedStep(k, x, y, &nx, &ny, &tally.detailedChecks)) [[likely]] {
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

// For each set of four lanes: the permutation of a register's eight floats that moves the
// doubles of those lanes to the lowest places, in order, and lane 0 to the places left.
constexpr auto MakeCompressions() {
    std::array<std::array<std::int32_t, 8>, 16> table{};
    for (unsigned lanes = 0; lanes < 16; ++lanes) {
        for (int place = 0; place < 4; ++place) {
            table[lanes][2 * place + 1] = 1;
        }
        int place = 0;
        for (int lane = 0; lane < 4; ++lane) {
            if ((lanes >> lane) & 1u) {
                table[lanes][2 * place] = 2 * lane;
                table[lanes][2 * place + 1] = 2 * lane + 1;
                ++place;
            }
        }
    }
    return table;
}

alignas(32) constexpr auto kCompressionTable = MakeCompressions();
const __m256i* const kCompressions = reinterpret_cast<const __m256i*>(kCompressionTable.data());

// The AVX2 lanes: four doubles to a register, comparisons as all-ones lanes.
struct Avx2Lanes {
    static constexpr int kWidth = 4;
    using Real = __m256d;
    using Mask = __m256d;
    using Int = __m256i;

    OMBRILO_LANES static Real Set(double v) { return _mm256_set1_pd(v); }
    OMBRILO_LANES static Real Load(const double* p) { return _mm256_load_pd(p); }
    OMBRILO_LANES static Real LoadUnaligned(const double* p) { return _mm256_loadu_pd(p); }
    // Stores the lanes `lanes` of v, whole numbers, to p[lane] as 32-bit integers.
    OMBRILO_LANES static void StoreIndices(std::int32_t* p, unsigned lanes, Real v) {
        const __m128i which = _mm_setr_epi32(
            -static_cast<int>(lanes & 1u), -static_cast<int>((lanes >> 1) & 1u),
            -static_cast<int>((lanes >> 2) & 1u), -static_cast<int>((lanes >> 3) & 1u));
        _mm_maskstore_epi32(p, which, _mm256_cvttpd_epi32(v));
    }
    OMBRILO_LANES static void StoreUnaligned(double* p, Real v) { _mm256_storeu_pd(p, v); }
    // p[columns[lane]] = index for the lanes `lanes` (the columns are whole numbers).
    OMBRILO_LANES static void WriteIndex(std::int32_t* p, Real columns, unsigned lanes,
                                         std::int32_t index) {
        alignas(32) std::int32_t column[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(column), _mm256_cvttpd_epi32(columns));
        for (; lanes != 0; lanes &= lanes - 1) {
            p[column[std::countr_zero(lanes)]] = index;
        }
    }
    // The lanes `lanes` of v moved to the lowest lanes, in order; copies of lane 0 above them.
    OMBRILO_LANES static Real Compress(Real v, unsigned lanes) {
        return _mm256_castps_pd(_mm256_permutevar8x32_ps(
            _mm256_castpd_ps(v), _mm256_load_si256(&kCompressions[lanes & 15u])));
    }
    OMBRILO_LANES static Real LaneNumbers() { return _mm256_set_pd(3, 2, 1, 0); }
    OMBRILO_LANES static double Sum(Real v) {
        const __m128d pairs = _mm_add_pd(_mm256_castpd256_pd128(v), _mm256_extractf128_pd(v, 1));
        return _mm_cvtsd_f64(_mm_add_sd(pairs, _mm_unpackhi_pd(pairs, pairs)));
    }
    OMBRILO_LANES static void Store(double* p, Real v) { _mm256_store_pd(p, v); }
    OMBRILO_LANES static double First(Real v) { return _mm256_cvtsd_f64(v); }
    OMBRILO_LANES static Int SetInt(std::int64_t v) { return _mm256_set1_epi64x(v); }
    OMBRILO_LANES static Int LoadInt(const std::int64_t* p) {
        return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
    }
    OMBRILO_LANES static void StoreInt(std::int64_t* p, Int v) {
        _mm256_store_si256(reinterpret_cast<__m256i*>(p), v);
    }
    OMBRILO_LANES static Real Add(Real a, Real b) { return _mm256_add_pd(a, b); }
    OMBRILO_LANES static Real Sub(Real a, Real b) { return _mm256_sub_pd(a, b); }
    OMBRILO_LANES static Real Mul(Real a, Real b) { return _mm256_mul_pd(a, b); }
    // At least sqrt(q) for 0 <= q <= 4: the rounded root, raised.
    OMBRILO_LANES static Real RootBound(Real q) {
        return _mm256_mul_pd(_mm256_sqrt_pd(q), _mm256_set1_pd(1.0 + 0x1p-46));
    }
    OMBRILO_LANES static Real FmSub(Real a, Real b, Real c) { return _mm256_fmsub_pd(a, b, c); }
    OMBRILO_LANES static Real FmAdd(Real a, Real b, Real c) { return _mm256_fmadd_pd(a, b, c); }
    OMBRILO_LANES static Real Abs(Real v) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), v); }
    OMBRILO_LANES static Mask Less(Real a, Real b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    OMBRILO_LANES static Mask LessEq(Real a, Real b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
    OMBRILO_LANES static Mask Greater(Real a, Real b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
    OMBRILO_LANES static Mask GreaterEq(Real a, Real b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
    OMBRILO_LANES static Mask Equal(Real a, Real b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
    OMBRILO_LANES static Mask And(Mask a, Mask b) { return _mm256_and_pd(a, b); }
    OMBRILO_LANES static Mask Or(Mask a, Mask b) { return _mm256_or_pd(a, b); }
    OMBRILO_LANES static unsigned Bits(Mask m) {
        return static_cast<unsigned>(_mm256_movemask_pd(m));
    }
    OMBRILO_LANES static Mask SameBits(Real a, Real b) {
        return _mm256_castsi256_pd(
            _mm256_cmpeq_epi64(_mm256_castpd_si256(a), _mm256_castpd_si256(b)));
    }
    OMBRILO_LANES static Int IntAdd(Int a, Int b) { return _mm256_add_epi64(a, b); }
    OMBRILO_LANES static Mask IntGreater(Int a, Int b) {
        return _mm256_castsi256_pd(_mm256_cmpgt_epi64(a, b));
    }
    OMBRILO_LANES static Real HalfGap(Real d) {
        const __m256i bits = _mm256_castpd_si256(d);
        const __m256d power = _mm256_castsi256_pd(
            _mm256_and_si256(bits, _mm256_set1_epi64x(static_cast<std::int64_t>(kExponentBits))));
        const __m256d powerOfTwo = _mm256_castsi256_pd(_mm256_cmpeq_epi64(
            _mm256_and_si256(bits, _mm256_set1_epi64x(static_cast<std::int64_t>(kMantissaBits))),
            _mm256_setzero_si256()));
        return _mm256_mul_pd(
            power, _mm256_blendv_pd(_mm256_set1_pd(0x1p-53), _mm256_set1_pd(0x1p-54), powerOfTwo));
    }
    OMBRILO_LANES static Real Replace(Real v, Real w, unsigned lanes) {
        return _mm256_blendv_pd(v, w, LanesMask(static_cast<int>(lanes)));
    }
    OMBRILO_LANES static unsigned Trapped(const TrapRegion& trap, Real x, Real y) {
        return static_cast<unsigned>(TrappedLanes(trap, x, y));
    }
};

}  // namespace

bool ProcessorHasFma() {
    return __builtin_cpu_supports("fma");
}

bool FmaAcceptsConstant(double cx, double cy) {
    return InRange(cx) && InRange(cy);
}

OMBRILO_FMA bool ExportStepFma(double cx, double cy, double x, double y, DoublePoint* next) {
    std::uint64_t detailed = 0;
    return CheckedStep(MakeConstants(cx, cy), x, y, &next->x, &next->y, &detailed);
}

OMBRILO_FMA int ExportEscapeIndexFma(double cx, double cy, std::int32_t limit, double x, double y,
                                     KernelCounters& tally) {
    return EscapeIndex(MakeConstants(cx, cy), limit, x, y, tally);
}

OMBRILO_LANES bool ExportStepLanes(double cx, double cy, double x, double y, DoublePoint* next) {
    return StepOneOnLanes<Avx2Lanes>(cx, cy, x, y, next);
}

OMBRILO_LANES void ExportRunFma(double cx, double cy, std::int32_t limit, const double* x, double y,
                                int count, std::int32_t* indices, KernelCounters& tally) {
    limit = std::clamp<std::int32_t>(limit, 0, ColorTable::kLastIndex);
    RunOnLanes<Avx2Lanes>(cx, cy, limit, x, y, count, indices, tally);
}

}  // namespace ombrilo::detail
