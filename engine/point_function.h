#pragma once

#include <cstdint>

#include "color_table.h"
#include "fractal_state.h"

namespace ombrilo {

// One step of z -> z^2 + C in the main window's arithmetic: extended precision inside, both
// parts rounded to float once at the end.
struct FloatPoint {
    float x;
    float y;
};

inline FloatPoint Z2Iterate(double cx, double cy, float x, float y) {
    const long double lx = x;
    const long double ly = y;
    return {static_cast<float>((lx * lx - ly * ly) + cx),
            static_cast<float>((lx * ly) * 2.0L + cy)};
}

// The export's step: the same in extended precision, both parts rounded to double.
struct DoublePoint {
    double x;
    double y;
};

inline DoublePoint ExportIterate(double cx, double cy, double x, double y) {
    const long double lx = x;
    const long double ly = y;
    return {static_cast<double>(lx * lx - ly * ly + cx), static_cast<double>(lx * ly * 2.0L + cy)};
}

// The escape test, |z|^2 - 4 >= 0 in extended precision: NaN does not escape, infinity does.
inline bool Escaped(long double x, long double y) {
    return x * x + y * y - 4.0L >= 0;
}

// Escape index of z -> z^2 + C from (x, y) in the main window's arithmetic: extended precision
// inside one step, floats between iterates. Iterates 1..254 are tested against |z| >= 2; the
// index is the first iterate found outside, 0 when none is. The start point is never tested.
int Z2EscapeIndex(double cx, double cy, float x, float y);

// The export's sibling: doubles between iterates and a limit of 254..8190.
int ExportEscapeIndex(double cx, double cy, std::int32_t limit, double x, double y);

inline const std::uint8_t* ExportPointColor(const ColorTable& table, double cx, double cy,
                                            std::int32_t limit, double x, double y) {
    return table.Entry(ExportEscapeIndex(cx, cy, limit, x, y));
}

}  // namespace ombrilo
