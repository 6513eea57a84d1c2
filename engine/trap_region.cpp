// Why an orbit that enters the region never escapes
// --------------------------------------------------
// The region is a ring of disks D_i with centres c_i (doubles near an attracting cycle of
// f(z) = z^2 + C) and radii r_i; indices run modulo p. For z = c + w with |w| <= r, write
// c = |c| e^(ia) and w = r e^(ia) v with |v| <= 1. With the shift s = r^2 e^(2ia),
//   f(z) - f(c) - s = 2cw + w^2 - s = r e^(2ia) (2|c| v + r (v^2 - 1)),
// a polynomial in v whose modulus on |v| <= 1 is largest on |v| = 1, where it is
// r |2|c| + 2ir sin(t)| <= 2r sqrt(|c|^2 + r^2) (v = e^(it): v^2 - 1 = 2i sin(t) e^(it)). So f
// maps D(c, r) into the disk around f(c) + s of radius 2r sqrt(|c|^2 + r^2): the square of w
// costs only about r^3 / |c| beyond the linear part, where a disk around f(c) itself would
// cost r^2. (For c = 0 take a = 0: the bound is 2r^2.) The point function's step F differs
// from f by at most `stepError` in each part, so by at most 1.5 stepError in distance,
// wherever |z| < 2. The ring's radii satisfy
//   r_(i+1) >= |f(c_i) + s_i - c_(i+1)| + 2 r_i sqrt(|c_i|^2 + r_i^2) + 1.5 stepError
// for every i (the last one closing the ring: the bound for disk p is at most r_0, around
// c_0), and |c_i| + r_i <= 1.99, every bound computed in long double and then raised by a
// factor 1 + 2^-50, which covers the roundings of those few operations; the residuals
// |f(c_i) + s_i - c_(i+1)| are computed from the very doubles used as centres. Then F maps
// disk i into disk i + 1: a state in the region stays in it for ever, |z| <= 1.99 on the way,
// and the escape test (|z|^2 >= 4 after rounding) never passes.
//
// The membership test. dx = RN(x - cx), dy = RN(y - cy) and d2 = RN(dx^2 + dy^2) however the
// products are rounded (plain or fused): |x - cx| <= |dx| / (1 - u) with u = 2^-53, and
// d2 >= (dx^2 + dy^2)(1 - u)^2, so |z - c|^2 <= d2 (1 + 5u) (underflow adds at most 2^-1073,
// and no radius is below 2^-40). A state is taken as inside when d2 <= squaredRadius, which is
// r^2 (1 - 2^-45) rounded to double: then |z - c|^2 < r^2.
//
// Finding the ring. The critical orbit (from 0) is drawn to any attracting cycle. After a few
// thousand steps (in double) its period is the first p at which the orbit comes back close
// to itself; Newton's method on f^p(z) - z then gives a cycle point to long double accuracy,
// and the multiplier 2^p c_0 .. c_(p-1) says how strongly it attracts. For a first radius the
// centres are then settled so that the ring's own map (c -> f(c) + s, with the radii it
// implies) brings the first centre back to itself: Newton steps with the multiplier standing
// in for that map's derivative. None of this has to be exact: the ring is checked as above
// with the centres and radii actually used.

#include "trap_region.h"

#include <bit>
#include <cmath>
#include <complex>

namespace ombrilo {

namespace {

using Complex = std::complex<long double>;

constexpr int kSettleSteps = kCriticalSteps;
constexpr double kComesBack = 1e-6;
constexpr int kNewtonSteps = 12;
constexpr long double kNewtonResidual = 1e-15L;
constexpr long double kWeakestMultiplier = 0.9995L;
constexpr long double kFarthest = 1.99L;
constexpr long double kRaised = 1.0L + 0x1p-50L;
constexpr long double kSmallestRadius = 0x1p-40L;
constexpr long double kRadiusShrink = 0.8L;
constexpr long double kMembershipMargin = 1.0L - 0x1p-45L;
constexpr int kSettleRounds = 30;
constexpr long double kSettled = 0x1p-120L;  // squared relative size of a last settling step
constexpr int kRefineSteps = 4;

Complex Step(Complex z, Complex c) {
    return {z.real() * z.real() - z.imag() * z.imag() + c.real(),
            2.0L * z.real() * z.imag() + c.imag()};
}

long double Magnitude(long double x, long double y) {
    return std::sqrt(x * x + y * y) * kRaised;
}

// z -> z^2 + C in double, for following the critical orbit.
void StepInDouble(double& x, double& y, double cx, double cy) {
    const double xy = x * y;
    x = x * x - y * y + cx;
    y = xy + xy + cy;
}

// The first p <= kMaxDisks after which the orbit of z comes back within kComesBack of it, 0
// when there is none.
int ComesBackAfter(double x, double y, double cx, double cy) {
    double wx = x;
    double wy = y;
    for (int p = 1; p <= TrapRegion::kMaxDisks; ++p) {
        StepInDouble(wx, wy, cx, cy);
        const double dx = wx - x;
        const double dy = wy - y;
        if (dx * dx + dy * dy < kComesBack * kComesBack) {
            return p;
        }
    }
    return 0;
}

// A cycle point of an attracting cycle reached by the critical orbit, and its period; 0 when
// there is none to be found.
int FindCycle(Complex c, Complex* point) {
    // The settling in double, several times faster than in long double: it only has to come
    // close to the cycle, which Newton's method below then finds in long double. (Stopping as
    // soon as the orbit comes back to itself would find multiples of the period, as an orbit
    // that spirals in comes back closer after several turns than after one.)
    const double cx = static_cast<double>(c.real());
    const double cy = static_cast<double>(c.imag());
    double x = 0.0;
    double y = 0.0;
    for (int n = 1; n <= kSettleSteps; ++n) {
        StepInDouble(x, y, cx, cy);
        if (!(x * x + y * y <= 4.0)) {
            return 0;  // escaped, or not a number
        }
    }
    const int period = ComesBackAfter(x, y, cx, cy);
    if (period == 0) {
        return 0;
    }
    Complex z(x, y);
    for (int k = 0; k < kNewtonSteps; ++k) {
        Complex value = z;
        Complex derivative = 1.0L;
        for (int i = 0; i < period; ++i) {
            derivative = 2.0L * value * derivative;
            value = Step(value, c);
        }
        z -= (value - z) / (derivative - 1.0L);
    }
    Complex back = z;
    for (int i = 0; i < period; ++i) {
        back = Step(back, c);
    }
    if (!(std::abs(back - z) < kNewtonResidual)) {
        return 0;
    }
    *point = z;
    return period;
}

// |c| by a square root of its norm: the shifts and the centres' path need no more than that
// (the ring is checked with the shifts actually used), and it is much faster than std::abs.
long double Size(Complex c) {
    return std::sqrt(std::norm(c));
}

// The shift that centres the image of D(c, r): r^2 (c / |c|)^2 = r^2 c^2 / |c|^2, or r^2 for
// c = 0.
Complex Shift(Complex c, long double r) {
    const long double norm = std::norm(c);
    if (!(norm > 0.0L)) {
        return r * r;
    }
    const long double scale = r * r / norm;
    return {(c.real() * c.real() - c.imag() * c.imag()) * scale,
            2.0L * c.real() * c.imag() * scale};
}

// The radius of the disk around f(c) + Shift(c, r) that holds the image of D(c, r), raised;
// `size` is an upper bound of |c|.
long double Spread(long double size, long double r) {
    return 2.0L * r * std::sqrt(size * size + r * r) * kRaised;
}

// |c^2 + C + shift - next|, raised to cover its own roundings.
long double Residual(double x, double y, Complex c, Complex shift, double nextX, double nextY) {
    const long double lx = x;
    const long double ly = y;
    const long double ex = lx * lx - ly * ly + c.real() + shift.real() - nextX;
    const long double ey = 2.0L * lx * ly + c.imag() + shift.imag() - nextY;
    const long double roundings = 0x1p-60L * (lx * lx + ly * ly + std::abs(c) + std::abs(shift) +
                                              std::fabs(nextX) + std::fabs(nextY) + 1.0L);
    return Magnitude(ex, ey) + roundings;
}

// Settles the ring's centres for a first radius, starting from a cycle point: looks for the
// first centre that the ring's map brings back to itself. That map is nearly the cycle's, so
// each round takes a Newton step with the cycle's multiplier as its derivative. False when the
// ring leaves |z| < 2.
bool SettleCentres(Complex c, int period, Complex multiplier, long double first, Complex* centre) {
    for (int round = 0; round < kSettleRounds; ++round) {
        Complex z = *centre;
        long double r = first;
        for (int i = 0; i < period; ++i) {
            const Complex next = Step(z, c) + Shift(z, r);
            r = Spread(Size(z), r);
            z = next;
        }
        if (!(std::norm(z) < 4.0L)) {
            return false;
        }
        const Complex step = (z - *centre) / (1.0L - multiplier);
        *centre += step;
        if (std::norm(step) <= kSettled * std::norm(*centre)) {
            break;  // settled as far as long double goes
        }
    }
    return std::norm(*centre) < 4.0L;
}

// Puts the ring for a first radius into `ring` (centres from the settled first centre, radii
// by the bound above) and says whether it closes within |z| <= 1.99.
bool RingCloses(Complex c, int period, Complex first, long double stepError,
                long double firstRadius, TrapRegion* ring, long double* radius) {
    Complex z = first;
    long double r = firstRadius;
    for (int i = 0; i < period; ++i) {
        ring->centerX[i] = static_cast<double>(z.real());
        ring->centerY[i] = static_cast<double>(z.imag());
        const Complex next = Step(z, c) + Shift(z, r);
        r = Spread(Size(z), r);  // only to follow the centres; the check below decides
        z = next;
    }
    r = firstRadius;
    for (int i = 0; i < period; ++i) {
        const int next = (i + 1) % period;
        const Complex centre(ring->centerX[i], ring->centerY[i]);
        const long double size = Magnitude(ring->centerX[i], ring->centerY[i]);
        if (!(size + r <= kFarthest)) {
            return false;
        }
        radius[i] = r;
        const long double residual =
            Residual(ring->centerX[i], ring->centerY[i], c, Shift(centre, r), ring->centerX[next],
                     ring->centerY[next]);
        r = (residual + Spread(size, r) + 1.5L * stepError) * kRaised;
    }
    return r <= firstRadius;
}

}  // namespace

bool TrapRegion::Contains(double x, double y) const {
    for (int i = 0; i < disks; ++i) {
        const double dx = x - centerX[i];
        const double dy = y - centerY[i];
        if (dx * dx + dy * dy <= squaredRadius[i]) {
            return true;
        }
    }
    return false;
}

TrapRegion FindTrapRegion(double cx, double cy, long double stepError) {
    TrapRegion ring;
    const Complex c(cx, cy);
    Complex point;
    const int period = FindCycle(c, &point);
    if (period == 0) {
        return ring;
    }
    Complex multiplier = 1.0L;
    Complex z = point;
    for (int i = 0; i < period; ++i) {
        multiplier *= 2.0L * z;
        z = Step(z, c);
    }
    if (!(std::abs(multiplier) < kWeakestMultiplier)) {
        return ring;
    }
    ring.disks = period;
    long double radius[TrapRegion::kMaxDisks];
    auto closes = [&](long double first) {
        Complex settled = point;
        return SettleCentres(c, period, multiplier, first, &settled) &&
               RingCloses(c, period, settled, stepError, first, &ring, radius);
    };
    for (long double first = 0.5L; first >= kSmallestRadius; first *= kRadiusShrink) {
        if (!closes(first)) {
            continue;
        }
        // The largest first radius found, to a few percent: between this one and the one
        // tried before it.
        long double closing = first;
        long double open = first / kRadiusShrink;
        for (int k = 0; k < kRefineSteps; ++k) {
            const long double middle = (closing + open) / 2;
            (closes(middle) ? closing : open) = middle;
        }
        if (!closes(closing)) {  // puts the ring of that radius into `ring` and `radius`
            break;
        }
        for (int i = 0; i < period; ++i) {
            ring.squaredRadius[i] = static_cast<double>(radius[i] * radius[i] * kMembershipMargin);
        }
        return ring;
    }
    ring.disks = 0;
    return ring;
}

namespace {

struct CachedRegion {
    std::uint64_t cxBits = 0;
    std::uint64_t cyBits = 0;
    bool found = false;
    TrapRegion region;
};

const TrapRegion& Cached(CachedRegion& cache, double cx, double cy, long double stepError) {
    const std::uint64_t cxBits = std::bit_cast<std::uint64_t>(cx);
    const std::uint64_t cyBits = std::bit_cast<std::uint64_t>(cy);
    if (!cache.found || cache.cxBits != cxBits || cache.cyBits != cyBits) {
        cache.region = FindTrapRegion(cx, cy, stepError);
        cache.cxBits = cxBits;
        cache.cyBits = cyBits;
        cache.found = true;
    }
    return cache.region;
}

long double ConstantSize(double cx, double cy) {
    return 4.0L + std::fabs(static_cast<long double>(cx)) + std::fabs(static_cast<long double>(cy));
}

}  // namespace

// The export's step rounds each part once to double after extended-precision operations:
// for |z| < 2 its error is below 2^-53 (4 + |C|) (1 + 2^-10) + 2^-64 * 1.01 (12 + |C|), which
// 2^-52 (4 + |Cx| + |Cy|) exceeds. The main window's step rounds to float: below
// 2^-24 (4 + |C|) (1 + 2^-30), plus 2^-150 where the result is subnormal.
const TrapRegion& ExportTrapRegion(double cx, double cy) {
    thread_local CachedRegion cache;
    return Cached(cache, cx, cy, 0x1p-52L * ConstantSize(cx, cy));
}

const TrapRegion& MainTrapRegion(double cx, double cy) {
    thread_local CachedRegion cache;
    return Cached(cache, cx, cy, 0x1p-23L * ConstantSize(cx, cy) + 0x1p-149L);
}

int CriticalOrbitEscape(double cx, double cy) {
    thread_local std::uint64_t cxBits = 0;
    thread_local std::uint64_t cyBits = 0;
    thread_local int escape = -1;
    if (escape < 0 || cxBits != std::bit_cast<std::uint64_t>(cx) ||
        cyBits != std::bit_cast<std::uint64_t>(cy)) {
        cxBits = std::bit_cast<std::uint64_t>(cx);
        cyBits = std::bit_cast<std::uint64_t>(cy);
        escape = 0;
        double x = 0.0;
        double y = 0.0;
        for (int n = 1; n <= kCriticalSteps; ++n) {
            StepInDouble(x, y, cx, cy);
            if (!(x * x + y * y <= 4.0)) {
                escape = n;
                break;
            }
        }
    }
    return escape;
}

}  // namespace ombrilo
