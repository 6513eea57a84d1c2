#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

#include "formats/file_io.h"
#include "formats/fractal_file.h"
#include "formats/palette_file.h"
#include "support/test_files.h"

using namespace ombrilo;
using namespace testfiles;

namespace {

// A state unlike the start state in every field the file holds.
FractalState OtherState() {
    FractalState s = MakeStartState();
    s.Cx = -0.7453;
    s.Cy = 0.1127;
    s.CenterX = -0.25f;
    s.CenterY = 0.5f;
    s.ViewWidth = 0.125f;
    s.MainStep = MainStepFor(s.ViewWidth);
    s.palette = {5, 90, 3, 47, 12, 33, 1};
    BuildColorTable(s.palette, s.colorTable);
    return s;
}

void CompareFractalFields(const FractalState& a, const FractalState& b) {
    QCOMPARE(a.FractalType, b.FractalType);
    QVERIFY(a.PointColor == b.PointColor);
    QCOMPARE(a.Cx, b.Cx);
    QCOMPARE(a.Cy, b.Cy);
    QCOMPARE(a.CenterX, b.CenterX);
    QCOMPARE(a.CenterY, b.CenterY);
    QCOMPARE(a.ViewWidth, b.ViewWidth);
}

void ComparePalettes(const FractalState& a, const FractalState& b) {
    QVERIFY(a.palette == b.palette);
    QVERIFY(a.colorTable == b.colorTable);
}

QByteArray RecordWith(std::int32_t fractalType, std::int32_t paletteType, const FractalState& s) {
    FractalRecord r = RecordFromState(s);
    r.FractalType = fractalType;
    r.PaletteType = paletteType;
    return ToBytes(EncodeFractalRecord(r));
}

}  // namespace

class TestFractalFile : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString PathIn(const QString& name) const { return dir_.filePath(name); }

private slots:
    void firstSaveBytes() {
        const QString path = PathIn("first.frc");
        QVERIFY(WriteFractalFile(Path(path), MakeStartState()));
        const QByteArray bytes = ReadBytes(path);
        QCOMPARE(bytes.size(), 60);
        QCOMPARE(bytes.left(8), Hex("0100000001000000"));
        const auto* raw = reinterpret_cast<const std::uint8_t*>(bytes.constData());
        QCOMPARE(GetDouble(raw + 8), 0.402);
        QCOMPARE(GetDouble(raw + 16), 0.339);
        QCOMPARE(bytes.mid(24, 12), Hex("00000000"
                                        "00000000"
                                        "0000a040"));
        QCOMPARE(bytes.mid(36, 24), Hex("24000000"
                                        "10000000"
                                        "0c000000"
                                        "1a000000"
                                        "12000000"
                                        "08000000"));
        QCOMPARE(Entries(dir_.path()), QStringList{"first.frc"});
    }

    void roundTrip() {
        const QString path = PathIn("round.frc");
        const FractalState written = OtherState();
        QVERIFY(WriteFractalFile(Path(path), written));
        FractalState read = MakeStartState();
        const FractalReadResult r = ReadFractalFile(Path(path), read, true);
        QVERIFY(r.opened && r.fractalAccepted && r.paletteLooked && r.paletteAccepted);
        CompareFractalFields(read, written);
        ComparePalettes(read, written);
        // MainStep follows the width read.
        QCOMPARE(read.MainStep, MainStepFor(written.ViewWidth));
        QVERIFY(read.MainStep != BaseStep);
        const QString again = PathIn("again.frc");
        QVERIFY(WriteFractalFile(Path(again), read));
        QCOMPARE(ReadBytes(again), ReadBytes(path));
    }

    void unknownFractalTypeChangesNothing_data() {
        QTest::addColumn<int>("type");
        QTest::newRow("2") << 2;
        QTest::newRow("0") << 0;
        QTest::newRow("-1") << -1;
        QTest::newRow("0x7fffffff") << 0x7fffffff;
    }

    void unknownFractalTypeChangesNothing() {
        QFETCH(int, type);
        const QString path = PathIn("unknown.frc");
        QVERIFY(WriteBytes(path, RecordWith(type, 2, OtherState())));
        FractalState state = MakeStartState();
        const FractalReadResult r = ReadFractalFile(Path(path), state, true);
        QVERIFY(r.opened);
        QVERIFY(!r.fractalAccepted);
        QVERIFY(!r.paletteLooked);
        const FractalState start = MakeStartState();
        CompareFractalFields(state, start);
        ComparePalettes(state, start);
    }

    void unknownPaletteTypeKeepsPalette() {
        const QString path = PathIn("badpalette.frc");
        const FractalState other = OtherState();
        QVERIFY(WriteBytes(path, RecordWith(1, 9, other)));
        FractalState state = MakeStartState();
        const FractalReadResult r = ReadFractalFile(Path(path), state, true);
        QVERIFY(r.fractalAccepted && r.paletteLooked && !r.paletteAccepted);
        CompareFractalFields(state, other);
        ComparePalettes(state, MakeStartState());
    }

    void paletteIgnoredWhenNotWanted() {
        const QString path = PathIn("noload.frc");
        const FractalState other = OtherState();
        QVERIFY(WriteFractalFile(Path(path), other));
        FractalState state = MakeStartState();
        const FractalReadResult r = ReadFractalFile(Path(path), state, false);
        QVERIFY(r.fractalAccepted && !r.paletteLooked);
        CompareFractalFields(state, other);
        ComparePalettes(state, MakeStartState());
        // The flags: the palette flag keeps what an earlier read left.
        ReadFlags flags{false, true};
        flags.Take(r);
        QVERIFY(flags.FractalAccepted);
        QVERIFY(flags.PaletteAccepted);
        FractalReadResult bad;
        bad.opened = true;
        bad.paletteLooked = true;
        flags.Take(bad);
        QVERIFY(!flags.FractalAccepted && !flags.PaletteAccepted);
        flags = {true, true};
        flags.Take(FractalReadResult{});  // not opened: nothing changes
        QVERIFY(flags.FractalAccepted && flags.PaletteAccepted);
    }

    void shortAndLongFiles() {
        const FractalState other = OtherState();
        const QByteArray full = ToBytes(EncodeFractalRecord(RecordFromState(other)));
        // Bytes after the record are never read.
        const QString longPath = PathIn("long.frc");
        QVERIFY(WriteBytes(longPath, full + QByteArray(10, '\xff')));
        FractalState fromLong = MakeStartState();
        QVERIFY(ReadFractalFile(Path(longPath), fromLong, true).paletteAccepted);
        CompareFractalFields(fromLong, other);
        ComparePalettes(fromLong, other);

        // An empty file reads as type 1 with every value kept: accepted, nothing changes.
        const QString emptyPath = PathIn("empty.frc");
        QVERIFY(WriteBytes(emptyPath, QByteArray()));
        FractalState fromEmpty = OtherState();
        const FractalReadResult r = ReadFractalFile(Path(emptyPath), fromEmpty, true);
        QVERIFY(r.fractalAccepted && r.paletteAccepted);
        CompareFractalFields(fromEmpty, other);
        ComparePalettes(fromEmpty, other);

        // 24 bytes: the types and C come from the file, the view and the levels stay.
        const QString shortPath = PathIn("short.frc");
        QVERIFY(WriteBytes(shortPath, full.left(24)));
        FractalState fromShort = MakeStartState();
        QVERIFY(ReadFractalFile(Path(shortPath), fromShort, true).paletteAccepted);
        QCOMPARE(fromShort.Cx, other.Cx);
        QCOMPARE(fromShort.Cy, other.Cy);
        QCOMPARE(fromShort.ViewWidth, 5.0f);
        QCOMPARE(fromShort.palette.PaletteType, other.palette.PaletteType);
        QCOMPARE(fromShort.palette.R0, 36);
        QCOMPARE(fromShort.palette.B1, 8);

        // A field cut in the middle takes the bytes that are there over the current value.
        const QString cutPath = PathIn("cut.frc");
        QVERIFY(WriteBytes(cutPath, Hex("01000000"
                                        "03000000"
                                        "0000")));
        FractalState fromCut = MakeStartState();
        QVERIFY(ReadFractalFile(Path(cutPath), fromCut, true).paletteAccepted);
        QCOMPARE(fromCut.palette.PaletteType, 3);
        std::uint8_t cx[8];
        PutDouble(cx, 0.402);
        cx[0] = cx[1] = 0;
        QCOMPARE(fromCut.Cx, GetDouble(cx));
    }

    void hostileValuesAreTakenAsTheyStand() {
        FractalRecord r = RecordFromState(MakeStartState());
        r.Cx = std::numeric_limits<double>::quiet_NaN();
        r.CenterX = std::numeric_limits<float>::infinity();
        r.ViewWidth = -3.0f;
        r.R0 = -100000;
        r.B1 = 0x7fffffff;
        const QString path = PathIn("hostile.frc");
        QVERIFY(WriteBytes(path, ToBytes(EncodeFractalRecord(r))));
        FractalState state = MakeStartState();
        QVERIFY(ReadFractalFile(Path(path), state, true).paletteAccepted);
        QVERIFY(std::isnan(state.Cx));
        QVERIFY(std::isinf(state.CenterX));
        QCOMPARE(state.ViewWidth, -3.0f);
        QCOMPARE(state.palette.R0, -100000);
        QCOMPARE(state.palette.B1, 0x7fffffff);
    }

    void cannotOpen() {
        FractalState state = OtherState();
        QVERIFY(!ReadFractalFile(Path(PathIn("missing.frc")), state, true).opened);
        // A directory named like a fractal file.
        QVERIFY(QDir(dir_.path()).mkdir("folder.frc"));
        QVERIFY(!ReadFractalFile(Path(PathIn("folder.frc")), state, true).opened);
        // A named pipe would block a plain reader; it is refused at once.
        QCOMPARE(::mkfifo(Path(PathIn("pipe.frc")).c_str(), 0600), 0);
        QVERIFY(!ReadFractalFile(Path(PathIn("pipe.frc")), state, true).opened);
        if (::geteuid() != 0) {
            const QString locked = PathIn("locked.frc");
            QVERIFY(WriteFractalFile(Path(locked), state));
            QVERIFY(QFile::setPermissions(locked, QFileDevice::WriteOwner));
            QVERIFY(!ReadFractalFile(Path(locked), state, true).opened);
        }
        CompareFractalFields(state, OtherState());
        ComparePalettes(state, OtherState());
    }

    void failedWritesLeaveNothingBehind() {
        QTemporaryDir local;
        // A folder that does not exist: nothing is created.
        QVERIFY(!WriteFractalFile(Path(local.filePath("no/such/folder/x.frc")), OtherState()));
        QVERIFY(!QDir(local.filePath("no")).exists());
        // A directory in the way of the target stays as it is, with no temporary file beside.
        QVERIFY(QDir(local.path()).mkdir("taken.frc"));
        QVERIFY(!WriteFractalFile(Path(local.filePath("taken.frc")), OtherState()));
        QVERIFY(QFileInfo(local.filePath("taken.frc")).isDir());
        QCOMPARE(Entries(local.path()), QStringList{"taken.frc"});
        // Overwriting an existing file replaces it whole.
        const QString path = local.filePath("over.frc");
        QVERIFY(WriteBytes(path, QByteArray(100, 'x')));
        QVERIFY(WriteFractalFile(Path(path), OtherState()));
        QCOMPARE(ReadBytes(path), ToBytes(EncodeFractalRecord(RecordFromState(OtherState()))));
        QCOMPARE(Entries(local.path()), (QStringList{"over.frc", "taken.frc"}));
    }

    void paletteBlockIsAPaletteFile() {
        const FractalState other = OtherState();
        const QByteArray fractal = ToBytes(EncodeFractalRecord(RecordFromState(other)));
        const QByteArray block = fractal.mid(4, 4) + fractal.mid(36, 24);
        QCOMPARE(block, ToBytes(EncodePalette(other.palette)));
    }
};

QTEST_APPLESS_MAIN(TestFractalFile)
#include "test_fractal_file.moc"
