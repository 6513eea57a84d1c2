// Why a disk's verdict is every pixel's index
// --------------------------------------------
// Notation: u = 2^-53, RN rounding to nearest in double, |w| the modulus of a complex w. The
// pixels of a block are the points c of the rectangle given (as doubles, exactly the floats
// MapEscapeIndex takes); their orbits are z_0 = 0, z_(n+1) = Z2Iterate(c, z_n). The disk D_n
// = (m, r) holds z_n of every pixel: |z_n - m| <= r. D_0 = (0, 0, 0) holds the start point.
//
// The constant. cc is any double point; rc >= the greatest |c - cc| over the rectangle, and
// size >= |ccx| + |ccy| + 2rc, both computed as "upper" values (below). Then |cx| + |cy| <= size
// for every pixel.
//
// Upper values. A value computed from non-negative exact inputs (or inputs already bounded from
// above) by at most 12 sums, products and square roots rounded to nearest is at least the exact
// value times (1 - u)^12 while nothing underflows; multiplied by kUp = 1 + 2^-40 and rounded it
// is at least the exact value. An underflow loses at most 2^-1074 absolute in a sum or product,
// and at most 2^-536 in a square root of one: every place that could meet one adds kTiny
// = 2^-500 or more (UpperNorm), or ends in a comparison with a margin far above it. Likewise
// LowerNorm (times kDown = 1 - 2^-40) is at most the exact modulus whenever it is at least 1,
// where no underflow matters; it is only ever compared with 2.
//
// One step. For z = m + d (|d| <= r) and c = cc + g (|g| <= rc),
//   z^2 + c = (m^2 + cc) + (2md + d^2 + g),  |2md + d^2 + g| <= 2|m|r + r^2 + rc.
// The point function rounds each part of its extended result to float: each part is off from
// the exact z^2 + c by at most 2^-23 N + 2^-150 with N = x^2 + y^2 + |cx| + |cy| (run_proof.cpp
// argues this for the main window's step, which is the map's step with C = c), so the complex
// iterate by at most 2^-22.5 N + 2^-149.5. N <= (|m| + r)^2 + size. The new centre is computed
// as RN(RN(RN(mx*mx) - RN(my*my)) + ccx) and RN(RN(mx*my) * 2 + ccy): its real part is off from
// mx^2 - my^2 + ccx by at most 4u(|m|^2 + |ccx|), the imaginary part by at most 3u(|m|^2 + |ccy|),
// plus 2^-1073 for underflow, so the centre by at most 5u((|m| + r)^2 + size) + 2^-1072. The
// new radius is the upper value of
//   2|m|r + r^2 + rc + 2^-21 ((|m| + r)^2 + size) + 2^-130,
// which exceeds the sum of all three (2^-22.5 + 5u < 2^-21, and 2^-130 covers 2^-149.5, the
// centre's underflow and the upper values' own kTiny slack). So D_(n+1) holds every z_(n+1).
//
// Escape test. Inside: the upper value hi of |m| + r has RN(hi * hi) <= 4 - 2^-20, so every
// |z_n|^2 < 4 - 2^-21; the reference's test squares the floats exactly in extended precision
// and rounds their sum by a relative 2^-64: below 4, not escaped. Outside: RN(lo - r) >= 2 +
// 2^-20 with lo <= |m| means |m| - r > 2 + 2^-21 (RN is monotone and 2 + 2^-21 a double), so
// every |z_n|^2 > 4 + 2^-19, and its extended sum is at least 4: escaped. Since the disks have
// radius at least rc, a disk that passed the inside test holds only |m| + r < 2, so no value
// overflows (the rectangle's parts are at most 2^40).
//
// Verdicts. When D_1 .. D_(n-1) are inside and D_n outside, every pixel's first escaping iterate
// is z_n: index n (n <= MaxIterations). When D_1 .. D_254 are inside, no tested iterate of any
// pixel escapes: index 0. Earlier: when D_1 .. D_n are inside and a disk B holds D_n, and the
// disks E_1 = F(B), .., E_p = F(E_(p-1)) (F the step above) are all inside with E_p inside B,
// then every later iterate lies in one of E_1 .. E_p (by induction over rounds of p steps, as
// E_p lies in B), all inside: index 0. Which B is tried does not matter to the argument.

#include "map_proof.h"

#include <algorithm>
#include <cmath>

#include "point_function.h"

namespace ombrilo {

namespace {

constexpr double kUp = 1.0 + 0x1p-40;
constexpr double kDown = 1.0 - 0x1p-40;
constexpr double kTiny = 0x1p-500;
constexpr double kStepRelative = 0x1p-21;
constexpr double kStepAbsolute = 0x1p-130;
constexpr double kEscapeMargin = 0x1p-20;
// A disk around the orbit is tried every kLookEvery steps, for cycles of 1 .. kLongestCycle.
constexpr int kLookEvery = 8;
constexpr int kLongestCycle = 2;

struct Disk {
    double x;
    double y;
    double r;
};

struct Constant {
    double x;
    double y;
    double r;
    double size;
};

// At least |(x, y)|.
inline double UpperNorm(double x, double y) {
    return std::sqrt(x * x + y * y) * kUp + kTiny;
}

// At most |(x, y)| when it is at least 1.
inline double LowerNorm(double x, double y) {
    return std::sqrt(x * x + y * y) * kDown;
}

// The step F of a disk whose centre has UpperNorm m.
inline Disk Step(const Disk& z, double m, const Constant& c) {
    const double reach = m + z.r;
    const double norm = reach * reach + c.size;
    const double r =
        ((2.0 * m) * z.r + z.r * z.r + c.r + norm * kStepRelative + kStepAbsolute) * kUp;
    return {(z.x * z.x - z.y * z.y) + c.x, (z.x * z.y) * 2.0 + c.y, r};
}

// Whether the disk lies inside |z| = 2 (with the margin above); m is its centre's UpperNorm.
inline bool Inside(const Disk& z, double m) {
    const double hi = (m + z.r) * kUp;
    return hi * hi <= 4.0 - kEscapeMargin;
}

inline bool Outside(const Disk& z) {
    return LowerNorm(z.x, z.y) - z.r >= 2.0 + kEscapeMargin;
}

// Whether every point of a lies in b.
inline bool Contains(const Disk& b, const Disk& a) {
    return (UpperNorm(a.x - b.x, a.y - b.y) * kUp + a.r) * kUp <= b.r;
}

// Whether some disk around the orbit's disk `now` (step n), chosen from the disk p steps before,
// is mapped into itself in p steps with every disk on the way inside.
bool Trapped(const Disk& now, const Disk& before, int p, const Constant& c) {
    const double drift = std::sqrt((now.x - before.x) * (now.x - before.x) +
                                   (now.y - before.y) * (now.y - before.y));
    const Disk b{now.x, now.y, 2.0 * (now.r + drift)};
    if (!(now.r <= b.r)) {
        return false;
    }
    Disk e = b;
    for (int k = 0; k < p; ++k) {
        e = Step(e, UpperNorm(e.x, e.y), c);
        if (!Inside(e, UpperNorm(e.x, e.y))) {
            return false;
        }
    }
    return Contains(b, e);
}

}  // namespace

int ProvenMapIndex(const Box& rect, int steps, int* stepsTaken) {
    Constant c;
    c.x = (rect.xLow + rect.xHigh) * 0.5;
    c.y = (rect.yLow + rect.yHigh) * 0.5;
    const double dx = std::max(std::fabs(rect.xHigh - c.x), std::fabs(c.x - rect.xLow));
    const double dy = std::max(std::fabs(rect.yHigh - c.y), std::fabs(c.y - rect.yLow));
    c.r = UpperNorm(dx, dy);
    c.size = (std::fabs(c.x) + std::fabs(c.y) + 2.0 * c.r) * kUp;
    // The last kLongestCycle + 1 disks, D_n at n % (kLongestCycle + 1).
    Disk recent[kLongestCycle + 1];
    Disk z{0.0, 0.0, 0.0};
    double m = 0.0;
    recent[0] = z;
    const int last = std::min(steps, MaxIterations);
    for (int n = 1; n <= last; ++n) {
        z = Step(z, m, c);
        m = UpperNorm(z.x, z.y);
        recent[n % (kLongestCycle + 1)] = z;
        if (stepsTaken != nullptr) {
            *stepsTaken = n;
        }
        if (!Inside(z, m)) {
            return Outside(z) ? n : -1;
        }
        if (n % kLookEvery == 0) {
            for (int p = 1; p <= kLongestCycle; ++p) {
                if (Trapped(z, recent[(n - p) % (kLongestCycle + 1)], p, c)) {
                    return 0;
                }
            }
        }
    }
    return steps >= MaxIterations ? 0 : -1;
}

}  // namespace ombrilo
