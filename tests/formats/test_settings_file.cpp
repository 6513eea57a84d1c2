#include <QtTest>

#include "formats/settings_file.h"
#include "support/test_files.h"

using namespace ombrilo;
using namespace testfiles;

namespace {

Settings Sample() {
    Settings s = DefaultSettings();
    s.SlideDelay = 9;
    s.CloseAfterSave = 1;
    s.Left = -20;
    s.Top = 300;
    s.palette = {6, 1, 2, 3, 4, 5, 6};
    s.SlideOrder = 1;
    return s;
}

}  // namespace

class TestSettingsFile : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    void layout() {
        Settings s = DefaultSettings();
        s.Left = 100;
        s.Top = 0x01020304;
        QCOMPARE(ToBytes(EncodeSettings(s)), Hex("04000000"
                                                 "00000000"
                                                 "64000000"
                                                 "04030201"
                                                 "24000000"
                                                 "10000000"
                                                 "0c000000"
                                                 "1a000000"
                                                 "12000000"
                                                 "08000000"
                                                 "01000000"
                                                 "00"));
    }

    void noFileGivesDefaultsAndNoWrite() {
        const StartupSettings startup = LoadStartupSettings(Path(dir_.filePath("none.dat")));
        QVERIFY(!startup.SettingsLoaded);
        QCOMPARE(startup.current.SlideDelay, 4);
        QCOMPARE(startup.current.CloseAfterSave, 0);
        QVERIFY(startup.current.palette == Palette{});
        QCOMPARE(int(startup.current.SlideOrder), 0);
        QVERIFY(!SettingsNeedWrite(startup.snapshot, startup.current));
        // The window moved: the file must be written.
        Settings moved = startup.current;
        moved.Left += 1;
        QVERIFY(SettingsNeedWrite(startup.snapshot, moved));
    }

    void roundTrip() {
        const QString path = dir_.filePath("settings.dat");
        QVERIFY(WriteSettingsFile(Path(path), Sample()));
        QCOMPARE(ReadBytes(path).size(), 45);
        const StartupSettings startup = LoadStartupSettings(Path(path));
        QVERIFY(startup.SettingsLoaded);
        QVERIFY(startup.current == Sample());
        QVERIFY(startup.snapshot == Sample());
        QVERIFY(!SettingsNeedWrite(startup.snapshot, startup.current));
    }

    void eachFieldCountsAsAChange() {
        const Settings base = Sample();
        auto changed = [&](auto edit) {
            Settings s = base;
            edit(s);
            return SettingsNeedWrite(base, s);
        };
        QVERIFY(changed([](Settings& s) { s.SlideDelay = 20; }));
        QVERIFY(changed([](Settings& s) { s.CloseAfterSave = 0; }));
        QVERIFY(changed([](Settings& s) { s.Top = 0; }));
        QVERIFY(changed([](Settings& s) { s.palette.G1 = 40; }));
        QVERIFY(changed([](Settings& s) { s.palette.PaletteType = 1; }));
        QVERIFY(changed([](Settings& s) { s.SlideOrder = 0; }));
    }

    void repairedValuesAreWrittenBack() {
        const QString path = dir_.filePath("repair.dat");
        Settings bad = Sample();
        bad.palette.PaletteType = 0;
        bad.SlideOrder = 7;
        QVERIFY(WriteSettingsFile(Path(path), bad));
        const StartupSettings startup = LoadStartupSettings(Path(path));
        QCOMPARE(startup.current.palette.PaletteType, 1);
        QCOMPARE(int(startup.current.SlideOrder), 0);
        QCOMPARE(startup.snapshot.palette.PaletteType, 0);
        QVERIFY(SettingsNeedWrite(startup.snapshot, startup.current));
        // Out-of-range levels and delays are kept as they are.
        bad.palette.PaletteType = 9;
        bad.SlideDelay = -5;
        bad.palette.R0 = 5000;
        QVERIFY(WriteSettingsFile(Path(path), bad));
        const StartupSettings again = LoadStartupSettings(Path(path));
        QCOMPARE(again.current.palette.PaletteType, 1);
        QCOMPARE(again.current.SlideDelay, -5);
        QCOMPARE(again.current.palette.R0, 5000);
    }

    void shortAndLongFiles() {
        // Eight bytes: delay and close option from the file, everything else zero, the
        // palette type then repaired to 1.
        const QString shortPath = dir_.filePath("short.dat");
        QVERIFY(WriteBytes(shortPath, Hex("07000000"
                                          "01000000")));
        const StartupSettings s = LoadStartupSettings(Path(shortPath));
        QVERIFY(s.SettingsLoaded);
        QCOMPARE(s.current.SlideDelay, 7);
        QCOMPARE(s.current.CloseAfterSave, 1);
        QCOMPARE(s.current.Left, 0);
        QCOMPARE(s.current.Top, 0);
        QVERIFY(s.current.palette == (Palette{1, 0, 0, 0, 0, 0, 0}));
        QVERIFY(SettingsNeedWrite(s.snapshot, s.current));

        const QString longPath = dir_.filePath("long.dat");
        QVERIFY(WriteBytes(longPath, ToBytes(EncodeSettings(Sample())) + QByteArray(20, '\x01')));
        QVERIFY(LoadStartupSettings(Path(longPath)).current == Sample());

        const QString emptyPath = dir_.filePath("empty.dat");
        QVERIFY(WriteBytes(emptyPath, QByteArray()));
        const StartupSettings empty = LoadStartupSettings(Path(emptyPath));
        QVERIFY(empty.SettingsLoaded);
        QCOMPARE(empty.current.SlideDelay, 0);
    }

    void unreadableFileGivesDefaults() {
        QVERIFY(QDir(dir_.path()).mkdir("folder.dat"));
        const StartupSettings s = LoadStartupSettings(Path(dir_.filePath("folder.dat")));
        QVERIFY(!s.SettingsLoaded);
        QVERIFY(s.current == DefaultSettings());
        QVERIFY(!WriteSettingsFile(Path(dir_.filePath("folder.dat")), Sample()));
    }
};

QTEST_APPLESS_MAIN(TestSettingsFile)
#include "test_settings_file.moc"
