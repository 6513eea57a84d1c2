#include "render.h"

#include <cstring>

namespace ombrilo {

float ViewLeft(const ViewGeometry& view) {
    return static_cast<float>(static_cast<long double>(view.centerX) -
                              static_cast<long double>(view.halfWidth) * view.step);
}

float ViewTop(const ViewGeometry& view) {
    return static_cast<float>(static_cast<long double>(view.centerY) +
                              static_cast<long double>(view.halfHeight) * view.step);
}

void RenderView(const FractalState& state, const ViewGeometry& view, const Frame32& frame) {
    const float x0 = ViewLeft(view);
    float y = ViewTop(view);
    for (int row = 0; row < frame.height; ++row) {
        std::uint8_t* pixel = frame.Row(row);
        float x = x0;
        for (int column = 0; column < frame.width; ++column) {
            std::memcpy(pixel, state.PointColor(state, x, y), 3);
            pixel += 4;
            x = x + view.step;
        }
        y = y - view.step;
    }
}

ViewGeometry MainViewGeometry(const FractalState& state) {
    return {state.CenterX, state.CenterY, state.MainStep, kMainHalfWidth, kMainHalfHeight};
}

ViewGeometry OverviewGeometry() {
    return {0.0f, 0.0f, OverviewStep, kOverviewHalfWidth, kOverviewHalfHeight};
}

ViewGeometry ScreenGeometry(const FractalState& state, int width, int height) {
    const float step = static_cast<float>(static_cast<long double>(state.ViewWidth) / width);
    return {state.CenterX, state.CenterY, step, width / 2, height / 2};
}

}  // namespace ombrilo
