#include "sweep_clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace ombrilo {

namespace {

// Ticks missed beyond this are not made up.
constexpr qint64 kLongestCatchUpMs = 500;

class TimerSweepClock final : public SweepClock {
public:
    TimerSweepClock() { clock_.start(); }

    void Start() override { lastTick_ = clock_.elapsed(); }

    void WaitForTick() override {
        const qint64 now = clock_.elapsed();
        qint64 due = lastTick_ + kSweepTickMs;
        if (now - due > kLongestCatchUpMs) {
            due = now;
        }
        lastTick_ = due;
        if (due > now) {
            QEventLoop loop;
            QTimer::singleShot(static_cast<int>(due - now), Qt::PreciseTimer, &loop,
                               &QEventLoop::quit);
            loop.exec();
        } else {
            QCoreApplication::processEvents();
        }
    }

private:
    QElapsedTimer clock_;
    qint64 lastTick_ = 0;
};

}  // namespace

std::unique_ptr<SweepClock> MakeTimerSweepClock() {
    return std::make_unique<TimerSweepClock>();
}

}  // namespace ombrilo
