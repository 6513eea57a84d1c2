#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <deque>

#include "formats/fractal_file.h"
#include "slideshow/U_slidelist.h"
#include "support/test_files.h"

using namespace ombrilo;

namespace {

// Hands out the given numbers in turn.
SlideRandom Fixed(std::deque<std::uint32_t> values) {
    auto shared = std::make_shared<std::deque<std::uint32_t>>(std::move(values));
    return [shared] {
        const std::uint32_t v = shared->front();
        shared->pop_front();
        return v;
    };
}

bool WriteFractal(const QString& path, double cx) {
    FractalState state;
    state.Cx = cx;
    return WriteFractalFile(testfiles::Path(path), state);
}

}  // namespace

class TestSlideList : public QObject {
    Q_OBJECT

private slots:
    void init() { previous_ = QDir::currentPath(); }
    void cleanup() { QDir::setCurrent(previous_); }

    void ThreeFilesSequentialWrapAroundInNameOrder() {
        QTemporaryDir dir;
        QVERIFY(WriteFractal(dir.filePath("b.frc"), 0.2));
        QVERIFY(WriteFractal(dir.filePath("C.frc"), 0.3));
        QVERIFY(WriteFractal(dir.filePath("a.frc"), 0.1));
        SlideList list = BuildSlideList(dir.path());
        QCOMPARE(list.count(), 3);
        QCOMPARE(QDir::currentPath(), QDir(dir.path()).canonicalPath());
        const QStringList expected{"a.frc", "b.frc", "C.frc", "a.frc", "b.frc"};
        QStringList seen;
        FractalState state;
        for (int i = 0; i < 5; ++i) {
            const SlidePick pick = PickSlide(list, 0, {}, dir.path(), state, false);
            seen << QFileInfo(pick.path).fileName();
            QVERIFY(pick.result.fractalAccepted);
        }
        QCOMPARE(seen, expected);
        QCOMPARE(state.Cx, 0.2);  // the last slide read is b.frc
    }

    void OneFileRandomIsAlwaysThatFile() {
        SlideList list;
        list.names = {"only.frc"};
        SlideRandom random = Fixed({0, 1, 2147483647u, 12345});
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(ChooseSlideName(list, 1, random), QString("only.frc"));
            QCOMPARE(list.cursor, std::size_t{0});
        }
    }

    void RandomCountFiveTakesFourSteps() {
        SlideList list;
        list.names = {"1.frc", "2.frc", "3.frc", "4.frc", "5.frc"};
        SlideRandom random = Fixed({8, 5});  // 8 mod 5 = 3, then 5 mod 5 = 0
        QCOMPARE(ChooseSlideName(list, 1, random), QString("4.frc"));
        QCOMPARE(list.cursor, std::size_t{4});
        QCOMPARE(ChooseSlideName(list, 1, random), QString("5.frc"));
        QCOMPARE(list.cursor, std::size_t{0});
    }

    void ClockGeneratorGivesThirtyOneBits() {
        SlideRandom random = MakeClockSeededRandom();
        std::uint32_t all = 0;
        for (int i = 0; i < 200; ++i) {
            const std::uint32_t r = random();
            QVERIFY(r <= 0x7fffffffu);
            all |= r;
        }
        QCOMPARE(all, 0x7fffffffu);
    }

    void EveryEntryKindCountsButOnlyThePattern() {
        QTemporaryDir dir;
        QVERIFY(testfiles::WriteBytes(dir.filePath("notes.txt"), "text"));
        QVERIFY(QDir(dir.path()).mkdir("x.frc"));
        SlideList list = BuildSlideList(dir.path());
        QCOMPARE(list.count(), 1);
        QCOMPARE(list.names.front(), QString("x.frc"));
        // Reading the directory fails: nothing of the state changes.
        FractalState state;
        state.Cx = 0.75;
        const SlidePick pick = PickSlide(list, 0, {}, dir.path(), state, true);
        QVERIFY(!pick.result.opened);
        QCOMPARE(state.Cx, 0.75);
    }

    void HiddenFilesAndUpperCaseExtensionsAreListed() {
        QTemporaryDir dir;
        QVERIFY(WriteFractal(dir.filePath(".hidden.frc"), 0.1));
        QVERIFY(WriteFractal(dir.filePath("B.FRC"), 0.1));
        QVERIFY(testfiles::WriteBytes(dir.filePath("a.frc.bak"), "x"));
        const SlideList list = BuildSlideList(dir.path());
        QCOMPARE(QStringList(list.names.begin(), list.names.end()),
                 (QStringList{".hidden.frc", "B.FRC"}));
    }

    void MissingFolderGivesEmptyListAndKeepsDirectory() {
        const QString before = QDir::currentPath();
        const SlideList list = BuildSlideList("/nonexistent/ombrilo-folder");
        QCOMPARE(list.count(), 0);
        QCOMPARE(QDir::currentPath(), before);
    }

private:
    QString previous_;
};

QTEST_APPLESS_MAIN(TestSlideList)
#include "test_slidelist.moc"
