#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "engine/render_thread.h"

using namespace ombrilo;

namespace {

// C = 10 sends every point out at the first iterate: frames cost almost nothing.
FractalState CheapState() {
    FractalState state = MakeStartState();
    state.Cx = 10.0;
    state.Cy = 0.0;
    return state;
}

QImage Reference(const FractalState& state, const ViewGeometry& view, int width, int height,
                 const OverviewMarker* marker) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);
    const Frame32 frame{image.bits(), width, height, image.bytesPerLine()};
    RenderView(state, view, frame);
    if (marker != nullptr) {
        DrawOverviewMarker(*marker, frame);
    }
    return image;
}

bool SameBytes(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.format() != b.format()) {
        return false;
    }
    for (int row = 0; row < a.height(); ++row) {
        if (std::memcmp(a.constScanLine(row), b.constScanLine(row), a.width() * 4) != 0) {
            return false;
        }
    }
    return true;
}

void CheckPublishedFrames(const TThreadFract& thread, const FractalState& state,
                          const OverviewMarker& marker) {
    QVERIFY(SameBytes(thread.MainFrame(), Reference(state, MainViewGeometry(state), kMainViewWidth,
                                                    kMainViewHeight, nullptr)));
    const QImage overview =
        Reference(state, OverviewGeometry(), kOverviewWidth, kOverviewHeight, &marker);
    QVERIFY(SameBytes(thread.OverviewFrame(), overview));
    // The marker is really part of the overview.
    QVERIFY(!SameBytes(
        overview, Reference(state, OverviewGeometry(), kOverviewWidth, kOverviewHeight, nullptr)));
}

// Counts frameReady as the window thread receives it (queued from the render thread).
struct FrameCounter {
    QObject context;
    QEventLoop* waiting = nullptr;
    int received = 0;
    int awaited = 0;

    explicit FrameCounter(TThreadFract& thread) {
        QObject::connect(&thread, &TThreadFract::frameReady, &context, [this] {
            ++received;
            if (waiting != nullptr && received >= awaited) {
                waiting->quit();
            }
        });
    }

    // Runs the event loop until `count` signals have arrived, at most 10 seconds; unlike
    // QTRY_COMPARE it returns the moment the signal arrives.
    bool WaitFor(int count) {
        if (received < count) {
            QEventLoop loop;
            QTimer::singleShot(10000, &loop, &QEventLoop::quit);
            waiting = &loop;
            awaited = count;
            loop.exec();
            waiting = nullptr;
        }
        return received == count;
    }
};

bool IdleAfter(const TThreadFract& thread, std::uint64_t frames) {
    return thread.RenderIdle() && thread.FramesDone() == frames;
}

// A point function that stops the frame at its first point until the test lets it go on.
std::atomic<bool> g_insideFrame{false};
std::atomic<bool> g_letFrameGoOn{false};

const std::uint8_t* BlockingPointColor(const FractalState& state, float x, float y) {
    if (!g_insideFrame.exchange(true)) {
        while (!g_letFrameGoOn.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return Z2PointColor(state, x, y);
}

// A point function that stops once, at its call number g_gateAt, until the test lets it go on.
std::atomic<int> g_calls{0};
int g_gateAt = 0;

const std::uint8_t* GatedPointColor(const FractalState& state, float x, float y) {
    if (g_calls.fetch_add(1) + 1 == g_gateAt) {
        g_insideFrame.store(true);
        while (!g_letFrameGoOn.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return Z2PointColor(state, x, y);
}

// A view large enough to be drawn in passes; C = 0.5 gives quick but varied pictures.
FractalState LargeState(int width, int height) {
    FractalState state = MakeStartState();
    state.Cx = 0.5;
    state.Cy = 0.0;
    SetMainSize(state, width, height);
    return state;
}

QImage MainReference(const FractalState& state) {
    return Reference(state, MainViewGeometry(state), state.MainWidth, state.MainHeight, nullptr);
}

}  // namespace

class TestRenderThread : public QObject {
    Q_OBJECT

private slots:
    void firstFrameComesWithoutARequest() {
        const FractalState state = CheapState();
        const OverviewMarker marker;
        TThreadFract thread(state, marker);
        FrameCounter counter(thread);
        QVERIFY(!thread.RenderIdle());
        QCOMPARE(thread.FramesDone(), std::uint64_t(0));
        QCOMPARE(thread.MainFrame().size(), QSize(kMainViewWidth, kMainViewHeight));
        QCOMPARE(thread.MainFrame().format(), QImage::Format_RGB32);
        QCOMPARE(thread.OverviewFrame().size(), QSize(kOverviewWidth, kOverviewHeight));
        QCOMPARE(thread.MainFrame().pixel(0, 0), qRgb(0, 0, 0));
        // Not idle before the first frame: a request is ignored.
        thread.RequestFrame();
        QVERIFY(!thread.RenderIdle());

        thread.start();
        QTRY_VERIFY(IdleAfter(thread, 1));
        QTRY_COMPARE(counter.received, 1);
        QCOMPARE(thread.priority(), QThread::TimeCriticalPriority);
        QVERIFY(thread.isRunning());
    }

    void publishedFramesAreTheRenderersPictures() {
        FractalState state = MakeStartState();
        state.CenterX = 1.5f;
        state.ViewWidth = 2.0f;
        state.MainStep = MainStepFor(state.ViewWidth);
        OverviewMarker marker;
        UpdateOverviewMarker(marker, state.CenterX, state.CenterY, state.MainStep);
        TThreadFract thread(state, marker);
        thread.start();
        QTRY_VERIFY(IdleAfter(thread, 1));
        CheckPublishedFrames(thread, state, marker);

        // Changed while idle, the state and the marker go into the next frame.
        const QImage firstMain = thread.MainFrame();
        state.Cx = -0.8;
        state.Cy = 0.156;
        state.CenterX = -0.3f;
        state.CenterY = 0.2f;
        state.ViewWidth = 0.1f;
        state.MainStep = MainStepFor(state.ViewWidth);
        UpdateOverviewMarker(marker, state.CenterX, state.CenterY, state.MainStep);
        QVERIFY(!marker.MarkerIsFrame);
        thread.RequestFrame();
        QTRY_VERIFY(IdleAfter(thread, 2));
        CheckPublishedFrames(thread, state, marker);
        // A copy handed out earlier keeps the old picture.
        QVERIFY(!SameBytes(firstMain, thread.MainFrame()));
        QVERIFY(SameBytes(
            firstMain, Reference(MakeStartState(),
                                 {1.5f, 0.0f, MainStepFor(2.0f), kMainHalfWidth, kMainHalfHeight},
                                 kMainViewWidth, kMainViewHeight, nullptr)));
    }

    void largeViewsComeInPasses() {
        FractalState state = LargeState(1200, 800);
        OverviewMarker marker;
        TThreadFract thread(state, marker);
        FrameCounter counter(thread);
        thread.start();
        // The coarse pass, then the exact picture.
        QVERIFY(counter.WaitFor(2));
        QTRY_VERIFY(IdleAfter(thread, 1));
        QCOMPARE(thread.CoarsePassesShown(), std::uint64_t(1));
        QVERIFY(thread.MainFrameExact());
        QVERIFY(SameBytes(thread.MainFrame(), MainReference(state)));

        // The same view again keeps its exact picture; the overview follows the marker.
        UpdateOverviewMarker(marker, MainViewGeometry(state));
        thread.RequestFrame();
        QTRY_VERIFY(IdleAfter(thread, 2));
        QCOMPARE(thread.CoarsePassesShown(), std::uint64_t(1));
        QVERIFY(thread.MainFrameExact());
        QVERIFY(SameBytes(
            thread.OverviewFrame(),
            Reference(state, OverviewGeometry(), kOverviewWidth, kOverviewHeight, &marker)));

        // A view above 2560 x 1440 pixels starts with every 8th pixel.
        SetMainSize(state, 2600, 1500);
        thread.RequestFrame();
        QTRY_VERIFY(IdleAfter(thread, 3));
        QCOMPARE(thread.CoarsePassesShown(), std::uint64_t(3));
        QVERIFY(SameBytes(thread.MainFrame(), MainReference(state)));
    }

    void aRequestAbandonsTheRefinement() {
        FractalState state = LargeState(700, 700);
        state.PointColor = &GatedPointColor;
        g_calls.store(0);
        // The overview first, then the coarse pass; the gate is the first point after them.
        g_gateAt = kOverviewWidth * kOverviewHeight + 175 * 175 + 1;
        g_insideFrame.store(false);
        g_letFrameGoOn.store(false);
        OverviewMarker marker;
        TThreadFract thread(state, marker);
        struct LetGoAtEnd {
            ~LetGoAtEnd() { g_letFrameGoOn.store(true); }
        } letGo;
        thread.start();
        QTRY_VERIFY(g_insideFrame.load());
        // After the coarse pass the window may change the state and ask for the next frame.
        QVERIFY(thread.RenderIdle());
        QVERIFY(!thread.MainFrameExact());
        state.CenterX = 0.3f;
        thread.RequestFrame();
        QVERIFY(!thread.RenderIdle());
        g_letFrameGoOn.store(true);
        QTRY_VERIFY(IdleAfter(thread, 1));
        QTRY_VERIFY(thread.MainFrameExact());
        // The first frame was left unfinished; the picture is the new state's.
        QCOMPARE(thread.FramesDone(), std::uint64_t(1));
        QCOMPARE(thread.CoarsePassesShown(), std::uint64_t(2));
        QVERIFY(SameBytes(thread.MainFrame(), MainReference(state)));
    }

    void requestMarksBusyAndLaterRequestsAreDropped() {
        const FractalState state = CheapState();
        const OverviewMarker marker;
        TThreadFract thread(state, marker);
        FrameCounter counter(thread);
        thread.start();
        QTRY_VERIFY(IdleAfter(thread, 1));

        thread.SetHoldForTests(true);
        thread.RequestFrame();
        QVERIFY(!thread.RenderIdle());
        QTRY_VERIFY(thread.HeldForTests());
        for (int i = 0; i < 5; ++i) {
            thread.RequestFrame();
        }
        QVERIFY(!thread.RenderIdle());
        QCOMPARE(thread.FramesDone(), std::uint64_t(1));

        thread.SetHoldForTests(false);
        QTRY_VERIFY(IdleAfter(thread, 2));
        QVERIFY(!thread.HeldForTests());
        // Nothing was queued: no further frame follows.
        QTest::qWait(100);
        QVERIFY(IdleAfter(thread, 2));
        QCOMPARE(counter.received, 2);
    }

    void requestsDuringTheFirstFrameAreDropped() {
        const FractalState state = CheapState();
        const OverviewMarker marker;
        TThreadFract thread(state, marker);
        thread.SetHoldForTests(true);
        thread.start();
        QTRY_VERIFY(thread.HeldForTests());
        thread.RequestFrame();
        thread.RequestFrame();
        QVERIFY(!thread.RenderIdle());
        QCOMPARE(thread.FramesDone(), std::uint64_t(0));
        thread.SetHoldForTests(false);
        QTRY_VERIFY(IdleAfter(thread, 1));
        QTest::qWait(100);
        QVERIFY(IdleAfter(thread, 1));
    }

    void everyRequestAfterAFrameGivesAFrame() {
        const FractalState state = CheapState();
        const OverviewMarker marker;
        TThreadFract thread(state, marker);
        FrameCounter counter(thread);
        thread.start();
        // Through the window thread's event loop: request as each frame arrives.
        constexpr int kCycles = 200;
        for (int i = 1; i <= kCycles; ++i) {
            QVERIFY2(counter.WaitFor(i), "a wake-up was lost");
            QVERIFY(thread.RenderIdle());
            thread.RequestFrame();
        }
        QTRY_VERIFY(IdleAfter(thread, kCycles + 1));

        // Without the event loop: request the moment the renderer turns idle, which is when it
        // is on its way to sleep.
        for (int i = 1; i <= kCycles; ++i) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!thread.RenderIdle() && std::chrono::steady_clock::now() < deadline) {
            }
            QVERIFY2(thread.RenderIdle(), "a wake-up was lost");
            thread.RequestFrame();
        }
        QTRY_VERIFY(IdleAfter(thread, 2 * kCycles + 1));
        QTRY_COMPARE(counter.received, 2 * kCycles + 1);
    }

    void stopWhileHeldInAFrame() {
        const FractalState state = CheapState();
        const OverviewMarker marker;
        TThreadFract thread(state, marker);
        thread.start();
        QTRY_VERIFY(IdleAfter(thread, 1));
        thread.SetHoldForTests(true);
        thread.RequestFrame();
        QTRY_VERIFY(thread.HeldForTests());

        thread.Stop();
        QVERIFY(thread.isFinished());
        QVERIFY(!thread.HeldForTests());
        // The held frame is left out.
        QCOMPARE(thread.FramesDone(), std::uint64_t(1));
        thread.Stop();
        QVERIFY(thread.isFinished());
    }

    void stopWhileIdleAndTwice() {
        const FractalState state = CheapState();
        const OverviewMarker marker;
        TThreadFract thread(state, marker);
        thread.start();
        QTRY_VERIFY(IdleAfter(thread, 1));
        thread.Stop();
        QVERIFY(thread.isFinished());
        thread.Stop();
        QVERIFY(thread.isFinished());
        // Requests after the end change nothing.
        thread.RequestFrame();
        QVERIFY(IdleAfter(thread, 1));
    }

    void stopWaitsForTheRunningFrame() {
        FractalState state = CheapState();
        state.PointColor = &BlockingPointColor;
        OverviewMarker marker;
        UpdateOverviewMarker(marker, 0.0f, 0.0f, BaseStep);
        g_insideFrame = false;
        g_letFrameGoOn = false;
        TThreadFract thread(state, marker);
        struct LetGoAtEnd {
            ~LetGoAtEnd() { g_letFrameGoOn.store(true); }
        } letGo;
        thread.start();
        QTRY_VERIFY(g_insideFrame.load());

        std::atomic<bool> stopped{false};
        std::thread stopper([&] {
            thread.Stop();
            stopped = true;
        });
        QTest::qWait(100);
        QVERIFY(!stopped.load());
        g_letFrameGoOn = true;
        stopper.join();
        QVERIFY(thread.isFinished());
        // The frame was finished and handed over, then the thread ended.
        QCOMPARE(thread.FramesDone(), std::uint64_t(1));
        FractalState plain = state;
        plain.PointColor = &Z2PointColor;
        CheckPublishedFrames(thread, plain, marker);
    }

    void destroyRightAfterStartOrUnstarted() {
        const FractalState state = CheapState();
        const OverviewMarker marker;
        for (int i = 0; i < 20; ++i) {
            TThreadFract thread(state, marker);
            thread.start();
        }
        for (int i = 0; i < 20; ++i) {
            TThreadFract thread(state, marker);
            thread.SetHoldForTests(true);
            thread.start();
        }
        TThreadFract never(state, marker);
        never.Stop();
        QVERIFY(!never.isRunning());
    }
};

// The frame signal reaches the test through an event loop, hence a core application.
QTEST_GUILESS_MAIN(TestRenderThread)
#include "test_render_thread.moc"
