#pragma once

#include <cstdint>

#include "color_table.h"
#include "fractal_state.h"

namespace ombrilo {

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
