// The view tools of the main window: five mouse tools on the main view, the zoom buttons and
// keys, the overview, and the coordinate read-out.
#include <QLabel>
#include <QSlider>

#include <QTimer>

#include <cmath>
#include <cstdlib>

#include "engine/numeric.h"
#include "resources/program_pictures.h"
#include "ui/U_mainform.h"
#include "ui/decimal_separator.h"
#include "ui/image_view.h"
#include "ui/number_text.h"

namespace ombrilo {

namespace {

constexpr float kZoomInFraction = 0.3f;
constexpr float kZoomOutFraction = 0.3f;

struct ToolChoice {
    ProgramCursor cursor;
    const char* hint;
};

// Cursor and hint of the main view for each tool, in MouseTool order.
const ToolChoice kTools[] = {
    {ProgramCursor::Koef,
     " Изменяет коэффициенты при перемещении по изображению с нажатой клавишей мыши"},
    {ProgramCursor::Lupa,
     " Нажатие левой клавиши мыши увеличивает изображение с центрированием, правой - уменьшает"},
    {ProgramCursor::Centr,
     " Нажатие клавиши мыши центрирует изображение относительно выбранной точки"},
    {ProgramCursor::OpenHand, " Перемещает изображение при нажатой клавише мыши"},
    {ProgramCursor::ToFrom,
     " Приближает - удаляет изображение при перемещении с нажатой клавишей мыши"},
};

float Shifted(float value, int pixels, float step) {
    return static_cast<float>(value + static_cast<long double>(pixels) * step);
}

int ClampedPosition(const QSlider* slider, long double position) {
    return std::clamp(TruncToInt32(position), slider->minimum(), slider->maximum());
}

}  // namespace

long double MainViewX(const FractalState& s, int x) {
    return s.CenterX + static_cast<long double>(x - s.MainWidth / 2) * s.MainStep;
}

long double MainViewY(const FractalState& s, int y) {
    return s.CenterY + static_cast<long double>(s.MainHeight / 2 - y) * s.MainStep;
}

long double OverviewX(const ViewGeometry& overview, int x) {
    return static_cast<long double>(x - overview.halfWidth) * overview.step;
}

long double OverviewY(const ViewGeometry& overview, int y) {
    return static_cast<long double>(overview.halfHeight - y) * overview.step;
}

void WheelZoom(FractalState& state, int notches, int x, int y) {
    // The plane point under the cursor, then the width step by step as the zoom buttons
    // change it, then the centre that puts the point back under the cursor.
    const long double pointX = MainViewX(state, x);
    const long double pointY = MainViewY(state, y);
    long double width = state.ViewWidth;
    for (int i = 0; i < std::abs(notches); ++i) {
        const float next = static_cast<float>(notches > 0 ? width - width * kZoomInFraction
                                                          : width + width * kZoomOutFraction);
        if (!(next > 0.0f) || !std::isfinite(next)) {
            break;
        }
        width = next;
    }
    SetViewWidth(state, static_cast<float>(width));
    state.CenterX = static_cast<float>(pointX - static_cast<long double>(x - state.MainWidth / 2) *
                                                    state.MainStep);
    state.CenterY = static_cast<float>(pointY - static_cast<long double>(state.MainHeight / 2 - y) *
                                                    state.MainStep);
}

void TMainForm::UpdateKoefScale() {
    // A drag across the whole view covers the slider's range at the default width, whatever
    // the view's size in pixels; the rates shrink in proportion as the view is zoomed in.
    const long double width = state.MainWidth;
    const long double height = state.MainHeight;
    KoefScaleX =
        static_cast<float>(TrackBarCx->maximum() * static_cast<long double>(state.MainStep) * 2.0L /
                           (width * MainStepFor(kDefaultViewWidth, state.MainWidth)));
    KoefScaleY =
        static_cast<float>(TrackBarCy->maximum() * static_cast<long double>(state.MainStep) * 2.0L /
                           (height * MainStepFor(kDefaultViewWidth, state.MainWidth)));
}

void TMainForm::SelectTool(int tool) {
    if (!RenderIdle()) {
        return;
    }
    MouseTool = tool;
    Pic->setCursor(MakeProgramCursor(kTools[tool].cursor));
    Pic->setStatusTip(QString::fromUtf8(kTools[tool].hint));
}

void TMainForm::KoefScrExecute() {
    SelectTool(KoefTool);
}
void TMainForm::ZoomExecute() {
    SelectTool(ZoomTool);
}
void TMainForm::ToCurExecute() {
    SelectTool(CenterTool);
}
void TMainForm::HandToolExecute() {
    SelectTool(HandToolId);
}
void TMainForm::FromToExecute() {
    SelectTool(FromToTool);
}

void TMainForm::SetViewWidth(float width) {
    ombrilo::SetViewWidth(state, width);
}

void TMainForm::LupaPlusClick() {
    if (!RenderIdle()) {
        return;
    }
    const long double w = state.ViewWidth;
    SetViewWidth(static_cast<float>(w - w * kZoomInFraction));
    UpdateOverviewMarkerNow();
    RequestFrame();
    RecordHistory();
}

void TMainForm::LupaMinusClick() {
    if (!RenderIdle()) {
        return;
    }
    const long double w = state.ViewWidth;
    SetViewWidth(static_cast<float>(w + w * kZoomOutFraction));
    UpdateOverviewMarkerNow();
    RequestFrame();
    RecordHistory();
}

void TMainForm::ShowCoordinates(long double x, long double y) {
    statusPanel(0)->setText(QString::fromStdString(CoordinateReadout(x, y, DecimalSeparator())));
}

void TMainForm::PicMouseDown(Qt::MouseButton button, int x, int y) {
    if (!RenderIdle()) {
        return;
    }
    if (!MouseArmed) {
        MouseArmed = true;
        return;
    }
    switch (MouseTool) {
        case KoefTool:
            koefAnchorX_ = x;
            koefAnchorY_ = y;
            koefAnchorPosX_ = TrackBarCx->value();
            koefAnchorPosY_ = TrackBarCy->value();
            UpdateKoefScale();
            break;
        case ZoomTool:
        case CenterTool: {
            state.CenterX = Shifted(state.CenterX, x - state.MainWidth / 2, state.MainStep);
            state.CenterY = Shifted(state.CenterY, state.MainHeight / 2 - y, state.MainStep);
            if (MouseTool == ZoomTool) {
                const long double w = state.ViewWidth;
                if (button == Qt::LeftButton) {
                    SetViewWidth(static_cast<float>(w - w * kZoomInFraction));
                } else if (button == Qt::RightButton) {
                    SetViewWidth(static_cast<float>(w + w * kZoomOutFraction));
                }
            }
            UpdateOverviewMarkerNow();
            RequestFrame();
            break;
        }
        default:  // hand and from-to
            dragAnchorX_ = x;
            dragAnchorY_ = y;
            break;
    }
}

void TMainForm::PicMouseMove(Qt::MouseButtons buttons, int x, int y) {
    ShowCoordinates(MainViewX(state, x), MainViewY(state, y));
    // The from-to rates per pixel of travel follow the view's size.
    const float fromToRateX = static_cast<float>(1.0L / static_cast<long double>(state.MainWidth));
    const float fromToRateY =
        static_cast<float>(kZoomOutFraction * (1.0L / static_cast<long double>(state.MainHeight)));
    if (!RenderIdle()) {
        return;
    }
    if (!MouseArmed) {
        MouseArmed = true;
        return;
    }
    if (!(buttons & (Qt::LeftButton | Qt::RightButton))) {
        return;
    }
    switch (MouseTool) {
        case KoefTool:
            TrackBarCx->setValue(ClampedPosition(
                TrackBarCx,
                static_cast<long double>(x - koefAnchorX_) * KoefScaleX + koefAnchorPosX_));
            TrackBarCy->setValue(ClampedPosition(
                TrackBarCy,
                static_cast<long double>(koefAnchorY_ - y) * KoefScaleY + koefAnchorPosY_));
            break;
        case HandToolId:
            state.CenterX = Shifted(state.CenterX, dragAnchorX_ - x, state.MainStep);
            state.CenterY = Shifted(state.CenterY, y - dragAnchorY_, state.MainStep);
            dragAnchorX_ = x;
            dragAnchorY_ = y;
            UpdateOverviewMarkerNow();
            RequestFrame();
            break;
        case FromToTool: {
            const long double w = state.ViewWidth;
            const long double bracket = static_cast<long double>(y - dragAnchorY_) * fromToRateY -
                                        static_cast<long double>(x - dragAnchorX_) * fromToRateX;
            const float width = static_cast<float>(w - w * bracket);
            // The width must stay a positive number: a step that would end at zero, below
            // it, or at infinity is not taken.
            if (width > 0.0f && std::isfinite(width)) {
                SetViewWidth(width);
            }
            dragAnchorX_ = x;
            dragAnchorY_ = y;
            UpdateOverviewMarkerNow();
            RequestFrame();
            break;
        }
        default:
            break;
    }
}

// A click or drag of any tool is over: its result goes into the history.
void TMainForm::PicMouseUp() {
    RecordHistory();
}

void TMainForm::PicWheel(int angleDelta, int x, int y) {
    wheelPending_ += angleDelta;
    wheelX_ = x;
    wheelY_ = y;
    ApplyWheel();
    // The gesture ends when the wheel has rested a moment; it makes one history entry.
    wheelGesture_->start();
}

void TMainForm::ApplyWheel() {
    const int notches = wheelPending_ / 120;
    if (notches == 0 || !RenderIdle()) {
        return;
    }
    wheelPending_ -= notches * 120;
    WheelZoom(state, notches, wheelX_, wheelY_);
    UpdateOverviewMarkerNow();
    RequestFrame();
}

void TMainForm::GeneralViewMouseDown(Qt::MouseButton, int x, int y) {
    const ViewGeometry overview = OverviewGeometryOf(marker);
    if (RenderIdle() && MouseArmed) {
        state.CenterX = static_cast<float>(OverviewX(overview, x));
        state.CenterY = static_cast<float>(OverviewY(overview, y));
        UpdateOverviewMarkerNow();
        RequestFrame();
    }
    MouseArmed = true;
}

void TMainForm::GeneralViewMouseMove(Qt::MouseButtons buttons, int x, int y) {
    const ViewGeometry overview = OverviewGeometryOf(marker);
    ShowCoordinates(OverviewX(overview, x), OverviewY(overview, y));
    if (RenderIdle() && MouseArmed && (buttons & (Qt::LeftButton | Qt::RightButton))) {
        state.CenterX = static_cast<float>(OverviewX(overview, x));
        state.CenterY = static_cast<float>(OverviewY(overview, y));
        UpdateOverviewMarkerNow();
        RequestFrame();
    }
}

}  // namespace ombrilo
