#include <QtTest>

#include <cmath>
#include <map>
#include <stdexcept>
#include <vector>

#include "engine/export_render.h"
#include "engine/fractal_state.h"
#include "engine/point_function.h"

using namespace ombrilo;

namespace {

// A table whose entries name their own index, so a pixel tells which index it got.
ColorTable IndexTable() {
    ColorTable table;
    for (int i = 0; i <= ColorTable::kLastIndex; ++i) {
        std::uint8_t* e = table.Entry(i);
        e[0] = static_cast<std::uint8_t>(i & 0xFF);
        e[1] = static_cast<std::uint8_t>(i >> 8);
        e[2] = 0x5A;
    }
    return table;
}

int IndexOf(const std::uint8_t* bgr) {
    return bgr[0] | (bgr[1] << 8);
}

ExportView StartView() {
    const FractalState s = MakeStartState();
    return {s.Cx, s.Cy, s.CenterX, s.CenterY, s.ViewWidth};
}

struct Run {
    ExportOutcome outcome;
    std::vector<std::vector<std::uint8_t>> rows;
    std::vector<std::int32_t> reports;
};

Run Export(const ExportView& view, const ExportGeometry& g, int cancelAtReport = -1,
           std::int64_t rejectRow = -1) {
    Run run;
    const ColorTable table = IndexTable();
    run.outcome = RenderExport(
        view, table, g,
        [&](std::int64_t row, const std::uint8_t* bgr) {
            if (row != static_cast<std::int64_t>(run.rows.size())) {
                return false;  // rows must come in order
            }
            if (row == rejectRow) {
                return false;
            }
            run.rows.emplace_back(bgr, bgr + g.WidthPixels * 3);
            return true;
        },
        [&](std::int32_t progressRow) {
            run.reports.push_back(progressRow);
            return static_cast<int>(run.reports.size()) != cancelAtReport;
        });
    return run;
}

}  // namespace

class TestExportRender : public QObject {
    Q_OBJECT

private slots:
    void detailTable() {
        const std::map<int, int> expected = {{256, 254},   {512, 510},   {1024, 1022},
                                             {2048, 2046}, {4096, 4094}, {8192, 8190}};
        for (auto [detail, limit] : expected) {
            QCOMPARE(ExportLimitForDetail(detail).value(), limit);
        }
        for (int bad : {0, 255, 257, 16384, -256}) {
            QVERIFY(!ExportLimitForDetail(bad).has_value());
        }
    }

    void startViewFourByThree() {
        const ExportGeometry g = MakeExportGeometry(5.0f, 4, 3, 254);
        QCOMPARE(g.ExportStep, 1.25f);
        QCOMPARE(g.ExportHalfWidth, std::int64_t(2));
        QCOMPARE(g.ExportHalfHeight, std::int64_t(1));
        const ExportView view = StartView();
        QCOMPARE(ExportLeft(view, g), -2.5);
        QCOMPARE(ExportTop(view, g), 1.25);
        const Run run = Export(view, g);
        QCOMPARE(run.outcome, ExportOutcome::Finished);
        QCOMPARE(run.rows.size(), std::size_t(3));
        const double xs[] = {-2.5, -1.25, 0.0, 1.25};
        const double ys[] = {1.25, 0.0, -1.25};
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 4; ++c) {
                QCOMPARE(IndexOf(&run.rows[r][3 * c]),
                         ExportEscapeIndex(view.Cx, view.Cy, 254, xs[c], ys[r]));
                QCOMPARE(int(run.rows[r][3 * c + 2]), 0x5A);
            }
        }
        // The origin is in the set, the corner (-2.5, 1.25) escapes at once.
        QCOMPARE(IndexOf(&run.rows[1][6]), 0);
        QCOMPARE(IndexOf(&run.rows[0][0]), 1);
    }

    void halvesOfOddSizes() {
        const ExportGeometry g = MakeExportGeometry(5.0f, 1281, 961, 8190);
        QCOMPARE(g.ExportHalfWidth, std::int64_t(640));
        QCOMPARE(g.ExportHalfHeight, std::int64_t(480));
        QCOMPARE(g.ExportStep, static_cast<float>(5.0L / 1281));
        QCOMPARE(g.ExportLimit, 8190);
    }

    void stepsRoundOnceFromExtended() {
        // 1 + 2^-53 + 2^-64 is a tie in extended precision, which goes to 1 + 2^-53, and then a
        // tie in double, which goes to 1; a plain double addition would give 1 + 2^-52.
        const float step = std::ldexp(1.0f, -53) + std::ldexp(1.0f, -64);
        QCOMPARE(AddStep(1.0, step), 1.0);
        QCOMPARE(SubtractStep(-1.0, step), -1.0);
        QVERIFY(1.0 + static_cast<double>(step) != 1.0);
    }

    void pixelsFollowTheStepwiseCoordinates() {
        // A boundary view at a size that does not divide the width evenly: every pixel equals
        // the point function at the coordinates reached by the stepwise additions.
        ExportView view = StartView();
        view.CenterX = -0.37f;
        view.CenterY = 0.21f;
        view.ViewWidth = 0.3f;
        const ExportGeometry g = MakeExportGeometry(view.ViewWidth, 37, 23, 1022);
        const Run run = Export(view, g);
        QCOMPARE(run.outcome, ExportOutcome::Finished);
        double y = ExportTop(view, g);
        int inside = 0;
        for (int r = 0; r < 23; ++r) {
            double x = ExportLeft(view, g);
            for (int c = 0; c < 37; ++c) {
                const int index = ExportEscapeIndex(view.Cx, view.Cy, 1022, x, y);
                QCOMPARE(IndexOf(&run.rows[r][3 * c]), index);
                inside += index == 0;
                x = AddStep(x, g.ExportStep);
            }
            y = SubtractStep(y, g.ExportStep);
        }
        QVERIFY(inside > 0 && inside < 37 * 23);
    }

    void reportPoints() {
        const ExportView view = StartView();
        // Fewer than 21 rows: no report point at all.
        QVERIFY(Export(view, MakeExportGeometry(5.0f, 4, 20, 254)).reports.empty());
        // 21 rows: one report after the last row.
        QCOMPARE(Export(view, MakeExportGeometry(5.0f, 4, 21, 254)).reports,
                 (std::vector<std::int32_t>{20}));
        // Every 21 rows after that.
        QCOMPARE(Export(view, MakeExportGeometry(5.0f, 4, 84, 254)).reports,
                 (std::vector<std::int32_t>{20, 41, 62, 83}));
    }

    void cancelAndRejectedRows() {
        const ExportView view = StartView();
        const ExportGeometry g = MakeExportGeometry(5.0f, 4, 100, 254);
        const Run cancelled = Export(view, g, 2);
        QCOMPARE(cancelled.outcome, ExportOutcome::Cancelled);
        QCOMPARE(cancelled.rows.size(), std::size_t(42));
        const Run rejected = Export(view, g, -1, 7);
        QCOMPARE(rejected.outcome, ExportOutcome::RowRejected);
        QCOMPARE(rejected.rows.size(), std::size_t(7));
    }

    // Rows of 3000 pixels make blocks of 21 rows: 50 rows are three blocks, the last one short,
    // more than the two slots hold at once. The rows equal the reference's, in order, and a stop
    // in a later block (a cancel, a rejected row, a sink that throws) ends the export there.
    void rowsOfSeveralBlocks() {
        const ExportView view = StartView();
        const ExportGeometry g = MakeExportGeometry(5.0f, 3000, 50, 254);
        const Run run = Export(view, g);
        QCOMPARE(run.outcome, ExportOutcome::Finished);
        QCOMPARE(run.reports, (std::vector<std::int32_t>{20, 41}));
        std::vector<std::vector<std::uint8_t>> reference;
        RenderExportReference(
            view, IndexTable(), g,
            [&](std::int64_t, const std::uint8_t* bgr) {
                reference.emplace_back(bgr, bgr + g.WidthPixels * 3);
                return true;
            },
            [](std::int32_t) { return true; });
        QVERIFY(run.rows == reference);
        QCOMPARE(Export(view, g, 2).rows.size(), std::size_t(42));
        QCOMPARE(Export(view, g, -1, 45).rows.size(), std::size_t(45));
        const auto throwing = [](std::int64_t row, const std::uint8_t*) -> bool {
            if (row == 30) {
                throw std::runtime_error("disk gone");
            }
            return true;
        };
        QVERIFY_THROWS_EXCEPTION(
            std::runtime_error,
            RenderExport(view, IndexTable(), g, throwing, [](std::int32_t) { return true; }));
    }

    void hostileSnapshots() {
        // Values from an edited fractal file run without crashing.
        const float nan = std::numeric_limits<float>::quiet_NaN();
        const float inf = std::numeric_limits<float>::infinity();
        for (float width : {nan, inf, -5.0f, 0.0f}) {
            for (float centre : {nan, inf, 1e38f}) {
                ExportView view = StartView();
                view.CenterX = view.CenterY = centre;
                view.ViewWidth = width;
                const Run run = Export(view, MakeExportGeometry(width, 5, 3, 510));
                QCOMPARE(run.outcome, ExportOutcome::Finished);
                QCOMPARE(run.rows.size(), std::size_t(3));
            }
        }
    }
};

QTEST_APPLESS_MAIN(TestExportRender)
#include "test_export_render.moc"
