#include "fractal_state.h"

namespace ombrilo {

FractalState MakeStartState() {
    FractalState state;
    BuildColorTable(state.palette, state.colorTable);
    return state;
}

void SetViewWidth(FractalState& state, float viewWidth) {
    state.ViewWidth = viewWidth;
    state.MainStep = MainStepFor(viewWidth);
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
