#include "RowBands.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

class tst_RowBands : public QObject
{
    Q_OBJECT

private slots:
    void coversEveryRowOnce_data();
    void coversEveryRowOnce();
    void bothThreadsTakeBands();
    void runsAgainAndAgain();
};

void tst_RowBands::coversEveryRowOnce_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("bands");

    QTest::newRow("none") << 0 << 1;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("just too few to share") << 63 << 1;
    QTest::newRow("just enough to share") << 64 << 2;
    QTest::newRow("bands of the smallest height") << 200 << 7;
    QTest::newRow("odd") << 721 << 8;
    QTest::newRow("4K") << 2160 << 8;
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

void tst_RowBands::bothThreadsTakeBands()
{
    // The first two bands each wait (a while at most) until the other has
    // started: the caller and the helper must both be at work at once.
    RowBands splitter("test-bands");
    std::atomic<int> started{0};
    std::mutex mutex;
    std::set<std::thread::id> threads;
    splitter.Run(200, [&](int, int) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            threads.insert(std::this_thread::get_id());
        }
        if (++started <= 2) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (started.load() < 2 && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
        }
    });
    QCOMPARE(int(threads.size()), 2);
    QVERIFY(threads.count(std::this_thread::get_id()) == 1);
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
