// Why a box's verdict is every point's index
// -------------------------------------------
// Notation: u = 2^-53 and v = 2^-64 are the unit roundoffs of double and extended, RN rounding to
// nearest in double. The box Z holds the current iterate z = (x, y) of every point of the run
// (true for the start points, which are the box's own ends or lie between them). Over Z, x^2
// lies in [x2l, x2h] (x2l = 0 when Z spans x = 0), y^2 in [y2l, y2h], and x*y between the least
// and the greatest of its four corner products, as a product of two intervals does; N is at most
// x2h + y2h + |Cx| + |Cy|.
//
// The box's own arithmetic. Each end of the exact image's real part, e.g. x2l - y2h + Cx, is
// computed by three roundings of terms at most N: it is off by at most u(1 + u)(2 + u)N < 3.01uN.
// The imaginary part's ends RN(2 RN(p) + Cy) are off by at most 2.01uN (|p| <= N / 2 at a
// corner, and the doubling is exact). The computed n = RN(RN(x2h + y2h) + RN(|Cx| + |Cy|)) is at
// least (1 - u)^3 N.
//
// The point function's own error. The main window's step (Z2Iterate) rounds the extended result
// V of each part to float: |V - S| <= 2.01vN for the exact S (z2_lanes.h) and |fl32(V) - V| <=
// 2^-24|V| + 2^-150, in all at most 2^-23 N + 2^-150. The export's step (ExportIterate) has four
// extended roundings and one to double: at most (u + 5v)N + 2^-1075.
//
// Widening. The next box's ends are RN(end -+ w) with w = RN(RN(n * relative) + absolute). With
// relative = 2^-22 (main) or 2^-49 (export) and absolute = 2^-140 or 2^-1000, w less the
// rounding of the widening itself (u(N + w)) exceeds the box's error plus the step's error with
// room to spare; the export's absolute term also covers products that underflow (2^-1075 each).
// So the next box holds every point's next iterate. No value overflows: the start box's parts
// and C are at most 2^40, and every later box has passed the test below (|z| < 2).
//
// Escape test. The point function escapes when its extended x*x + y*y reaches 4 (Escaped). The
// least |z|^2 over the box, lo = RN(x2l + y2l) computed from rounded squares, is within a factor
// (1 + u)^2 of the exact one: lo >= 4 + 2^-20 means every exact |z|^2 >= 4(1 + 2^-23), and every
// extended sum (exact squares of floats, or three roundings of v for doubles) is above 4: every
// point escapes. hi = RN(x2h + y2h) <= 4 - 2^-20 likewise means every point's sum stays below
// 4: none does. Anything between leaves the run undecided.
//
// So when every box up to step n - 1 is inside and box n outside, every point's first escaping
// iterate is n, its index (n stays far below the iteration limit). When a box that passed every
// test lies inside one disk of the trap region, every point's orbit has reached the region and
// never escapes (trap_region.cpp): index 0.

#include "run_proof.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ombrilo {

namespace {

constexpr double kEscapeMargin = 0x1p-20;

// The least and the greatest square of the numbers in [low, high].
struct SquareRange {
    double low;
    double high;
};

[[gnu::always_inline]] inline SquareRange SquaresOf(double low, double high) {
    const double a = low * low;
    const double b = high * high;
    const bool spansZero = low <= 0.0 && high >= 0.0;
    return {spansZero ? 0.0 : std::min(a, b), std::max(a, b)};
}

// A box with the squares of its parts, which both the escape test and the next step use.
struct SquaredBox {
    Box z;
    SquareRange x2;
    SquareRange y2;
};

[[gnu::always_inline]] inline SquaredBox Squared(const Box& z) {
    return {z, SquaresOf(z.xLow, z.xHigh), SquaresOf(z.yLow, z.yHigh)};
}

[[gnu::always_inline]] inline Box Step(const SquaredBox& s, double cx, double cy,
                                       double constantSize, const StepErrorModel& model) {
    const Box& z = s.z;
    const double c0 = z.xLow * z.yLow;
    const double c1 = z.xLow * z.yHigh;
    const double c2 = z.xHigh * z.yLow;
    const double c3 = z.xHigh * z.yHigh;
    const double productLow = std::min(std::min(c0, c1), std::min(c2, c3));
    const double productHigh = std::max(std::max(c0, c1), std::max(c2, c3));
    const double norm = (s.x2.high + s.y2.high) + constantSize;
    const double widening = norm * model.relative + model.absolute;
    return {(s.x2.low - s.y2.high) + cx - widening, (s.x2.high - s.y2.low) + cx + widening,
            2.0 * productLow + cy - widening, 2.0 * productHigh + cy + widening};
}

enum class Side { Inside, Outside, Across };

[[gnu::always_inline]] inline Side EscapeSide(const SquaredBox& s) {
    if (s.x2.low + s.y2.low >= 4.0 + kEscapeMargin) {
        return Side::Outside;
    }
    if (s.x2.high + s.y2.high <= 4.0 - kEscapeMargin) {
        return Side::Inside;
    }
    return Side::Across;
}

// Whether every point of the box lies in disk `disk` of the region, by its own membership test.
bool BoxInsideDisk(const Box& box, const TrapRegion& region, int disk) {
    const double dx = std::max(std::fabs(box.xLow - region.centerX[disk]),
                               std::fabs(box.xHigh - region.centerX[disk]));
    const double dy = std::max(std::fabs(box.yLow - region.centerY[disk]),
                               std::fabs(box.yHigh - region.centerY[disk]));
    // The farthest corner passes the region's own membership test: then so does every point.
    return dx * dx + dy * dy <= region.squaredRadius[disk];
}

bool InsideSomeDisk(const Box& z, const TrapRegion& region) {
    for (int disk = 0; disk < region.disks; ++disk) {
        if (BoxInsideDisk(z, region, disk)) {
            return true;
        }
    }
    return false;
}

// The diameter of the region's largest disk (generously: the box test is the exact one).
double WidestDisk(const TrapRegion& region) {
    double widest = 0.0;
    for (int disk = 0; disk < region.disks; ++disk) {
        widest = std::max(widest, 2.0 * std::sqrt(region.squaredRadius[disk]) * 1.001);
    }
    return widest;
}

}  // namespace

int ProvenEscapeIndex(const Box& start, double cx, double cy, const StepErrorModel& model,
                      int steps, TrapLook& trap, int* stepsTaken) {
    const double constantSize = std::fabs(cx) + std::fabs(cy);
    // Once the region is known: the widest box that could still fit in one of its disks.
    double widestFit = std::numeric_limits<double>::infinity();
    SquaredBox s = Squared(start);
    for (int n = 1; n <= steps; ++n) {
        s = Squared(Step(s, cx, cy, constantSize, model));
        if (stepsTaken != nullptr) {
            *stepsTaken = n;
        }
        switch (EscapeSide(s)) {
            case Side::Outside:
                return n;
            case Side::Across:
                return -1;
            case Side::Inside:
                break;
        }
        if (n % kTrapLookEvery == 0) {
            const TrapRegion& region = trap.Region();
            if (InsideSomeDisk(s.z, region)) {
                return 0;
            }
            if (region.disks > 0 && widestFit == std::numeric_limits<double>::infinity()) {
                widestFit = WidestDisk(region);
            }
        }
        // Past the first look, a box wider than every disk is given up: only a box that shrinks
        // again could still be trapped, which boxes seldom do.
        if (std::max(s.z.xHigh - s.z.xLow, s.z.yHigh - s.z.yLow) > widestFit) {
            return -1;
        }
    }
    return -1;
}

}  // namespace ombrilo
