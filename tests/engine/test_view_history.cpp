#include <QtTest>

#include "engine/view_history.h"

using namespace ombrilo;

namespace {

HistoryEntry WithWidth(float width) {
    HistoryEntry entry;
    entry.ViewWidth = width;
    return entry;
}

}  // namespace

class TestViewHistory : public QObject {
    Q_OBJECT

private slots:
    void backAndForwardWalkTheRecordedStates() {
        ViewHistory history(WithWidth(5.0f));
        QVERIFY(!history.CanGoBack() && !history.CanGoForward());
        QVERIFY(history.Record(WithWidth(3.5f)));
        QVERIFY(!history.Record(WithWidth(3.5f)));  // equal successive states: one entry
        QVERIFY(history.Record(WithWidth(2.45f)));
        QCOMPARE(history.Count(), std::size_t{3});
        QCOMPARE(history.Back().ViewWidth, 3.5f);
        QCOMPARE(history.Back().ViewWidth, 5.0f);
        QVERIFY(!history.CanGoBack());
        QCOMPARE(history.Back().ViewWidth, 5.0f);  // stays at the oldest
        QCOMPARE(history.Forward().ViewWidth, 3.5f);
        QVERIFY(history.CanGoForward());
        // A new state after going back drops the states ahead.
        QVERIFY(history.Record(WithWidth(1.0f)));
        QVERIFY(!history.CanGoForward());
        QCOMPARE(history.Count(), std::size_t{3});
        QCOMPARE(history.Back().ViewWidth, 3.5f);
        // Recording the state already marked changes nothing, the states ahead stay.
        QVERIFY(!history.Record(WithWidth(3.5f)));
        QVERIFY(history.CanGoForward());
    }

    void keepsTheNewestTwoHundred() {
        ViewHistory history(WithWidth(0.0f));
        for (int i = 1; i <= 250; ++i) {
            history.Record(WithWidth(static_cast<float>(i)));
        }
        QCOMPARE(history.Count(), ViewHistory::kLimit);
        QCOMPARE(history.Current().ViewWidth, 250.0f);
        int steps = 0;
        while (history.CanGoBack()) {
            history.Back();
            ++steps;
        }
        QCOMPARE(steps, 199);
        QCOMPARE(history.Current().ViewWidth, 51.0f);
    }
};

QTEST_MAIN(TestViewHistory)
#include "test_view_history.moc"
