#include "point_function.h"

#include <algorithm>

namespace ombrilo {

int Z2EscapeIndex(double cx, double cy, float x, float y) {
    for (int n = 1;; ++n) {
        const FloatPoint next = Z2Iterate(cx, cy, x, y);
        x = next.x;
        y = next.y;
        if (n > MaxIterations) {
            return 0;
        }
        if (Escaped(x, y)) {
            return n;
        }
    }
}

int ExportEscapeIndex(double cx, double cy, std::int32_t limit, double x, double y) {
    // The index must stay inside the table whatever a caller passes.
    limit = std::clamp<std::int32_t>(limit, 0, ColorTable::kLastIndex);
    for (std::int32_t n = 1;; ++n) {
        const DoublePoint next = ExportIterate(cx, cy, x, y);
        x = next.x;
        y = next.y;
        if (n > limit) {
            return 0;
        }
        if (Escaped(x, y)) {
            return static_cast<int>(n);
        }
    }
}

const std::uint8_t* Z2PointColor(const FractalState& state, float x, float y) {
    return state.colorTable.Entry(Z2EscapeIndex(state.Cx, state.Cy, x, y));
}

}  // namespace ombrilo
