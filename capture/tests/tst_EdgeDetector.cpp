#include "EdgeDetector.h"

#include <QtTest>

#include <opencv2/imgproc.hpp>

namespace {

enum class Scene { Texture, Noise, Discs, Flat, Steps };

// Pictures with many edges of every direction and strength.
cv::Mat Picture(Scene scene, int rows, int cols, int seed)
{
    cv::Mat picture(rows, cols, CV_8UC1);
    cv::RNG random{quint64(seed)};
    switch (scene) {
    case Scene::Texture:
        random.fill(picture, cv::RNG::UNIFORM, 0, 256);
        cv::GaussianBlur(picture, picture, cv::Size(5, 5), 0);
        break;
    case Scene::Noise:
        random.fill(picture, cv::RNG::UNIFORM, 0, 256);
        break;
    case Scene::Discs:
        picture.setTo(180);
        for (int i = 0; i < 12; ++i) {
            const cv::Point centre(random.uniform(0, cols), random.uniform(0, rows));
            cv::circle(picture, centre, random.uniform(1, std::max(2, cols / 4)), cv::Scalar(random.uniform(0, 256)),
                       -1, cv::LINE_AA);
        }
        cv::blur(picture, picture, cv::Size(3, 3));
        break;
    case Scene::Flat:
        picture.setTo(77);
        break;
    case Scene::Steps:
        // Full-range steps right at the borders and corners.
        picture.setTo(0);
        picture.colRange(0, std::max(1, cols / 3)).setTo(255);
        picture.rowRange(rows / 2, rows).colRange(cols / 2, cols).setTo(255);
        break;
    }
    return picture;
}

} // namespace

class tst_EdgeDetector : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void matchesCanny_data();
    void matchesCanny();
    void keepsNoStateBetweenPictures();
    void writesIntoARegion();
};

void tst_EdgeDetector::cleanup()
{
    cv::setNumThreads(-1);
}

void tst_EdgeDetector::matchesCanny_data()
{
    QTest::addColumn<int>("scene");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("cols");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<int>("threads");

    const int texture = int(Scene::Texture);
    const int noise = int(Scene::Noise);
    const int discs = int(Scene::Discs);
    QTest::newRow("texture, default thresholds") << texture << 480 << 640 << 100.0 << 200.0 << 2;
    QTest::newRow("texture, low thresholds") << texture << 480 << 640 << 5.0 << 20.0 << 2;
    QTest::newRow("texture, fractional thresholds") << texture << 300 << 301 << 12.7 << 33.3 << 2;
    QTest::newRow("texture, thresholds swapped") << texture << 300 << 301 << 40.0 << 10.0 << 2;
    QTest::newRow("texture, equal thresholds") << texture << 200 << 203 << 25.0 << 25.0 << 1;
    QTest::newRow("texture, both zero") << texture << 200 << 203 << 0.0 << 0.0 << 2;
    QTest::newRow("texture, negative low") << texture << 200 << 203 << -3.0 << 30.0 << 2;
    QTest::newRow("texture, both negative") << texture << 100 << 99 << -30.0 << -3.0 << 2;
    QTest::newRow("texture, beyond any gradient") << texture << 100 << 99 << 1e300 << 1e300 << 2;
    QTest::newRow("noise, strongest gradients") << noise << 257 << 263 << 300.0 << 900.0 << 2;
    QTest::newRow("noise, three stripes") << noise << 777 << 129 << 200.0 << 600.0 << 3;
    QTest::newRow("discs, default thresholds") << discs << 1080 << 1920 << 100.0 << 200.0 << 2;
    QTest::newRow("discs, low thresholds") << discs << 1081 << 1919 << 10.0 << 50.0 << 2;
    QTest::newRow("discs, one thread") << discs << 1080 << 1920 << 10.0 << 50.0 << 1;
    QTest::newRow("steps at the borders") << int(Scene::Steps) << 64 << 48 << 100.0 << 200.0 << 2;
    QTest::newRow("flat") << int(Scene::Flat) << 31 << 17 << 0.0 << 0.0 << 2;
    QTest::newRow("one pixel") << texture << 1 << 1 << 1.0 << 2.0 << 2;
    QTest::newRow("one row") << texture << 1 << 37 << 1.0 << 2.0 << 2;
    QTest::newRow("one column") << texture << 41 << 1 << 1.0 << 2.0 << 2;
    QTest::newRow("two by three") << noise << 2 << 3 << 10.0 << 20.0 << 2;
    QTest::newRow("narrower than a vector") << noise << 300 << 7 << 50.0 << 100.0 << 2;
}

void tst_EdgeDetector::matchesCanny()
{
    QFETCH(int, scene);
    QFETCH(int, rows);
    QFETCH(int, cols);
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(int, threads);
    cv::setNumThreads(threads);

    for (int seed = 1; seed <= 3; ++seed) {
        const cv::Mat grey = Picture(Scene(scene), rows, cols, seed * 31 + rows);
        cv::Mat expected;
        cv::Canny(grey, expected, low, high, 3, true);
        cv::Mat edges;
        EdgeDetector detector;
        detector.Detect(grey, edges, low, high);

        QCOMPARE(edges.size(), expected.size());
        QCOMPARE(edges.type(), expected.type());
        QCOMPARE(cv::countNonZero(edges != expected), 0);
    }
}

void tst_EdgeDetector::keepsNoStateBetweenPictures()
{
    // One detector through pictures of different sizes and contents, as the
    // worker uses it, each compared with a fresh call.
    EdgeDetector detector;
    cv::Mat edges;
    int edgePixels = 0;
    const QVector<QPair<int, int>> sizes = {{480, 640}, {1080, 1920}, {240, 320}, {1080, 1920}};
    for (int i = 0; i < sizes.size(); ++i) {
        const cv::Mat grey = Picture(i % 2 ? Scene::Discs : Scene::Texture, sizes[i].first, sizes[i].second, i);
        cv::Mat expected;
        cv::Canny(grey, expected, 20, 60, 3, true);
        detector.Detect(grey, edges, 20, 60);
        QCOMPARE(cv::countNonZero(edges != expected), 0);
        edgePixels += cv::countNonZero(edges);
    }
    QVERIFY(edgePixels > 1000);
}

void tst_EdgeDetector::writesIntoARegion()
{
    // An output that is already a region of a wider picture keeps its row
    // stride; nothing beside the region is touched.
    const cv::Mat grey = Picture(Scene::Discs, 120, 160, 5);
    cv::Mat expected;
    cv::Canny(grey, expected, 10, 40, 3, true);
    cv::Mat wide(120, 200, CV_8UC1, cv::Scalar(9));
    cv::Mat edges = wide.colRange(20, 180);
    EdgeDetector().Detect(grey, edges, 10, 40);

    QCOMPARE(edges.data, wide.ptr<uchar>(0, 20));
    QCOMPARE(cv::countNonZero(edges != expected), 0);
    QCOMPARE(cv::countNonZero(wide.colRange(0, 20) != 9), 0);
    QCOMPARE(cv::countNonZero(wide.colRange(180, 200) != 9), 0);
    QVERIFY(cv::countNonZero(expected) > 100);
}

QTEST_APPLESS_MAIN(tst_EdgeDetector)
#include "tst_EdgeDetector.moc"
