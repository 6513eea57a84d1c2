#include "render.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "fast_kernels.h"
#include "point_function.h"
#include "worker_pool.h"

namespace ombrilo {

float ViewLeft(const ViewGeometry& view) {
    return static_cast<float>(static_cast<long double>(view.centerX) -
                              static_cast<long double>(view.halfWidth) * view.step);
}

float ViewTop(const ViewGeometry& view) {
    return static_cast<float>(static_cast<long double>(view.centerY) +
                              static_cast<long double>(view.halfHeight) * view.step);
}

void RenderViewReference(const FractalState& state, const ViewGeometry& view,
                         const Frame32& frame) {
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

namespace {

// Points handed to the kernel at a time.
constexpr int kRunPixels = 4096;

// One row at height y of the points columnX, its colours into the frame's row.
void RenderZ2Row(const FractalState& state, const float* columnX, float y, const Frame32& frame,
                 int row) {
    std::uint8_t indices[kRunPixels];
    std::uint8_t* pixel = frame.Row(row);
    for (int done = 0; done < frame.width;) {
        const int count = std::min(kRunPixels, frame.width - done);
        Z2EscapeRow(state.Cx, state.Cy, columnX + done, y, count, indices);
        for (int i = 0; i < count; ++i) {
            std::memcpy(pixel, state.colorTable.Entry(indices[i]), 3);
            pixel += 4;
        }
        done += count;
    }
}

}  // namespace

void RenderView(const FractalState& state, const ViewGeometry& view, const Frame32& frame) {
    if (state.PointColor != &Z2PointColor) {
        RenderViewReference(state, view, frame);
        return;
    }
    if (frame.width <= 0 || frame.height <= 0) {
        return;
    }
    // Each row's y by the reference's sequence of subtractions; the x sequence by its additions
    // is the same in every row, computed once.
    std::vector<float> rowY(static_cast<std::size_t>(frame.height));
    float y = ViewTop(view);
    for (float& value : rowY) {
        value = y;
        y = y - view.step;
    }
    std::vector<float> columnX(static_cast<std::size_t>(frame.width));
    float x = ViewLeft(view);
    for (float& value : columnX) {
        value = x;
        x = x + view.step;
    }
    ParallelFor(frame.height, [&](std::int64_t row) {
        RenderZ2Row(state, columnX.data(), rowY[static_cast<std::size_t>(row)], frame,
                    static_cast<int>(row));
    });
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
