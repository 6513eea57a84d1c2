#include <QtTest>

#include <array>
#include <limits>

#include "engine/palette.h"

using namespace ombrilo;

namespace {

using Bgr = std::array<int, 3>;

Bgr EntryOf(const ColorTable& table, int index) {
    const std::uint8_t* e = table.Entry(index);
    return {e[0], e[1], e[2]};
}

ColorTable Built(const Palette& palette) {
    ColorTable table;
    BuildColorTable(palette, table);
    return table;
}

}  // namespace

class TestPalette : public QObject {
    Q_OBJECT

private slots:
    void defaultPalette() {
        const ColorTable table = Built(Palette{});
        QCOMPARE(EntryOf(table, 0), (Bgr{12, 16, 36}));
        QCOMPARE(EntryOf(table, 1), (Bgr{20, 34, 62}));
        // Red 26 * 10 + 36 = 296 wraps to 40.
        QCOMPARE(EntryOf(table, 10), (Bgr{92, 196, 40}));
        QCOMPARE(EntryOf(table, 8190),
                 (Bgr{(8 * 8190 + 12) % 256, (18 * 8190 + 16) % 256, (26 * 8190 + 36) % 256}));
    }

    void typeNamesAndChannels() {
        const char* expected[] = {"LLL", "SSS", "LSS", "SLL", "SLS", "LSL", "SSL", "LLS"};
        for (int type = 1; type <= 8; ++type) {
            const QByteArray name = kPaletteTypeNames[type - 1];
            QCOMPARE(name, QByteArray(expected[type - 1]));
            QCOMPARE(ChannelIsSine(type, Channel::Red), name[0] == 'S');
            QCOMPARE(ChannelIsSine(type, Channel::Green), name[1] == 'S');
            QCOMPARE(ChannelIsSine(type, Channel::Blue), name[2] == 'S');
        }
        // Unknown types are built as LLL.
        for (int type : {0, 9, -1, std::numeric_limits<int>::max()}) {
            QVERIFY(!IsValidPaletteType(type));
            QCOMPARE(Built({type, 36, 16, 12, 26, 18, 8}), Built(Palette{}));
        }
    }

    void sineAtZeroLevels() {
        // Every phase is -pi/2: with period 0 the whole table is black.
        const ColorTable flat = Built({2, 0, 0, 0, 0, 0, 0});
        for (int i = 0; i <= ColorTable::kLastIndex; ++i) {
            QCOMPARE(EntryOf(flat, i), (Bgr{0, 0, 0}));
        }
        // With period 40 the wave returns to 0 every 12.8 counts: 64 counts are five waves,
        // and half a wave (6.4 counts) is near the top, 254.
        const ColorTable wave = Built({2, 0, 0, 0, 40, 40, 40});
        for (int i : {64, 128, 640, 6400}) {
            QCOMPARE(EntryOf(wave, i), (Bgr{0, 0, 0}));
        }
        for (int i = 1; i <= 12; ++i) {
            QVERIFY(EntryOf(wave, i)[2] > 0);
        }
        QVERIFY(EntryOf(wave, 6)[2] >= 250);
        QVERIFY(EntryOf(wave, 13)[2] < EntryOf(wave, 12)[2]);
    }

    void sinePassesThroughStartLevel() {
        // The phase makes index 0 of the wave equal to the start level; entry 1 lies close.
        const ColorTable table = Built({2, 100, 50, 200, 1, 1, 1});
        const Bgr first = EntryOf(table, 1);
        QVERIFY(qAbs(first[2] - 100) <= 2);
        QVERIFY(qAbs(first[1] - 50) <= 2);
        QVERIFY(qAbs(first[0] - 200) <= 2);
    }

    void sineNeverReaches255ButLinearDoes() {
        for (int level : {0, 1, 127, 200, 254}) {
            for (int period : {0, 1, 7, 13, 40}) {
                const ColorTable table = Built({2, level, level, level, period, period, period});
                for (int i = 1; i <= ColorTable::kLastIndex; ++i) {
                    const Bgr e = EntryOf(table, i);
                    QVERIFY2(
                        e[0] <= 254 && e[1] <= 254 && e[2] <= 254,
                        qPrintable(
                            QString("level %1 period %2 index %3").arg(level).arg(period).arg(i)));
                }
            }
        }
        const ColorTable ramp = Built({1, 0, 0, 0, 1, 1, 1});
        QCOMPARE(EntryOf(ramp, 255), (Bgr{255, 255, 255}));
        QCOMPARE(EntryOf(ramp, 256), (Bgr{0, 0, 0}));
    }

    void mixedTypeUsesEachChannelsRule() {
        // LSS: red linear, green and blue sine.
        const ColorTable mixed = Built({3, 10, 0, 0, 3, 0, 0});
        QCOMPARE(EntryOf(mixed, 5)[2], 25);
        QCOMPARE(EntryOf(mixed, 5)[1], 0);
        QCOMPARE(EntryOf(mixed, 5)[0], 0);
        // SLL with the same levels: red is now a flat sine at level 10 shifted by the wave.
        const ColorTable other = Built({4, 10, 0, 0, 0, 3, 0});
        QVERIFY(qAbs(EntryOf(other, 5)[2] - 10) <= 1);
        QCOMPARE(EntryOf(other, 5)[1], 15);
    }

    void levelsFromEditedFiles() {
        // Entry 0 takes the low byte of each level; linear channels wrap without overflow.
        const int big = std::numeric_limits<int>::max();
        const int small = std::numeric_limits<int>::min();
        const ColorTable linear = Built({1, big, -1, small, big, -7, small});
        QCOMPARE(EntryOf(linear, 0), (Bgr{0, 255, 255}));
        const std::uint32_t red3 =
            static_cast<std::uint32_t>(big) * 3u + static_cast<std::uint32_t>(big);
        QCOMPARE(EntryOf(linear, 3)[2], static_cast<int>(red3 & 0xFF));
        QCOMPARE(EntryOf(linear, 3)[1], (256 * 100 - 7 * 3 - 1) % 256);
        // A sine level outside 0..254 has no phase; the channel comes out as 0, without a crash.
        const ColorTable sine = Built({2, 255, 1000, -5, 3, big, small});
        for (int i = 1; i <= ColorTable::kLastIndex; ++i) {
            QCOMPARE(EntryOf(sine, i), (Bgr{0, 0, 0}));
        }
        QCOMPARE(EntryOf(sine, 0), (Bgr{0xFB, 1000 & 0xFF, 255}));
    }
};

QTEST_APPLESS_MAIN(TestPalette)
#include "test_palette.moc"
