#include "SmoothResize.h"

#include <opencv2/imgproc.hpp>

#include <QtTest>

// The scaling against OpenCV's own calls doing the same steps: area
// averaging for a whole factor, 2 x 2 halving of the even part, bilinear,
// then cv::flip. Ours may round differently by a level per step.
class tst_SmoothResize : public QObject
{
    Q_OBJECT

private slots:
    void sameAsOpenCv_data();
    void sameAsOpenCv();
    void largestBlockDoesNotOverflow();
    void rowsAreReadWithTheirOwnStride();
    void bandsGiveTheSamePixels_data();
    void bandsGiveTheSamePixels();
};

namespace
{
// Noise smoothed a little, so that every filter step shows, with a white
// block where sums are largest.
cv::Mat Picture(cv::Size size)
{
    cv::Mat picture(size, CV_8UC4);
    cv::RNG random(size.area());
    random.fill(picture, cv::RNG::UNIFORM, 0, 256);
    if (size.width >= 3 && size.height >= 3)
        cv::blur(picture, picture, cv::Size(3, 3));
    picture(cv::Rect(0, 0, std::max(1, size.width / 4), std::max(1, size.height / 4))).setTo(cv::Scalar::all(255));
    return picture;
}

cv::Mat Reference(const cv::Mat& from, cv::Size size, bool mirrorRows, bool mirrorColumns)
{
    cv::Mat source = from;
    cv::Mat to;
    const int k = std::min(from.cols / size.width, from.rows / size.height);
    if (k >= 2 && k <= 16 && from.cols == k * size.width && from.rows == k * size.height) {
        cv::resize(from, to, size, 0, 0, cv::INTER_AREA);
    } else {
        while (size.width * 2 <= source.cols && size.height * 2 <= source.rows) {
            cv::Mat half;
            cv::resize(source(cv::Rect(0, 0, source.cols & ~1, source.rows & ~1)), half,
                       cv::Size(source.cols / 2, source.rows / 2), 0, 0, cv::INTER_AREA);
            source = half;
        }
        cv::resize(source, to, size, 0, 0, cv::INTER_LINEAR);
    }
    if (mirrorRows || mirrorColumns)
        cv::flip(to, to, mirrorRows && mirrorColumns ? -1 : mirrorRows ? 0 : 1);
    return to;
}

double LargestDifference(const cv::Mat& a, const cv::Mat& b)
{
    cv::Mat difference;
    cv::absdiff(a, b, difference);
    double largest = 0.0;
    cv::minMaxLoc(difference.reshape(1), nullptr, &largest);
    return largest;
}
} // namespace

void tst_SmoothResize::sameAsOpenCv_data()
{
    QTest::addColumn<QSize>("from");
    QTest::addColumn<QSize>("to");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<bool>("mirrorRows");
    QTest::addColumn<bool>("mirrorColumns");

    const struct
    {
        const char* name;
        QSize from;
        QSize to;
        double tolerance;
    } cases[] = {
        {"1080p to 720p, bilinear", {1920, 1080}, {1280, 720}, 1},
        {"odd sizes, bilinear with a ragged end", {1921, 1081}, {1279, 719}, 1},
        {"4K to 720p, 3 x 3 in one pass", {3840, 2160}, {1280, 720}, 1},
        {"4K to 1080p, 2 x 2", {3840, 2160}, {1920, 1080}, 1},
        {"4K to 1000 x 563, halved then bilinear", {3840, 2160}, {1000, 563}, 2},
        {"odd 641 x 481 to 200 x 151, halved twice", {641, 481}, {200, 151}, 3},
        {"enlarged 1.25", {640, 480}, {800, 600}, 1},
        {"enlarged from 2 x 2", {2, 2}, {5, 5}, 1},
        {"tiny", {7, 5}, {3, 2}, 1},
        {"one column wide", {1, 10}, {3, 5}, 1},
        {"one row high after averaging", {40, 2}, {10, 1}, 1},
        {"16 x 16 blocks", {64, 48}, {4, 3}, 1},
        {"32 times smaller, halved five times", {160, 160}, {5, 5}, 3},
    };
    for (const auto& entry : cases)
        for (const bool mirrorRows : {false, true})
            for (const bool mirrorColumns : {false, true})
                QTest::newRow(qPrintable(QString("%1%2%3")
                                             .arg(entry.name, mirrorRows ? ", rows mirrored" : "",
                                                  mirrorColumns ? ", columns mirrored" : "")))
                    << entry.from << entry.to << entry.tolerance << mirrorRows << mirrorColumns;
}

void tst_SmoothResize::sameAsOpenCv()
{
    QFETCH(QSize, from);
    QFETCH(QSize, to);
    QFETCH(double, tolerance);
    QFETCH(bool, mirrorRows);
    QFETCH(bool, mirrorColumns);
    const cv::Mat source = Picture(cv::Size(from.width(), from.height()));
    const cv::Size size(to.width(), to.height());
    cv::Mat scaled(size, CV_8UC4, cv::Scalar::all(7));
    SmoothResize(source, scaled, mirrorRows, mirrorColumns);
    const double largest = LargestDifference(scaled, Reference(source, size, mirrorRows, mirrorColumns));
    QVERIFY2(largest <= tolerance, qPrintable(QString("largest difference %1").arg(largest)));
}

void tst_SmoothResize::largestBlockDoesNotOverflow()
{
    const cv::Mat white(240, 480, CV_8UC4, cv::Scalar::all(255));
    for (const int k : {2, 3, 15, 16}) {
        cv::Mat scaled(240 / k, 480 / k, CV_8UC4, cv::Scalar::all(0));
        QCOMPARE(scaled.rows * k, white.rows);
        SmoothResize(white, scaled, true, true);
        QCOMPARE(cv::countNonZero(scaled.reshape(1) != 255), 0);
    }
}

// A picture that is a region of a wider one: every row starts a full wider
// row further on.
void tst_SmoothResize::rowsAreReadWithTheirOwnStride()
{
    const cv::Mat wide = Picture(cv::Size(1000, 300));
    const cv::Mat region = wide(cv::Rect(100, 20, 603, 243));
    cv::Mat copy = region.clone();
    for (const cv::Size size : {cv::Size(201, 81), cv::Size(400, 160), cv::Size(900, 363)}) {
        cv::Mat fromRegion(size, CV_8UC4);
        cv::Mat fromCopy(size, CV_8UC4);
        SmoothResize(region, fromRegion, true, false);
        SmoothResize(copy, fromCopy, true, false);
        QCOMPARE(LargestDifference(fromRegion, fromCopy), 0.0);
    }
}

void tst_SmoothResize::bandsGiveTheSamePixels_data()
{
    QTest::addColumn<QSize>("from");
    QTest::addColumn<QSize>("to");

    QTest::newRow("4K, a whole factor") << QSize(3840, 2160) << QSize(1280, 720);
    QTest::newRow("1080p, bilinear only") << QSize(1920, 1080) << QSize(1280, 720);
    QTest::newRow("4K, halved twice then bilinear") << QSize(3840, 2160) << QSize(900, 507);
    QTest::newRow("odd sizes, halved then bilinear") << QSize(1001, 777) << QSize(333, 259);
    QTest::newRow("enlarged") << QSize(320, 240) << QSize(1280, 960);
    QTest::newRow("too few rows for two bands") << QSize(640, 480) << QSize(80, 60);
}

void tst_SmoothResize::bandsGiveTheSamePixels()
{
    QFETCH(QSize, from);
    QFETCH(QSize, to);
    const cv::Mat source = Picture(cv::Size(from.width(), from.height()));
    RowBands bands("test-bands");
    for (const bool mirrorRows : {false, true}) {
        cv::Mat whole(to.height(), to.width(), CV_8UC4, cv::Scalar::all(1));
        cv::Mat banded(to.height(), to.width(), CV_8UC4, cv::Scalar::all(2));
        SmoothResize(source, whole, mirrorRows, !mirrorRows);
        SmoothResize(source, banded, mirrorRows, !mirrorRows, &bands);
        QCOMPARE(LargestDifference(banded, whole), 0.0);
    }
}

QTEST_APPLESS_MAIN(tst_SmoothResize)
#include "tst_SmoothResize.moc"
