#pragma once

#include <array>
#include <cstdint>

namespace ombrilo {

// A region of the plane that one step of a point function maps into itself, well inside
// |z| < 2: an orbit that reaches it never escapes, so its index is 0 whatever the limit. The
// region is a ring of disks around an attracting cycle of z -> z^2 + C, one disk per cycle
// point; each disk's image, rounding included, lies in the next disk. Most C inside the
// Mandelbrot set have such a cycle; the orbits of the filled Julia set's interior come close
// to it long before they repeat themselves bit for bit.
struct TrapRegion {
    static constexpr int kMaxDisks = 32;

    int disks = 0;  // 0 when no region was found
    std::array<double, kMaxDisks> centerX{};
    std::array<double, kMaxDisks> centerY{};
    // A state is inside disk i when RN(RN(x - centerX)^2 + RN(y - centerY)^2) computed in double
    // is at most this, whichever way the products and the sum are evaluated (fused or not).
    std::array<double, kMaxDisks> squaredRadius{};

    bool Contains(double x, double y) const;
};

// The region for z -> z^2 + C when each step's result differs from the exact z^2 + C by at most
// `stepError` in each part for every |z| < 2 (the point function's rounding). Empty when the
// critical orbit escapes, settles on no cycle of at most kMaxDisks points within a few thousand
// steps, or the cycle attracts too weakly for a region to be proven.
TrapRegion FindTrapRegion(double cx, double cy, long double stepError);

// The regions of the two point functions, found once per constant and thread.
const TrapRegion& ExportTrapRegion(double cx, double cy);
const TrapRegion& MainTrapRegion(double cx, double cy);

// The first step n at which the orbit of 0 under z -> z^2 + C, followed in double, has
// x^2 + y^2 > 4 (or is not a number), or 0 when it stays within kCriticalSteps steps. Found once
// per constant and thread. Only a guide for speed: no index depends on it.
inline constexpr int kCriticalSteps = 8192;
int CriticalOrbitEscape(double cx, double cy);

// How often the kernels look an orbit up in the region: every this many iterates (or steps of
// the lanes' loop). Orbits that reach the region at all usually do after tens or hundreds.
inline constexpr int kTrapLookEvery = 16;

// One orbit's look at the region of its point function, found on the first look: most orbits
// outside the set escape before they are looked at and never need it.
class TrapLook {
public:
    TrapLook(const TrapRegion& (*regionOf)(double, double), double cx, double cy)
        : regionOf_(regionOf), cx_(cx), cy_(cy) {}

    bool Contains(double x, double y) { return Region().Contains(x, y); }

    const TrapRegion& Region() {
        if (region_ == nullptr) {
            region_ = &regionOf_(cx_, cy_);
        }
        return *region_;
    }

private:
    const TrapRegion& (*regionOf_)(double, double);
    double cx_;
    double cy_;
    const TrapRegion* region_ = nullptr;
};

}  // namespace ombrilo
