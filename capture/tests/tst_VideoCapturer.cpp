#include "VideoCapturer.h"

#include <QAbstractVideoBuffer>
#include <QSharedPointer>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>

namespace {

// A frame buffer whose geometry the test controls completely, including
// lying about it, and whose bytes the test can overwrite after present().
class TestBuffer : public QAbstractVideoBuffer
{
public:
    TestBuffer(QSharedPointer<QByteArray> bytes, int bytesPerLine, int claimedBytes, bool mappable)
        : QAbstractVideoBuffer(NoHandle)
        , m_Bytes(bytes)
        , m_BytesPerLine(bytesPerLine)
        , m_ClaimedBytes(claimedBytes)
        , m_Mappable(mappable)
    {
    }

    MapMode mapMode() const override { return m_Mode; }

    uchar* map(MapMode mode, int* numBytes, int* bytesPerLine) override
    {
        if (!m_Mappable || m_Mode != NotMapped)
            return nullptr;
        m_Mode = mode;
        *numBytes = m_ClaimedBytes;
        *bytesPerLine = m_BytesPerLine;
        return reinterpret_cast<uchar*>(m_Bytes->data());
    }

    void unmap() override { m_Mode = NotMapped; }

private:
    QSharedPointer<QByteArray> m_Bytes;
    int m_BytesPerLine;
    int m_ClaimedBytes;
    bool m_Mappable;
    MapMode m_Mode = NotMapped;
};

int BytesPerPixel(QVideoFrame::PixelFormat format)
{
    return format == QVideoFrame::Format_BGR24 ? 3 : 4;
}

// Distinct bytes per row, column and channel, so that a sheared or swapped
// copy cannot match by accident; padding is filled with a marker value.
QSharedPointer<QByteArray> MakePixels(int width, int height, int bytesPerPixel, int bytesPerLine)
{
    auto bytes = QSharedPointer<QByteArray>::create(bytesPerLine * height, char(0xee));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < bytesPerPixel; ++c)
                (*bytes)[y * bytesPerLine + x * bytesPerPixel + c] = char((y * 31 + x * 7 + c * 3 + 1) & 0xff);
    return bytes;
}

QVideoFrame MakeFrame(QSharedPointer<QByteArray> bytes, QSize size, QVideoFrame::PixelFormat format,
                      int bytesPerLine, int claimedBytes, bool mappable = true)
{
    return QVideoFrame(new TestBuffer(bytes, bytesPerLine, claimedBytes, mappable), size, format);
}

cv::Mat Captured(const QSignalSpy& spy)
{
    return spy.isEmpty() ? cv::Mat() : spy.first().at(0).value<cv::Mat>();
}

} // namespace

class tst_VideoCapturer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void supportedPixelFormats_data();
    void supportedPixelFormats();
    void convertsReadableFrames_data();
    void convertsReadableFrames();
    void skipsUnreadableFrames_data();
    void skipsUnreadableFrames();
    void presentOnProducerThread();
    void presentOnTwoThreadsAtOnce();
};

void tst_VideoCapturer::initTestCase()
{
    RegisterFrameType();
}

void tst_VideoCapturer::supportedPixelFormats_data()
{
    QTest::addColumn<QAbstractVideoBuffer::HandleType>("handleType");
    QTest::newRow("no handle") << QAbstractVideoBuffer::NoHandle;
    QTest::newRow("gl texture") << QAbstractVideoBuffer::GLTextureHandle;
    QTest::newRow("user handle") << QAbstractVideoBuffer::UserHandle;
}

void tst_VideoCapturer::supportedPixelFormats()
{
    QFETCH(QAbstractVideoBuffer::HandleType, handleType);
    const QList<QVideoFrame::PixelFormat> expected{QVideoFrame::Format_RGB32, QVideoFrame::Format_BGR24};
    QCOMPARE(VideoCapturer().supportedPixelFormats(handleType), expected);
}

void tst_VideoCapturer::convertsReadableFrames_data()
{
    QTest::addColumn<QVideoFrame::PixelFormat>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("padding");
    // The buffer ends right after the last row's pixels, without its padding.
    QTest::addColumn<bool>("tight");

    QTest::newRow("rgb32 640x480 packed") << QVideoFrame::Format_RGB32 << QSize(640, 480) << 0 << false;
    QTest::newRow("rgb32 padded stride") << QVideoFrame::Format_RGB32 << QSize(640, 48) << 64 << false;
    QTest::newRow("rgb32 padded stride, tight buffer") << QVideoFrame::Format_RGB32 << QSize(640, 48) << 64 << true;
    QTest::newRow("rgb32 odd width") << QVideoFrame::Format_RGB32 << QSize(33, 7) << 0 << false;
    QTest::newRow("rgb32 1x1") << QVideoFrame::Format_RGB32 << QSize(1, 1) << 0 << false;
    QTest::newRow("rgb32 1x1 padded, tight buffer") << QVideoFrame::Format_RGB32 << QSize(1, 1) << 60 << true;
    QTest::newRow("bgr24 packed") << QVideoFrame::Format_BGR24 << QSize(64, 48) << 0 << false;
    QTest::newRow("bgr24 odd width") << QVideoFrame::Format_BGR24 << QSize(33, 7) << 0 << false;
    QTest::newRow("bgr24 stride not multiple of 4") << QVideoFrame::Format_BGR24 << QSize(33, 7) << 2 << false;
    QTest::newRow("bgr24 padded stride") << QVideoFrame::Format_BGR24 << QSize(33, 7) << 29 << false;
    QTest::newRow("bgr24 padded stride, tight buffer") << QVideoFrame::Format_BGR24 << QSize(33, 7) << 29 << true;
    // Tall enough to be copied in two bands.
    QTest::newRow("rgb32 two bands, padded") << QVideoFrame::Format_RGB32 << QSize(200, 131) << 12 << false;
    QTest::newRow("bgr24 two bands, padded") << QVideoFrame::Format_BGR24 << QSize(33, 129) << 29 << false;
    QTest::newRow("bgr24 two bands, tight buffer") << QVideoFrame::Format_BGR24 << QSize(33, 129) << 29 << true;
    // Too big for the caches here: copied past them. An odd width, so rows
    // start at every alignment and end part way into a block.
    QTest::newRow("rgb32 4K and a column, padded") << QVideoFrame::Format_RGB32 << QSize(3841, 2160) << 36 << false;
    QTest::newRow("rgb32 4K and a column, tight buffer")
        << QVideoFrame::Format_RGB32 << QSize(3841, 2160) << 36 << true;
}

void tst_VideoCapturer::convertsReadableFrames()
{
    QFETCH(QVideoFrame::PixelFormat, format);
    QFETCH(QSize, size);
    QFETCH(int, padding);
    QFETCH(bool, tight);

    const int bpp = BytesPerPixel(format);
    const int bytesPerLine = size.width() * bpp + padding;
    auto bytes = MakePixels(size.width(), size.height(), bpp, bytesPerLine);
    if (tight)
        bytes->chop(padding);
    const QByteArray original = *bytes;

    VideoCapturer capturer;
    QSignalSpy spy(&capturer, &VideoCapturer::SignalFrameCaptured);
    QVERIFY(capturer.present(MakeFrame(bytes, size, format, bytesPerLine, bytes->size())));
    QCOMPARE(spy.count(), 1);
    QVERIFY(spy.first().at(1).toLongLong() >= 0);

    // The camera service may reuse its buffer as soon as present() returns.
    bytes->fill(char(0x55));

    const cv::Mat image = Captured(spy);
    QCOMPARE(image.type(), CV_8UC4);
    QCOMPARE(image.rows, size.height());
    QCOMPARE(image.cols, size.width());
    QVERIFY(image.isContinuous());
    int wrongBytes = 0;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const auto& pixel = image.at<cv::Vec4b>(y, x);
            const char* source = original.constData() + y * bytesPerLine + x * bpp;
            for (int c = 0; c < bpp; ++c)
                wrongBytes += pixel[c] != uchar(source[c]);
            if (bpp == 3)
                wrongBytes += pixel[3] != 255;
        }
    }
    QCOMPARE(wrongBytes, 0);
}

void tst_VideoCapturer::skipsUnreadableFrames_data()
{
    QTest::addColumn<QVideoFrame>("frame");

    const QSize size(16, 8);
    const int rgbLine = size.width() * 4;
    const int rgbBytes = rgbLine * size.height();
    auto rgb = MakePixels(size.width(), size.height(), 4, rgbLine);

    QTest::newRow("unmappable") << MakeFrame(rgb, size, QVideoFrame::Format_RGB32, rgbLine, rgbBytes, false);
    QTest::newRow("mapped bytes short of stride x height")
        << MakeFrame(rgb, size, QVideoFrame::Format_RGB32, rgbLine, rgbBytes - 1);
    QTest::newRow("stride claims padding the buffer lacks")
        << MakeFrame(rgb, size, QVideoFrame::Format_RGB32, rgbLine + 16, rgbBytes);
    QTest::newRow("padded stride, one byte short of the last row's pixels")
        << MakeFrame(rgb, QSize(size.width(), 7), QVideoFrame::Format_RGB32, rgbLine + 4, (rgbLine + 4) * 6 + rgbLine - 1);
    QTest::newRow("stride shorter than a row") << MakeFrame(rgb, size, QVideoFrame::Format_RGB32, rgbLine - 4, rgbBytes);
    QTest::newRow("bgr24 mapped bytes short")
        << MakeFrame(rgb, QSize(22, 8), QVideoFrame::Format_BGR24, 22 * 3, 22 * 3 * 8 - 3);
    QTest::newRow("rgb565 unsupported") << MakeFrame(rgb, size, QVideoFrame::Format_RGB565, rgbLine, rgbBytes);
    QTest::newRow("argb32 unsupported") << MakeFrame(rgb, size, QVideoFrame::Format_ARGB32, rgbLine, rgbBytes);
    QTest::newRow("yuv420p unsupported") << MakeFrame(rgb, size, QVideoFrame::Format_YUV420P, size.width(), rgbBytes);
    QTest::newRow("rgb32 0x0") << MakeFrame(rgb, QSize(0, 0), QVideoFrame::Format_RGB32, 0, 0);
    QTest::newRow("rgb32 16x0") << MakeFrame(rgb, QSize(16, 0), QVideoFrame::Format_RGB32, rgbLine, 0);
    QTest::newRow("invalid flush frame") << QVideoFrame();
}

void tst_VideoCapturer::skipsUnreadableFrames()
{
    QFETCH(QVideoFrame, frame);

    VideoCapturer capturer;
    QSignalSpy spy(&capturer, &VideoCapturer::SignalFrameCaptured);
    QVERIFY(capturer.present(frame));
    QCOMPARE(spy.count(), 0);
    QVERIFY(!frame.isMapped());
}

void tst_VideoCapturer::presentOnProducerThread()
{
    const QSize size(31, 5);
    const int bytesPerLine = size.width() * 3 + 1;
    auto bytes = MakePixels(size.width(), size.height(), 3, bytesPerLine);
    const QVideoFrame frame = MakeFrame(bytes, size, QVideoFrame::Format_BGR24, bytesPerLine, bytes->size());

    VideoCapturer capturer;
    cv::Mat received;
    QThread* receivedOn = nullptr;
    connect(&capturer, &VideoCapturer::SignalFrameCaptured, this, [&](cv::Mat image, qint64) {
        received = image;
        receivedOn = QThread::currentThread();
    });

    bool presented = false;
    QScopedPointer<QThread> producer(QThread::create([&] { presented = capturer.present(frame); }));
    producer->start();
    QVERIFY(producer->wait(10000));
    QVERIFY(presented);

    QTRY_VERIFY(!received.empty());
    QCOMPARE(receivedOn, QThread::currentThread());
    QCOMPARE(received.rows, size.height());
    QCOMPARE(received.cols, size.width());
    const auto& last = received.at<cv::Vec4b>(size.height() - 1, size.width() - 1);
    const char* source = bytes->constData() + (size.height() - 1) * bytesPerLine + (size.width() - 1) * 3;
    QCOMPARE(last, cv::Vec4b(uchar(source[0]), uchar(source[1]), uchar(source[2]), 255));
}

void tst_VideoCapturer::presentOnTwoThreadsAtOnce()
{
    // One present() gets the copying helper, the other copies alone; both
    // frames must come out whole.
    const QSize size(160, 120);
    const int bytesPerLine = size.width() * 4;
    auto first = MakePixels(size.width(), size.height(), 4, bytesPerLine);
    auto second = QSharedPointer<QByteArray>::create(*first);
    for (char& byte : *second)
        byte = char(~byte);
    const QVideoFrame frames[2] = {
        MakeFrame(first, size, QVideoFrame::Format_RGB32, bytesPerLine, first->size()),
        MakeFrame(second, size, QVideoFrame::Format_RGB32, bytesPerLine, second->size())};

    VideoCapturer capturer;
    std::atomic<int> wrong{0};
    std::atomic<int> received{0};
    connect(
        &capturer, &VideoCapturer::SignalFrameCaptured, this,
        [&](const cv::Mat& image, qint64) {
            const cv::Mat fromFirst(size.height(), size.width(), CV_8UC4, first->data());
            const cv::Mat fromSecond(size.height(), size.width(), CV_8UC4, second->data());
            if (cv::norm(image, fromFirst, cv::NORM_INF) != 0 && cv::norm(image, fromSecond, cv::NORM_INF) != 0)
                ++wrong;
            ++received;
        },
        Qt::DirectConnection);

    constexpr int Rounds = 300;
    QScopedPointer<QThread> producers[2];
    for (int i = 0; i < 2; ++i) {
        producers[i].reset(QThread::create([&, i] {
            for (int round = 0; round < Rounds; ++round)
                capturer.present(frames[i]);
        }));
        producers[i]->start();
    }
    for (auto& producer : producers)
        QVERIFY(producer->wait(30000));
    QCOMPARE(received.load(), 2 * Rounds);
    QCOMPARE(wrong.load(), 0);
}

QTEST_GUILESS_MAIN(tst_VideoCapturer)
#include "tst_VideoCapturer.moc"
