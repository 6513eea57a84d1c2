#pragma once

#include <QImage>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "fractal_state.h"
#include "overview_marker.h"

namespace ombrilo {

// The render thread of the main window: one frame of the main view and of the overview per
// wake-up, then it sleeps. At the start of a frame it copies the window's state and marker and
// draws from the copies; the window changes them only while RenderIdle() is true and then calls
// RequestFrame(). Finished pictures are handed over under a lock; no widget is touched from the
// thread.
//
// A small main view (up to kProgressivePixels) is drawn in one pass, RenderIdle() false for the
// whole frame. A larger one is drawn in passes: a coarse pass (every 8th pixel of every 8th row
// on views above kFinePassPixels, else every 4th), published with the overview at once, after
// which RenderIdle() is true; then, when the first pass was the 8th, the pass of every 4th pixel,
// published too; then the rest in bands of rows, published when all is done. A RequestFrame()
// during these later passes abandons them and starts the next frame. A frame of the same main
// view as the last exact one (the same state and size) keeps that picture and draws only the
// overview, so that an exact picture is never replaced by a coarse one of the same view.
class TThreadFract : public QThread {
    Q_OBJECT

public:
    // The first frame starts as soon as the thread is started (start()).
    TThreadFract(const FractalState& state, const OverviewMarker& marker,
                 QObject* parent = nullptr);
    ~TThreadFract() override;

    // False while a frame is computed, true from the end of a frame until the next wake-up.
    // False before the first frame is done.
    bool RenderIdle() const { return renderIdle_.load(); }

    // Wakes the thread for one frame and marks it busy before returning. Ignored while a frame
    // is running (nothing is queued) and after Stop().
    void RequestFrame();

    // Ends the thread: a running frame is finished first, a frame held by the test gate is
    // left out. Safe to call more than once; the destructor calls it. Never call it on the
    // render thread itself (a slot connected directly to frameReady would wait for itself).
    void Stop();

    // Main views of more pixels than this are drawn in passes.
    static constexpr std::int64_t kProgressivePixels = 2LL * kMainViewWidth * kMainViewHeight;
    // Main views of more pixels than this start with a pass of every 8th pixel.
    static constexpr std::int64_t kFinePassPixels = 2560LL * 1440;

    // Copies of the last published pictures (RGB32; the main view at the state's MainWidth x
    // MainHeight, the overview at the marker's picture size with the marker drawn); black
    // until the first frame is done. MainFrameExact() tells whether the main picture is a
    // finished one or a coarse pass.
    QImage MainFrame() const;
    QImage OverviewFrame() const;
    bool MainFrameExact() const;

    // Frames finished so far (their exact main picture published); frames abandoned after their
    // coarse pass do not count.
    std::uint64_t FramesDone() const { return framesDone_.load(); }
    // Coarse passes published so far.
    std::uint64_t CoarsePassesShown() const { return coarsePasses_.load(); }

    // Test gate: while set, every frame stops right after RenderIdle became false and waits
    // until the gate is cleared (or Stop() is called).
    void SetHoldForTests(bool hold);
    // True while the thread waits at the gate.
    bool HeldForTests() const { return heldAtGate_.load(); }

signals:
    // New pictures are published (a coarse pass or a finished frame); emitted after
    // RenderIdle() became true (a finished frame of a later pass may find it false again when
    // the window has asked for the next frame meanwhile).
    void frameReady();

protected:
    void run() override;

private:
    bool EnterFrame();
    void RenderFrame();
    // The passes after the first coarse one; false when a request or Stop() abandoned them.
    bool RefineFrame(const ViewGeometry& view, int firstSpacing);
    bool Interrupted();
    void Publish(bool exact, bool withOverview);
    void SetIdle();
    bool SleepUntilRequested();

    const FractalState& state_;
    const OverviewMarker& marker_;

    // The copies the frame is drawn from.
    FractalState frameState_;
    OverviewMarker frameMarker_;
    // The state of the last exact main picture, when there is one.
    bool exactKnown_ = false;
    FractalState exactState_;

    QImage mainWork_;
    QImage overviewWork_;

    mutable std::mutex frameMutex_;
    QImage mainPublished_;
    QImage overviewPublished_;
    bool mainPublishedExact_ = false;

    // Guards the wake-up, stop and gate flags; RenderIdle changes to true under it as well, so
    // that a request cannot slip in between the end of a frame and the sleep.
    std::mutex wakeMutex_;
    std::condition_variable wakeCondition_;
    bool frameRequested_ = false;
    bool stopRequested_ = false;
    bool hold_ = false;

    std::atomic<bool> renderIdle_{false};
    std::atomic<bool> heldAtGate_{false};
    std::atomic<std::uint64_t> framesDone_{0};
    std::atomic<std::uint64_t> coarsePasses_{0};
};

}  // namespace ombrilo
