#include "point_function.h"

#include <algorithm>

namespace ombrilo {

int Z2EscapeIndex(double cx, double cy, float x, float y) {
    for (int n = 1;; ++n) {
        const long double ox = x;
        const long double oy = y;
        x = static_cast<float>((ox * ox - oy * oy) + cx);
        y = static_cast<float>((ox * oy) * 2.0L + cy);
        if (n > MaxIterations) {
            return 0;
        }
        const long double nx = x;
        const long double ny = y;
        // NaN compares false (not escaped), infinity escapes.
        if (nx * nx + ny * ny - 4.0L >= 0) {
            return n;
        }
    }
}

int ExportEscapeIndex(double cx, double cy, std::int32_t limit, double x, double y) {
    // The index must stay inside the table whatever a caller passes.
    limit = std::clamp<std::int32_t>(limit, 0, ColorTable::kLastIndex);
    for (std::int32_t n = 1;; ++n) {
        const long double ox = x;
        const long double oy = y;
        x = static_cast<double>(ox * ox - oy * oy + cx);
        y = static_cast<double>(ox * oy * 2.0L + cy);
        if (n > limit) {
            return 0;
        }
        const long double nx = x;
        const long double ny = y;
        if (nx * nx + ny * ny - 4.0L >= 0) {
            return static_cast<int>(n);
        }
    }
}

const std::uint8_t* Z2PointColor(const FractalState& state, float x, float y) {
    return state.colorTable.Entry(Z2EscapeIndex(state.Cx, state.Cy, x, y));
}

}  // namespace ombrilo
