#include "SimProbeSurface.h"

#include "SimFrameStamp.h"

SimProbeSurface::SimProbeSurface(const QList<QVideoFrame::PixelFormat>& formats, QObject* parent)
    : QAbstractVideoSurface(parent)
    , m_Formats(formats)
{
    m_Clock.start();
}

QList<QVideoFrame::PixelFormat> SimProbeSurface::supportedPixelFormats(QAbstractVideoBuffer::HandleType type) const
{
    return type == QAbstractVideoBuffer::NoHandle ? m_Formats : QList<QVideoFrame::PixelFormat>();
}

bool SimProbeSurface::present(const QVideoFrame& frame)
{
    if (!frame.isValid())
        return true;
    Record record;
    record.Format = frame.pixelFormat();
    record.Size = frame.size();
    record.Thread = QThread::currentThreadId();
    record.ArrivalMs = m_Clock.elapsed();
    QVideoFrame mapped(frame);
    record.Mapped = mapped.map(QAbstractVideoBuffer::ReadOnly);
    QByteArray pixels;
    const int bytesPerPixel = record.Format == QVideoFrame::Format_RGB32 ? 4 : 3;
    const bool known = record.Format == QVideoFrame::Format_RGB32 || record.Format == QVideoFrame::Format_BGR24;
    if (record.Mapped) {
        record.BytesPerLine = mapped.bytesPerLine();
        const int rowBytes = record.Size.width() * bytesPerPixel;
        if (known && record.BytesPerLine >= rowBytes
            && mapped.mappedBytes() >= record.BytesPerLine * record.Size.height()) {
            record.Stamp = SimFrameStamp::Read(mapped.bits(), record.Size.width(), record.Size.height(),
                                               record.BytesPerLine, bytesPerPixel);
            pixels.reserve(rowBytes * record.Size.height());
            for (int y = 0; y < record.Size.height(); ++y)
                pixels.append(reinterpret_cast<const char*>(mapped.bits()) + y * record.BytesPerLine, rowBytes);
        }
        mapped.unmap();
    }
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Records.append(record);
    if (!pixels.isEmpty()) {
        m_LastPixels = pixels;
        m_LastSize = record.Size;
        m_LastBytesPerPixel = bytesPerPixel;
    }
    return true;
}

int SimProbeSurface::Count() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Records.size();
}

QVector<SimProbeSurface::Record> SimProbeSurface::Records() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Records;
}

QVector<int> SimProbeSurface::PixelAt(int x, int y) const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (x < 0 || y < 0 || x >= m_LastSize.width() || y >= m_LastSize.height())
        return {};
    const uchar* pixel = reinterpret_cast<const uchar*>(m_LastPixels.constData())
                         + (y * m_LastSize.width() + x) * m_LastBytesPerPixel;
    return {pixel[0], pixel[1], pixel[2]};
}
