#include <QtTest>

#include <algorithm>
#include <numeric>
#include <vector>

#include "formats/bmp_file.h"
#include "support/test_files.h"

using namespace ombrilo;
using namespace testfiles;

namespace {

std::uint32_t U32(const QByteArray& b, int offset) {
    return GetUInt32(reinterpret_cast<const std::uint8_t*>(b.constData()) + offset);
}

std::uint16_t U16(const QByteArray& b, int offset) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[offset]) |
                                      (static_cast<std::uint8_t>(b[offset + 1]) << 8));
}

// Row r of a test picture: every byte names its row and position.
std::vector<std::uint8_t> TestRow(int width, int row) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(width) * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(row * 16 + i + 1);
    }
    return bytes;
}

bool WritePicture(const QString& path, int width, int height, std::vector<int> order) {
    BmpFileWriter writer(Path(path), *BmpLayoutFor(width, height));
    if (!writer.Open()) {
        return false;
    }
    for (int row : order) {
        if (!writer.WriteRow(row, TestRow(width, row).data())) {
            return false;
        }
    }
    return writer.Commit();
}

std::vector<int> TopDown(int height) {
    std::vector<int> rows(height);
    std::iota(rows.begin(), rows.end(), 0);
    return rows;
}

}  // namespace

class TestBmpFile : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    void layouts() {
        const BmpLayout small = *BmpLayoutFor(4, 3);
        QCOMPARE(small.rowBytes, 12u);
        QCOMPARE(small.fileBytes, 90u);
        const BmpLayout five = *BmpLayoutFor(5, 7);
        QCOMPARE(five.rowBytes, 16u);
        QCOMPARE(five.pixelBytes, 16u * 7);
        QCOMPARE(BmpLayoutFor(1, 1)->rowBytes, 4u);
        QCOMPARE(BmpLayoutFor(1024, 768)->fileBytes, 54u + 1024 * 768 * 3);
    }

    void sizesABmpCannotHold_data() {
        QTest::addColumn<qint64>("width");
        QTest::addColumn<qint64>("height");
        QTest::newRow("zero width") << qint64(0) << qint64(10);
        QTest::newRow("zero height") << qint64(10) << qint64(0);
        QTest::newRow("negative") << qint64(-4) << qint64(3);
        QTest::newRow("width above 2^31-1") << qint64(2147483648LL) << qint64(1);
        QTest::newRow("height above 2^31-1") << qint64(1) << qint64(2147483648LL);
        QTest::newRow("file above 4 GiB") << qint64(70000) << qint64(70000);
        // 54 + 4 * 1073741811 = 4294967298: two bytes too many.
        QTest::newRow("just too big") << qint64(1) << qint64(1073741811);
    }

    void sizesABmpCannotHold() {
        QFETCH(qint64, width);
        QFETCH(qint64, height);
        QVERIFY(!BmpLayoutFor(width, height).has_value());
    }

    void largestFileThatFits() {
        // 54 + 4 * 1073741810 = 4294967294 still fits the 32-bit size field.
        const auto layout = BmpLayoutFor(1, 1073741810);
        QVERIFY(layout.has_value());
        QCOMPARE(layout->fileBytes, 4294967294u);
        QVERIFY(BmpLayoutFor(2147483647, 1).has_value() == false);      // 6 GiB row
        QCOMPARE(BmpLayoutFor(1431655746, 1)->fileBytes, 4294967294u);  // row of 4294967240 bytes
        QVERIFY(!BmpLayoutFor(1431655764, 1).has_value());              // 54 + 4294967292
    }

    void headerAndBottomUpRows() {
        const QString path = dir_.filePath("five.bmp");
        QVERIFY(WritePicture(path, 5, 3, TopDown(3)));
        const QByteArray b = ReadBytes(path);
        QCOMPARE(b.size(), 54 + 16 * 3);
        QCOMPARE(b.left(2), QByteArray("BM"));
        QCOMPARE(U32(b, 2), 102u);
        QCOMPARE(U32(b, 6), 0u);
        QCOMPARE(U32(b, 10), 54u);
        QCOMPARE(U32(b, 14), 40u);
        QCOMPARE(U32(b, 18), 5u);
        QCOMPARE(U32(b, 22), 3u);
        QCOMPARE(U16(b, 26), 1);
        QCOMPARE(U16(b, 28), 24);
        QCOMPARE(U32(b, 30), 0u);
        QCOMPARE(U32(b, 34), 48u);
        for (int offset : {38, 42, 46, 50}) {
            QCOMPARE(U32(b, offset), 0u);
        }
        // The file starts with the bottom row; each row ends with one zero byte of padding.
        for (int row = 0; row < 3; ++row) {
            const int stored = 54 + (2 - row) * 16;
            const auto expected = TestRow(5, row);
            QCOMPARE(b.mid(stored, 15),
                     QByteArray(reinterpret_cast<const char*>(expected.data()), 15));
            QCOMPARE(b[stored + 15], '\0');
        }
    }

    void rowOrderDoesNotChangeTheFile() {
        const QString inOrder = dir_.filePath("order.bmp");
        const QString shuffled = dir_.filePath("shuffled.bmp");
        QVERIFY(WritePicture(inOrder, 7, 6, TopDown(6)));
        QVERIFY(WritePicture(shuffled, 7, 6, {5, 0, 3, 1, 4, 2}));
        QCOMPARE(ReadBytes(shuffled), ReadBytes(inOrder));
        // Rows of 3 MB: one to a written span.
        QVERIFY(WritePicture(inOrder, 1000000, 5, TopDown(5)));
        QVERIFY(WritePicture(shuffled, 1000000, 5, {3, 0, 4, 1, 2}));
        QCOMPARE(ReadBytes(shuffled), ReadBytes(inOrder));
        // Rows of 210 kB: two to a span top down, five spans, one row at a time shuffled.
        QVERIFY(WritePicture(inOrder, 70000, 9, TopDown(9)));
        QVERIFY(WritePicture(shuffled, 70000, 9, {8, 0, 4, 5, 1, 7, 2, 3, 6}));
        QCOMPARE(ReadBytes(shuffled), ReadBytes(inOrder));
    }

    // Bands of rows written in one piece, with padded rows, more rows than one system call takes,
    // mixed with single rows: the same file as row by row.
    void bandsMakeTheSameFile() {
        const int width = 5;
        const int height = 1300;
        const QString rowByRow = dir_.filePath("rows.bmp");
        const QString banded = dir_.filePath("bands.bmp");
        QVERIFY(WritePicture(rowByRow, width, height, TopDown(height)));
        const std::ptrdiff_t stride = width * 3 + 7;
        std::vector<std::uint8_t> band(static_cast<std::size_t>(stride) * height, 0xEE);
        for (int row = 0; row < height; ++row) {
            const auto bytes = TestRow(width, row);
            std::copy(bytes.begin(), bytes.end(), band.begin() + row * stride);
        }
        BmpFileWriter writer(Path(banded), *BmpLayoutFor(width, height));
        QVERIFY(writer.Open());
        QVERIFY(writer.WriteRow(0, band.data()));
        QVERIFY(writer.WriteRows(1, 1100, band.data() + stride, stride));
        QVERIFY(writer.WriteRow(1101, band.data() + 1101 * stride));
        QVERIFY(writer.WriteRows(1102, height - 1102, band.data() + 1102 * stride, stride));
        QVERIFY(!writer.WriteRows(1200, 101, band.data(), stride));  // past the last row
        QVERIFY(writer.Commit());
        QCOMPARE(ReadBytes(banded), ReadBytes(rowByRow));
    }

    void discardKeepsTheOlderFile() {
        QTemporaryDir local;
        const QString path = local.filePath("old.bmp");
        QVERIFY(WriteBytes(path, "older picture"));
        {
            BmpFileWriter writer(Path(path), *BmpLayoutFor(4, 3));
            QVERIFY(writer.Open());
            QVERIFY(writer.WriteRow(0, TestRow(4, 0).data()));
            QVERIFY(!writer.WriteRow(3, TestRow(4, 0).data()));  // no such row
            writer.Discard();
        }
        QCOMPARE(ReadBytes(path), QByteArray("older picture"));
        {
            // A writer that is dropped without Commit leaves nothing either.
            BmpFileWriter writer(Path(local.filePath("dropped.bmp")), *BmpLayoutFor(4, 3));
            QVERIFY(writer.Open());
        }
        QCOMPARE(Entries(local.path()), QStringList{"old.bmp"});
        BmpFileWriter missing(Path(local.filePath("gone/x.bmp")), *BmpLayoutFor(4, 3));
        QVERIFY(!missing.Open());
        QVERIFY(missing.error() != 0);
    }
};

QTEST_APPLESS_MAIN(TestBmpFile)
#include "test_bmp_file.moc"
