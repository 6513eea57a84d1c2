#include <QtTest>

#include <zlib.h>

#include <random>
#include <vector>

#include "formats/png_file.h"
#include "support/png_decode.h"
#include "support/test_files.h"

using namespace ombrilo;
using namespace testfiles;

Q_DECLARE_METATYPE(PngCompression)

namespace {

FractalRecord SampleRecord() {
    FractalRecord r;
    r.PaletteType = 5;
    r.Cx = -0.7454286;
    r.Cy = 0.1130089;
    r.CenterX = -0.25f;
    r.CenterY = 1e-7f;
    r.ViewWidth = 0.0031f;
    r.R0 = 12, r.G0 = -7, r.B0 = 200, r.R1 = 3, r.G1 = 99, r.B1 = 2000000;
    return r;
}

// A picture with flat areas and noise, so that every filter and stored blocks get work.
QByteArray Picture(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    QByteArray bgr(width * height * 3, '\0');
    for (int i = 0; i < bgr.size(); ++i) {
        const int x = (i / 3) % width;
        bgr[i] = x < width / 3 ? char(i / (width * 3) % 7) : char(random());
    }
    return bgr;
}

bool WritePng(const QString& path, const QByteArray& bgr, const PngPicture& picture,
              const PngCompression& compression = DefaultPngCompression()) {
    PngFileWriter writer(Path(path), picture, compression);
    if (!writer.Open()) {
        return false;
    }
    for (std::int64_t r = 0; r < picture.height; ++r) {
        const auto* row =
            reinterpret_cast<const std::uint8_t*>(bgr.constData()) + r * picture.width * 3;
        if (!writer.WriteRow(r, row)) {
            return false;
        }
    }
    return writer.Commit();
}

std::span<const std::uint8_t> Bytes(const QByteArray& b) {
    return {reinterpret_cast<const std::uint8_t*>(b.constData()), std::size_t(b.size())};
}

}  // namespace

class TestPngFile : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    // Several batches and blocks (4000 x 3 bytes a row), every filter, both deflaters and every
    // igzip level, odd sizes and a single pixel.
    void decodesToTheRowsWritten_data() {
        QTest::addColumn<PngCompression>("settings");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("1 x 1, default") << DefaultPngCompression() << 1 << 1;
        QTest::newRow("1 x 1, zlib up")
            << PngCompression{PngDeflater::Zlib, 6, Z_DEFAULT_STRATEGY, PngRowFilter::Up} << 1 << 1;
        QTest::newRow("odd, default") << DefaultPngCompression() << 4001 << 797;
        QTest::newRow("all noise, default") << DefaultPngCompression() << 2 << 200000;
        for (int level = 1; level <= 3; ++level) {
            QTest::addRow("igzip %d", level)
                << PngCompression{PngDeflater::Igzip, level, 0, PngRowFilter::Sub} << 1001 << 600;
        }
        for (auto f : {PngRowFilter::None, PngRowFilter::Sub, PngRowFilter::Average,
                       PngRowFilter::Paeth, PngRowFilter::Adaptive}) {
            QTest::addRow("zlib, filter %d", int(f))
                << PngCompression{PngDeflater::Zlib, 6, Z_DEFAULT_STRATEGY, f} << 333 << 97;
        }
    }
    void decodesToTheRowsWritten() {
        QFETCH(PngCompression, settings);
        QFETCH(int, width);
        QFETCH(int, height);
        const QString path = dir_.filePath("rows.png");
        const QByteArray bgr = Picture(width, height, 7);
        QVERIFY(WritePng(path, bgr, {width, height, 0, std::nullopt}, settings));
        const QByteArray file = ReadBytes(path);
        const pngdecode::Decoded decoded = pngdecode::DecodeToBgr(file);
        QVERIFY(decoded.ok);
        QCOMPARE(decoded.width, width);
        QCOMPARE(decoded.height, height);
        QVERIFY(decoded.bgr == bgr);
        QVERIFY(file.size() <= qint64(PngFileSizeBound(width, height)));
    }

    // No colour chunk a viewer would act on; resolution only when asked for.
    void chunksOfTheFile() {
        const QString path = dir_.filePath("chunks.png");
        QVERIFY(WritePng(path, Picture(5, 3, 1), {5, 3, 11811, SampleRecord()}));
        QCOMPARE(pngdecode::ChunkTypes(ReadBytes(path)),
                 (QStringList{"IHDR", "pHYs", "tEXt", "IDAT", "IEND"}));
        QVERIFY(WritePng(path, Picture(5, 3, 1), {5, 3, 0, std::nullopt}));
        QCOMPARE(pngdecode::ChunkTypes(ReadBytes(path)), (QStringList{"IHDR", "IDAT", "IEND"}));
        QCOMPARE(PixelsPerMetreForDpi(300), 11811u);
        QCOMPARE(PixelsPerMetreForDpi(100), 3937u);
    }

    void fractalRecordRoundTrips() {
        const QString path = dir_.filePath("record.png");
        QVERIFY(WritePng(path, Picture(3, 2, 2), {3, 2, 0, SampleRecord()}));
        const PngFractalRead read = ReadPngFractal(Path(path));
        QCOMPARE(read.status, PngFractalStatus::Found);
        QCOMPARE(EncodeFractalRecord(read.record), EncodeFractalRecord(SampleRecord()));
        const std::string text = EncodeFractalText(SampleRecord());
        QCOMPARE(text.size(), size_t(129));
        QVERIFY(DecodeFractalText(text).has_value());
    }

    void damagedOrMissingRecordsAreRefused() {
        const QString path = dir_.filePath("damaged.png");
        QVERIFY(WritePng(path, Picture(3, 2, 2), {3, 2, 0, SampleRecord()}));
        const QByteArray good = ReadBytes(path);
        const qsizetype text = good.indexOf("Ombrilo") + 8;
        QByteArray flipped = good;
        flipped[text + 10] = flipped[text + 10] == '0' ? '1' : '0';
        QCOMPARE(FindPngFractal(Bytes(flipped)).status, PngFractalStatus::Damaged);
        // A damaged text with a chunk checksum made to match is still refused by its own.
        const qsizetype start = text - 12;
        const quint32 crc =
            crc32(0, reinterpret_cast<const Bytef*>(flipped.constData() + start), 4 + 8 + 129);
        for (int i = 0; i < 4; ++i) {
            flipped[text + 129 + i] = char(crc >> (24 - 8 * i));
        }
        QCOMPARE(FindPngFractal(Bytes(flipped)).status, PngFractalStatus::Damaged);
        QCOMPARE(FindPngFractal(Bytes(good.left(text + 60))).status, PngFractalStatus::Damaged);
        QVERIFY(!DecodeFractalText(EncodeFractalText(SampleRecord()) + " ").has_value());

        QVERIFY(WritePng(path, Picture(3, 2, 2), {3, 2, 0, std::nullopt}));
        QCOMPARE(ReadPngFractal(Path(path)).status, PngFractalStatus::NoRecord);
        QCOMPARE(FindPngFractal(Bytes("GIF89a....")).status, PngFractalStatus::NotPng);
        QCOMPARE(FindPngFractal(Bytes(good.left(12))).status, PngFractalStatus::NotPng);
        QCOMPARE(ReadPngFractal(Path(dir_.filePath("none.png"))).status,
                 PngFractalStatus::Unreadable);
        QCOMPARE(ReadPngFractal(Path(dir_.path())).status, PngFractalStatus::Unreadable);
        QCOMPARE(PngFractalMessage(PngFractalStatus::Damaged),
                 std::string("Параметры фрактала в изображении PNG повреждены."));
    }

    void misuseAndFailuresLeaveNothing() {
        QTemporaryDir local;
        const QString path = local.filePath("p.png");
        QVERIFY(WriteBytes(path, "older"));
        {
            PngFileWriter writer(Path(path), {4, 3, 0, std::nullopt});
            QVERIFY(writer.Open());
            const QByteArray row(12, 'x');
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(row.constData());
            QVERIFY(writer.WriteRow(0, bytes));
            QVERIFY(!writer.WriteRow(2, bytes));  // out of order
            QVERIFY(!writer.Commit());
            QCOMPARE(writer.error(), EINVAL);
        }
        {
            PngFileWriter dropped(Path(path), {4, 3, 0, std::nullopt});
            QVERIFY(dropped.Open());
        }
        QCOMPARE(ReadBytes(path), QByteArray("older"));
        QCOMPARE(Entries(local.path()), QStringList{"p.png"});
        PngFileWriter missing(Path(local.filePath("gone/x.png")), {4, 3, 0, std::nullopt});
        QVERIFY(!missing.Open());
        QCOMPARE(missing.error(), ENOENT);
        for (const PngCompression& bad :
             {PngCompression{PngDeflater::Igzip, 0, 0, PngRowFilter::None},
              PngCompression{PngDeflater::Igzip, 4, 0, PngRowFilter::None},
              PngCompression{PngDeflater::Zlib, 10, 0, PngRowFilter::None},
              PngCompression{PngDeflater::Zlib, 1, Z_FIXED + 1, PngRowFilter::None}}) {
            PngFileWriter refused(Path(path), {4, 3, 0, std::nullopt}, bad);
            QVERIFY(!refused.Open());
            QCOMPARE(refused.error(), EINVAL);
        }
        QCOMPARE(ReadBytes(path), QByteArray("older"));
        QVERIFY(!PngSizeFits(2147483648LL, 1));
        QVERIFY(PngSizeFits(2147483647LL, 2147483647LL));
    }
};

QTEST_APPLESS_MAIN(TestPngFile)
#include "test_png_file.moc"
