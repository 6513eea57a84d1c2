// ombrilo-render writing PNG pictures, reading the fractal back from them, and sweeping C in
// numbered frames.
#include <QTemporaryDir>
#include <QtTest>

#include "engine/palette.h"
#include "formats/fractal_file.h"
#include "formats/png_file.h"
#include "render_test_support.h"
#include "support/png_decode.h"
#include "tools/frame_pattern.h"

using namespace ombrilo;
using namespace ombrilo::test;

namespace {

FractalState SweepStart() {
    FractalState s = MakeStartState();
    s.Cx = -0.123;
    s.Cy = 0.745;
    s.CenterX = 0.1f;
    s.ViewWidth = 3.0f;
    s.palette = Palette{5, 5, 95, 40, 39, 1, 20};
    BuildColorTable(s.palette, s.colorTable);
    s.MainStep = MainStepFor(s.ViewWidth);
    return s;
}

QByteArray PngPixels(const QString& path) {
    const pngdecode::Decoded decoded = pngdecode::DecodeToBgr(ReadAll(path));
    return decoded.ok ? decoded.bgr : QByteArray("undecodable");
}

QByteArray Bytes(const Picture& p) {
    return QByteArray(reinterpret_cast<const char*>(p.bgr.data()), qsizetype(p.bgr.size()));
}

}  // namespace

class TestRenderPng : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder_;
    std::string P(const QString& name) const { return Std(folder_->filePath(name)); }

private slots:
    void init() { folder_ = std::make_unique<QTemporaryDir>(); }

    void pngEqualsTheBitmapExport() {
        QVERIFY(WriteFractalFile(P("in.frc"), SweepStart()));
        for (const char* size : {"1x1", "37x23", "64x48"}) {
            QCOMPARE(RunCli({"--size", size, "--detail", "1024", P("in.frc"), P("a.PNG")}).code, 0);
            QCOMPARE(RunCli({"--size", size, "--detail", "1024", P("in.frc"), P("a.bmp")}).code, 0);
            const QByteArray bmp = ReadAll(folder_->filePath("a.bmp"));
            const auto w = UInt32At(bmp, 18);
            const auto h = UInt32At(bmp, 22);
            QCOMPARE(PngPixels(folder_->filePath("a.PNG")), pngdecode::BmpRowsTopDown(bmp, w, h));
        }
        QCOMPARE(RunCli({"--main", P("in.frc"), P("m.png")}).code, 0);
        QCOMPARE(PngPixels(folder_->filePath("m.png")),
                 Bytes(ViewPicture(SweepStart(), MainViewGeometry(SweepStart()), 530, 409)));
    }

    void otherExtensionsAreRefused() {
        for (const char* name : {"out.jpg", "out", "out.png.txt"}) {
            const CliRun run = RunCli({"--size", "4x3", P(name)});
            QCOMPARE(run.code, 2);
            QCOMPARE(run.err, "ombrilo-render: Выходной файл «" + P(name) +
                                  "» должен иметь расширение .bmp или .png.\n");
        }
        // The BMP's 4 GB limit does not bind a PNG; its sides do.
        QCOMPARE(RunCli({"--size", "2147483648x1", P("big.png")}).code, 2);
        QCOMPARE(FolderEntries(folder_->path()), QStringList());
    }

    // The PNG carries the fractal: rendering from it gives the picture of the fractal file.
    void pngInputRendersItsFractal() {
        QVERIFY(WriteFractalFile(P("in.frc"), SweepStart()));
        QCOMPARE(RunCli({"--size", "20x15", P("in.frc"), P("pic.png")}).code, 0);
        QCOMPARE(RunCli({"--size", "41x30", P("pic.png"), P("again.bmp")}).code, 0);
        QCOMPARE(ReadAll(folder_->filePath("again.bmp")),
                 BmpFileOf(ExportPicture(SweepStart(), 41, 30, 254)));

        QByteArray damaged = ReadAll(folder_->filePath("pic.png"));
        damaged[damaged.indexOf("Ombrilo") + 20] ^= 1;
        QVERIFY(WriteAll(folder_->filePath("damaged.png"), damaged));
        const CliRun run = RunCli({P("damaged.png"), P("x.bmp")});
        QCOMPARE(run.code, 1);
        QCOMPARE(run.err, "ombrilo-render: " + P("damaged.png") +
                              ": Параметры фрактала в изображении PNG повреждены.\n");
        QVERIFY(WriteAll(folder_->filePath("not.png"), "plain text"));
        QCOMPARE(RunCli({P("not.png"), P("x.bmp")}).err,
                 "ombrilo-render: " + P("not.png") + ": Файл не является изображением PNG.\n");
        QVERIFY(!QFile::exists(folder_->filePath("x.bmp")));
    }

    void framesEqualSingleRenders() {
        QVERIFY(WriteFractalFile(P("in.frc"), SweepStart()));
        const CliRun run = RunCli({"--frames", "5", "--to-c", "0.3", "-0.01", "--size", "24x18",
                                   P("in.frc"), P("f%03d.png")});
        QCOMPARE(run.code, 0);
        QCOMPARE(FolderEntries(folder_->path()), (QStringList{"f000.png", "f001.png", "f002.png",
                                                              "f003.png", "f004.png", "in.frc"}));
        for (int k : {0, 2, 4}) {
            FractalState s = SweepStart();
            s.Cx = k == 4 ? 0.3 : -0.123 + (0.3 - -0.123) * k / 4.0;
            s.Cy = k == 4 ? -0.01 : 0.745 + (-0.01 - 0.745) * k / 4.0;
            QCOMPARE(PngPixels(folder_->filePath(QString::asprintf("f%03d.png", k))),
                     Bytes(ExportPicture(s, 24, 18, 254)));
            const PngFractalRead inside = ReadPngFractal(P(QString::asprintf("f%03d.png", k)));
            QCOMPARE(inside.record.Cx, s.Cx);
        }
        QCOMPARE(
            RunCli({"--screen", "16x12", "--frames", "2", "--to-c", "0", "0", P("s%d.bmp")}).code,
            0);
        FractalState last = MakeStartState();
        last.Cx = 0;
        last.Cy = 0;
        QCOMPARE(ReadAll(folder_->filePath("s1.bmp")),
                 BmpFileOf(ViewPicture(last, ScreenGeometry(last, 16, 12), 16, 12)));
    }

    // Ctrl+C during the third frame: the first two stay, nothing of the third.
    void interruptedFramesLeaveTheFinishedOnes() {
        int polls = 0;
        RenderCliEnvironment environment;
        environment.interrupted = [&polls] { return ++polls == 3; };
        const CliRun run = RunCli(
            {"--frames", "4", "--to-c", "0.1", "0.1", "--size", "8x21", P("i%d.png")}, environment);
        QCOMPARE(run.code, 130);
        QCOMPARE(run.err,
                 std::string("ombrilo-render: расчёт прерван, недописанный кадр не записан.\n"));
        QCOMPARE(FolderEntries(folder_->path()), (QStringList{"i0.png", "i1.png"}));
    }

    void frameOptionsAndPatterns() {
        const auto err = [&](std::vector<std::string> args) { return RunCli(args).err; };
        QCOMPARE(err({"--frames", "1", "--to-c", "0", "0", P("a%d.png")}),
                 std::string("ombrilo-render: Неверное число кадров «1»: допустимо от 2 до "
                             "1000000.\nСправка: ombrilo-render --help\n"));
        QVERIFY(err({"--frames", "3", P("a%d.png")}).find("только вместе") != std::string::npos);
        QVERIFY(err({"--frames", "3", "--to-c", "x", "0", P("a%d.png")}).find("«x»") !=
                std::string::npos);
        QVERIFY(err({"--frames", "3", "--to-c", "0", "0", P("a%s.png")}).find("целое поле") !=
                std::string::npos);
        QVERIFY(err({"--frames", "3", "--to-c", "0", "0", P("a.png")}).find("нет поля") !=
                std::string::npos);
        QVERIFY(err({"--frames", "3", "--to-c", "0", "0", P("%d%d.png")}).find("ровно одно") !=
                std::string::npos);
        const auto pattern = std::get<FramePattern>(ParseFramePattern("100%%-%-3d|%%.png"));
        QCOMPARE(pattern.Name(7), std::string("100%-7  |%.png"));
        QCOMPARE(std::get<FramePattern>(ParseFramePattern("k%05u.bmp")).Name(42),
                 std::string("k00042.bmp"));
        QCOMPARE(FolderEntries(folder_->path()), QStringList());
    }
};

QTEST_APPLESS_MAIN(TestRenderPng)
#include "test_render_png.moc"
