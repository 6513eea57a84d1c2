// The command line of ombrilo-render as it is understood: numbers, sizes, the places of file
// names and options, the defaults. Refused command lines and their messages are tested
// end to end in test_render_cli.

#include <QtTest>

#include <limits>

#include "tools/render_options.h"

using namespace ombrilo;

Q_DECLARE_METATYPE(NumberError)

class TestRenderOptions : public QObject {
    Q_OBJECT

private slots:
    void decimalNumbers_data();
    void decimalNumbers();
    void pictureSizes_data();
    void pictureSizes();
    void refusedSizesSayWhy_data();
    void refusedSizesSayWhy();
    void defaultsWithOnlyAnOutput();
    void lastFileNameIsTheOutput();
    void optionsAnywhereAndInBothForms();
    void everyListedDetailIsAccepted();
    void modesTakeTheirSizes();
    void doubleDashEndsOptions();
    void mapTakesItsViewAndSize();
    void helpWinsOverMistakes();
    void usageTextIsRussianAndNamesEveryOption();
};

void TestRenderOptions::decimalNumbers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<NumberError>("error");
    QTest::newRow("zero") << "0" << qint64(0) << NumberError::None;
    QTest::newRow("leading zeros") << "007" << qint64(7) << NumberError::None;
    QTest::newRow("int64 max") << "9223372036854775807" << std::numeric_limits<qint64>::max()
                               << NumberError::None;
    QTest::newRow("int64 max + 1") << "9223372036854775808" << qint64(0) << NumberError::TooLarge;
    QTest::newRow("twenty digits") << "99999999999999999999" << qint64(0) << NumberError::TooLarge;
    QTest::newRow("empty") << "" << qint64(0) << NumberError::NotANumber;
    QTest::newRow("plus sign") << "+5" << qint64(0) << NumberError::NotANumber;
    QTest::newRow("minus sign") << "-5" << qint64(0) << NumberError::NotANumber;
    QTest::newRow("leading space") << " 5" << qint64(0) << NumberError::NotANumber;
    QTest::newRow("trailing space") << "5 " << qint64(0) << NumberError::NotANumber;
    QTest::newRow("fraction") << "5.0" << qint64(0) << NumberError::NotANumber;
    QTest::newRow("exponent") << "1e3" << qint64(0) << NumberError::NotANumber;
    QTest::newRow("hex") << "0x10" << qint64(0) << NumberError::NotANumber;
    QTest::newRow("trailing letter") << "256k" << qint64(0) << NumberError::NotANumber;
}

void TestRenderOptions::decimalNumbers() {
    QFETCH(QString, text);
    QFETCH(qint64, value);
    QFETCH(NumberError, error);
    const ParsedNumber parsed = ParseDecimal(text.toStdString());
    QCOMPARE(parsed.error, error);
    QCOMPARE(parsed.value, value);
}

void TestRenderOptions::pictureSizes_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("width");
    QTest::addColumn<qint64>("height");
    QTest::newRow("latin x") << "1024x768" << qint64(1024) << qint64(768);
    QTest::newRow("latin X") << "5X3" << qint64(5) << qint64(3);
    QTest::newRow("cyrillic х") << QString::fromUtf8("640х480") << qint64(640) << qint64(480);
    QTest::newRow("cyrillic Х") << QString::fromUtf8("1Х1") << qint64(1) << qint64(1);
    QTest::newRow("beyond a BMP, still a size") << "70000x70000" << qint64(70000) << qint64(70000);
}

void TestRenderOptions::pictureSizes() {
    QFETCH(QString, text);
    QFETCH(qint64, width);
    QFETCH(qint64, height);
    const auto parsed = ParsePictureSize(text.toStdString());
    QVERIFY(std::holds_alternative<PictureSize>(parsed));
    QCOMPARE(std::get<PictureSize>(parsed), (PictureSize{width, height}));
}

void TestRenderOptions::refusedSizesSayWhy_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason");
    const QString shape =
        QString::fromUtf8("нужны ширина и высота в пикселях через x, например 1024x768.");
    const QString integers =
        QString::fromUtf8("ширина и высота должны быть целыми числами, например 1024x768.");
    const QString positive = QString::fromUtf8("ширина и высота должны быть больше нуля.");
    const QString large = QString::fromUtf8("число слишком велико.");
    QTest::newRow("no separator") << "1024" << shape;
    QTest::newRow("word separator") << "5by3" << shape;
    QTest::newRow("empty") << "" << shape;
    QTest::newRow("no height") << "5x" << integers;
    QTest::newRow("no width") << "x3" << integers;
    QTest::newRow("three numbers") << "5x3x2" << integers;
    QTest::newRow("negative width") << "-5x3" << integers;
    QTest::newRow("negative height") << "5x-3" << integers;
    QTest::newRow("spaces") << "5 x 3" << integers;
    QTest::newRow("fraction") << "5.5x3" << integers;
    QTest::newRow("zero width") << "0x3" << positive;
    QTest::newRow("zero height") << "5x0" << positive;
    QTest::newRow("overflow") << "99999999999999999999x3" << large;
}

void TestRenderOptions::refusedSizesSayWhy() {
    QFETCH(QString, text);
    QFETCH(QString, reason);
    const auto parsed = ParsePictureSize(text.toStdString());
    QVERIFY(std::holds_alternative<std::string>(parsed));
    QCOMPARE(QString::fromStdString(std::get<std::string>(parsed)), reason);
}

static RenderRequest Request(const std::vector<std::string>& args) {
    const ParsedArguments parsed = ParseRenderArguments(args);
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        qWarning("refused: %s", error->message.c_str());
    }
    if (!std::holds_alternative<RenderRequest>(parsed)) {
        RenderRequest refused;
        refused.size = {-1, -1};
        refused.detail = -1;
        refused.outputPath = "<not a request>";
        return refused;
    }
    return std::get<RenderRequest>(parsed);
}

void TestRenderOptions::defaultsWithOnlyAnOutput() {
    const RenderRequest request = Request({"out.bmp"});
    QCOMPARE(request.mode, RenderMode::Export);
    QCOMPARE(request.size, (PictureSize{1024, 768}));
    QCOMPARE(request.detail, 256);
    QCOMPARE(request.outputPath, std::string("out.bmp"));
    QVERIFY(!request.fractalPath);
    QVERIFY(!request.palettePath);
    QVERIFY(!request.quiet);
}

void TestRenderOptions::lastFileNameIsTheOutput() {
    const RenderRequest two = Request({"a.frc", "b.bmp"});
    QCOMPARE(two.fractalPath.value_or(""), std::string("a.frc"));
    QCOMPARE(two.outputPath, std::string("b.bmp"));

    // The order of the names decides, not their extensions.
    const RenderRequest swapped = Request({"b.bmp", "--quiet", "a.frc"});
    QCOMPARE(swapped.fractalPath.value_or(""), std::string("b.bmp"));
    QCOMPARE(swapped.outputPath, std::string("a.frc"));
}

void TestRenderOptions::optionsAnywhereAndInBothForms() {
    const RenderRequest request = Request(
        {"in.frc", "--size=5x3", "--detail", "8192", "out.bmp", "--palette=p.ptt", "--quiet"});
    QCOMPARE(request.size, (PictureSize{5, 3}));
    QCOMPARE(request.detail, 8192);
    QCOMPARE(request.palettePath.value_or(""), std::string("p.ptt"));
    QCOMPARE(request.fractalPath.value_or(""), std::string("in.frc"));
    QCOMPARE(request.outputPath, std::string("out.bmp"));
    QVERIFY(request.quiet);

    const RenderRequest separate = Request({"--size", "7x2", "--detail=512", "o.bmp"});
    QCOMPARE(separate.size, (PictureSize{7, 2}));
    QCOMPARE(separate.detail, 512);
}

void TestRenderOptions::everyListedDetailIsAccepted() {
    for (int detail : {256, 512, 1024, 2048, 4096, 8192}) {
        QCOMPARE(Request({"--detail", std::to_string(detail), "o.bmp"}).detail, detail);
    }
    for (const char* refused : {"255", "257", "128", "16384", "0", "8192.0", "4294967552"}) {
        QVERIFY2(std::holds_alternative<UsageError>(
                     ParseRenderArguments({"--detail", refused, "o.bmp"})),
                 refused);
    }
}

void TestRenderOptions::modesTakeTheirSizes() {
    QCOMPARE(Request({"--main", "o.bmp"}).mode, RenderMode::Main);
    QCOMPARE(Request({"--overview", "o.bmp"}).mode, RenderMode::Overview);
    const RenderRequest screen = Request({"--screen", "800x600", "o.bmp"});
    QCOMPARE(screen.mode, RenderMode::Screen);
    QCOMPARE(screen.size, (PictureSize{800, 600}));
    QCOMPARE(Request({"--main", "--palette", "p.ptt", "o.bmp"}).palettePath.value_or(""),
             std::string("p.ptt"));
}

void TestRenderOptions::mapTakesItsViewAndSize() {
    const RenderRequest plain = Request({"--map", "o.png"});
    QCOMPARE(plain.mode, RenderMode::Map);
    QCOMPARE(plain.size, (PictureSize{530, 409}));
    QCOMPARE(plain.mapView.centerX, -0.6f);
    QCOMPARE(plain.mapView.width, 3.4f);
    // Values rounded to floats; options in any order and with a fractal file.
    const RenderRequest full = Request(
        {"--map-view", "-0.7454", "1e-40", "0.1", "f.frc", "--size=64x48", "--map", "o.bmp"});
    QCOMPARE(full.mode, RenderMode::Map);
    QCOMPARE(full.size, (PictureSize{64, 48}));
    QCOMPARE(full.mapView.centerX, -0.7454f);
    QCOMPARE(full.mapView.centerY, 1e-40f);
    QCOMPARE(full.mapView.width, 0.1f);
    QCOMPARE(full.fractalPath.value_or(""), std::string("f.frc"));
    // A width that rounds to no float above zero, and a view given twice.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--map", "--map-view", "0", "0", "1e-50", "o.bmp"},
          {"--map", "--map-view", "0", "0", "nan", "o.bmp"},
          {"--map", "--map-view", "0", "0", "1", "--map-view", "0", "0", "1", "o.bmp"}}) {
        QVERIFY(std::holds_alternative<UsageError>(ParseRenderArguments(args)));
    }
}

void TestRenderOptions::doubleDashEndsOptions() {
    const RenderRequest request = Request({"--quiet", "--", "--main", "-x.bmp"});
    QCOMPARE(request.mode, RenderMode::Export);
    QCOMPARE(request.fractalPath.value_or(""), std::string("--main"));
    QCOMPARE(request.outputPath, std::string("-x.bmp"));
    QVERIFY(request.quiet);
}

void TestRenderOptions::helpWinsOverMistakes() {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                                 {"-h"},
                                                 {"--bogus", "--help"},
                                                 {"--main", "--overview", "-h", "a", "b", "c"}}) {
        QVERIFY(std::holds_alternative<HelpRequest>(ParseRenderArguments(args)));
    }
    // After "--" the word is a file name like any other.
    const ParsedArguments named = ParseRenderArguments({"--", "--help"});
    QVERIFY(std::holds_alternative<RenderRequest>(named));
    QCOMPARE(std::get<RenderRequest>(named).outputPath, std::string("--help"));
}

void TestRenderOptions::usageTextIsRussianAndNamesEveryOption() {
    const QString usage = QString::fromStdString(RenderUsageText());
    QVERIFY(usage.startsWith(QString::fromUtf8("Использование:\n  ombrilo-render ")));
    for (const char* option :
         {"--size", "--detail", "--palette", "--main", "--screen", "--overview", "--map",
          "--map-view", "--quiet", "--help", "--version"}) {
        QVERIFY2(usage.contains(QLatin1String(option)), option);
    }
    QVERIFY(usage.contains(QLatin1String("256, 512, 1024, 2048, 4096, 8192")));
    QVERIFY(usage.contains(QLatin1String("1024x768")));
    QVERIFY(usage.endsWith('\n'));
}

QTEST_APPLESS_MAIN(TestRenderOptions)
#include "test_render_options.moc"
