#include <QtTest>

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "engine/export_render.h"
#include "engine/fast_kernels.h"
#include "engine/render.h"
#include "engine/worker_pool.h"
#include "support/kernel_pictures.h"

using namespace ombrilo;
using testpictures::IndexTable;
using testpictures::Picture;
using testpictures::StateAt;

namespace {

// Bytes 0..2 of each pixel, each row followed by one byte 0xEE.
std::vector<std::uint8_t> Packed24(const Picture& picture) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < picture.bytes.size(); i += 4) {
        bytes.insert(bytes.end(), picture.bytes.begin() + i, picture.bytes.begin() + i + 3);
        if ((i / 4 + 1) % static_cast<std::size_t>(picture.frame.width) == 0) {
            bytes.push_back(0xEE);
        }
    }
    return bytes;
}

// RenderView and RenderViewRows24 (rows one byte apart, which it must not touch) against the
// reference.
bool SamePicture(const FractalState& state, const ViewGeometry& view, int width, int height) {
    Picture fast(width, height);
    Picture reference(width, height);
    RenderView(state, view, fast.frame);
    RenderViewReference(state, view, reference.frame);
    std::vector<std::uint8_t> rows24(static_cast<std::size_t>(width * 3 + 1) * height, 0xEE);
    RenderViewRows24(state, view, 0, {rows24.data(), width, height, width * 3 + 1});
    return fast.bytes == reference.bytes && rows24 == Packed24(reference);
}

struct ExportRun {
    ExportOutcome outcome;
    std::vector<std::uint8_t> bytes;
    std::vector<std::int32_t> reports;
};

template <typename Render>
ExportRun RunExport(Render render, const ExportView& view, const ExportGeometry& g,
                    int cancelAtReport = -1, std::int64_t rejectRow = -1) {
    static const ColorTable table = IndexTable();
    ExportRun run;
    std::int64_t expectedRow = 0;
    run.outcome = render(
        view, table, g,
        [&](std::int64_t row, const std::uint8_t* bgr) {
            if (row != expectedRow++ || row == rejectRow) {
                return false;
            }
            run.bytes.insert(run.bytes.end(), bgr, bgr + g.WidthPixels * 3);
            return true;
        },
        [&](std::int32_t row) {
            run.reports.push_back(row);
            return static_cast<int>(run.reports.size()) != cancelAtReport;
        });
    return run;
}

}  // namespace

class TestFastRender : public QObject {
    Q_OBJECT

private slots:
    void cyclesNeverChangeAnIndex_data() {
        QTest::addColumn<double>("cx");
        QTest::addColumn<double>("cy");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::newRow("fixed point 0 with C = 0") << 0.0 << 0.0 << 0.0 << 0.0;
        QTest::newRow("period 2 with C = -1") << -1.0 << 0.0 << 0.0 << 0.0;
        QTest::newRow("period 3 with C = -1.7549") << -1.7549 << 0.0 << 0.0 << 0.0;
        QTest::newRow("2 -> 2 with C = -2 escapes at once") << -2.0 << 0.0 << 2.0 << 0.0;
        QTest::newRow("settles slowly near C = 1/4") << 0.2499 << 0.0 << 0.0 << 0.0;
        QTest::newRow("escapes late above C = 1/4") << 0.2501 << 0.0 << 0.0 << 0.0;
        QTest::newRow("start constant, inside") << 0.402 << 0.339 << 0.01 << 0.02;
        QTest::newRow("rabbit") << -0.123 << 0.745 << 0.0 << 0.0;
        QTest::newRow("Siegel disc, never settles")
            << -0.390540870218 << -0.586787907347 << 0.0 << 0.0;
        QTest::newRow("NaN start") << 0.0 << 0.0 << std::numeric_limits<double>::quiet_NaN() << 0.0;
        QTest::newRow("negative zero start") << 0.0 << -0.0 << -0.0 << -0.0;
    }

    void cyclesNeverChangeAnIndex() {
        QFETCH(double, cx);
        QFETCH(double, cy);
        QFETCH(double, x);
        QFETCH(double, y);
        QCOMPARE(Z2EscapeIndexDetecting(cx, cy, static_cast<float>(x), static_cast<float>(y)),
                 Z2EscapeIndex(cx, cy, static_cast<float>(x), static_cast<float>(y)));
        for (int limit : {0, 1, 8, 9, 254, 1022, 8190, 100000}) {
            QCOMPARE(ExportEscapeIndexDetecting(cx, cy, limit, x, y),
                     ExportEscapeIndex(cx, cy, limit, x, y));
        }
    }

    void slowestEscapesAroundTheLimit() {
        // Orbits of 0 just above C = 1/4 escape after nearly every count up to the limit: every
        // count, and the step from 254 to inside, must come out as the reference gives it.
        for (double c = 0.25; c < 0.2506; c += 0.0000011) {
            QCOMPARE(Z2EscapeIndexDetecting(c, 0.0, 0.0f, 0.0f), Z2EscapeIndex(c, 0.0, 0.0f, 0.0f));
        }
        for (double c = 0.25; c < 0.25001; c += 0.00000007) {
            QCOMPARE(ExportEscapeIndexDetecting(c, 0.0, 8190, 0.0, 0.0),
                     ExportEscapeIndex(c, 0.0, 8190, 0.0, 0.0));
        }
    }

    void randomPointsAndConstants() {
        std::mt19937 random(20261208);
        std::uniform_real_distribution<double> plane(-2.2, 2.2);
        std::uniform_real_distribution<double> constant(-1.2, 1.2);
        for (int i = 0; i < 30000; ++i) {
            const double cx = constant(random) * 0.8;
            const double cy = constant(random) * 0.8;
            const float x = static_cast<float>(plane(random));
            const float y = static_cast<float>(plane(random));
            QCOMPARE(Z2EscapeIndexDetecting(cx, cy, x, y), Z2EscapeIndex(cx, cy, x, y));
            if (i % 10 == 0) {
                QCOMPARE(ExportEscapeIndexDetecting(cx, cy, 2046, x, y),
                         ExportEscapeIndex(cx, cy, 2046, x, y));
            }
        }
    }

    void picturesEqualTheReference_data() {
        QTest::addColumn<double>("cx");
        QTest::addColumn<double>("cy");
        QTest::addColumn<float>("centerX");
        QTest::addColumn<float>("centerY");
        QTest::addColumn<float>("width");
        QTest::addColumn<int>("pixelsWide");
        QTest::addColumn<int>("pixelsHigh");
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float inf = std::numeric_limits<float>::infinity();
        QTest::newRow("start view, preview")
            << 0.402 << 0.339 << 0.0f << 0.0f << 5.0f << 145 << 105;
        QTest::newRow("start view, odd size") << 0.402 << 0.339 << 0.0f << 0.0f << 5.0f << 37 << 23;
        QTest::newRow("1 x 1") << 0.402 << 0.339 << 0.0f << 0.0f << 5.0f << 1 << 1;
        QTest::newRow("entirely inside") << 0.402 << 0.339 << 0.0f << 0.0f << 0.05f << 40 << 30;
        QTest::newRow("boundary zoom 1e-3")
            << -0.123 << 0.745 << 0.3577f << 0.1413f << 1e-3f << 64 << 48;
        QTest::newRow("boundary zoom 1e-5")
            << 0.402 << 0.339 << 0.5186f << 0.2317f << 1e-5f << 64 << 48;
        QTest::newRow("float resolution")
            << 0.402 << 0.339 << 0.5186f << 0.2317f << 1e-7f << 64 << 48;
        QTest::newRow("huge coordinates") << 0.402 << 0.339 << 1e30f << -1e30f << 1e29f << 16 << 12;
        QTest::newRow("tiny coordinates") << 0.0 << 0.0 << 1e-30f << 1e-30f << 1e-35f << 16 << 12;
        QTest::newRow("NaN centre") << 0.402 << 0.339 << nan << 0.0f << 5.0f << 16 << 12;
        QTest::newRow("infinite centre") << 0.402 << 0.339 << inf << -inf << 5.0f << 16 << 12;
        QTest::newRow("negative width") << -0.8 << 0.156 << 0.0f << 0.0f << -3.0f << 50 << 40;
        QTest::newRow("strongly attracting fixed point")
            << -0.5 << 0.3 << 0.0f << 0.0f << 3.0f << 60 << 45;
        QTest::newRow("dust") << 0.45 << 0.1428 << 0.0f << 0.0f << 4.0f << 60 << 45;
        QTest::newRow("dendrite") << 0.0 << 1.0 << 0.0f << 0.0f << 4.0f << 60 << 45;
        // Where the attracting cycle turns parabolic the trap region is thinnest: near the
        // cusp C = 1/4 and the edge r = 1 of the cardioid C = r e^(it)/2 - r^2 e^(2it)/4, and
        // near -3/4 and the edge |C + 1| = 1/4 of the period-2 disk.
        QTest::newRow("cusp, just inside") << 0.2499999 << 0.0 << 0.2f << 0.0f << 1.0f << 48 << 36;
        QTest::newRow("cusp, just outside") << 0.2500001 << 0.0 << 0.0f << 0.0f << 3.0f << 48 << 36;
        for (double t : {1.0, 2.5}) {
            for (double r : {0.9999, 1.0}) {
                const double cx = r * std::cos(t) / 2 - r * r * std::cos(2 * t) / 4;
                const double cy = r * std::sin(t) / 2 - r * r * std::sin(2 * t) / 4;
                QTest::addRow("cardioid edge, t = %g, r = %g", t, r)
                    << cx << cy << 0.0f << 0.0f << 3.0f << 48 << 36;
            }
        }
        QTest::newRow("-3/4, just inside") << -0.7499999 << 0.0 << 0.0f << 0.0f << 3.0f << 48 << 36;
        for (double t : {0.5, 2.0}) {
            QTest::addRow("period-2 disk edge, t = %g", t)
                << -1.0 + 0.2499 * std::cos(t) << 0.2499 * std::sin(t) << 0.0f << 0.0f << 3.0f << 48
                << 36;
        }
    }

    void picturesEqualTheReference() {
        QFETCH(double, cx);
        QFETCH(double, cy);
        QFETCH(float, centerX);
        QFETCH(float, centerY);
        QFETCH(float, width);
        QFETCH(int, pixelsWide);
        QFETCH(int, pixelsHigh);
        const FractalState state = StateAt(cx, cy, centerX, centerY, width);
        QVERIFY(SamePicture(state, ScreenGeometry(state, pixelsWide, pixelsHigh), pixelsWide,
                            pixelsHigh));
        QVERIFY(SamePicture(state, MainViewGeometry(state), pixelsWide, pixelsHigh));
    }

    // Bands of rows drawn from the bottom up make the whole picture.
    void bandsMakeTheWholePicture() {
        const FractalState state = StateAt(-0.123, 0.745, 0.1f, 0.0f, 2.0f);
        const ViewGeometry view = ScreenGeometry(state, 50, 37);
        Picture whole(50, 37);
        Picture bands(50, 37);
        RenderViewReference(state, view, whole.frame);
        for (int end = 37; end > 0; end -= 5) {
            const int first = std::max(0, end - 5);
            RenderViewRows(state, view, first,
                           {bands.frame.Row(first), 50, end - first, bands.frame.bytesPerLine});
        }
        QCOMPARE(bands.bytes, whole.bytes);
        std::vector<std::uint8_t> rows24(std::size_t{50 * 3 + 1} * 37, 0xEE);
        for (int first = 0; first < 37; first += 8) {
            RenderViewRows24(
                state, view, first,
                {rows24.data() + first * (50 * 3 + 1), 50, std::min(8, 37 - first), 50 * 3 + 1});
        }
        QCOMPARE(rows24, Packed24(whole));
    }

    void mainViewAndOverview() {
        const FractalState state = StateAt(0.402, 0.339, 0.0f, 0.0f, 5.0f);
        QVERIFY(SamePicture(state, MainViewGeometry(state), kMainViewWidth, kMainViewHeight));
        QVERIFY(SamePicture(state, OverviewGeometry(), kOverviewWidth, kOverviewHeight));
    }

    void severalCallersAtOnce() {
        const FractalState a = StateAt(0.402, 0.339, 0.0f, 0.0f, 5.0f);
        const FractalState b = StateAt(-0.123, 0.745, 0.1f, 0.0f, 2.0f);
        Picture expectA(120, 90), expectB(120, 90);
        RenderViewReference(a, ScreenGeometry(a, 120, 90), expectA.frame);
        RenderViewReference(b, ScreenGeometry(b, 120, 90), expectB.frame);
        std::atomic<int> mismatches{0};
        auto draw = [&](const FractalState& s, const Picture& expected) {
            for (int i = 0; i < 5; ++i) {
                Picture p(120, 90);
                RenderView(s, ScreenGeometry(s, 120, 90), p.frame);
                mismatches += p.bytes != expected.bytes;
            }
        };
        std::thread first(draw, std::cref(a), std::cref(expectA));
        std::thread second(draw, std::cref(b), std::cref(expectB));
        draw(a, expectA);
        first.join();
        second.join();
        QCOMPARE(mismatches.load(), 0);
    }

    void exportsEqualTheReference_data() {
        QTest::addColumn<float>("centerX");
        QTest::addColumn<float>("width");
        QTest::addColumn<int>("pixelsWide");
        QTest::addColumn<int>("pixelsHigh");
        QTest::addColumn<int>("limit");
        QTest::newRow("4 x 3") << 0.0f << 5.0f << 4 << 3 << 254;
        QTest::newRow("20 rows") << 0.0f << 5.0f << 17 << 20 << 254;
        QTest::newRow("21 rows") << 0.0f << 5.0f << 17 << 21 << 510;
        QTest::newRow("wider than a chunk") << 0.0f << 5.0f << 300 << 43 << 254;
        QTest::newRow("boundary, deep") << 0.5186f << 1e-4f << 40 << 30 << 8190;
        QTest::newRow("inside, deep") << 0.0f << 0.05f << 30 << 22 << 1022;
        QTest::newRow("several blocks") << 0.0f << 5.0f << 300 << 700 << 254;
    }

    void exportsEqualTheReference() {
        QFETCH(float, centerX);
        QFETCH(float, width);
        QFETCH(int, pixelsWide);
        QFETCH(int, pixelsHigh);
        QFETCH(int, limit);
        const ExportView view{0.402, 0.339, centerX, 0.2317f * (centerX != 0.0f), width};
        const ExportGeometry g = MakeExportGeometry(width, pixelsWide, pixelsHigh, limit);
        const ExportRun fast = RunExport(RenderExport, view, g);
        const ExportRun reference = RunExport(RenderExportReference, view, g);
        QCOMPARE(fast.outcome, ExportOutcome::Finished);
        QVERIFY(fast.bytes == reference.bytes);
        QCOMPARE(fast.reports, reference.reports);
    }

    void exportStopsWhereTheReferenceStops() {
        const ExportView view{0.402, 0.339, 0.0f, 0.0f, 5.0f};
        const ExportGeometry g = MakeExportGeometry(5.0f, 9, 100, 254);
        const ExportRun fast = RunExport(RenderExport, view, g, 2);
        const ExportRun reference = RunExport(RenderExportReference, view, g, 2);
        QCOMPARE(fast.outcome, ExportOutcome::Cancelled);
        QCOMPARE(fast.reports, (std::vector<std::int32_t>{20, 41}));
        QVERIFY(fast.bytes == reference.bytes);
        QCOMPARE(fast.bytes.size(), std::size_t(42 * 9 * 3));
        const ExportRun rejected = RunExport(RenderExport, view, g, -1, 30);
        QCOMPARE(rejected.outcome, ExportOutcome::RowRejected);
        QCOMPARE(rejected.bytes.size(), std::size_t(30 * 9 * 3));
        QCOMPARE(rejected.reports, (std::vector<std::int32_t>{20}));
        // Narrow and tall: blocks of thousands of rows, stopped inside the second one.
        const ExportGeometry tall = MakeExportGeometry(5.0f, 9, 16000, 254);
        const ExportRun stopped = RunExport(RenderExport, view, tall, 400);
        QCOMPARE(stopped.outcome, ExportOutcome::Cancelled);
        QCOMPARE(stopped.bytes.size(), std::size_t(8400 * 9 * 3));
        QVERIFY(stopped.bytes == RunExport(RenderExportReference, view, tall, 400).bytes);
    }

    void parallelForRunsEveryIndexOnce() {
        std::vector<std::atomic<int>> seen(1000);
        ParallelFor(1000, [&](std::int64_t i) {
            // A body may itself share work out.
            ParallelFor(3, [&](std::int64_t) {});
            ++seen[static_cast<std::size_t>(i)];
        });
        for (const auto& count : seen) {
            QCOMPARE(count.load(), 1);
        }
        ParallelFor(0, [](std::int64_t) { throw std::logic_error("never"); });
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, ParallelFor(100, [](std::int64_t i) {
                                     if (i == 57) {
                                         throw std::runtime_error("row failed");
                                     }
                                 }));
        QVERIFY(ParallelThreadCount() >= 2);
    }

    void parallelForWorkersLeaveTheCallersCpu() {
        cpu_set_t allowed;
        QCOMPARE(sched_getaffinity(0, sizeof allowed, &allowed), 0);
        if (CPU_COUNT(&allowed) < 2) {
            QSKIP("one CPU only");
        }
        // A caller held on one CPU, perhaps the pool's first: every index a worker takes must
        // run elsewhere.
        std::atomic<int> byWorkers{0};
        std::atomic<int> onCallersCpu{0};
        std::thread([&] {
            const int callerCpu = sched_getcpu();
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(callerCpu, &one);
            if (sched_setaffinity(0, sizeof one, &one) != 0) {
                return;
            }
            const auto caller = std::this_thread::get_id();
            ParallelFor(40, [&](std::int64_t) {
                std::this_thread::sleep_for(std::chrono::microseconds(300));
                if (std::this_thread::get_id() != caller) {
                    ++byWorkers;
                    onCallersCpu += sched_getcpu() == callerCpu ? 1 : 0;
                }
            });
        }).join();
        QVERIFY(byWorkers.load() > 0);
        QCOMPARE(onCallersCpu.load(), 0);
    }
};

QTEST_APPLESS_MAIN(TestFastRender)
#include "test_fast_render.moc"
