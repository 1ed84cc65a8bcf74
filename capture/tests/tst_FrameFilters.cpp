#include "FrameFilters.h"
#include "PixelKernels.h"

#include <QtTest>

#include <opencv2/imgproc.hpp>

Q_DECLARE_METATYPE(cv::Size)

namespace {

// Smooth random texture, so the blur and the edges have something to do.
cv::Mat Texture(int rows, int cols, int type, int seed)
{
    cv::Mat picture(rows, cols, type);
    cv::RNG random{quint64(seed)};
    random.fill(picture, cv::RNG::UNIFORM, 0, 256);
    cv::GaussianBlur(picture, picture, cv::Size(7, 7), 0);
    return picture;
}

int DifferingBytes(const cv::Mat& a, const cv::Mat& b)
{
    return cv::countNonZero(a.reshape(1) != b.reshape(1));
}

} // namespace

class tst_FrameFilters : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void forcedKernelPathIsUsed();
    void greyBlurMatchesOpenCv_data();
    void greyBlurMatchesOpenCv();
    void paintMatchesMaskedSet_data();
    void paintMatchesMaskedSet();
};

void tst_FrameFilters::init()
{
    cv::setNumThreads(-1);
}

// The variants of these tests that force a narrower path compare nothing
// new unless the path really changes.
void tst_FrameFilters::forcedKernelPathIsUsed()
{
    const QByteArray forced = qgetenv("LENTAVIO_SIMD");
    if (forced.isEmpty())
        QSKIP("no kernel path forced");
    QCOMPARE(QByteArray(Kernels().Name), forced);
}

void tst_FrameFilters::greyBlurMatchesOpenCv_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::addColumn<cv::Size>("size");
    QTest::addColumn<int>("threads");

    const cv::Size box(10, 10);
    QTest::newRow("4K on two threads") << 2160 << 3840 << box << 2;
    QTest::newRow("odd rows on three stripes") << 1081 << 1919 << box << 3;
    QTest::newRow("too few rows to split") << 200 << 640 << box << 2;
    QTest::newRow("stripes of the smallest height") << 256 << 33 << box << 2;
    QTest::newRow("one thread") << 1080 << 1920 << box << 1;
    QTest::newRow("smaller than the box") << 3 << 4 << box << 2;
    QTest::newRow("one pixel") << 1 << 1 << box << 2;
    QTest::newRow("one row") << 1 << 50 << box << 2;
    QTest::newRow("one column") << 300 << 1 << box << 2;
    QTest::newRow("3 x 3") << 480 << 641 << cv::Size(3, 3) << 2;
    QTest::newRow("5 wide, 7 high") << 480 << 641 << cv::Size(5, 7) << 2;
    QTest::newRow("1 x 1") << 50 << 60 << cv::Size(1, 1) << 2;
    QTest::newRow("3 x 1, where every grey level shows") << 600 << 641 << cv::Size(3, 1) << 2;
    QTest::newRow("2 x 1, an area that is a power of two") << 60 << 64 << cv::Size(2, 1) << 2;
    QTest::newRow("4 x 4, likewise") << 60 << 64 << cv::Size(4, 4) << 2;
    QTest::newRow("11 x 11, the largest rounded half up") << 300 << 300 << cv::Size(11, 11) << 2;
    QTest::newRow("16 x 16, the largest in 16 bits") << 300 << 300 << cv::Size(16, 16) << 2;
    QTest::newRow("17 x 17, beyond 16 bits") << 300 << 300 << cv::Size(17, 17) << 2;
}

void tst_FrameFilters::greyBlurMatchesOpenCv()
{
    QFETCH(int, rows);
    QFETCH(int, cols);
    QFETCH(cv::Size, size);
    QFETCH(int, threads);
    cv::setNumThreads(threads);

    // Texture, the extremes of the sums (all black and all white) and raw
    // noise, which gives the grey conversion every kind of pixel.
    cv::Mat frame = Texture(rows, cols, CV_8UC4, rows + cols);
    frame.rowRange(0, rows / 4).setTo(cv::Scalar::all(255));
    frame.rowRange(rows / 4, rows / 3).setTo(cv::Scalar::all(0));
    cv::Mat noise = frame.rowRange(rows * 2 / 3, rows);
    cv::RNG(rows).fill(noise, cv::RNG::UNIFORM, 0, 256);
    cv::Mat grey;
    cv::cvtColor(frame, grey, cv::COLOR_RGBA2GRAY);
    cv::Mat expected;
    cv::blur(grey, expected, size, cv::Point(-1, -1), cv::BORDER_DEFAULT);
    cv::Mat blurred;
    GreyBoxBlur(frame, blurred, size);

    QCOMPARE(blurred.size(), expected.size());
    QCOMPARE(blurred.type(), expected.type());
    QCOMPARE(DifferingBytes(blurred, expected), 0);
}

void tst_FrameFilters::paintMatchesMaskedSet_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::addColumn<bool>("region");

    QTest::newRow("width a multiple of eight") << 48 << 64 << false;
    QTest::newRow("odd width, ragged tail") << 37 << 61 << false;
    QTest::newRow("narrower than eight") << 9 << 5 << false;
    QTest::newRow("region of a larger frame") << 40 << 50 << true;
    QTest::newRow("tall enough for stripes") << 601 << 333 << false;
    QTest::newRow("tall region") << 600 << 64 << true;
}

void tst_FrameFilters::paintMatchesMaskedSet()
{
    QFETCH(int, rows);
    QFETCH(int, cols);
    QFETCH(bool, region);

    const cv::Mat whole = Texture(rows + 6, cols + 10, CV_8UC4, rows * cols);
    const cv::Mat frame = region ? whole(cv::Rect(3, 2, cols, rows)) : whole(cv::Rect(0, 0, cols, rows));
    cv::Mat edgeMap;
    cv::Canny(Texture(rows, cols, CV_8UC1, cols), edgeMap, 10, 30, 3, true);
    // Both kinds of word: some edge pixels and none at all.
    edgeMap.rowRange(0, rows / 3).setTo(0);
    QVERIFY(cv::countNonZero(edgeMap) > 0);

    const cv::Vec4b colour(10, 200, 30, 0);
    cv::Mat expected = frame.clone();
    expected.setTo(cv::Scalar(colour[0], colour[1], colour[2], colour[3]), edgeMap);
    cv::Mat wholePainted = whole.clone();
    cv::Mat painted = region ? wholePainted(cv::Rect(3, 2, cols, rows)) : wholePainted(cv::Rect(0, 0, cols, rows));
    PaintEdges(painted, edgeMap, colour);

    QCOMPARE(DifferingBytes(painted, expected), 0);
    // Nothing outside the frame's own pixels is touched.
    cv::Mat outside = wholePainted.clone();
    expected.copyTo(outside(region ? cv::Rect(3, 2, cols, rows) : cv::Rect(0, 0, cols, rows)));
    QCOMPARE(DifferingBytes(wholePainted, outside), 0);
}

QTEST_APPLESS_MAIN(tst_FrameFilters)
#include "tst_FrameFilters.moc"
