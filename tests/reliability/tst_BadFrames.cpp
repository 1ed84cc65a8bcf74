#include "ReliabilityRun.h"
#include "VideoCapturer.h"

#include <QAbstractVideoBuffer>
#include <QSignalSpy>
#include <QtTest>

#include <climits>

namespace
{
// One frame as the camera service might hand it over, lies included: the
// geometry, stride and mapped size it claims are independent of the bytes it
// really holds, so a surface that believes it reads out of bounds, which
// AddressSanitizer turns into a report.
struct FrameShape
{
    QVideoFrame::PixelFormat Format = QVideoFrame::Format_RGB32;
    QSize Size;
    int BytesPerLine = 0;
    int MappedBytes = 0;
    bool Mappable = true;
    // The bytes that exist; by default exactly what stride x height claims.
    int HeldBytes = -1;

    bool Readable() const;
};

class ShapedBuffer : public QAbstractVideoBuffer
{
public:
    explicit ShapedBuffer(const FrameShape& shape)
        : QAbstractVideoBuffer(NoHandle)
        , m_Shape(shape)
        , m_Bytes(qMax(0, shape.HeldBytes >= 0 ? shape.HeldBytes : shape.MappedBytes), Qt::Uninitialized)
    {
        for (int i = 0; i < m_Bytes.size(); ++i)
            m_Bytes[i] = char((i * 13 + 5) & 0xff);
    }

    MapMode mapMode() const override { return m_Mode; }

    uchar* map(MapMode mode, int* numBytes, int* bytesPerLine) override
    {
        if (!m_Shape.Mappable || m_Mode != NotMapped)
            return nullptr;
        m_Mode = mode;
        *numBytes = m_Shape.MappedBytes;
        *bytesPerLine = m_Shape.BytesPerLine;
        // Never a null pointer for a mappable frame, even without bytes.
        return reinterpret_cast<uchar*>(m_Bytes.isEmpty() ? &m_Empty : m_Bytes.data());
    }

    void unmap() override { m_Mode = NotMapped; }

    const QByteArray& Bytes() const { return m_Bytes; }

private:
    FrameShape m_Shape;
    QByteArray m_Bytes;
    char m_Empty = 0;
    MapMode m_Mode = NotMapped;
};

int PixelBytes(QVideoFrame::PixelFormat format)
{
    return format == QVideoFrame::Format_BGR24 ? 3 : 4;
}

bool FrameShape::Readable() const
{
    const bool declared = Format == QVideoFrame::Format_RGB32 || Format == QVideoFrame::Format_BGR24;
    const qint64 row = qint64(Size.width()) * PixelBytes(Format);
    const qint64 held = HeldBytes >= 0 ? HeldBytes : MappedBytes;
    return declared && Mappable && Size.width() > 0 && Size.height() > 0 && BytesPerLine >= row
        && qint64(MappedBytes) >= qint64(BytesPerLine) * Size.height() && held >= qint64(MappedBytes);
}

// An honest frame: padding extra bytes at the end of each row.
FrameShape Honest(QVideoFrame::PixelFormat format, QSize size, int padding = 0)
{
    const int line = size.width() * PixelBytes(format) + padding;
    return {format, size, line, line * size.height(), true, -1};
}

FrameShape Lying(QVideoFrame::PixelFormat format, QSize size, int bytesPerLine, int mappedBytes, int heldBytes = -1)
{
    return {format, size, bytesPerLine, mappedBytes, true, heldBytes};
}
} // namespace

Q_DECLARE_METATYPE(QVector<FrameShape>)

// Bad frames through the capture surface, each row a sequence through one
// surface so that a frame after a bad one, and frames whose size changes from
// one to the next, are covered. Meant to run under AddressSanitizer, where a
// read past any buffer is a report: valid frames must decode to the expected
// pixels, bad ones must be skipped.
class tst_BadFrames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void sequences_data();
    void sequences();

private:
    int m_Frames = 0;
    int m_Decoded = 0;
    int m_Skipped = 0;
};

void tst_BadFrames::initTestCase()
{
    RegisterFrameType();
}

void tst_BadFrames::cleanupTestCase()
{
    ReliabilityRun::Report("bad frames", QString("frames %1, decoded %2, skipped %3, wrong pixels 0 (else failed)")
                                             .arg(m_Frames)
                                             .arg(m_Decoded)
                                             .arg(m_Skipped));
}

void tst_BadFrames::sequences_data()
{
    using F = QVideoFrame;
    QTest::addColumn<QVector<FrameShape>>("frames");

    QTest::newRow("size changes every frame") << QVector<FrameShape>{
        Honest(F::Format_RGB32, {64, 48}), Honest(F::Format_RGB32, {1, 1}), Honest(F::Format_RGB32, {33, 7}),
        Honest(F::Format_RGB32, {1920, 1080}), Honest(F::Format_RGB32, {2, 2}), Honest(F::Format_RGB32, {640, 1})};
    QTest::newRow("size and format change every frame") << QVector<FrameShape>{
        Honest(F::Format_BGR24, {33, 7}, 3), Honest(F::Format_RGB32, {17, 5}, 12), Honest(F::Format_BGR24, {1, 1}),
        Honest(F::Format_RGB32, {1, 1}), Honest(F::Format_BGR24, {1921, 3}, 1), Honest(F::Format_RGB32, {7, 1921})};
    QTest::newRow("odd widths with odd padding") << QVector<FrameShape>{
        Honest(F::Format_BGR24, {3, 3}, 1), Honest(F::Format_BGR24, {5, 2}, 7), Honest(F::Format_RGB32, {3, 9}, 1)};
    QTest::newRow("0x0, 1x0 and 0x1 between good frames") << QVector<FrameShape>{
        Honest(F::Format_RGB32, {8, 8}), Lying(F::Format_RGB32, {0, 0}, 0, 0), Honest(F::Format_RGB32, {9, 9}),
        Lying(F::Format_RGB32, {1, 0}, 4, 0), Lying(F::Format_BGR24, {0, 1}, 0, 0), Honest(F::Format_BGR24, {9, 9})};
    QTest::newRow("negative size") << QVector<FrameShape>{Lying(F::Format_RGB32, {-4, 4}, 16, 64),
                                                         Honest(F::Format_RGB32, {4, 4})};
    QTest::newRow("mapped size one byte short, then the same size honest") << QVector<FrameShape>{
        Lying(F::Format_RGB32, {64, 48}, 256, 256 * 48 - 1), Honest(F::Format_RGB32, {64, 48}),
        Lying(F::Format_BGR24, {33, 7}, 99, 99 * 7 - 1), Honest(F::Format_BGR24, {33, 7})};
    QTest::newRow("stride claims padding the buffer lacks") << QVector<FrameShape>{
        Lying(F::Format_RGB32, {64, 48}, 512, 256 * 48), Honest(F::Format_RGB32, {64, 48}, 256)};
    QTest::newRow("stride shorter than a row") << QVector<FrameShape>{
        Lying(F::Format_RGB32, {64, 48}, 255, 255 * 48), Lying(F::Format_BGR24, {64, 48}, 191, 191 * 48),
        Honest(F::Format_BGR24, {64, 48})};
    QTest::newRow("negative stride") << QVector<FrameShape>{Lying(F::Format_RGB32, {16, 16}, -64, 1024),
                                                           Honest(F::Format_RGB32, {16, 16})};
    QTest::newRow("stride times height beyond int") << QVector<FrameShape>{
        Lying(F::Format_RGB32, {16, 1 << 20}, 1 << 12, INT_MAX, 4096), Honest(F::Format_RGB32, {16, 16})};
    QTest::newRow("negative mapped size") << QVector<FrameShape>{Lying(F::Format_RGB32, {16, 16}, 64, -1, 1024),
                                                                Honest(F::Format_RGB32, {16, 16})};
    QTest::newRow("huge width, tiny buffer") << QVector<FrameShape>{
        Lying(F::Format_RGB32, {INT_MAX / 2, 1}, 64, 64), Honest(F::Format_RGB32, {16, 1})};
    QTest::newRow("unmappable between good frames") << QVector<FrameShape>{
        Honest(F::Format_RGB32, {32, 32}), {F::Format_RGB32, {32, 32}, 128, 128 * 32, false, -1},
        Honest(F::Format_RGB32, {32, 32})};
    QTest::newRow("formats other than the two declared") << QVector<FrameShape>{
        Honest(F::Format_ARGB32, {16, 16}), Lying(F::Format_RGB24, {16, 16}, 48, 768), Honest(F::Format_BGRA32, {16, 16}),
        Lying(F::Format_YUV420P, {16, 16}, 16, 384), Lying(F::Format_UYVY, {16, 16}, 32, 512),
        Lying(F::Format_Jpeg, {16, 16}, 0, 100), Lying(F::Format_Invalid, {16, 16}, 64, 1024),
        Honest(F::Format_RGB32, {16, 16})};
}

void tst_BadFrames::sequences()
{
    QFETCH(QVector<FrameShape>, frames);
    VideoCapturer surface;
    QSignalSpy captured(&surface, &VideoCapturer::SignalFrameCaptured);
    for (int i = 0; i < frames.size(); ++i) {
        const FrameShape& shape = frames.at(i);
        auto* buffer = new ShapedBuffer(shape);
        const QVideoFrame frame(buffer, shape.Size, shape.Format);
        const int before = captured.count();
        ++m_Frames;
        QVERIFY(surface.present(frame));
        QCOMPARE(captured.count() - before, shape.Readable() ? 1 : 0);
        if (!shape.Readable()) {
            ++m_Skipped;
            continue;
        }
        ++m_Decoded;
        const cv::Mat image = captured.last().at(0).value<cv::Mat>();
        QCOMPARE(image.type(), CV_8UC4);
        QCOMPARE(image.cols, shape.Size.width());
        QCOMPARE(image.rows, shape.Size.height());
        QVERIFY(image.isContinuous());
        const int pixelBytes = PixelBytes(shape.Format);
        const QByteArray& bytes = buffer->Bytes();
        for (int y = 0; y < image.rows; ++y) {
            for (int x = 0; x < image.cols; ++x) {
                const char* source = bytes.constData() + y * shape.BytesPerLine + x * pixelBytes;
                const uchar* pixel = image.ptr<uchar>(y) + 4 * x;
                const bool same = pixel[0] == uchar(source[0]) && pixel[1] == uchar(source[1])
                    && pixel[2] == uchar(source[2]) && (pixelBytes == 3 || pixel[3] == uchar(source[3]));
                if (!same)
                    QFAIL(qPrintable(QString("frame %1 pixel (%2, %3) differs").arg(i).arg(x).arg(y)));
            }
        }
    }
}

QTEST_GUILESS_MAIN(tst_BadFrames)

#include "tst_BadFrames.moc"
