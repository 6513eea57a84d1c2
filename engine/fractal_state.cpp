#include "fractal_state.h"

#include <algorithm>

namespace ombrilo {

FractalState MakeStartState() {
    FractalState state;
    BuildColorTable(state.palette, state.colorTable);
    return state;
}

void SetViewWidth(FractalState& state, float viewWidth) {
    state.ViewWidth = viewWidth;
    state.MainStep = MainStepFor(viewWidth, state.MainWidth);
}

void SetMainSize(FractalState& state, int width, int height) {
    state.MainWidth = std::max(width, 1);
    state.MainHeight = std::max(height, 1);
    SetViewWidth(state, state.ViewWidth);
}

void SetDefaultView(FractalState& state) {
    SetViewWidth(state, kDefaultViewWidth);
    state.CenterY = 0.0f;
    state.CenterX = 0.0f;
}

void SelectPointFunction(FractalState& state) {
    if (state.FractalType == kFractalTypeZ2) {
        state.PointColor = &Z2PointColor;
    }
}

}  // namespace ombrilo
