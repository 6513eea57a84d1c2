#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

#include <csignal>
#include <vector>

#include "engine/fractal_state.h"
#include "engine/palette.h"
#include "export_expected.h"
#include "support/png_decode.h"
#include "support/test_files.h"

using namespace ombrilo;
using namespace testfiles;

namespace {

ExportView StartView() {
    const FractalState s = MakeStartState();
    return {s.Cx, s.Cy, s.CenterX, s.CenterY, s.ViewWidth};
}

struct Job {
    ExportView view = StartView();
    ColorTable table = MakeStartState().colorTable;
    ExportJob job;
    std::vector<std::int32_t> reports;

    Job(const QString& path, std::int64_t width, std::int64_t height, std::int32_t limit = 254) {
        job = ExportJob{Path(path), view, &table,
                        MakeExportGeometry(view.ViewWidth, width, height, limit)};
    }
    ExportJobResult Run(const ExportRowWriterFactory& writers = MakeExportRowWriter,
                        int stopAtReport = -1) {
        return WriteExportFile(
            job,
            [&](std::int32_t row) {
                reports.push_back(row);
                return static_cast<int>(reports.size()) != stopAtReport;
            },
            writers);
    }
};

// A limit on the size of files this process writes, with SIGXFSZ ignored so that a write past it
// fails with EFBIG; both are restored when it goes, also when a check returns early.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) : previousHandler(std::signal(SIGXFSZ, SIG_IGN)) {
        if (getrlimit(RLIMIT_FSIZE, &saved) == 0) {
            rlimit small = saved;
            small.rlim_cur = bytes;
            set = setrlimit(RLIMIT_FSIZE, &small) == 0;
        }
    }
    ~FileSizeLimit() {
        if (set) {
            setrlimit(RLIMIT_FSIZE, &saved);
        }
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    void (*previousHandler)(int);
    rlimit saved{};
    bool set = false;
};

}  // namespace

class TestExportJob : public QObject {
    Q_OBJECT

private slots:
    void filesEqualThePixelByPixelPicture_data() {
        QTest::addColumn<qint64>("width");
        QTest::addColumn<qint64>("height");
        QTest::addColumn<int>("limit");
        QTest::addColumn<float>("centerX");
        QTest::addColumn<float>("viewWidth");
        QTest::newRow("4 x 3 start view") << qint64(4) << qint64(3) << 254 << 0.0f << 5.0f;
        QTest::newRow("5 wide: row padding") << qint64(5) << qint64(4) << 254 << 0.0f << 5.0f;
        QTest::newRow("64 x 48 at 8192") << qint64(64) << qint64(48) << 8190 << 0.0f << 5.0f;
        QTest::newRow("off-centre zoom") << qint64(61) << qint64(45) << 1022 << -0.31f << 0.37f;
    }
    void filesEqualThePixelByPixelPicture() {
        QFETCH(qint64, width);
        QFETCH(qint64, height);
        QFETCH(int, limit);
        QFETCH(float, centerX);
        QFETCH(float, viewWidth);
        QTemporaryDir dir;
        Job j(dir.filePath("p.bmp"), width, height, limit);
        j.view.CenterX = centerX;
        j.view.ViewWidth = viewWidth;
        j.job.view = j.view;
        j.job.geometry = MakeExportGeometry(viewWidth, width, height, limit);
        QCOMPARE(j.Run(), ExportJobResult::Written);
        const QByteArray file = ReadBytes(dir.filePath("p.bmp"));
        QCOMPARE(file, ExpectedBmp(j.view, j.table, width, height, limit));
        QCOMPARE(Entries(dir.path()), QStringList{"p.bmp"});
        if (width == 4) {
            QCOMPARE(file.size(), 90);
        }
        // The PNG export of the same picture, under another palette as well.
        for (const Palette& palette :
             {MakeStartState().palette, Palette{7, 3, 250, 17, 90, 2, 41}}) {
            BuildColorTable(palette, j.table);
            j.job.path = Path(dir.filePath("p.png"));
            j.job.format = ExportFormat::Png;
            QCOMPARE(j.Run(), ExportJobResult::Written);
            const pngdecode::Decoded png = pngdecode::DecodeToBgr(ReadBytes(dir.filePath("p.png")));
            QVERIFY(png.ok);
            QVERIFY(png.bgr ==
                    pngdecode::BmpRowsTopDown(ExpectedBmp(j.view, j.table, width, height, limit),
                                              width, height));
        }
    }

    void reportsEvery21Rows() {
        QTemporaryDir dir;
        Job twenty(dir.filePath("a.bmp"), 26, 20);
        QCOMPARE(twenty.Run(), ExportJobResult::Written);
        QVERIFY(twenty.reports.empty());
        Job many(dir.filePath("b.bmp"), 8, 63);
        QCOMPARE(many.Run(), ExportJobResult::Written);
        QCOMPARE(many.reports, (std::vector<std::int32_t>{20, 41, 62}));
    }

    void stopAtAReportLeavesTheOlderFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("old.bmp");
        QVERIFY(WriteBytes(path, "older"));
        Job j(path, 40, 100);
        QCOMPARE(j.Run(MakeExportRowWriter, 2), ExportJobResult::Cancelled);
        QCOMPARE(j.reports, (std::vector<std::int32_t>{20, 41}));
        QCOMPARE(ReadBytes(path), QByteArray("older"));
        QCOMPARE(Entries(dir.path()), QStringList{"old.bmp"});
    }

    void failuresLeaveNothingBehind_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("expected");
        QTest::newRow("write fails at row 7")
            << int(RowFault::WriteFails) << int(ExportJobResult::WriteFailed);
        QTest::newRow("memory runs out at row 7")
            << int(RowFault::OutOfMemory) << int(ExportJobResult::NoMemory);
    }
    void failuresLeaveNothingBehind() {
        QFETCH(int, fault);
        QFETCH(int, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath("old.bmp");
        QVERIFY(WriteBytes(path, "older"));
        Job j(path, 40, 30);
        QCOMPARE(int(j.Run(TestWriters(nullptr, 7, RowFault(fault)))), expected);
        QCOMPARE(ReadBytes(path), QByteArray("older"));
        QCOMPARE(Entries(dir.path()), QStringList{"old.bmp"});
    }

    void unwritablePlaces() {
        QTemporaryDir dir;
        Job missing(dir.filePath("gone/x.bmp"), 8, 6);
        QCOMPARE(missing.Run(), ExportJobResult::WriteFailed);
        QVERIFY(WriteBytes(dir.filePath("plain"), "x"));
        Job underFile(dir.filePath("plain/x.bmp"), 8, 6);
        QCOMPARE(underFile.Run(), ExportJobResult::WriteFailed);
        QCOMPARE(Entries(dir.path()), QStringList{"plain"});
    }

    // A file-size limit makes the file system refuse the space, as a full disk does.
    void fullDiskIsSeenBeforeTheWork() {
        QTemporaryDir dir;
        const QString path = dir.filePath("old.bmp");
        QVERIFY(WriteBytes(path, "older"));
        Job j(path, 40, 30);  // 3654 bytes
        ExportJobResult result;
        {
            const FileSizeLimit limit(2000);
            QVERIFY(limit.set);
            result = j.Run();
        }
        QCOMPARE(result, ExportJobResult::WriteFailed);
        QVERIFY(j.reports.empty());
        QCOMPARE(ReadBytes(path), QByteArray("older"));
        QCOMPARE(Entries(dir.path()), QStringList{"old.bmp"});
    }

    // A PNG write that fails midway (here a file-size limit) ends the job with nothing left.
    void pngWriteFailureLeavesNothing() {
        QTemporaryDir dir;
        Job j(dir.filePath("x.png"), 400, 300);
        j.job.format = ExportFormat::Png;
        ExportJobResult result;
        {
            const FileSizeLimit limit(300);
            QVERIFY(limit.set);
            result = j.Run();
        }
        QCOMPARE(result, ExportJobResult::WriteFailed);
        QVERIFY(Entries(dir.path()).isEmpty());
        // Sizes beyond a bitmap's 4 GB are a PNG's, up to sides of 2^31 - 1.
        QVERIFY(ExportSizeFits(ExportFormat::Png, 100000, 75000));
        QVERIFY(!ExportSizeFits(ExportFormat::Bmp, 100000, 75000));
        QCOMPARE(ExportFormatForPath("/a.b/pic.PnG"), ExportFormat::Png);
        QVERIFY(!ExportFormatForPath("/a.png/pic").has_value());
    }

    void sizesABitmapCannotHoldAreRefused_data() {
        QTest::addColumn<qint64>("width");
        QTest::addColumn<qint64>("height");
        QTest::newRow("no width") << qint64(0) << qint64(5);
        QTest::newRow("negative") << qint64(-4) << qint64(3);
        QTest::newRow("side above 2^31-1") << qint64(2147483648LL) << qint64(1);
        QTest::newRow("file above 4 GB") << qint64(40000) << qint64(40000);
    }
    void sizesABitmapCannotHoldAreRefused() {
        QFETCH(qint64, width);
        QFETCH(qint64, height);
        QTemporaryDir dir;
        Job j(dir.filePath("x.bmp"), width, height);
        QCOMPARE(j.Run(), ExportJobResult::TooLarge);
        QVERIFY(Entries(dir.path()).isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestExportJob)
#include "test_export_job.moc"
