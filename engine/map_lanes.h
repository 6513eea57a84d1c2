#pragma once

// The map's lane kernel, written once for any register width. A file that includes this header
// first defines OMBRILO_MAP_TARGET (the processor features its functions are compiled for) and
// an operations type V (below), and instantiates MapLanes<V, ...> with it; everything here has
// internal linkage, so each file keeps its own copy compiled for its own features.
//
// V provides, for registers D of V::kWidth doubles and lane masks M:
//   Set1, Load, Store (aligned), Add, Sub, Mul, Div, Sqrt, Fma(a, b, c) = RN(a*b + c), Abs,
//   ToFloat(a) (rounded to float, back in double), SameFloatBits(a, b) (lanes whose floats
//   have equal bit patterns, as a mask P), Ge, Less, LessEqual, Eq (ordered comparisons),
//   DifferentBitsWithin(m, a, b) (lanes of m where a and b differ bit for bit), And and Bits of
//   masks M and P, Or of masks M, Join<k>(masks) (the bits of k masks M or P, mask j at bit W * j),
//   Blend(m, a, b) (b where m, a elsewhere); and kCarrySquare, whether RN(y*y) stays in the
//   group's registers from one step to the next (worth it with 32 registers, not with 16).
//
// Why the lanes give exactly the reference's indices
// --------------------------------------------------
// The map's index of a pixel (x, y) is Z2EscapeIndex(x, y, 0, 0): the main window's step with
// the constant c = (x, y) from the start point 0. The lanes run the main window's checked double
// step (z2_avx2.cpp, whose proof is the one below with C fixed) with C taken per lane:
//   sum = RN(x*x + y*y) (fused), B = RN(sum * 2^-51 + RN(|Cx| + |Cy|) * 2^-51) (fused),
//   re = RN(x*x + RN(Cx - y*y)) (fused), im = RN(2x * y + Cy) (fused),
// and keep fl32(RN(re - B)), fl32(RN(im - B)) when each part's two ends RN(. - B), RN(. + B)
// round to the same float. Every argument of that proof is about one lane's operands alone, so
// it holds lane by lane with each lane's own C:
// - Bound. The proof's B = RN(sum * 2^-51 + RN(|Cx| + |Cy|) * 2^-51) grows with
//   sum = RN(x*x + y*y). Every state a lane steps from has sum <= 4 (it passed the escape test,
//   or its sum was exactly 4 and the reference test found it inside), so the lanes use the
//   pixel's fixed B4 = RN(4 * 2^-51 + RN(|Cx| + |Cy|) * 2^-51) >= B (RN is monotone; the
//   scalings are exact). The proof needs of B only that it is positive and at least
//   (1 - u)^2 * 4u * N (u = 2^-53, N = x*x + y*y + |Cx| + |Cy|): B4 is, so its ends RN(t - B4),
//   RN(t + B4) enclose the reference's extended result as well, and the check is only stricter.
//   No sum has to be formed before a step, and the bound costs nothing per step.
// - Imaginary ends. The lanes form the imaginary part's ends as RN(2x * y + RN(Cy - B4)) and
//   RN(2x * y + RN(Cy + B4)) (fused; the inner sums are the pixel's constants), not as
//   RN(w -+ B4) from w = RN(2x * y + Cy): one operation fewer per step. With U = 2xy + Cy
//   (exact) and V = RN64(U) the reference's value, RN(Cy - B4) = Cy - B4 + e, |e| <= u(|Cy| + B4),
//   so the low end is at most U - B4 + e + u|U - B4 + e|, and
//     V - low >= B4 (1 - 2u - u^2) - u(1 + u)|Cy| - (u + v)|U| >= 4uN (1 - u)^2 (1 - 3u)
//                 - uN (2 + 2u + 2^-11) > 0
//   as |Cy|, |U| <= N and v = 2^-11 u; the high end likewise. So the ends enclose V, and the
//   proof goes on as there. Signs of zero take the two facts that argument uses: the high end
//   is never -0 (RN(Cy + B4) is not -0 as B4 > 0, and only two -0 terms sum to -0), and where U
//   is -0 (2p and Cy both -0) the low end is RN(-0 + RN(-0 - B4)) < 0 while the high end is
//   B4 > 0, so their floats differ.
// - Range. C's parts are floats here, 0 or of magnitude in [2^-149, 2^40] (the lanes take a
//   pixel only when |x|, |y| <= 2^40, MapAccepted; the others go to the scalar kernel), inside
//   the range [2^-900, 2^40] that proof asks for. The start point 0 and every later state the
//   lanes step from (it passed the escape test, |z|^2 < 4) are floats of magnitude below 2.
// - Products, both parts, signs of zero: as written there. A lane whose check fails is redone
//   with Z2Iterate itself (a guard fallback), which is the reference step.
// - One exception is taken here that the constant-C lanes leave to their second look: where y
//   and Cy are both zeros (+0 or -0), the imaginary part is exact in both arithmetics. Its exact
//   value 2xy + Cy is a zero; IEEE 754 fixes its sign the same way for the reference's
//   RN64(RN64(x*y) * 2 + Cy) and for the fused RN(2x * y + Cy): the product's sign is
//   sign(x) xor sign(y) in both, and a sum of two zeros is -0 only when both are -0. So im
//   itself is the reference's part, and fl32 keeps it. Without this every point of a row at
//   y = 0 (the real axis, which the default map contains) would fail its check at every step.
// - Escape test. sum > 4: escaped; sum < 4: not escaped, for both arithmetics (proof there);
//   sum == 4 goes to the reference test (Escaped).
// - Counting. A lane starts its pixel at z_0 = 0 with n = 0 and counts one per step; z_n is
//   tested for n = 1, 2, ...; an escaping z_n gives n. Where z_254 passes its test, the
//   reference returns 0 (it stops when n exceeds 254 without testing z_255), and so does a lane.
// - Cycle detection. Every 8 and every 64 steps of the loop each lane's state is saved (after
//   that step's decisions, so it is a tested iterate of the lane's pixel); a lane that takes a
//   new pixel gets saved states no lane value has (a NaN pattern; lane values are finite). If a
//   tested z_n equals a saved z_j (j < n) bit for bit, the orbit runs through z_(j+1) .. z_n for
//   ever, all of which passed the test: no iterate up to the limit escapes and the reference
//   gives 0 (fast_kernels.cpp). The escape test of z_n comes first.
// - Trap. Now and then (kMapTrapEvery) each lane's tested z_n, and each pixel's z_K after its
//   first steps, is shown to lie in a disk that the steps map into themselves:
//   Disks. A disk (m, r) holds a state z when |z - m| <= r. An "upper value" is computed from
//   non-negative values by at most 12 sums, products and square roots rounded to nearest, so it
//   is at least the exact value times (1 - u)^12 (u = 2^-53) while nothing underflows; times
//   kMapUp = 1 + 2^-40, rounded, it is at least the exact value. Underflow loses at most 2^-1074
//   in a sum or product and 2^-536 through a square root, less than the 2^-500 that UpperNorm
//   adds and the 2^-130 in every radius. UpperNorm(x, y) = RN(sqrt(RN(x*x + RN(y*y)))) kMapUp +
//   2^-500 is an upper value of |(x, y)|, and of the exact |a - b| when (x, y) = RN(a - b)
//   (each part off by a factor at most 1 + u) and it is taken times kMapUp once more.
//   Step of a disk. For z = m + d, |d| <= r: z^2 + c = (m^2 + c) + (2md + d^2), and
//   |2md + d^2| <= 2|m|r + r^2. The reference step rounds each part of its extended result to
//   float once: each part lies within 2^-23 N + 2^-150 of the exact z^2 + c, N = x^2 + y^2 +
//   |cx| + |cy| (run_proof.cpp argues this for the main window's step, which is this step), so
//   the complex iterate within 2^-22.5 N + 2^-149.5, and N <= (|m| + r)^2 + size with size =
//   RN(|cx| + |cy|) kMapUp. The centre, computed as RN(RN(RN(mx*mx) - RN(my*my)) + cx) and
//   RN(RN(mx*my) * 2 + cy), lies within 5u((|m| + r)^2 + size) + 2^-1072 of m^2 + c. So with r'
//   the upper value of 2|m|r + r^2 + 2^-21 ((|m| + r)^2 + size) + 2^-130 (2^-22.5 + 5u <
//   2^-21; |m| taken as UpperNorm), the disk F(m, r) = (centre, r') holds the next iterate of
//   every float state that (m, r) holds (DiskStep).
//   The trap. From z_n = (x, y) one Newton step towards a fixed point of z^2 + c, or of its
//   second iterate, gives a centre b (an estimate; any b serves the argument), and the radius
//   rho = RN(RN(RN(|RN(x - bx)| + |RN(y - by)|) kMapUp) * 2) + 2^-16 >= |z_n - b|: the disk
//   B = (b, rho) holds z_n. With E_1 = F(B) (and E_2 = F(E_1) for the second iterate): when
//   E_p lies in B (the upper value of its centre's distance from b plus its radius is at most
//   rho) and B and E_1 .. E_(p-1) lie inside |z| <= 1.5 (RN(RN(UpperNorm + radius) kMapUp) <=
//   1.5), every later iterate lies in E_1 .. E_p (by induction over rounds of p steps, E_p
//   lying in B), all inside |z| <= 1.5. Their floats' squares are exact in extended precision
//   and their sum at most 2.25 (1 + 2^-64): the reference's test never sees an escape, index
//   0. The escape test of z_n comes first. A NaN or an infinity fails the ordered comparisons
//   (an infinite rho or b fails the test against 1.5): no verdict.
// - First steps. Pixels first take kMapFirstSteps steps side by side in blocks, without cycle
//   detection, tested in order from z_1, each stopped at its first escaping iterate. That is
//   below the limit, so the limit is not reached there. A pixel that passes them enters a lane
//   with its z_K and n = K, exactly as if the lane had computed those steps.
// - The order in which pixels are done changes no index: each depends on its own c alone.
//
// The main window's trap region does not apply (it belongs to one C); each pixel's trap above is
// its own, and other pixels' orbits are not looked at.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "kernel_counters.h"
#include "map_render.h"
#include "numeric.h"
#include "point_function.h"

#ifndef OMBRILO_MAP_TARGET
#error "define OMBRILO_MAP_TARGET before including map_lanes.h"
#endif

namespace ombrilo::detail {
namespace {

constexpr float kMapLaneLimit = 0x1p40f;
constexpr double kMapBoundScale = 0x1p-51;
constexpr double kMapNoState = std::bit_cast<double>(~std::uint64_t{0});
constexpr int kMapFirstSteps = 16;
// The trap is looked for every kMapTrapEvery steps of the loop while it catches lanes, at
// doubling gaps up to kMapTrapLongest while it catches none (where no orbit settles soon).
constexpr std::int64_t kMapTrapEvery = 32;
constexpr std::int64_t kMapTrapLongest = 256;
constexpr int kMapTrapBlocks = 15;
constexpr double kMapUp = 1.0 + 0x1p-40;
constexpr std::int64_t kMapShortSave = 8;
constexpr std::int64_t kMapLongSave = 64;
static_assert(kMapFirstSteps < MaxIterations);

inline bool MapAccepted(float x, float y) {
    return std::fabs(x) <= kMapLaneLimit && std::fabs(y) <= kMapLaneLimit;
}

// kRegisters registers of first steps side by side; kGroups registers of lanes side by side.
template <typename V, int kRegisters, int kGroups>
class MapLanes {
    using D = typename V::D;
    using M = typename V::M;
    using P = typename V::P;
    static constexpr int W = V::kWidth;
    static constexpr int kBlock = W * kRegisters;
    static constexpr int kLanes = W * kGroups;
    static_assert(kLanes <= 64);

public:
    MapLanes(const float* x, const float* y, int count, std::uint8_t* indices,
             KernelCounters& tally)
        : x_(x), y_(y), count_(count), indices_(indices), tally_(tally) {}

    OMBRILO_MAP_TARGET void Run();

    // One step of each state (x[i], y[i]) with c = (cx[i], cy[i]) as a lane takes it: the check
    // with the pixel's bound, the second look, the reference step where both fail.
    OMBRILO_MAP_TARGET void StepEach(const float* cx, const float* cy, const float* x,
                                     const float* y, int count, FloatPoint* next);

private:
    // A pixel that passed its first steps: z_K, its c and where its index goes.
    struct Waiting {
        double x, y, cx, cy;
        int point;
    };

    // A register of lanes in memory, where the bookkeeping reads and writes it.
    struct alignas(64) LaneMemory {
        double x[W], y[W], cx[W], cy[W], bound[W], cyLow[W], cyHigh[W];
        double shortX[W], shortY[W], longX[W], longY[W];
        int point[W];
    };

    // A register of lanes: the state, RN(y*y), c, the pixel's bound B4, RN(cy -+ B4).
    struct Group {
        D x, y, b, cx, cy, bound, cyLow, cyHigh;
    };

    // One checked step (see above) from (x, y) with b = RN(y*y); returns the lanes whose check
    // passed.
    OMBRILO_MAP_TARGET static P Step(D cx, D cyLow, D cyHigh, D bound, D& x, D& y, D b) {
        const D re = V::Fma(x, x, V::Sub(cx, V::kCarrySquare ? b : V::Mul(y, y)));
        const D twoX = V::Add(x, x);
        const D imLow = V::Fma(twoX, y, cyLow);
        const D reLow = V::Sub(re, bound);
        const P passed = V::And(V::SameFloatBits(reLow, V::Add(re, bound)),
                                V::SameFloatBits(imLow, V::Fma(twoX, y, cyHigh)));
        x = V::ToFloat(reLow);
        y = V::ToFloat(imLow);
        return passed;
    }

    // The failed lanes' step again from (oldX, oldY), now taking the zero imaginary part (y and
    // Cy zeros) as exact; lanes that still fail are redone with the reference step.
    OMBRILO_MAP_TARGET void Redo(unsigned failed, D cx, D cy, D bound, D oldX, D oldY, D& x, D& y) {
        const D zero = V::Set1(0.0);
        const D b = V::Mul(oldY, oldY);
        const D re = V::Fma(oldX, oldX, V::Sub(cx, b));
        const D im = V::Fma(V::Add(oldX, oldX), oldY, cy);
        const D reLow = V::Sub(re, bound);
        const M zeroIm = V::And(V::Eq(oldY, zero), V::Eq(cy, zero));
        const unsigned zeroPassed =
            failed & V::Bits(V::SameFloatBits(reLow, V::Add(re, bound))) & V::Bits(zeroIm);
        x = V::Blend(zeroIm, x, V::ToFloat(reLow));
        y = V::Blend(zeroIm, y, im);
        const unsigned rest = failed & ~zeroPassed;
        if (rest != 0) {
            RedoWithReference(rest, cx, cy, oldX, oldY, x, y);
        }
    }

    // B4 = RN(4 * 2^-51 + RN(|cx| + |cy|) * 2^-51), the scaling exact (above).
    OMBRILO_MAP_TARGET static D LaneBound(D cx, D cy) {
        return V::Add(V::Set1(4.0 * kMapBoundScale),
                      V::Mul(V::Add(V::Abs(cx), V::Abs(cy)), V::Set1(kMapBoundScale)));
    }

    static double LaneBound(double cx, double cy) {
        return 4.0 * kMapBoundScale + (std::fabs(cx) + std::fabs(cy)) * kMapBoundScale;
    }

    // A disk (x, y, r) of states and what the trap's argument takes of it: its centre's
    // modulus from above.
    struct Disk {
        D x, y, r, norm;
    };

    // An upper value of |(x, y)|: RN(sqrt(RN(x*x + RN(y*y)))) kUp + 2^-500.
    OMBRILO_MAP_TARGET static D UpperNorm(D x, D y) {
        return V::Add(V::Mul(V::Sqrt(V::Fma(x, x, V::Mul(y, y))), V::Set1(kMapUp)),
                      V::Set1(0x1p-500));
    }

    // The disk F(d) that holds the next iterate of every float point of d (the trap, above).
    OMBRILO_MAP_TARGET static Disk DiskStep(const Disk& d, D cx, D cy, D size) {
        const D up = V::Set1(kMapUp);
        const D reach = V::Add(d.norm, d.r);
        const D spread = V::Add(V::Add(V::Mul(V::Mul(V::Set1(2.0), d.norm), d.r), V::Mul(d.r, d.r)),
                                V::Add(V::Mul(V::Add(V::Mul(reach, reach), size), V::Set1(0x1p-21)),
                                       V::Set1(0x1p-130)));
        Disk next;
        next.x = V::Add(V::Sub(V::Mul(d.x, d.x), V::Mul(d.y, d.y)), cx);
        next.y = V::Add(V::Mul(V::Mul(d.x, d.y), V::Set1(2.0)), cy);
        next.r = V::Mul(spread, up);
        next.norm = V::Set1(0.0);  // formed by WithNorm where it is needed
        return next;
    }

    OMBRILO_MAP_TARGET static Disk WithNorm(Disk d) {
        d.norm = UpperNorm(d.x, d.y);
        return d;
    }

    // Whether d lies inside |z| <= 1.5.
    OMBRILO_MAP_TARGET static M DiskInside(const Disk& d) {
        return V::LessEqual(V::Mul(V::Add(d.norm, d.r), V::Set1(kMapUp)), V::Set1(1.5));
    }

    // Whether d lies in the disk around b of radius rho.
    OMBRILO_MAP_TARGET static M DiskWithin(const Disk& d, D bx, D by, D rho) {
        const D up = V::Set1(kMapUp);
        const D distance = UpperNorm(V::Sub(d.x, bx), V::Sub(d.y, by));
        return V::LessEqual(V::Mul(V::Add(V::Mul(distance, up), d.r), up), rho);
    }

    // The disk around the estimate (bx, by) of a cycle point that holds the state (x, y).
    OMBRILO_MAP_TARGET static Disk DiskAround(D x, D y, D bx, D by) {
        const D rho = V::Add(
            V::Mul(V::Mul(V::Add(V::Abs(V::Sub(x, bx)), V::Abs(V::Sub(y, by))), V::Set1(kMapUp)),
                   V::Set1(2.0)),
            V::Set1(0x1p-16));
        return {bx, by, rho, UpperNorm(bx, by)};
    }

    // An estimate only: one Newton step from z = (x, y) towards a fixed point of a map g with
    // g(z) = (gx, gy) and g'(z) = (dx, dy): b = z - (g(z) - z) / (g'(z) - 1).
    OMBRILO_MAP_TARGET static void Newton(D x, D y, D gx, D gy, D dx, D dy, D& bx, D& by) {
        const D fx = V::Sub(gx, x);
        const D fy = V::Sub(gy, y);
        const D ex = V::Sub(dx, V::Set1(1.0));
        const D den = V::Add(V::Mul(ex, ex), V::Mul(dy, dy));
        const D inverse = V::Div(V::Set1(1.0), den);
        bx = V::Sub(x, V::Mul(V::Add(V::Mul(fx, ex), V::Mul(fy, dy)), inverse));
        by = V::Sub(y, V::Mul(V::Sub(V::Mul(fy, ex), V::Mul(fx, dy)), inverse));
    }

    // The lanes whose state (x, y) with constant (cx, cy) lies in a disk that one or two steps
    // map into itself, inside |z| <= 1.5 all the way (the trap, above).
    OMBRILO_MAP_TARGET static M Trapped(D x, D y, D cx, D cy) {
        const D size = V::Mul(V::Add(V::Abs(cx), V::Abs(cy)), V::Set1(kMapUp));
        // Estimates of a fixed point of z^2 + c and of its second iterate.
        const D f1x = V::Add(V::Sub(V::Mul(x, x), V::Mul(y, y)), cx);
        const D f1y = V::Add(V::Mul(V::Add(x, x), y), cy);
        D b1x, b1y;
        Newton(x, y, f1x, f1y, V::Add(x, x), V::Add(y, y), b1x, b1y);
        const Disk b1 = DiskAround(x, y, b1x, b1y);
        const M fixed =
            V::And(DiskInside(b1), DiskWithin(DiskStep(b1, cx, cy, size), b1x, b1y, b1.r));
        // g = f(f(z)), g' = 4 z f(z).
        const D f2x = V::Add(V::Sub(V::Mul(f1x, f1x), V::Mul(f1y, f1y)), cx);
        const D f2y = V::Add(V::Mul(V::Add(f1x, f1x), f1y), cy);
        const D px = V::Sub(V::Mul(x, f1x), V::Mul(y, f1y));
        const D py = V::Add(V::Mul(x, f1y), V::Mul(y, f1x));
        D b2x, b2y;
        Newton(x, y, f2x, f2y, V::Mul(px, V::Set1(4.0)), V::Mul(py, V::Set1(4.0)), b2x, b2y);
        const Disk b2 = DiskAround(x, y, b2x, b2y);
        const Disk e1 = WithNorm(DiskStep(b2, cx, cy, size));
        const M second = V::And(V::And(DiskInside(b2), DiskInside(e1)),
                                DiskWithin(DiskStep(e1, cx, cy, size), b2x, b2y, b2.r));
        return V::Or(fixed, second);
    }

    // The lanes of `failed` stepped again from (oldX, oldY) with the reference step.
    OMBRILO_MAP_TARGET void RedoWithReference(unsigned failed, D cx, D cy, D oldX, D oldY, D& x,
                                              D& y) {
        alignas(64) double ox[W], oy[W], lcx[W], lcy[W], nx[W], ny[W];
        V::Store(ox, oldX);
        V::Store(oy, oldY);
        V::Store(lcx, cx);
        V::Store(lcy, cy);
        V::Store(nx, x);
        V::Store(ny, y);
        for (unsigned bits = failed; bits != 0; bits &= bits - 1) {
            const int i = std::countr_zero(bits);
            const FloatPoint next =
                Z2Iterate(lcx[i], lcy[i], static_cast<float>(ox[i]), static_cast<float>(oy[i]));
            nx[i] = next.x;
            ny[i] = next.y;
            ++tally_.guardFallbacks;
        }
        x = V::Load(nx);
        y = V::Load(ny);
    }

    // Whether z_n with RN(|z|^2) = sum escapes; a tie at 4 goes to the reference test.
    bool EscapesAt(double sum, double x, double y) {
        if (sum != 4.0) {
            return sum > 4.0;
        }
        ++tally_.escapeTies;
        return Escaped(x, y);
    }

    void Write(int point, int index, int n) {
        indices_[point] = static_cast<std::uint8_t>(index);
        tally_.iterates += static_cast<std::uint64_t>(n);
    }

    // Lane i of m takes the next waiting pixel, or idles at 0 with c = 0 (which stays finite)
    // when none is left; false then.
    OMBRILO_MAP_TARGET bool Refill(LaneMemory& m, int i) {
        Waiting pixel{0.0, 0.0, 0.0, 0.0, -1};
        const bool taken = Take(&pixel);
        m.x[i] = pixel.x;
        m.y[i] = pixel.y;
        m.cx[i] = pixel.cx;
        m.cy[i] = pixel.cy;
        m.bound[i] = LaneBound(pixel.cx, pixel.cy);
        m.cyLow[i] = pixel.cy - m.bound[i];
        m.cyHigh[i] = pixel.cy + m.bound[i];
        m.point[i] = pixel.point;
        m.shortX[i] = m.shortY[i] = m.longX[i] = m.longY[i] = kMapNoState;
        return taken;
    }

    OMBRILO_MAP_TARGET static void Load(Group& group, const LaneMemory& m) {
        group.x = V::Load(m.x);
        group.y = V::Load(m.y);
        group.cx = V::Load(m.cx);
        group.cy = V::Load(m.cy);
        group.cyLow = V::Load(m.cyLow);
        group.cyHigh = V::Load(m.cyHigh);
        group.bound = V::Load(m.bound);
        group.b = V::Mul(group.y, group.y);
    }

    // The next waiting pixel; false when every pixel has been handed out.
    OMBRILO_MAP_TARGET bool Take(Waiting* pixel) {
        while (next_ == size_) {
            next_ = size_ = 0;
            if (!RunBlock()) {
                return false;
            }
        }
        *pixel = waiting_[next_++];
        return true;
    }

    // First steps of the next block of up to kBlock pixels the lanes take (the others are done
    // by the scalar kernel on the way); false at the end.
    OMBRILO_MAP_TARGET bool RunBlock();

    const float* x_;
    const float* y_;
    int count_;
    std::uint8_t* indices_;
    KernelCounters& tally_;
    int scanned_ = 0;  // pixels before this one are done or handed to a block
    Waiting waiting_[kBlock];
    int next_ = 0;
    int size_ = 0;
    int blockTrapWait_ = 0;  // blocks with survivors to pass before the trap is looked for
    int blockTrapGap_ = 0;
};

template <typename V, int kRegisters, int kGroups>
OMBRILO_MAP_TARGET void MapLanes<V, kRegisters, kGroups>::StepEach(const float* cx, const float* cy,
                                                                   const float* x, const float* y,
                                                                   int count, FloatPoint* next) {
    for (int first = 0; first < count; first += W) {
        const int lanes = std::min(W, count - first);
        alignas(64) double lcx[W], lcy[W], lx[W], ly[W];
        for (int i = 0; i < W; ++i) {
            lcx[i] = i < lanes ? cx[first + i] : 0.0;
            lcy[i] = i < lanes ? cy[first + i] : 0.0;
            lx[i] = i < lanes ? x[first + i] : 0.0;
            ly[i] = i < lanes ? y[first + i] : 0.0;
        }
        const D vcx = V::Load(lcx);
        const D vcy = V::Load(lcy);
        const D bound = LaneBound(vcx, vcy);
        const D oldX = V::Load(lx);
        const D oldY = V::Load(ly);
        D nx = oldX;
        D ny = oldY;
        const D cyLow = V::Sub(vcy, bound);
        const D cyHigh = V::Add(vcy, bound);
        const unsigned failed =
            ~V::Bits(Step(vcx, cyLow, cyHigh, bound, nx, ny, V::Mul(oldY, oldY))) &
            static_cast<unsigned>((std::uint64_t{1} << lanes) - 1);
        if (failed != 0) {
            Redo(failed, vcx, vcy, bound, oldX, oldY, nx, ny);
        }
        V::Store(lx, nx);
        V::Store(ly, ny);
        for (int i = 0; i < lanes; ++i) {
            next[first + i] = {static_cast<float>(lx[i]), static_cast<float>(ly[i])};
        }
    }
}

template <typename V, int kRegisters, int kGroups>
OMBRILO_MAP_TARGET bool MapLanes<V, kRegisters, kGroups>::RunBlock() {
    int points[kBlock];
    int taken = 0;
    while (taken < kBlock && scanned_ < count_) {
        const int i = scanned_++;
        if (MapAccepted(x_[i], y_[i])) {
            points[taken++] = i;
        } else {
            indices_[i] = static_cast<std::uint8_t>(MapEscapeIndexDetecting(x_[i], y_[i]));
        }
    }
    if (taken == 0) {
        return false;
    }
    alignas(64) double bx[kBlock];
    alignas(64) double by[kBlock];
    for (int k = 0; k < kBlock; ++k) {
        bx[k] = k < taken ? x_[points[k]] : 0.0;
        by[k] = k < taken ? y_[points[k]] : 0.0;
    }
    D cx[kRegisters], cy[kRegisters], bound[kRegisters], cyLow[kRegisters], cyHigh[kRegisters];
    D x[kRegisters], y[kRegisters], b[kRegisters];
    unsigned alive[kRegisters];
    for (int r = 0; r < kRegisters; ++r) {
        cx[r] = V::Load(bx + W * r);
        cy[r] = V::Load(by + W * r);
        bound[r] = LaneBound(cx[r], cy[r]);
        cyLow[r] = V::Sub(cy[r], bound[r]);
        cyHigh[r] = V::Add(cy[r], bound[r]);
        x[r] = y[r] = b[r] = V::Set1(0.0);
        const int lanes = std::clamp(taken - W * r, 0, W);
        alive[r] = static_cast<unsigned>((std::uint64_t{1} << lanes) - 1);
    }
    const D four = V::Set1(4.0);
    for (int n = 1; n <= kMapFirstSteps; ++n) {
        unsigned anyAlive = 0;
#pragma GCC unroll 4
        for (int r = 0; r < kRegisters; ++r) {
            const D oldX = x[r];
            const D oldY = y[r];
            const unsigned failed =
                ~V::Bits(Step(cx[r], cyLow[r], cyHigh[r], bound[r], x[r], y[r], b[r])) & alive[r];
            if (failed != 0) [[unlikely]] {
                Redo(failed, cx[r], cy[r], bound[r], oldX, oldY, x[r], y[r]);
            }
            b[r] = V::Mul(y[r], y[r]);
            const D sum = V::Fma(x[r], x[r], b[r]);
            const unsigned out = V::Bits(V::Ge(sum, four)) & alive[r];
            if (out != 0) {
                alignas(64) double sx[W], sy[W], ss[W];
                V::Store(sx, x[r]);
                V::Store(sy, y[r]);
                V::Store(ss, sum);
                for (unsigned bits = out; bits != 0; bits &= bits - 1) {
                    const int i = std::countr_zero(bits);
                    if (EscapesAt(ss[i], sx[i], sy[i])) {
                        Write(points[W * r + i], n, n);
                        alive[r] &= ~(1u << i);
                    }
                }
            }
            anyAlive |= alive[r];
        }
        if (anyAlive == 0) {
            return true;
        }
    }
    // Pixels already in a trap never take a lane. The trap is looked for in every block while
    // it catches pixels, else after doubling numbers of blocks passed (up to kMapTrapBlocks).
    const bool lookForTrap = blockTrapWait_ == 0;
    blockTrapWait_ = std::max(0, blockTrapWait_ - 1);
    bool caught = false;
    for (int r = 0; r < kRegisters; ++r) {
        if (alive[r] == 0) {
            continue;
        }
        if (lookForTrap) {
            const unsigned trapped = V::Bits(Trapped(x[r], y[r], cx[r], cy[r])) & alive[r];
            for (unsigned bits = trapped; bits != 0; bits &= bits - 1) {
                Write(points[W * r + std::countr_zero(bits)], 0, kMapFirstSteps);
                ++tally_.trapped;
            }
            alive[r] &= ~trapped;
            caught = caught || trapped != 0;
        }
        alignas(64) double sx[W], sy[W];
        V::Store(sx, x[r]);
        V::Store(sy, y[r]);
        for (unsigned bits = alive[r]; bits != 0; bits &= bits - 1) {
            const int i = std::countr_zero(bits);
            waiting_[size_++] = {sx[i], sy[i], bx[W * r + i], by[W * r + i], points[W * r + i]};
        }
    }
    if (lookForTrap) {
        blockTrapGap_ = caught ? 0 : std::min(2 * blockTrapGap_ + 1, kMapTrapBlocks);
        blockTrapWait_ = blockTrapGap_;
    }
    return true;
}

template <typename V, int kRegisters, int kGroups>
OMBRILO_MAP_TARGET void MapLanes<V, kRegisters, kGroups>::Run() {
    LaneMemory memory[kGroups];
    Group groups[kGroups];
    std::uint64_t active = 0;
    // The loop step at which the lane's pixel would have started (z_0) had the lane computed its
    // first steps too: its count is step - start.
    std::int64_t start[kLanes];
    for (int g = 0; g < kGroups; ++g) {
        for (int i = 0; i < W; ++i) {
            if (Refill(memory[g], i)) {
                active |= std::uint64_t{1} << (W * g + i);
            }
            start[W * g + i] = -kMapFirstSteps;
        }
        Load(groups[g], memory[g]);
    }
    // The first loop step at which some active lane reaches the limit.
    std::int64_t nextLimit = 0;
    auto findNextLimit = [&] {
        nextLimit = std::numeric_limits<std::int64_t>::max();
        for (int lane = 0; lane < kLanes; ++lane) {
            if ((active >> lane) & 1) {
                nextLimit = std::min(nextLimit, start[lane] + MaxIterations);
            }
        }
    };
    findNextLimit();
    const D four = V::Set1(4.0);
    std::int64_t trapGap = kMapTrapEvery;
    std::int64_t nextTrap = kMapTrapEvery;
    constexpr std::uint64_t kGroupMask = (std::uint64_t{1} << W) - 1;

    for (std::int64_t step = 1; active != 0; ++step) {
        D oldX[kGroups], oldY[kGroups];
        P passed[kGroups];
#pragma GCC unroll 8
        for (int g = 0; g < kGroups; ++g) {
            Group& group = groups[g];
            oldX[g] = group.x;
            oldY[g] = group.y;
            passed[g] =
                Step(group.cx, group.cyLow, group.cyHigh, group.bound, group.x, group.y, group.b);
        }
        const std::uint64_t failed = ~V::template Join<kGroups>(passed) & active;
        if (failed != 0) [[unlikely]] {
            for (int g = 0; g < kGroups; ++g) {
                const auto lanes = static_cast<unsigned>((failed >> (W * g)) & kGroupMask);
                if (lanes != 0) {
                    Redo(lanes, groups[g].cx, groups[g].cy, groups[g].bound, oldX[g], oldY[g],
                         groups[g].x, groups[g].y);
                }
            }
        }
        M going[kGroups];
#pragma GCC unroll 8
        for (int g = 0; g < kGroups; ++g) {
            Group& group = groups[g];
            const LaneMemory& m = memory[g];
            const D square = V::Mul(group.y, group.y);
            if constexpr (V::kCarrySquare) {
                group.b = square;
            }
            const D sum = V::Fma(group.x, group.x, square);
            // The lanes that go on undisturbed: inside, and x unlike both saved ones (only x is
            // compared here; the bookkeeping compares both parts).
            going[g] = V::DifferentBitsWithin(
                V::DifferentBitsWithin(V::Less(sum, four), group.x, V::Load(m.shortX)), group.x,
                V::Load(m.longX));
        }
        std::uint64_t flagged = ~V::template Join<kGroups>(going);
        std::uint64_t trapped = 0;
        if (step == nextTrap) {
            M caught[kGroups];
            for (int g = 0; g < kGroups; ++g) {
                caught[g] = Trapped(groups[g].x, groups[g].y, groups[g].cx, groups[g].cy);
            }
            trapped = V::template Join<kGroups>(caught) & active;
            flagged |= trapped;
            trapGap = trapped != 0 ? kMapTrapEvery : std::min(2 * trapGap, kMapTrapLongest);
            nextTrap = step + trapGap;
        }
        if (step == nextLimit) {
            for (int lane = 0; lane < kLanes; ++lane) {
                if (start[lane] + MaxIterations == step) {
                    flagged |= std::uint64_t{1} << lane;
                }
            }
        }
        flagged &= active;

        // Bookkeeping: a lane whose pixel is decided writes its index and takes the next one.
        for (int g = 0; flagged != 0 && g < kGroups; ++g) {
            auto lanes = static_cast<unsigned>((flagged >> (W * g)) & kGroupMask);
            if (lanes == 0) {
                continue;
            }
            LaneMemory& m = memory[g];
            V::Store(m.x, groups[g].x);
            V::Store(m.y, groups[g].y);
            bool refilled = false;
            for (; lanes != 0; lanes &= lanes - 1) {
                const int i = std::countr_zero(lanes);
                const int lane = W * g + i;
                const int n = static_cast<int>(step - start[lane]);
                int index = -1;
                // The lanes' sum again: RN(x*x + RN(y*y)), fused.
                const double sum = std::fma(m.x[i], m.x[i], m.y[i] * m.y[i]);
                if (sum >= 4.0 && EscapesAt(sum, m.x[i], m.y[i])) {
                    index = n;
                } else if (((trapped >> lane) & 1) != 0) {
                    index = 0;
                    ++tally_.trapped;
                } else if (n >= MaxIterations ||
                           (SameBits(m.x[i], m.shortX[i]) && SameBits(m.y[i], m.shortY[i])) ||
                           (SameBits(m.x[i], m.longX[i]) && SameBits(m.y[i], m.longY[i]))) {
                    index = 0;
                }
                if (index < 0) {
                    continue;  // |z|^2 was 4 in double only, or only x matched a saved state
                }
                Write(m.point[i], index, n);
                if (!Refill(m, i)) {
                    active &= ~(std::uint64_t{1} << lane);
                }
                start[lane] = step - kMapFirstSteps;
                // A lane's new pixel may reach the limit before the others.
                nextLimit = std::min(nextLimit, start[lane] + MaxIterations);
                refilled = true;
            }
            if (refilled) {
                Load(groups[g], m);
            }
        }
        if (step == nextLimit) {
            findNextLimit();
        }

        if (step % kMapShortSave == 0) {
            const bool saveLong = step % kMapLongSave == 0;
            for (int g = 0; g < kGroups; ++g) {
                V::Store(memory[g].shortX, groups[g].x);
                V::Store(memory[g].shortY, groups[g].y);
                if (saveLong) {
                    V::Store(memory[g].longX, groups[g].x);
                    V::Store(memory[g].longY, groups[g].y);
                }
            }
        }
    }
}

}  // namespace
}  // namespace ombrilo::detail
