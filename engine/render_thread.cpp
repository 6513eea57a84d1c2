#include "render_thread.h"

#include <algorithm>
#include <cstring>

#include "render.h"

namespace ombrilo {

namespace {

// Rows of the rest pass between two looks for a new request.
constexpr int kRestBandRows = 16;

QImage BlackFrame(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

Frame32 FrameOf(QImage& image) {
    return {image.bits(), image.width(), image.height(), image.bytesPerLine()};
}

// A working picture of the given size; its pixels are kept when it already has that size.
void Resize(QImage& image, int width, int height) {
    if (image.width() != width || image.height() != height) {
        image = BlackFrame(width, height);
    }
}

// Whether two states give the same main picture.
bool SameMainView(const FractalState& a, const FractalState& b) {
    return a.FractalType == b.FractalType && a.PointColor == b.PointColor && a.Cx == b.Cx &&
           a.Cy == b.Cy && a.CenterX == b.CenterX && a.CenterY == b.CenterY &&
           a.MainStep == b.MainStep && a.MainWidth == b.MainWidth && a.MainHeight == b.MainHeight &&
           a.colorTable.bytes == b.colorTable.bytes;
}

}  // namespace

TThreadFract::TThreadFract(const FractalState& state, const OverviewMarker& marker, QObject* parent)
    : QThread(parent),
      state_(state),
      marker_(marker),
      mainWork_(BlackFrame(std::max(state.MainWidth, 1), std::max(state.MainHeight, 1))),
      overviewWork_(BlackFrame(marker.PictureWidth, marker.PictureHeight)),
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

bool TThreadFract::MainFrameExact() const {
    std::lock_guard lock(frameMutex_);
    return mainPublishedExact_;
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
        if (!SleepUntilRequested()) {
            break;
        }
    }
}

// Marks the frame as running, passes the test gate and takes the copies of the state and the
// marker the frame is drawn from; false when the thread is to end.
bool TThreadFract::EnterFrame() {
    renderIdle_.store(false);
    std::unique_lock lock(wakeMutex_);
    heldAtGate_.store(hold_ && !stopRequested_);
    wakeCondition_.wait(lock, [this] { return !hold_ || stopRequested_; });
    heldAtGate_.store(false);
    if (stopRequested_) {
        return false;
    }
    // The window changes these only while RenderIdle() is true, which it is not now.
    frameState_ = state_;
    frameMarker_ = marker_;
    return true;
}

void TThreadFract::RenderFrame() {
    const FractalState& state = frameState_;
    const ViewGeometry view = MainViewGeometry(state);
    const int width = std::max(state.MainWidth, 1);
    const int height = std::max(state.MainHeight, 1);
    const std::int64_t pixels = static_cast<std::int64_t>(width) * height;

    Resize(overviewWork_, frameMarker_.PictureWidth, frameMarker_.PictureHeight);
    const Frame32 overview = FrameOf(overviewWork_);
    RenderView(state, OverviewGeometryOf(frameMarker_), overview);
    DrawOverviewMarker(frameMarker_, overview);

    if (pixels <= kProgressivePixels) {
        Resize(mainWork_, width, height);
        RenderView(state, view, FrameOf(mainWork_));
        exactKnown_ = false;
        Publish(true, true);
        framesDone_.fetch_add(1);
        SetIdle();
        emit frameReady();
        return;
    }
    if (exactKnown_ && SameMainView(state, exactState_)) {
        // The exact picture of this view is published already.
        Publish(true, true);
        framesDone_.fetch_add(1);
        SetIdle();
        emit frameReady();
        return;
    }
    exactKnown_ = false;
    Resize(mainWork_, width, height);
    const int firstSpacing = pixels > kFinePassPixels ? 8 : 4;
    RenderViewCoarsePass(state, view, firstSpacing, 0, FrameOf(mainWork_));
    Publish(false, true);
    coarsePasses_.fetch_add(1);
    SetIdle();
    emit frameReady();
    if (RefineFrame(view, firstSpacing)) {
        Publish(true, false);
        exactKnown_ = true;
        exactState_ = state;
        framesDone_.fetch_add(1);
        emit frameReady();
    }
}

bool TThreadFract::RefineFrame(const ViewGeometry& view, int firstSpacing) {
    const FractalState& state = frameState_;
    if (firstSpacing > 4) {
        if (Interrupted()) {
            return false;
        }
        RenderViewCoarsePass(state, view, 4, firstSpacing, FrameOf(mainWork_));
        Publish(false, false);
        coarsePasses_.fetch_add(1);
        emit frameReady();
    }
    const Frame32 frame = FrameOf(mainWork_);
    for (int row = 0; row < frame.height; row += kRestBandRows) {
        if (Interrupted()) {
            return false;
        }
        RenderViewRestRows(state, view, 4, row, kRestBandRows, frame);
    }
    return true;
}

// Whether the window has asked for a new frame (or the end) since the frame started.
bool TThreadFract::Interrupted() {
    std::lock_guard lock(wakeMutex_);
    return frameRequested_ || stopRequested_;
}

void TThreadFract::Publish(bool exact, bool withOverview) {
    // Shallow copies: the next writes detach the working pictures again.
    std::lock_guard lock(frameMutex_);
    mainPublished_ = mainWork_;
    mainPublishedExact_ = exact;
    if (withOverview) {
        overviewPublished_ = overviewWork_;
    }
}

void TThreadFract::SetIdle() {
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
