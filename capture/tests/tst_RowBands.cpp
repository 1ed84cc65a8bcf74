#include "RowBands.h"

#include <QtTest>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

class tst_RowBands : public QObject
{
    Q_OBJECT

private slots:
    void coversEveryRowOnce_data();
    void coversEveryRowOnce();
    void upperBandRunsAlongside();
    void runsAgainAndAgain();
};

void tst_RowBands::coversEveryRowOnce_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("bands");

    QTest::newRow("none") << 0 << 1;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("just too few to split") << 63 << 1;
    QTest::newRow("just enough to split") << 64 << 2;
    QTest::newRow("odd") << 721 << 2;
    QTest::newRow("4K") << 2160 << 2;
}

void tst_RowBands::coversEveryRowOnce()
{
    QFETCH(int, rows);
    QFETCH(int, bands);
    RowBands splitter("test-bands");
    std::vector<int> visits(size_t(rows), 0);
    std::mutex mutex;
    int calls = 0;
    splitter.Run(rows, [&](int begin, int end) {
        std::lock_guard<std::mutex> lock(mutex);
        ++calls;
        for (int row = begin; row < end; ++row)
            ++visits[size_t(row)];
    });
    QCOMPARE(calls, bands);
    for (int row = 0; row < rows; ++row)
        QCOMPARE(visits[size_t(row)], 1);
}

void tst_RowBands::upperBandRunsAlongside()
{
    // Each band waits until the other has started: this returns only if the
    // two run at the same time, on different threads.
    RowBands splitter("test-bands");
    std::atomic<int> started{0};
    std::thread::id upper;
    std::thread::id lower;
    splitter.Run(200, [&](int begin, int) {
        (begin == 0 ? upper : lower) = std::this_thread::get_id();
        ++started;
        while (started.load() < 2)
            std::this_thread::yield();
    });
    QVERIFY(upper != lower);
    QCOMPARE(lower, std::this_thread::get_id());
}

void tst_RowBands::runsAgainAndAgain()
{
    RowBands splitter("test-bands");
    std::atomic<long> total{0};
    for (int i = 0; i < 2000; ++i)
        splitter.Run(100 + i % 7, [&](int begin, int end) { total += end - begin; });
    long expected = 0;
    for (int i = 0; i < 2000; ++i)
        expected += 100 + i % 7;
    QCOMPARE(total.load(), expected);
}

QTEST_APPLESS_MAIN(tst_RowBands)
#include "tst_RowBands.moc"
