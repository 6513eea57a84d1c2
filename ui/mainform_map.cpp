// The main window's side of the map of C and of the typed C.

#include <QAction>
#include <QTimer>

#include "U_mainform.h"
#include "engine/numeric.h"
#include "ui/U_enterc.h"
#include "ui/map/U_mapform.h"

namespace ombrilo {

void TMainForm::ShowMapExecute() {
    if (mapWindow_ && mapWindow_->isVisible()) {
        mapWindow_->close();
        return;
    }
    if (!mapWindow_) {
        mapWindow_ = new TMapForm(this);
        connect(mapWindow_, &TMapForm::cTaken, this, &TMainForm::TakeC);
        connect(mapWindow_, &TMapForm::closedByUser, this,
                [this] { action("ShowMap")->setChecked(false); });
    }
    ShowStateOnMap();
    if (!mapSuspended_) {
        mapWindow_->show();
        mapWindow_->raise();
    }
    action("ShowMap")->setChecked(true);
}

void TMainForm::RestoreMapWindow() {
    if (TMapForm::WasOpenLastRun()) {
        // Once the main window is on the screen, so that the map opens beside it.
        QTimer::singleShot(0, this, [this] {
            if (!mapWindow_) {
                ShowMapExecute();
            }
        });
    }
}

void TMainForm::ShowStateOnMap() {
    if (mapWindow_) {
        mapWindow_->ShowPalette(state.colorTable);
        mapWindow_->ShowC(state.Cx, state.Cy);
    }
}

void TMainForm::SuspendMap(bool suspended) {
    if (suspended == mapSuspended_) {
        return;
    }
    mapSuspended_ = suspended;
    if (!mapWindow_ || !action("ShowMap")->isChecked()) {
        return;
    }
    if (suspended) {
        mapWindow_->hide();
    } else {
        ShowStateOnMap();
        mapWindow_->show();
    }
}

void TMainForm::EnterCExecute() {
    if (SlideShowRunning()) {
        return;
    }
    if (enterCWindow_) {
        enterCWindow_->raise();
        enterCWindow_->activateWindow();
        return;
    }
    enterCWindow_ = new TEnterCForm(this, state.Cx, state.Cy);
    connect(enterCWindow_, &TEnterCForm::cEntered, this,
            [this](double cx, double cy) { TakeC(cx, cy, true); });
    enterCWindow_->show();
}

void TMainForm::TakeC(double cx, double cy, bool gestureEnds) {
    if (SlideShowRunning() || BrowserShown) {
        return;
    }
    const bool sweeping =
        AnimRe.RunningUp || AnimRe.RunningDown || AnimIm.RunningUp || AnimIm.RunningDown;
    StopAnimations();
    if (!RenderIdle()) {
        if (gestureEnds) {
            pendingC_ = {cx, cy};
        }
        return;
    }
    pendingC_.reset();
    if (sweeping) {
        RecordHistory();  // where the sweep stopped
    }
    ApplyC(cx, cy);
    if (gestureEnds) {
        RecordHistory();
    }
}

void TMainForm::ApplyPendingC() {
    if (!pendingC_ || !RenderIdle()) {
        return;
    }
    const auto [cx, cy] = *pendingC_;
    pendingC_.reset();
    ApplyC(cx, cy);
    RecordHistory();
}

void TMainForm::ApplyC(double cx, double cy) {
    if (SameBits(cx, state.Cx) && SameBits(cy, state.Cy)) {
        return;
    }
    state.Cx = cx;
    state.Cy = cy;
    SetSlidersFromState();
    RenderFullScreen();
    RequestFrame();
}

}  // namespace ombrilo
