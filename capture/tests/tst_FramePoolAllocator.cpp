#include "FramePoolAllocator.h"

#include <QtTest>

#include <sys/resource.h>

#include <vector>

namespace {

long MinorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// Makes count matrices of the size at once, writes all of them, and returns
// the page faults that took.
long FaultsToFill(int count, int rows, int cols)
{
    const long before = MinorFaults();
    std::vector<cv::Mat> frames;
    for (int i = 0; i < count; ++i) {
        frames.emplace_back(rows, cols, CV_8UC4);
        frames.back().setTo(cv::Scalar::all(i));
    }
    return MinorFaults() - before;
}

} // namespace

class tst_FramePoolAllocator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void reservedBuffersAreTouchedUpFront();
    void recycledBuffersFaultNoMore();
};

void tst_FramePoolAllocator::initTestCase()
{
#if defined(__SANITIZE_THREAD__)
    // Its runtime maps and touches memory of its own around every buffer
    // (measured: two thirds of a fresh buffer's faults on a reserved one).
    QSKIP("page faults say nothing under ThreadSanitizer");
#endif
    FramePoolAllocator::Install();
}

void tst_FramePoolAllocator::reservedBuffersAreTouchedUpFront()
{
    // 8 MiB frames of two sizes a byte row apart, so their buffers are kept
    // apart: each a first use, one of them reserved. Compared with each
    // other rather than with fixed counts, as sanitizers add faults of their
    // own.
    const int rows = 1024;
    const long fresh = FaultsToFill(3, rows, 2048);
    const size_t bytes = size_t(rows) * 2047 * 4;
    FramePoolAllocator::Reserve(bytes, 3);
    const long reserved = FaultsToFill(3, rows, 2047);
    QVERIFY2(fresh > 3 * 1000, qPrintable(QString("fresh %1").arg(fresh)));
    QVERIFY2(reserved * 8 < fresh, qPrintable(QString("reserved %1, fresh %2").arg(reserved).arg(fresh)));

    // Three exist now; asking again for three makes none, so a fourth
    // frame alive at once is new memory.
    FramePoolAllocator::Reserve(bytes, 3);
    const long fourth = FaultsToFill(4, rows, 2047);
    QVERIFY2(fourth * 6 > fresh, qPrintable(QString("fourth %1, fresh %2").arg(fourth).arg(fresh)));
    // Now four exist.
    const long again = FaultsToFill(4, rows, 2047);
    QVERIFY2(again * 8 < fresh, qPrintable(QString("again %1, fresh %2").arg(again).arg(fresh)));
}

void tst_FramePoolAllocator::recycledBuffersFaultNoMore()
{
    // Without a reservation: the first round faults, later ones hardly.
    const int rows = 768;
    const int cols = 1536;
    const long first = FaultsToFill(2, rows, cols);
    for (int round = 0; round < 5; ++round) {
        const long later = FaultsToFill(2, rows, cols);
        QVERIFY2(later * 8 < first, qPrintable(QString("later %1, first %2").arg(later).arg(first)));
    }
}

QTEST_APPLESS_MAIN(tst_FramePoolAllocator)
#include "tst_FramePoolAllocator.moc"
