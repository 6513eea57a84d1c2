#include <QtTest>

#include "formats/palette_file.h"
#include "support/test_files.h"

using namespace ombrilo;
using namespace testfiles;

class TestPaletteFile : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    void startPaletteBytes() {
        const QString path = dir_.filePath("start.ptt");
        QVERIFY(WritePaletteFile(Path(path), Palette{}));
        QCOMPARE(ReadBytes(path), Hex("01000000"
                                      "24000000"
                                      "10000000"
                                      "0c000000"
                                      "1a000000"
                                      "12000000"
                                      "08000000"));
    }

    void roundTripRebuildsTheTable() {
        const QString path = dir_.filePath("round.ptt");
        const Palette written{7, 99, 0, 54, 40, 1, 23};
        QVERIFY(WritePaletteFile(Path(path), written));
        FractalState state = MakeStartState();
        const FractalState before = state;
        const PaletteReadResult r = ReadPaletteFile(Path(path), state);
        QVERIFY(r.opened && r.paletteAccepted);
        QVERIFY(state.palette == written);
        ColorTable expected;
        BuildColorTable(written, expected);
        QVERIFY(state.colorTable == expected);
        // Only the palette changes.
        QCOMPARE(state.Cx, before.Cx);
        QCOMPARE(state.ViewWidth, before.ViewWidth);
        const QString again = dir_.filePath("again.ptt");
        QVERIFY(WritePaletteFile(Path(again), state.palette));
        QCOMPARE(ReadBytes(again), ReadBytes(path));
    }

    void unknownTypeRejected_data() {
        QTest::addColumn<int>("type");
        QTest::newRow("0") << 0;
        QTest::newRow("9") << 9;
        QTest::newRow("negative") << -3;
    }

    void unknownTypeRejected() {
        QFETCH(int, type);
        const QString path = dir_.filePath("bad.ptt");
        QVERIFY(WritePaletteFile(Path(path), Palette{type, 1, 2, 3, 4, 5, 6}));
        FractalState state = MakeStartState();
        const PaletteReadResult r = ReadPaletteFile(Path(path), state);
        QVERIFY(r.opened && !r.paletteAccepted);
        QVERIFY(state.palette == Palette{});
        QVERIFY(state.colorTable == MakeStartState().colorTable);
    }

    void shortLongAndEmpty() {
        const Palette other{2, 10, 20, 30, 4, 5, 6};
        const QByteArray bytes = ToBytes(EncodePalette(other));
        const QString longPath = dir_.filePath("long.ptt");
        QVERIFY(WriteBytes(longPath, bytes + QByteArray(12, '\x09')));
        FractalState state = MakeStartState();
        QVERIFY(ReadPaletteFile(Path(longPath), state).paletteAccepted);
        QVERIFY(state.palette == other);

        const QString emptyPath = dir_.filePath("empty.ptt");
        QVERIFY(WriteBytes(emptyPath, QByteArray()));
        QVERIFY(ReadPaletteFile(Path(emptyPath), state).paletteAccepted);
        QVERIFY(state.palette == other);

        // Eight bytes: type and red start level from the file, the rest kept.
        const QString shortPath = dir_.filePath("short.ptt");
        QVERIFY(WriteBytes(shortPath, Hex("03000000"
                                          "41000000")));
        QVERIFY(ReadPaletteFile(Path(shortPath), state).paletteAccepted);
        QVERIFY(state.palette == (Palette{3, 0x41, 20, 30, 4, 5, 6}));
    }

    void cannotOpenOrWrite() {
        FractalState state = MakeStartState();
        QVERIFY(!ReadPaletteFile(Path(dir_.filePath("missing.ptt")), state).opened);
        QVERIFY(QDir(dir_.path()).mkdir("dir.ptt"));
        QVERIFY(!ReadPaletteFile(Path(dir_.filePath("dir.ptt")), state).opened);
        QVERIFY(!WritePaletteFile(Path(dir_.filePath("missing/x.ptt")), Palette{}));
        QVERIFY(!QFileInfo::exists(dir_.filePath("missing")));
        QVERIFY(state.palette == Palette{});
    }
};

QTEST_APPLESS_MAIN(TestPaletteFile)
#include "test_palette_file.moc"
