// The ombrilo-render executable itself: exit statuses, the split between standard output and
// standard error, relative names, and Ctrl+C in the middle of an export.

#include <QtTest>

#include <signal.h>

#include <memory>

#include "render_test_support.h"

using namespace ombrilo;
using namespace ombrilo::test;

namespace {

struct ProcessRun {
    QProcess::ExitStatus status = QProcess::CrashExit;
    int code = -1;
    QByteArray out;
    QByteArray err;
};

ProcessRun RunProgram(const QStringList& args, const QString& workingFolder) {
    QProcess process;
    process.setWorkingDirectory(workingFolder);
    process.start(QStringLiteral(OMBRILO_RENDER_EXECUTABLE), args);
    ProcessRun run;
    if (!process.waitForFinished(300000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.status = process.exitStatus();
    run.code = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

}  // namespace

class TestRenderProcess : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void helpExitsWithZero();
    void exitStatuses_data();
    void exitStatuses();
    void startPictureUnderARelativeName();
    void interruptLeavesTheOlderFileAndNoTemporary();

private:
    QString Path(const QString& name) const { return dir_->filePath(name); }

    std::unique_ptr<QTemporaryDir> dir_;
};

void TestRenderProcess::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestRenderProcess::cleanup() {
    dir_.reset();
}

void TestRenderProcess::helpExitsWithZero() {
    const ProcessRun run = RunProgram({"--help"}, dir_->path());
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.code, 0);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.out, QByteArray::fromStdString(RunCli({"--help"}).out));
    QVERIFY(run.out.startsWith("Использование:\n"));
}

void TestRenderProcess::exitStatuses_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("written") << QStringList{"--size", "4x3", "out.bmp"} << 0 << QByteArray();
    QTest::newRow("bad size") << QStringList{"--size", "0x3", "out.bmp"} << 2
                              << QByteArray(
                                     "ombrilo-render: Неверный размер «0x3» у параметра "
                                     "--size: ширина и высота должны быть больше нуля.\n"
                                     "Справка: ombrilo-render --help\n");
    QTest::newRow("too big") << QStringList{"--screen", "70000x70000", "out.bmp"} << 2
                             << QByteArray(
                                    "ombrilo-render: Размер 70000x70000 не помещается в "
                                    "файл BMP: сторона не больше 2147483647 пикселей, "
                                    "файл не больше 4 ГБ.\n");
    QTest::newRow("missing input") << QStringList{"none.frc", "out.bmp"} << 1
                                   << QByteArray(
                                          "ombrilo-render: none.frc: Файл не удается "
                                          "открыть для чтения. (файл не найден)\n");
    QTest::newRow("missing folder") << QStringList{"--main", "none/out.bmp"} << 1
                                    << QByteArray(
                                           "ombrilo-render: none/out.bmp: Файл не "
                                           "удается открыть для записи. (такой папки "
                                           "нет)\n");
}

void TestRenderProcess::exitStatuses() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QByteArray, err);
    const ProcessRun run = RunProgram(args, dir_->path());
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.code, code);
    QCOMPARE(run.err, err);
    QCOMPARE(run.out, QByteArray());
    if (code == 0) {
        QCOMPARE(ReadAll(Path("out.bmp")), BmpFileOf(ExportPicture(MakeStartState(), 4, 3, 254)));
    } else {
        QCOMPARE(FolderEntries(dir_->path()), QStringList());
    }
}

// What ./run does: the start picture under a name relative to the working folder.
void TestRenderProcess::startPictureUnderARelativeName() {
    const ProcessRun run = RunProgram({"start.bmp"}, dir_->path());
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.code, 0);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(FolderEntries(dir_->path()), QStringList{"start.bmp"});
    const QByteArray file = ReadAll(Path("start.bmp"));
    QCOMPARE(file.size(), 2359350);
    QCOMPARE(file, BmpFileOf(ExportPicture(MakeStartState(), 1024, 768, 254)));
}

void TestRenderProcess::interruptLeavesTheOlderFileAndNoTemporary() {
    QVERIFY(WriteAll(Path("out.bmp"), "an older picture"));
    // Big and deep enough to run for many seconds: interior points take 8191 iterates each.
    QProcess process;
    process.setWorkingDirectory(dir_->path());
    process.start(QStringLiteral(OMBRILO_RENDER_EXECUTABLE),
                  {"--size", "4000x3000", "--detail", "8192", "out.bmp"});
    QVERIFY(process.waitForStarted());

    // The temporary file beside the target shows that the render has begun, and with it that
    // the program has set up its handling of Ctrl+C.
    QElapsedTimer clock;
    clock.start();
    bool begun = false;
    while (!begun && clock.elapsed() < 60000 && process.state() == QProcess::Running) {
        for (const QString& entry : FolderEntries(dir_->path())) {
            begun = begun || entry.startsWith(".out.bmp.");
        }
        QThread::msleep(10);
    }
    QVERIFY(begun);
    QCOMPARE(::kill(static_cast<pid_t>(process.processId()), SIGINT), 0);
    QVERIFY(process.waitForFinished(120000));

    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 130);
    QCOMPARE(process.readAllStandardError(),
             QByteArray("ombrilo-render: расчёт прерван, файл не записан.\n"));
    QCOMPARE(FolderEntries(dir_->path()), QStringList{"out.bmp"});
    QCOMPARE(ReadAll(Path("out.bmp")), QByteArray("an older picture"));
}

QTEST_GUILESS_MAIN(TestRenderProcess)
#include "test_render_process.moc"
