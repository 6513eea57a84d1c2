#pragma once

#include <cstdint>

#include "color_table.h"
#include "palette.h"

namespace ombrilo {

// Size of the main view and of the overview, in pixels.
inline constexpr int kMainViewWidth = 530;
inline constexpr int kMainViewHeight = 409;
inline constexpr int kMainHalfWidth = 265;
inline constexpr int kMainHalfHeight = 204;
inline constexpr int kOverviewWidth = 81;
inline constexpr int kOverviewHeight = 65;
inline constexpr int kOverviewHalfWidth = 40;
inline constexpr int kOverviewHalfHeight = 32;

// Iteration limit of the main window's point function.
inline constexpr std::int32_t MaxIterations = 254;

// Plane units per overview pixel (5/81); the overview always shows the same window.
inline constexpr float OverviewStep = 0.061728396f;

// The main view's factor 1/530, held in extended precision.
inline constexpr long double kInverseMainWidth = 1.0L / 530.0L;

inline constexpr float kDefaultViewWidth = 5.0f;

// The coefficient sliders run from -2000 to 2000 in steps of 0.001 and start here.
inline constexpr int kSliderCxStart = 402;
inline constexpr int kSliderCyStart = 339;
inline constexpr int kSliderMax = 2000;

inline constexpr std::int32_t kFractalTypeZ2 = 1;

// Plane units per main-view pixel for a view width.
constexpr float MainStepFor(float viewWidth) {
    return static_cast<float>(static_cast<long double>(viewWidth) * kInverseMainWidth);
}

// The same for a main view `pixels` wide: the width times 1/pixels (the reciprocal in extended
// precision), rounded to float. MainStepFor(w, 530) == MainStepFor(w).
constexpr float MainStepFor(float viewWidth, int pixels) {
    return static_cast<float>(static_cast<long double>(viewWidth) *
                              (1.0L / static_cast<long double>(pixels)));
}

// MainStep at the default view width; fixed for the whole run.
inline constexpr float BaseStep = MainStepFor(kDefaultViewWidth);

// C from a slider position: the position times the double 0.001, rounded to double (not the
// nearest double to position / 1000, which differs for some positions).
constexpr double SliderToCoefficient(int position) {
    return static_cast<double>(position) * 0.001;
}

struct FractalState;

// A point function: plane point in, colour table entry (blue, green, red) out.
using PointFunction = const std::uint8_t* (*)(const FractalState& state, float x, float y);

const std::uint8_t* Z2PointColor(const FractalState& state, float x, float y);

// Everything that decides the picture. MainStep is kept equal to ViewWidth * (1/MainWidth):
// every writer of ViewWidth or of the main view's size goes through SetViewWidth or SetMainSize.
// MainWidth and MainHeight are the main view's size in device pixels (530 x 409 at the start
// size on a screen of scale 1).
struct FractalState {
    std::int32_t FractalType = kFractalTypeZ2;
    PointFunction PointColor = &Z2PointColor;
    double Cx = SliderToCoefficient(kSliderCxStart);
    double Cy = SliderToCoefficient(kSliderCyStart);
    float CenterX = 0.0f;
    float CenterY = 0.0f;
    float ViewWidth = kDefaultViewWidth;
    float MainStep = BaseStep;
    std::int32_t MainWidth = kMainViewWidth;
    std::int32_t MainHeight = kMainViewHeight;
    Palette palette;
    ColorTable colorTable;
};

// The start-up state: C from the sliders' start positions, width 5 around the origin, the
// default palette with its colour table built.
FractalState MakeStartState();

// Sets the view width and the main view's step with it.
void SetViewWidth(FractalState& state, float viewWidth);

// Sets the main view's size in pixels (at least 1 x 1) and the step with it; the view width
// stays, so the view shows the same part of the plane across.
void SetMainSize(FractalState& state, int width, int height);

// Width 5 around the origin; C and the palette stay.
void SetDefaultView(FractalState& state);

// Picks the point function for the state's fractal type; an unknown type keeps the current one.
void SelectPointFunction(FractalState& state);

}  // namespace ombrilo
