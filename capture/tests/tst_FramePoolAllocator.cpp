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
    FramePoolAllocator::Install();
}

void tst_FramePoolAllocator::reservedBuffersAreTouchedUpFront()
{
    // 8 MiB a frame: 2048 pages, each a fault when first written.
    const int rows = 1024;
    const int cols = 2048;
    const size_t bytes = size_t(rows) * cols * 4;
    FramePoolAllocator::Reserve(bytes, 3);
    QVERIFY(FaultsToFill(3, rows, cols) < 200);
    // Three exist now; asking again for three makes none, so a fourth
    // frame alive at once is new memory.
    FramePoolAllocator::Reserve(bytes, 3);
    QVERIFY(FaultsToFill(4, rows, cols) > 1500);
    // Now four exist.
    QVERIFY(FaultsToFill(4, rows, cols) < 200);
}

void tst_FramePoolAllocator::recycledBuffersFaultNoMore()
{
    // Without a reservation: the first round faults, later ones do not.
    const int rows = 768;
    const int cols = 1536;
    QVERIFY(FaultsToFill(2, rows, cols) > 1000);
    for (int round = 0; round < 5; ++round)
        QVERIFY(FaultsToFill(2, rows, cols) < 200);
}

QTEST_APPLESS_MAIN(tst_FramePoolAllocator)
#include "tst_FramePoolAllocator.moc"
