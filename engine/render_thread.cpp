#include "render_thread.h"

#include "render.h"

namespace ombrilo {

namespace {

QImage BlackFrame(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

Frame32 FrameOf(QImage& image) {
    return {image.bits(), image.width(), image.height(), image.bytesPerLine()};
}

}  // namespace

TThreadFract::TThreadFract(const FractalState& state, const OverviewMarker& marker, QObject* parent)
    : QThread(parent),
      state_(state),
      marker_(marker),
      mainWork_(BlackFrame(kMainViewWidth, kMainViewHeight)),
      overviewWork_(BlackFrame(kOverviewWidth, kOverviewHeight)),
      mainPublished_(mainWork_),
      overviewPublished_(overviewWork_) {}

TThreadFract::~TThreadFract() {
    Stop();
}

void TThreadFract::RequestFrame() {
    std::lock_guard lock(wakeMutex_);
    if (stopRequested_ || !renderIdle_.load()) {
        return;
    }
    renderIdle_.store(false);
    frameRequested_ = true;
    wakeCondition_.notify_all();
}

void TThreadFract::Stop() {
    {
        std::lock_guard lock(wakeMutex_);
        stopRequested_ = true;
        wakeCondition_.notify_all();
    }
    wait();
    // wait() has ordered the thread's end before this point, but through Qt's own primitives,
    // which ThreadSanitizer cannot see. The thread's last action is under wakeMutex_; taking it
    // here states the same order in a form the checker follows.
    std::lock_guard lock(wakeMutex_);
}

QImage TThreadFract::MainFrame() const {
    std::lock_guard lock(frameMutex_);
    return mainPublished_;
}

QImage TThreadFract::OverviewFrame() const {
    std::lock_guard lock(frameMutex_);
    return overviewPublished_;
}

void TThreadFract::SetHoldForTests(bool hold) {
    std::lock_guard lock(wakeMutex_);
    hold_ = hold;
    wakeCondition_.notify_all();
}

void TThreadFract::run() {
    setPriority(QThread::TimeCriticalPriority);
    while (EnterFrame()) {
        RenderFrame();
        PublishFrame();
        emit frameReady();
        if (!SleepUntilRequested()) {
            break;
        }
    }
}

// Marks the frame as running and passes the test gate; false when the thread is to end.
bool TThreadFract::EnterFrame() {
    renderIdle_.store(false);
    std::unique_lock lock(wakeMutex_);
    heldAtGate_.store(hold_ && !stopRequested_);
    wakeCondition_.wait(lock, [this] { return !hold_ || stopRequested_; });
    heldAtGate_.store(false);
    return !stopRequested_;
}

void TThreadFract::RenderFrame() {
    RenderView(state_, MainViewGeometry(state_), FrameOf(mainWork_));
    const Frame32 overview = FrameOf(overviewWork_);
    RenderView(state_, OverviewGeometry(), overview);
    DrawOverviewMarker(marker_, overview);
}

void TThreadFract::PublishFrame() {
    {
        // Shallow copies: the next frame's writes detach the working pictures again.
        std::lock_guard lock(frameMutex_);
        mainPublished_ = mainWork_;
        overviewPublished_ = overviewWork_;
    }
    framesDone_.fetch_add(1);
    std::lock_guard lock(wakeMutex_);
    renderIdle_.store(true);
}

// Sleeps until a frame is requested; false when the thread is to end.
bool TThreadFract::SleepUntilRequested() {
    std::unique_lock lock(wakeMutex_);
    wakeCondition_.wait(lock, [this] { return frameRequested_ || stopRequested_; });
    frameRequested_ = false;
    return !stopRequested_;
}

}  // namespace ombrilo
