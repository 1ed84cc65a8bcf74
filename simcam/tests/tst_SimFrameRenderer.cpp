#include "SimFrameRenderer.h"
#include "SimFrameStamp.h"
#include "SimHoleScene.h"

#include <QtTest>

#include <cstdlib>
#include <vector>

// The renderer's frames against the scene it renders: every pixel the scene's
// within the noise level, the stamp readable, padding untouched. Big frames
// take another path (written past the caches) than small ones.
class tst_SimFrameRenderer : public QObject
{
    Q_OBJECT

private slots:
    void framesAreSceneAndNoise_data();
    void framesAreSceneAndNoise();
};

void tst_SimFrameRenderer::framesAreSceneAndNoise_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("bytesPerPixel");
    QTest::addColumn<int>("padding");

    QTest::newRow("640x480 rgb32") << QSize(640, 480) << 4 << 0;
    QTest::newRow("643x481 bgr24 padded") << QSize(643, 481) << 3 << 5;
    QTest::newRow("4K and a column, rgb32 padded") << QSize(3841, 2160) << 4 << 36;
    QTest::newRow("4K and a column, bgr24 padded") << QSize(3841, 2160) << 3 << 7;
}

void tst_SimFrameRenderer::framesAreSceneAndNoise()
{
    QFETCH(QSize, size);
    QFETCH(int, bytesPerPixel);
    QFETCH(int, padding);
    constexpr int Noise = 3;
    constexpr uchar Marker = 0xab;
    constexpr quint32 Number = 1234;

    SimFrameRenderer renderer(std::make_unique<SimHoleScene>(0.5), Noise);
    QString error;
    QVERIFY(renderer.Prepare(size, bytesPerPixel, &error));
    SimHoleScene scene(0.5);
    QVERIFY(scene.Prepare(size, bytesPerPixel, &error));
    const uchar* picture = scene.Picture(Number);

    const int rowBytes = size.width() * bytesPerPixel;
    const int bytesPerLine = rowBytes + padding;
    std::vector<uchar> frame(size_t(bytesPerLine) * size.height(), Marker);
    renderer.Render(Number, frame.data(), bytesPerLine);

    QCOMPARE(SimFrameStamp::Read(frame.data(), size.width(), size.height(), bytesPerLine, bytesPerPixel),
             std::optional<quint32>(Number));
    int outsideNoise = 0;
    int paddingTouched = 0;
    for (int y = 0; y < size.height(); ++y) {
        const uchar* row = frame.data() + size_t(y) * bytesPerLine;
        const uchar* expected = picture + size_t(y) * rowBytes;
        const int from = y < SimFrameStamp::Height ? SimFrameStamp::Width * bytesPerPixel : 0;
        for (int i = from; i < rowBytes; ++i)
            outsideNoise += std::abs(int(row[i]) - int(expected[i])) > Noise;
        for (int i = rowBytes; i < bytesPerLine; ++i)
            paddingTouched += row[i] != Marker;
    }
    QCOMPARE(outsideNoise, 0);
    QCOMPARE(paddingTouched, 0);
}

QTEST_APPLESS_MAIN(tst_SimFrameRenderer)
#include "tst_SimFrameRenderer.moc"
