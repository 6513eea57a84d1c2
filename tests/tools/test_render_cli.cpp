// ombrilo-render run in-process: its files against pictures computed straight from the engine,
// and its refusals, which must leave every file as it was.

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>

#include "engine/export_render.h"
#include "engine/map_render.h"
#include "formats/fractal_file.h"
#include "formats/palette_file.h"
#include "formats/png_file.h"
#include "render_test_support.h"
#include "tools/progress_bar.h"

using namespace ombrilo;
using namespace ombrilo::test;

namespace {

// A state prepared by hand the way a fractal file should leave it.
FractalState StateWith(double cx, double cy, float centerX, float centerY, float viewWidth,
                       const Palette* palette = nullptr) {
    FractalState state = MakeStartState();
    state.Cx = cx;
    state.Cy = cy;
    state.CenterX = centerX;
    state.CenterY = centerY;
    state.ViewWidth = viewWidth;
    state.MainStep = MainStepFor(viewWidth);
    if (palette != nullptr) {
        state.palette = *palette;
        BuildColorTable(state.palette, state.colorTable);
    }
    return state;
}

// The view at the cusp of C = 1/4, where points just right of x = 1/2 escape only after
// hundreds or thousands of iterates.
FractalState CuspState() {
    return StateWith(0.25, 0.0, 0.505f, 0.0f, 0.02f);
}

// A real C just above 1/4 for which the orbit of the point (1/2, 0) escapes at exactly the given
// iterate (up to 8190); nothing when none is found. The larger C, the sooner the orbit escapes,
// and a double C is fine enough for a bisection to reach every iterate.
std::optional<double> CoefficientEscapingAt(int iterate) {
    const auto escape = [](double cx) { return ExportEscapeIndex(cx, 0.0, 8190, 0.5, 0.0); };
    double stays = 0.25;
    double leaves = 0.5;
    for (int step = 0; step < 200; ++step) {
        const double middle = (stays + leaves) / 2;
        const int n = escape(middle);
        (n != 0 && n <= iterate ? leaves : stays) = middle;
    }
    if (escape(leaves) != iterate) {
        return std::nullopt;
    }
    return leaves;
}

constexpr Palette kSinePalette{2, 80, 10, 60, 7, 33, 2};
constexpr Palette kMixedPalette{5, 5, 95, 40, 39, 1, 20};

const std::string kHelpHint = "Справка: ombrilo-render --help\n";
const std::string kInterrupted = "ombrilo-render: расчёт прерван, файл не записан.\n";

// Every regular file of a folder tree with its bytes, to prove a failed run changed nothing.
std::map<QString, QByteArray> FolderContents(const QString& folder) {
    std::map<QString, QByteArray> contents;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        // Only regular files are read: opening the test's pipe would wait for a writer.
        std::error_code ec;
        const bool regular = std::filesystem::is_regular_file(path.toStdString(), ec);
        contents[path] =
            regular && QFileInfo(path).isReadable() ? ReadAll(path) : QByteArray("<not a file>");
    }
    return contents;
}

bool RunningAsRoot() {
    return ::geteuid() == 0;
}

}  // namespace

class TestRenderCli : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // Export pictures.
    void exportStartViewFourByThree();
    void exportRowsArePaddedToFourBytes_data();
    void exportRowsArePaddedToFourBytes();
    void exportDefaultsTo1024x768AtDetail256();
    void exportDetailSetsTheIterationLimit_data();
    void exportDetailSetsTheIterationLimit();
    void exportDeepDetailResolvesTheBoundary();
    void exportLimitIsDetailMinusTwo_data();
    void exportLimitIsDetailMinusTwo();

    // The main window's pictures.
    void mainViewIsTheEnginePicture();
    void screenViewIsTheEnginePicture();
    void screenViewOfOddSize();
    void overviewIsTheEnginePicture();
    void mapIsTheReferencePicture();

    // Input files.
    void fractalFileSetsThePictureOfEveryMode_data();
    void fractalFileSetsThePictureOfEveryMode();
    void paletteFileReplacesThePalette();
    void unknownPaletteTypeInFractalFileKeepsStartPalette();
    void hostileFractalFilesRenderWithoutHarm_data();
    void hostileFractalFilesRenderWithoutHarm();

    // Refusals and failures.
    void refusedRunsChangeNoFile_data();
    void refusedRunsChangeNoFile();

    // Progress and interruption.
    void progressBarLines();
    void progressBarOnlyOnATerminalAndNotWhenQuiet();
    void interruptStopsTheExportWithoutAFile();
    void interruptStopsViewModesWithoutAFile();

    void helpGoesToStandardOutput();
    void doubleDashAllowsNamesThatLookLikeOptions();

private:
    QString Path(const QString& name) const { return dir_->filePath(name); }
    std::string StdPath(const QString& name) const { return Path(name).toStdString(); }
    std::string Out() const { return StdPath("out.bmp"); }
    void WriteRecord(const QString& name, const FractalRecord& record) const;
    void CreateFailureFixtures() const;
    std::vector<std::string> Expand(const QStringList& args) const;
    std::string Expand(const QString& text) const;

    std::unique_ptr<QTemporaryDir> dir_;
    QString previousCurrent_;
};

void TestRenderCli::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    previousCurrent_ = QDir::currentPath();
}

void TestRenderCli::cleanup() {
    QDir::setCurrent(previousCurrent_);
    // Folders the tests locked must open again before they can be removed.
    ::chmod(Path("locked-folder").toLocal8Bit().constData(), 0755);
    dir_.reset();
}

void TestRenderCli::WriteRecord(const QString& name, const FractalRecord& record) const {
    const auto bytes = EncodeFractalRecord(record);
    QVERIFY(WriteAll(Path(name), QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<qsizetype>(bytes.size()))));
}

// ---------------------------------------------------------------------------------------------

void TestRenderCli::exportStartViewFourByThree() {
    const CliRun run = RunCli({"--size", "4x3", Out()});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.err, std::string());
    QCOMPARE(run.out, std::string());

    const QByteArray file = ReadAll(Path("out.bmp"));
    QCOMPARE(file.size(), 90);
    QCOMPARE(file.left(2), QByteArray("BM"));
    QCOMPARE(UInt32At(file, 2), 90u);
    QCOMPARE(UInt32At(file, 6), 0u);
    QCOMPARE(UInt32At(file, 10), 54u);
    QCOMPARE(UInt32At(file, 14), 40u);
    QCOMPARE(UInt32At(file, 18), 4u);
    QCOMPARE(UInt32At(file, 22), 3u);
    QCOMPARE(UInt16At(file, 26), std::uint16_t(1));
    QCOMPARE(UInt16At(file, 28), std::uint16_t(24));
    QCOMPARE(UInt32At(file, 30), 0u);
    QCOMPARE(UInt32At(file, 34), 36u);
    QCOMPARE(file.mid(38, 16), QByteArray(16, '\0'));

    const FractalState start = MakeStartState();
    const ExportPoints points = ExportPointsFor(start, 4, 3);
    QCOMPARE(points.xs, (std::vector<double>{-2.5, -1.25, 0.0, 1.25}));
    QCOMPARE(points.ys, (std::vector<double>{1.25, 0.0, -1.25}));

    // Escape indices of those twelve points at the limit 254; the origin lies in the set.
    const int expectedEntries[3][4] = {{1, 1, 3, 1}, {1, 2, 0, 2}, {1, 1, 3, 1}};
    for (int a = 0; a < 4; ++a) {
        for (int b = a + 1; b < 4; ++b) {
            QVERIFY(ColorBytes(start.colorTable.Entry(a)) != ColorBytes(start.colorTable.Entry(b)));
        }
    }
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 4; ++column) {
            QCOMPARE(BmpPixel(file, column, row),
                     ColorBytes(start.colorTable.Entry(expectedEntries[row][column])));
        }
    }
    QCOMPARE(file, BmpFileOf(ExportPicture(start, 4, 3, 254)));
}

void TestRenderCli::exportRowsArePaddedToFourBytes_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("rowBytes");
    QTest::newRow("1 pixel: 3 + 1") << 1 << 4;
    QTest::newRow("2 pixels: 6 + 2") << 2 << 8;
    QTest::newRow("3 pixels: 9 + 3") << 3 << 12;
    QTest::newRow("4 pixels: 12") << 4 << 12;
    QTest::newRow("5 pixels: 15 + 1") << 5 << 16;
    QTest::newRow("6 pixels: 18 + 2") << 6 << 20;
    QTest::newRow("7 pixels: 21 + 3") << 7 << 24;
}

void TestRenderCli::exportRowsArePaddedToFourBytes() {
    QFETCH(int, width);
    QFETCH(int, rowBytes);
    const int height = 3;
    const CliRun run = RunCli({"--size", std::to_string(width) + "x3", Out()});
    QCOMPARE(run.code, 0);
    const QByteArray file = ReadAll(Path("out.bmp"));
    QCOMPARE(file.size(), 54 + rowBytes * height);
    QCOMPARE(UInt32At(file, 2), std::uint32_t(54 + rowBytes * height));
    QCOMPARE(UInt32At(file, 34), std::uint32_t(rowBytes * height));
    for (int row = 0; row < height; ++row) {
        const QByteArray padding = file.mid(54 + row * rowBytes + width * 3, rowBytes - width * 3);
        QCOMPARE(padding, QByteArray(rowBytes - width * 3, '\0'));
    }
    QCOMPARE(file, BmpFileOf(ExportPicture(MakeStartState(), width, height, 254)));
}

void TestRenderCli::exportDefaultsTo1024x768AtDetail256() {
    const CliRun run = RunCli({Out()});
    QCOMPARE(run.code, 0);
    const QByteArray file = ReadAll(Path("out.bmp"));
    QCOMPARE(file.size(), 2359350);
    QCOMPARE(UInt32At(file, 18), 1024u);
    QCOMPARE(UInt32At(file, 22), 768u);
    QCOMPARE(file, BmpFileOf(ExportPicture(MakeStartState(), 1024, 768, 254)));
}

void TestRenderCli::exportDetailSetsTheIterationLimit_data() {
    QTest::addColumn<int>("detail");
    QTest::addColumn<int>("limit");
    QTest::newRow("256") << 256 << 254;
    QTest::newRow("512") << 512 << 510;
    QTest::newRow("1024") << 1024 << 1022;
    QTest::newRow("2048") << 2048 << 2046;
    QTest::newRow("4096") << 4096 << 4094;
    QTest::newRow("8192") << 8192 << 8190;
}

void TestRenderCli::exportDetailSetsTheIterationLimit() {
    QFETCH(int, detail);
    QFETCH(int, limit);
    const FractalState cusp = CuspState();
    QVERIFY(WriteFractalFile(StdPath("cusp.frc"), cusp));
    const CliRun run =
        RunCli({"--size", "40x3", "--detail", std::to_string(detail), StdPath("cusp.frc"), Out()});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.err, std::string());
    QCOMPARE(ReadAll(Path("out.bmp")), BmpFileOf(ExportPicture(cusp, 40, 3, limit)));
}

void TestRenderCli::exportDeepDetailResolvesTheBoundary() {
    const FractalState cusp = CuspState();
    QVERIFY(WriteFractalFile(StdPath("cusp.frc"), cusp));
    QCOMPARE(RunCli({"--size", "40x3", StdPath("cusp.frc"), StdPath("shallow.bmp")}).code, 0);
    QCOMPARE(
        RunCli({"--size", "40x3", "--detail", "8192", StdPath("cusp.frc"), StdPath("deep.bmp")})
            .code,
        0);
    const QByteArray shallow = ReadAll(Path("shallow.bmp"));
    const QByteArray deep = ReadAll(Path("deep.bmp"));
    QCOMPARE(shallow.size(), deep.size());
    // Columns between x = 0.5 and about 0.504 escape after 255..8190 iterates: the set's
    // colour at detail 256, an escape colour at 8192. Further right both see the same escape.
    const ExportPoints points = ExportPointsFor(cusp, 40, 3);
    int differing = 0;
    for (int column = 0; column < 40; ++column) {
        const double x = points.xs[static_cast<std::size_t>(column)];
        const int deepIndex = ExportEscapeIndex(cusp.Cx, cusp.Cy, 8190, x, 0.0);
        const bool slowEscape = deepIndex > 254;
        if (slowEscape) {
            ++differing;
        }
        QCOMPARE(BmpPixel(deep, column, 1) != BmpPixel(shallow, column, 1), slowEscape);
    }
    QVERIFY2(differing >= 5, qPrintable(QString::number(differing)));
}

void TestRenderCli::exportLimitIsDetailMinusTwo_data() {
    QTest::addColumn<int>("detail");
    QTest::addColumn<int>("iterate");
    QTest::addColumn<int>("entry");
    for (int detail : {256, 512, 1024, 2048, 4096}) {
        const QByteArray shown = QByteArray::number(detail);
        QTest::newRow(shown + ": escape at the limit") << detail << detail - 2 << detail - 2;
        QTest::newRow(shown + ": escape one after") << detail << detail - 1 << 0;
    }
    // Entries 512, 1024, ... repeat entry 0 in every palette (whole periods of each channel), so
    // an escape two after the limit tells only at 256.
    QTest::newRow("256: escape two after") << 256 << 256 << 0;
    QTest::newRow("8192: escape at the last entry") << 8192 << 8190 << 8190;
}

// A 1 x 1 export shows exactly its centre, (1/2, 0), with a C chosen so that its orbit escapes
// right at or just after the limit.
void TestRenderCli::exportLimitIsDetailMinusTwo() {
    QFETCH(int, detail);
    QFETCH(int, iterate);
    QFETCH(int, entry);
    const std::optional<double> cx = CoefficientEscapingAt(iterate);
    QVERIFY2(cx.has_value(), qPrintable(QString::number(iterate)));
    // Sine channels: in a linear palette entry 256 repeats entry 0.
    const FractalState point = StateWith(*cx, 0.0, 0.5f, 0.0f, 1.0f, &kSinePalette);
    QVERIFY(ColorBytes(point.colorTable.Entry(entry)) !=
            ColorBytes(point.colorTable.Entry(entry == 0 ? iterate : 0)));
    QVERIFY(WriteFractalFile(StdPath("point.frc"), point));
    const CliRun run =
        RunCli({"--size", "1x1", "--detail", std::to_string(detail), StdPath("point.frc"), Out()});
    QCOMPARE(run.code, 0);
    QCOMPARE(BmpPixel(ReadAll(Path("out.bmp")), 0, 0), ColorBytes(point.colorTable.Entry(entry)));
}

// ---------------------------------------------------------------------------------------------

void TestRenderCli::mainViewIsTheEnginePicture() {
    const CliRun run = RunCli({"--main", Out()});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.err, std::string());
    const QByteArray file = ReadAll(Path("out.bmp"));
    QCOMPARE(file.size(), 54 + 1592 * 409);
    QCOMPARE(UInt32At(file, 18), 530u);
    QCOMPARE(UInt32At(file, 22), 409u);
    const FractalState start = MakeStartState();
    // The centre pixel (265, 204) shows the origin, which lies in the set.
    QCOMPARE(BmpPixel(file, 265, 204), ColorBytes(start.colorTable.Entry(0)));
    QCOMPARE(file, BmpFileOf(ViewPicture(start, MainViewGeometry(start), 530, 409)));
}

void TestRenderCli::mapIsTheReferencePicture() {
    // The reference loop with the fractal file's palette, by default and in a view of its own;
    // the PNG form keeps no fractal record.
    const FractalState state = StateWith(-0.8, 0.156, 0.25f, -0.125f, 2.5f, &kSinePalette);
    QVERIFY(WriteFractalFile(StdPath("dragon.frc"), state));
    const auto mapPicture = [&state](const MapView& view, int width, int height) {
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
        RenderMapReference(state.colorTable, MapGeometry(view, width, height),
                           {pixels.data(), width, height, std::ptrdiff_t{width} * 4});
        Picture picture{width, height, {}};
        for (std::size_t i = 0; i < pixels.size(); i += 4) {
            picture.bgr.insert(picture.bgr.end(), &pixels[i], &pixels[i] + 3);
        }
        return picture;
    };
    CliRun run = RunCli({"--map", StdPath("dragon.frc"), Out()});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.err, std::string());
    QCOMPARE(ReadAll(Path("out.bmp")), BmpFileOf(mapPicture(MapView{}, 530, 409)));
    run = RunCli({"--map-view", "-0.7454", "0.113", "0.01", "--size", "301x203", "--map",
                  StdPath("dragon.frc"), Out()});
    QCOMPARE(run.code, 0);
    QCOMPARE(ReadAll(Path("out.bmp")), BmpFileOf(mapPicture({-0.7454f, 0.113f, 0.01f}, 301, 203)));
    run = RunCli({"--map", "--size", "40x30", StdPath("map.png")});
    QCOMPARE(run.code, 0);
    QCOMPARE(ReadPngFractal(StdPath("map.png")).status, PngFractalStatus::NoRecord);
}

void TestRenderCli::screenViewIsTheEnginePicture() {
    const CliRun run = RunCli({"--screen", "1024x768", Out()});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.err, std::string());
    const QByteArray file = ReadAll(Path("out.bmp"));
    QCOMPARE(file.size(), 54 + 3072 * 768);
    QCOMPARE(UInt32At(file, 18), 1024u);
    QCOMPARE(UInt32At(file, 22), 768u);

    const FractalState start = MakeStartState();
    const ViewGeometry screen = ScreenGeometry(start, 1024, 768);
    QCOMPARE(ViewLeft(screen), -2.5f);
    QCOMPARE(ViewTop(screen), 1.875f);
    QCOMPARE(BmpPixel(file, 0, 0), ColorBytes(Z2PointColor(start, -2.5f, 1.875f)));
    QCOMPARE(BmpPixel(file, 0, 0), ColorBytes(start.colorTable.Entry(1)));
    QCOMPARE(BmpPixel(file, 512, 384), ColorBytes(Z2PointColor(start, 0.0f, 0.0f)));
    QCOMPARE(BmpPixel(file, 512, 384), ColorBytes(start.colorTable.Entry(0)));
    QCOMPARE(file, BmpFileOf(ViewPicture(start, screen, 1024, 768)));
    // The reference loops that the benchmark times against write the same file.
    RenderCliEnvironment reference;
    reference.referenceLoops = true;
    QCOMPARE(RunCli({"--screen", "1024x768", Out()}, reference).code, 0);
    QCOMPARE(ReadAll(Path("out.bmp")), file);
}

void TestRenderCli::screenViewOfOddSize() {
    QCOMPARE(RunCli({"--screen", "7x5", Out()}).code, 0);
    const FractalState start = MakeStartState();
    const QByteArray file = ReadAll(Path("out.bmp"));
    QCOMPARE(file.size(), 54 + 24 * 5);
    // Halves 3 and 2: the pixel (3, 2) shows the centre.
    QCOMPARE(BmpPixel(file, 3, 2), ColorBytes(start.colorTable.Entry(0)));
    QCOMPARE(file, BmpFileOf(ViewPicture(start, ScreenGeometry(start, 7, 5), 7, 5)));
}

void TestRenderCli::overviewIsTheEnginePicture() {
    QCOMPARE(RunCli({"--overview", Out()}).code, 0);
    const QByteArray file = ReadAll(Path("out.bmp"));
    QCOMPARE(file.size(), 54 + 244 * 65);
    QCOMPARE(UInt32At(file, 18), 81u);
    QCOMPARE(UInt32At(file, 22), 65u);
    const FractalState start = MakeStartState();
    QCOMPARE(file, BmpFileOf(ViewPicture(start, OverviewGeometry(), 81, 65)));
}

// ---------------------------------------------------------------------------------------------

void TestRenderCli::fractalFileSetsThePictureOfEveryMode_data() {
    QTest::addColumn<QStringList>("modeArgs");
    QTest::newRow("export") << QStringList{"--size", "9x7"};
    QTest::newRow("main") << QStringList{"--main"};
    QTest::newRow("screen") << QStringList{"--screen", "16x12"};
    QTest::newRow("overview") << QStringList{"--overview"};
}

void TestRenderCli::fractalFileSetsThePictureOfEveryMode() {
    QFETCH(QStringList, modeArgs);
    const FractalState file = StateWith(-0.8, 0.156, 0.25f, -0.125f, 2.5f, &kSinePalette);
    QVERIFY(WriteFractalFile(StdPath("dragon.frc"), file));

    std::vector<std::string> args = Expand(modeArgs);
    std::vector<std::string> startArgs = args;
    args.push_back(StdPath("dragon.frc"));
    args.push_back(Out());
    startArgs.push_back(StdPath("start.bmp"));
    QCOMPARE(RunCli(args).code, 0);
    QCOMPARE(RunCli(startArgs).code, 0);

    const FractalState expected = StateWith(-0.8, 0.156, 0.25f, -0.125f, 2.5f, &kSinePalette);
    Picture picture;
    if (modeArgs.first() == "--size") {
        picture = ExportPicture(expected, 9, 7, 254);
    } else if (modeArgs.first() == "--main") {
        picture = ViewPicture(expected, MainViewGeometry(expected), 530, 409);
    } else if (modeArgs.first() == "--screen") {
        picture = ViewPicture(expected, ScreenGeometry(expected, 16, 12), 16, 12);
    } else {
        picture = ViewPicture(expected, OverviewGeometry(), 81, 65);
    }
    const QByteArray output = ReadAll(Path("out.bmp"));
    QCOMPARE(output, BmpFileOf(picture));
    QVERIFY(output != ReadAll(Path("start.bmp")));
}

void TestRenderCli::paletteFileReplacesThePalette() {
    const FractalState file = StateWith(-0.8, 0.156, 0.25f, -0.125f, 2.5f, &kSinePalette);
    QVERIFY(WriteFractalFile(StdPath("dragon.frc"), file));
    QVERIFY(WritePaletteFile(StdPath("mixed.ptt"), kMixedPalette));

    // After the fractal file: its C and view, the palette file's colours.
    CliRun run =
        RunCli({"--size", "9x7", "--palette", StdPath("mixed.ptt"), StdPath("dragon.frc"), Out()});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.err, std::string());
    const FractalState both = StateWith(-0.8, 0.156, 0.25f, -0.125f, 2.5f, &kMixedPalette);
    QCOMPARE(ReadAll(Path("out.bmp")), BmpFileOf(ExportPicture(both, 9, 7, 254)));

    // Alone: the start picture in the palette file's colours, in the main window's modes too.
    FractalState start = MakeStartState();
    start.palette = kMixedPalette;
    BuildColorTable(start.palette, start.colorTable);
    run = RunCli({"--palette", StdPath("mixed.ptt"), "--overview", Out()});
    QCOMPARE(run.code, 0);
    QCOMPARE(ReadAll(Path("out.bmp")), BmpFileOf(ViewPicture(start, OverviewGeometry(), 81, 65)));
    run = RunCli({"--main", "--palette", StdPath("mixed.ptt"), Out()});
    QCOMPARE(run.code, 0);
    QCOMPARE(ReadAll(Path("out.bmp")),
             BmpFileOf(ViewPicture(start, MainViewGeometry(start), 530, 409)));
}

void TestRenderCli::unknownPaletteTypeInFractalFileKeepsStartPalette() {
    FractalRecord record = RecordFromState(StateWith(-0.8, 0.156, 0.25f, -0.125f, 2.5f));
    record.PaletteType = 9;
    record.R0 = 99;
    WriteRecord("odd-palette.frc", record);

    const CliRun run = RunCli({"--size", "9x7", StdPath("odd-palette.frc"), Out()});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.err, "ombrilo-render: предупреждение: " + StdPath("odd-palette.frc") +
                          ": неизвестный тип палитры, палитра файла не использована.\n");
    const FractalState expected = StateWith(-0.8, 0.156, 0.25f, -0.125f, 2.5f);
    QCOMPARE(ReadAll(Path("out.bmp")), BmpFileOf(ExportPicture(expected, 9, 7, 254)));
}

// ---------------------------------------------------------------------------------------------

void TestRenderCli::hostileFractalFilesRenderWithoutHarm_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<double>("cx");
    QTest::addColumn<double>("cy");
    QTest::addColumn<float>("centerX");
    QTest::addColumn<float>("centerY");
    QTest::addColumn<float>("viewWidth");
    // The table entry every pixel must show, or -1 when the picture is not uniform.
    QTest::addColumn<int>("uniformEntry");

    const double startCx = SliderToCoefficient(kSliderCxStart);
    const double startCy = SliderToCoefficient(kSliderCyStart);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const auto recordBytes = [](double cx, double cy, float x, float y, float w) {
        FractalRecord record = RecordFromState(MakeStartState());
        record.Cx = cx;
        record.Cy = cy;
        record.CenterX = x;
        record.CenterY = y;
        record.ViewWidth = w;
        const auto raw = EncodeFractalRecord(record);
        return QByteArray(reinterpret_cast<const char*>(raw.data()),
                          static_cast<qsizetype>(raw.size()));
    };

    QTest::newRow("empty file: nothing changes")
        << QByteArray() << startCx << startCy << 0.0f << 0.0f << 5.0f << -1;
    QTest::newRow("3 bytes of type 1: nothing changes")
        << QByteArray("\x01\x00\x00", 3) << startCx << startCy << 0.0f << 0.0f << 5.0f << -1;
    QTest::newRow("70 bytes: the first 60 count")
        << recordBytes(-0.5, 0.5, 0.5f, 0.25f, 1.5f) + QByteArray(10, '\x7F') << -0.5 << 0.5 << 0.5f
        << 0.25f << 1.5f << -1;
    QTest::newRow("NaN centre") << recordBytes(startCx, startCy, nan, nan, 5.0f) << startCx
                                << startCy << nan << nan << 5.0f << 0;
    QTest::newRow("infinite centre") << recordBytes(startCx, startCy, inf, -inf, 5.0f) << startCx
                                     << startCy << inf << -inf << 5.0f << -1;
    QTest::newRow("largest float width")
        << recordBytes(startCx, startCy, 0.0f, 0.0f, std::numeric_limits<float>::max()) << startCx
        << startCy << 0.0f << 0.0f << std::numeric_limits<float>::max() << -1;
    QTest::newRow("infinite width") << recordBytes(startCx, startCy, 0.0f, 0.0f, inf) << startCx
                                    << startCy << 0.0f << 0.0f << inf << -1;
    QTest::newRow("NaN width") << recordBytes(startCx, startCy, 0.0f, 0.0f, nan) << startCx
                               << startCy << 0.0f << 0.0f << nan << 0;
    QTest::newRow("negative width") << recordBytes(startCx, startCy, 0.0f, 0.0f, -5.0f) << startCx
                                    << startCy << 0.0f << 0.0f << -5.0f << -1;
    // Every pixel shows the centre, the origin, which lies in the set.
    QTest::newRow("zero width") << recordBytes(startCx, startCy, 0.0f, 0.0f, 0.0f) << startCx
                                << startCy << 0.0f << 0.0f << 0.0f << 0;
    QTest::newRow("smallest subnormal width")
        << recordBytes(startCx, startCy, 0.0f, 0.0f, std::numeric_limits<float>::denorm_min())
        << startCx << startCy << 0.0f << 0.0f << std::numeric_limits<float>::denorm_min() << 0;
    QTest::newRow("NaN C") << recordBytes(std::nan(""), 0.0, 0.0f, 0.0f, 5.0f) << std::nan("")
                           << 0.0 << 0.0f << 0.0f << 5.0f << 0;
    // The first iterate is already far outside.
    QTest::newRow("huge C") << recordBytes(1e300, -1e300, 0.0f, 0.0f, 5.0f) << 1e300 << -1e300
                            << 0.0f << 0.0f << 5.0f << 1;
}

void TestRenderCli::hostileFractalFilesRenderWithoutHarm() {
    QFETCH(QByteArray, bytes);
    QFETCH(double, cx);
    QFETCH(double, cy);
    QFETCH(float, centerX);
    QFETCH(float, centerY);
    QFETCH(float, viewWidth);
    QFETCH(int, uniformEntry);
    QVERIFY(WriteAll(Path("hostile.frc"), bytes));
    const std::string input = StdPath("hostile.frc");
    const FractalState expected = StateWith(cx, cy, centerX, centerY, viewWidth);

    struct ModeCase {
        std::vector<std::string> args;
        Picture picture;
    };
    const ModeCase modes[] = {
        {{"--size", "8x6"}, ExportPicture(expected, 8, 6, 254)},
        {{"--size", "8x6", "--detail", "8192"}, ExportPicture(expected, 8, 6, 8190)},
        {{"--screen", "8x6"}, ViewPicture(expected, ScreenGeometry(expected, 8, 6), 8, 6)},
        {{"--overview"}, ViewPicture(expected, OverviewGeometry(), 81, 65)},
        {{"--main"}, ViewPicture(expected, MainViewGeometry(expected), 530, 409)},
    };
    for (const ModeCase& mode : modes) {
        std::vector<std::string> args = mode.args;
        args.push_back(input);
        args.push_back(Out());
        QFile::remove(Path("out.bmp"));
        const CliRun run = RunCli(args);
        const QByteArray label = QByteArray::fromStdString(mode.args.front());
        QVERIFY2(run.code == 0, label + " " + QByteArray::fromStdString(run.err));
        QCOMPARE(run.err, std::string());
        const QByteArray file = ReadAll(Path("out.bmp"));
        QVERIFY2(file == BmpFileOf(mode.picture), label);
        if (uniformEntry >= 0 && mode.args.front() != "--overview") {
            const QByteArray color = ColorBytes(expected.colorTable.Entry(uniformEntry));
            for (std::size_t i = 0; i < mode.picture.bgr.size(); i += 3) {
                QVERIFY2(ColorBytes(&mode.picture.bgr[i]) == color, label);
            }
        }
    }
    QCOMPARE(ReadAll(Path("hostile.frc")), bytes);
}

// ---------------------------------------------------------------------------------------------

void TestRenderCli::CreateFailureFixtures() const {
    QVERIFY(WriteFractalFile(StdPath("good.frc"), MakeStartState()));
    FractalRecord typeTwo = RecordFromState(MakeStartState());
    typeTwo.FractalType = 2;
    WriteRecord("type2.frc", typeTwo);
    QVERIFY(WriteAll(Path("type2-short.frc"), QByteArray("\x02\x00\x00", 3)));
    QVERIFY(WritePaletteFile(StdPath("good.ptt"), MakeStartState().palette));
    QVERIFY(WriteAll(Path("picture.bmp"), QByteArray("BM").append(26, '\0')));
    QVERIFY(WriteAll(Path("long.ptt"), QByteArray(29, '\1')));
    QVERIFY(WriteAll(Path("empty.ptt"), QByteArray()));
    Palette typeZero = MakeStartState().palette;
    typeZero.PaletteType = 0;
    QVERIFY(WritePaletteFile(StdPath("type0.ptt"), typeZero));
    QVERIFY(QDir(dir_->path()).mkdir("folder"));
    QVERIFY(WriteAll(Path("locked.frc"), ReadAll(Path("good.frc"))));
    QCOMPARE(::chmod(Path("locked.frc").toLocal8Bit().constData(), 0), 0);
    QVERIFY(QDir(dir_->path()).mkdir("locked-folder"));
    QCOMPARE(::chmod(Path("locked-folder").toLocal8Bit().constData(), 0555), 0);
    QCOMPARE(::mkfifo(Path("pipe.frc").toLocal8Bit().constData(), 0644), 0);
}

std::string TestRenderCli::Expand(const QString& text) const {
    QString expanded = text;
    expanded.replace("{out}", Path("out.bmp"));
    expanded.replace("{dir}", dir_->path());
    return expanded.toStdString();
}

std::vector<std::string> TestRenderCli::Expand(const QStringList& args) const {
    std::vector<std::string> expanded;
    for (const QString& arg : args) {
        expanded.push_back(Expand(arg));
    }
    return expanded;
}

void TestRenderCli::refusedRunsChangeNoFile_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    // {dir} is the test folder, {out} its out.bmp; "+hint" adds the line that points to --help.
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("needsNonRoot");

    const auto usage = [](const char* tag, QStringList args, const char* message) {
        QTest::newRow(tag) << args << 2
                           << QString::fromUtf8("ombrilo-render: ") + QString::fromUtf8(message) +
                                  "\n+hint"
                           << false;
    };
    const auto failure = [](const char* tag, QStringList args, int code, const char* message,
                            bool needsNonRoot = false) {
        QTest::newRow(tag) << args << code
                           << QString::fromUtf8("ombrilo-render: ") + QString::fromUtf8(message) +
                                  "\n"
                           << needsNonRoot;
    };

    usage("unknown option", {"--colour", "red", "{out}"}, "Неизвестный параметр «--colour».");
    usage("single dash", {"-", "{out}"}, "Неизвестный параметр «-».");
    usage("short option", {"-s", "4x3", "{out}"}, "Неизвестный параметр «-s».");
    usage("flag with a value", {"--main=1", "{out}"}, "Параметр --main не принимает значения.");
    usage("size without value", {"{out}", "--size"}, "После параметра --size не указано значение.");
    usage("malformed size", {"--size", "5by3", "{out}"},
          "Неверный размер «5by3» у параметра --size: нужны ширина и высота в пикселях через x, "
          "например 1024x768.");
    usage("negative size", {"--size", "-5x3", "{out}"},
          "Неверный размер «-5x3» у параметра --size: ширина и высота должны быть целыми "
          "числами, например 1024x768.");
    usage("letters for numbers", {"--size=axb", "{out}"},
          "Неверный размер «axb» у параметра --size: ширина и высота должны быть целыми "
          "числами, например 1024x768.");
    usage("trailing garbage", {"--size", "4x3px", "{out}"},
          "Неверный размер «4x3px» у параметра --size: ширина и высота должны быть целыми "
          "числами, например 1024x768.");
    usage("zero width", {"--size", "0x768", "{out}"},
          "Неверный размер «0x768» у параметра --size: ширина и высота должны быть больше "
          "нуля.");
    usage("overflowing size", {"--size", "99999999999999999999x3", "{out}"},
          "Неверный размер «99999999999999999999x3» у параметра --size: число слишком велико.");
    usage("malformed screen", {"--screen", "800", "{out}"},
          "Неверный размер «800» у параметра --screen: нужны ширина и высота в пикселях через "
          "x, например 1024x768.");
    usage("zero screen", {"--screen", "0x0", "{out}"},
          "Неверный размер «0x0» у параметра --screen: ширина и высота должны быть больше "
          "нуля.");
    usage("detail not listed", {"--detail", "300", "{out}"},
          "Неверная детализация «300»: допустимы 256, 512, 1024, 2048, 4096, 8192.");
    usage("detail not a number", {"--detail", "max", "{out}"},
          "Неверная детализация «max»: допустимы 256, 512, 1024, 2048, 4096, 8192.");
    usage("detail empty", {"--detail=", "{out}"},
          "Неверная детализация «»: допустимы 256, 512, 1024, 2048, 4096, 8192.");
    usage("no arguments", {}, "Не указан выходной файл .bmp или .png.");
    usage("only options", {"--quiet", "--size", "4x3"}, "Не указан выходной файл .bmp или .png.");
    usage("too many files", {"{dir}/good.frc", "{dir}/second.bmp", "{out}"},
          "Слишком много имён файлов: укажите не больше одного файла .frc (или .png с фракталом) "
          "и выходной файл .bmp или .png.");
    usage("main and overview", {"--main", "--overview", "{out}"},
          "Параметры --main и --overview нельзя указывать вместе: выберите один режим.");
    usage("screen and main", {"--screen", "8x6", "--main", "{out}"},
          "Параметры --screen и --main нельзя указывать вместе: выберите один режим.");
    usage("overview and screen", {"--overview", "--screen=8x6", "{out}"},
          "Параметры --overview и --screen нельзя указывать вместе: выберите один режим.");
    usage("size with main", {"--main", "--size", "4x3", "{out}"},
          "Параметр --size относится только к экспорту и не сочетается с --main.");
    usage("detail with screen", {"--detail", "512", "--screen", "8x6", "{out}"},
          "Параметр --detail относится только к экспорту и не сочетается с --screen.");
    usage("size twice", {"--size", "4x3", "--size", "4x3", "{out}"},
          "Параметр --size указан дважды.");
    usage("detail twice", {"--detail=256", "--detail", "512", "{out}"},
          "Параметр --detail указан дважды.");
    usage("quiet twice", {"--quiet", "{out}", "--quiet"}, "Параметр --quiet указан дважды.");
    usage("main twice", {"--main", "--main", "{out}"}, "Параметр --main указан дважды.");
    usage("palette twice", {"--palette", "{dir}/good.ptt", "--palette", "{dir}/good.ptt", "{out}"},
          "Параметр --palette указан дважды.");
    usage("empty output name", {""}, "Указано пустое имя файла.");
    usage("empty palette name", {"--palette=", "{out}"},
          "После параметра --palette указано пустое имя файла.");

    usage("map view without map", {"--map-view", "0", "0", "1", "{out}"},
          "Параметр --map-view указывается только вместе с --map.");
    usage("map view not a number", {"--map", "--map-view", "0", "i", "1", "{out}"},
          "Неверное число «i» у параметра --map-view: нужно число, например -0.75.");
    usage("map width zero", {"--map", "--map-view", "0", "0", "0", "{out}"},
          "Неверная ширина карты «0» у параметра --map-view: нужно число больше нуля.");
    usage("map width beyond floats", {"--map", "--map-view", "0", "0", "1e39", "{out}"},
          "Число «1e39» у параметра --map-view слишком велико по модулю.");
    usage("map view short", {"--map", "--map-view", "0", "1"},
          "После параметра --map-view нужны три числа: X и Y центра и ширина.");
    usage("map view with equals", {"--map", "--map-view=0", "0", "1", "{out}"},
          "Параметр --map-view записывается как --map-view X Y ШИРИНА.");
    usage("map with detail", {"--map", "--detail", "512", "{out}"},
          "Параметр --detail относится только к экспорту и не сочетается с --map.");
    usage("map with frames", {"--map", "--frames", "2", "--to-c", "0", "0", "{out}"},
          "Параметры --frames и --to-c не сочетаются с --map: карта не зависит от C.");
    usage("map and main", {"--map", "--main", "{out}"},
          "Параметры --map и --main нельзя указывать вместе: выберите один режим.");
    failure("map pixels coincide", {"--map", "--map-view", "1", "0", "1e-6", "{out}"}, 2,
            "Область карты слишком мала для размера 530x409: соседние пиксели попадают в одну "
            "точку. Возьмите область шире или размер меньше.");
    failure("map too big for a BMP", {"--map", "--size", "70000x70000", "{out}"}, 2,
            "Размер 70000x70000 не помещается в файл BMP: сторона не больше 2147483647 "
            "пикселей, файл не больше 4 ГБ.");
    failure("fractal file as palette", {"--palette", "{dir}/good.frc", "{out}"}, 1,
            "{dir}/good.frc: это файл фрактала .frc (60 байт), а не файл палитры .ptt.");
    failure("picture as palette", {"--main", "--palette", "{dir}/picture.bmp", "{out}"}, 1,
            "{dir}/picture.bmp: это изображение BMP, а не файл палитры .ptt.");
    failure("long file as palette", {"--palette", "{dir}/long.ptt", "{out}"}, 1,
            "{dir}/long.ptt: файл размером 29 байт не может быть файлом палитры .ptt (в нём 28 "
            "байт).");
    failure("empty palette file", {"--palette", "{dir}/empty.ptt", "{out}"}, 1,
            "{dir}/empty.ptt: файл пуст, это не файл палитры .ptt.");
    failure("export too big for a BMP", {"--size", "70000x70000", "{out}"}, 2,
            "Размер 70000x70000 не помещается в файл BMP: сторона не больше 2147483647 "
            "пикселей, файл не больше 4 ГБ.");
    failure("side too long for a BMP", {"--size", "2147483648x1", "{out}"}, 2,
            "Размер 2147483648x1 не помещается в файл BMP: сторона не больше 2147483647 "
            "пикселей, файл не больше 4 ГБ.");
    failure("screen too big for a BMP", {"--screen", "70000x70000", "{out}"}, 2,
            "Размер 70000x70000 не помещается в файл BMP: сторона не больше 2147483647 "
            "пикселей, файл не больше 4 ГБ.");
    failure("output is the fractal file", {"{dir}/good.frc", "{dir}/good.frc"}, 2,
            "{dir}/good.frc: выходной файл совпадает с входным; выберите другое имя.");
    failure("output is the palette file", {"--palette", "{dir}/good.ptt", "{dir}/good.ptt"}, 2,
            "{dir}/good.ptt: выходной файл совпадает с входным; выберите другое имя.");

    failure("missing fractal file", {"{dir}/none.frc", "{out}"}, 1,
            "{dir}/none.frc: Файл не удается открыть для чтения. (файл не найден)");
    failure("fractal file is a folder", {"{dir}/folder", "{out}"}, 1,
            "{dir}/folder: Файл не удается открыть для чтения. (это папка, а не файл)");
    failure("fractal file is a pipe", {"--main", "{dir}/pipe.frc", "{out}"}, 1,
            "{dir}/pipe.frc: Файл не удается открыть для чтения. (это не обычный файл)");
    failure("fractal file without permission", {"{dir}/locked.frc", "{out}"}, 1,
            "{dir}/locked.frc: Файл не удается открыть для чтения.", true);
    failure("unknown fractal type", {"--size", "4x3", "{dir}/type2.frc", "{out}"}, 1,
            "{dir}/type2.frc: Неизвестный тип фрактала: эта версия рисует только тип 1 "
            "(Z <- Z^2 + C).");
    failure("unknown fractal type in 3 bytes", {"--overview", "{dir}/type2-short.frc", "{out}"}, 1,
            "{dir}/type2-short.frc: Неизвестный тип фрактала: эта версия рисует только тип 1 "
            "(Z <- Z^2 + C).");
    failure("missing palette file", {"--palette", "{dir}/none.ptt", "{out}"}, 1,
            "{dir}/none.ptt: Файл не удается открыть для чтения. (файл не найден)");
    failure("palette file is a folder", {"--screen", "8x6", "--palette", "{dir}/folder", "{out}"},
            1, "{dir}/folder: Файл не удается открыть для чтения. (это папка, а не файл)");
    failure("unknown palette type", {"--palette", "{dir}/type0.ptt", "{out}"}, 1,
            "{dir}/type0.ptt: Неизвестный тип палитры: допустимы типы 1..8.");
    failure("unknown palette type after a fractal file",
            {"{dir}/good.frc", "--palette", "{dir}/type0.ptt", "--main", "{out}"}, 1,
            "{dir}/type0.ptt: Неизвестный тип палитры: допустимы типы 1..8.");
    failure("missing output folder", {"--size", "4x3", "{dir}/none/out.bmp"}, 1,
            "{dir}/none/out.bmp: Файл не удается открыть для записи. (такой папки нет)");
    failure("missing output folder in main mode", {"--main", "{dir}/none/out.bmp"}, 1,
            "{dir}/none/out.bmp: Файл не удается открыть для записи. (такой папки нет)");
    failure("output is a folder", {"--size", "4x3", "{dir}/folder"}, 1,
            "{dir}/folder: Файл не удается открыть для записи. (это папка, а не файл)");
    failure("output ends in a slash", {"--overview", "{dir}/new/"}, 1,
            "{dir}/new/: Файл не удается открыть для записи. (это папка, а не файл)");
    failure("output below a file", {"--size", "4x3", "{dir}/good.frc/out.bmp"}, 1,
            "{dir}/good.frc/out.bmp: Файл не удается открыть для записи. (часть пути не "
            "является папкой)");
    failure("output folder without permission", {"--size", "4x3", "{dir}/locked-folder/out.bmp"}, 1,
            "{dir}/locked-folder/out.bmp: Файл не удается открыть для записи. (нет прав на "
            "запись)",
            true);
}

void TestRenderCli::refusedRunsChangeNoFile() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(bool, needsNonRoot);
    if (needsNonRoot && RunningAsRoot()) {
        QSKIP("file permissions do not bind the superuser");
    }
    CreateFailureFixtures();
    std::string expectedErr = Expand(message);
    const std::string hint = "+hint";
    if (expectedErr.ends_with(hint)) {
        expectedErr.replace(expectedErr.size() - hint.size(), hint.size(), kHelpHint);
    }
    const std::vector<std::string> expandedArgs = Expand(args);

    // Without an older output file: nothing appears.
    const auto before = FolderContents(dir_->path());
    CliRun run = RunCli(expandedArgs);
    QCOMPARE(run.code, code);
    QCOMPARE(run.err, expectedErr);
    QCOMPARE(run.out, std::string());
    QCOMPARE(FolderContents(dir_->path()), before);

    // With one: it stays as it was.
    QVERIFY(WriteAll(Path("out.bmp"), "an older picture"));
    const auto withOlder = FolderContents(dir_->path());
    run = RunCli(expandedArgs);
    QCOMPARE(run.code, code);
    QCOMPARE(run.err, expectedErr);
    QCOMPARE(FolderContents(dir_->path()), withOlder);
}

// ---------------------------------------------------------------------------------------------

void TestRenderCli::progressBarLines() {
    QCOMPARE(ProgressBar::Line(0), std::string("Расчёт [------------------------------]   0%"));
    QCOMPARE(ProgressBar::Line(33), std::string("Расчёт [#########---------------------]  33%"));
    QCOMPARE(ProgressBar::Line(50), std::string("Расчёт [###############---------------]  50%"));
    QCOMPARE(ProgressBar::Line(100), std::string("Расчёт [##############################] 100%"));
    QCOMPARE(ProgressBar::Line(-7), ProgressBar::Line(0));
    QCOMPARE(ProgressBar::Line(250), ProgressBar::Line(100));
}

void TestRenderCli::progressBarOnlyOnATerminalAndNotWhenQuiet() {
    RenderCliEnvironment terminal;
    terminal.stderrIsTerminal = true;

    // 42 rows: every row moves the percentage (0, 2, 4, 7, ... 100), so 43 drawings.
    const CliRun drawn = RunCli({"--size", "8x42", StdPath("drawn.bmp")}, terminal);
    QCOMPARE(drawn.code, 0);
    QVERIFY(drawn.err.starts_with("\r" + ProgressBar::Line(0) + "\r" + ProgressBar::Line(2) + "\r" +
                                  ProgressBar::Line(4) + "\r" + ProgressBar::Line(7)));
    QVERIFY(
        drawn.err.ends_with("\r" + ProgressBar::Line(97) + "\r" + ProgressBar::Line(100) + "\n"));
    QCOMPARE(std::count(drawn.err.begin(), drawn.err.end(), '\r'), 43);
    QCOMPARE(std::count(drawn.err.begin(), drawn.err.end(), '\n'), 1);

    const CliRun quiet = RunCli({"--quiet", "--size", "8x42", StdPath("quiet.bmp")}, terminal);
    QCOMPARE(quiet.code, 0);
    QCOMPARE(quiet.err, std::string());

    const CliRun piped = RunCli({"--size", "8x42", StdPath("piped.bmp")});
    QCOMPARE(piped.code, 0);
    QCOMPARE(piped.err, std::string());

    QCOMPARE(ReadAll(Path("drawn.bmp")), ReadAll(Path("quiet.bmp")));
    QCOMPARE(ReadAll(Path("drawn.bmp")), ReadAll(Path("piped.bmp")));

    // The main window's pictures are drawn in one piece: the start and the end.
    const CliRun overview = RunCli({"--overview", StdPath("overview.bmp")}, terminal);
    QCOMPARE(overview.code, 0);
    QCOMPARE(overview.err, "\r" + ProgressBar::Line(0) + "\r" + ProgressBar::Line(100) + "\n");

    // A failure ends the bar's line before its message.
    const CliRun failed = RunCli({"--size", "8x42", StdPath("none/out.bmp")}, terminal);
    QCOMPARE(failed.code, 1);
    QCOMPARE(failed.err, "ombrilo-render: " + StdPath("none/out.bmp") +
                             ": Файл не удается открыть для записи. (такой папки нет)\n");
}

void TestRenderCli::interruptStopsTheExportWithoutAFile() {
    QVERIFY(WriteAll(Path("out.bmp"), "an older picture"));
    int polls = 0;
    RenderCliEnvironment environment;
    environment.stderrIsTerminal = true;
    environment.interrupted = [&polls] {
        ++polls;
        return true;
    };
    const CliRun run = RunCli({"--size", "8x50", Out()}, environment);
    QCOMPARE(run.code, 130);
    // Rows are checked every 21 rows: the first check stops the work after 21 of the 50 rows.
    QCOMPARE(polls, 1);
    QVERIFY(run.err.ends_with("\r" + ProgressBar::Line(42) + "\n" + kInterrupted));
    QCOMPARE(FolderEntries(dir_->path()), QStringList{"out.bmp"});
    QCOMPARE(ReadAll(Path("out.bmp")), QByteArray("an older picture"));

    // Not interrupted: the same environment without the request writes the file.
    environment.interrupted = [] { return false; };
    QCOMPARE(RunCli({"--size", "8x50", Out()}, environment).code, 0);
    QCOMPARE(ReadAll(Path("out.bmp")), BmpFileOf(ExportPicture(MakeStartState(), 8, 50, 254)));
}

void TestRenderCli::interruptStopsViewModesWithoutAFile() {
    RenderCliEnvironment environment;
    environment.interrupted = [] { return true; };
    for (const std::vector<std::string>& mode :
         {std::vector<std::string>{"--main"}, {"--screen", "8x6"}, {"--overview"}}) {
        std::vector<std::string> args = mode;
        args.push_back(Out());
        const CliRun run = RunCli(args, environment);
        QCOMPARE(run.code, 130);
        QCOMPARE(run.err, kInterrupted);
        QCOMPARE(FolderEntries(dir_->path()), QStringList());
    }
    // Interrupted between bands, while an earlier band may still be on its way to the file.
    int polls = 0;
    environment.interrupted = [&polls] { return ++polls > 3; };
    const CliRun run = RunCli({"--screen", "1024x768", Out()}, environment);
    QCOMPARE(run.code, 130);
    QCOMPARE(polls, 4);
    QCOMPARE(FolderEntries(dir_->path()), QStringList());
}

void TestRenderCli::helpGoesToStandardOutput() {
    const CliRun run = RunCli({"--help"});
    QCOMPARE(run.code, 0);
    QCOMPARE(run.err, std::string());
    QVERIFY(QString::fromStdString(run.out).startsWith(QString::fromUtf8("Использование:\n")));
    QCOMPARE(RunCli({"--main", "--overview", "-h"}).out, run.out);
    QCOMPARE(FolderEntries(dir_->path()), QStringList());

    const CliRun version = RunCli({"--bogus", "--version"});
    QCOMPARE(version.code, 0);
    QCOMPARE(version.err, std::string());
    QVERIFY(version.out.starts_with("ombrilo-render (Ombrilo) 1.02\n"));
    QCOMPARE(RunCli({"--version", "--help"}).out, run.out);
    QCOMPARE(RunCli({"--", "--version", "a.frc", "b.bmp"}).code, 2);  // a file name there
}

void TestRenderCli::doubleDashAllowsNamesThatLookLikeOptions() {
    QVERIFY(QDir::setCurrent(dir_->path()));
    QVERIFY(WriteFractalFile(StdPath("--main"), CuspState()));
    const CliRun run = RunCli({"--size", "6x4", "--", "--main", "-picture.bmp"});
    QCOMPARE(run.code, 0);
    QCOMPARE(ReadAll(Path("-picture.bmp")), BmpFileOf(ExportPicture(CuspState(), 6, 4, 254)));
}

QTEST_APPLESS_MAIN(TestRenderCli)
#include "test_render_cli.moc"
