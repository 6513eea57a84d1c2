#pragma once

#include <cstdint>

#include "point_function.h"

namespace ombrilo {

// The fast forms of both point functions. They give exactly the indices of Z2EscapeIndex and
// ExportEscapeIndex, stopping early when the orbit repeats itself bit for bit (then it can never
// escape, and the index is 0); the picture loops use them through RenderView and RenderExport.
int Z2EscapeIndexDetecting(double cx, double cy, float x, float y);
int ExportEscapeIndexDetecting(double cx, double cy, std::int32_t limit, double x, double y);

// Escape indices (Z2EscapeIndex) of `count` points of the row at height y, the first at x and
// each next one step further by a float addition. Returns the x that would come next.
float Z2EscapeRun(double cx, double cy, float x, float step, float y, int count,
                  std::uint8_t* indices);

}  // namespace ombrilo
