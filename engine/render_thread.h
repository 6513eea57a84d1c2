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
// wake-up, then it sleeps. It reads the window's state and marker only while a frame runs; the
// window changes them only while RenderIdle() is true and then calls RequestFrame(). Finished
// frames are handed over under a lock; no widget is touched from the thread.
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

    // Copies of the last finished frames (RGB32, 530 x 409 and 81 x 65, the overview with the
    // marker drawn); black until the first frame is done.
    QImage MainFrame() const;
    QImage OverviewFrame() const;

    // Frames finished so far.
    std::uint64_t FramesDone() const { return framesDone_.load(); }

    // Test gate: while set, every frame stops right after RenderIdle became false and waits
    // until the gate is cleared (or Stop() is called).
    void SetHoldForTests(bool hold);
    // True while the thread waits at the gate.
    bool HeldForTests() const { return heldAtGate_.load(); }

signals:
    // A new frame is ready; emitted after RenderIdle() became true.
    void frameReady();

protected:
    void run() override;

private:
    bool EnterFrame();
    void RenderFrame();
    void PublishFrame();
    bool SleepUntilRequested();

    const FractalState& state_;
    const OverviewMarker& marker_;

    QImage mainWork_;
    QImage overviewWork_;

    mutable std::mutex frameMutex_;
    QImage mainPublished_;
    QImage overviewPublished_;

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
};

}  // namespace ombrilo
