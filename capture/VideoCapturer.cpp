#include "VideoCapturer.h"

#include "PixelKernels.h"

#include <QElapsedTimer>

#include <opencv2/imgproc.hpp>

namespace {

// from's rows into to's, written past the caches. Same size, 8-bit data.
void StreamRows(const cv::Mat& from, cv::Mat& to)
{
    const PixelKernels& kernels = Kernels();
    const size_t rowBytes = from.cols * from.elemSize();
    for (int y = 0; y < from.rows; ++y)
        kernels.StreamCopy(from.ptr<uchar>(y), to.ptr<uchar>(y), rowBytes);
    // Streamed stores are ordered with the hand-over that follows.
    kernels.StreamFence();
}

} // namespace

QList<QVideoFrame::PixelFormat> VideoCapturer::supportedPixelFormats(QAbstractVideoBuffer::HandleType) const
{
    return {QVideoFrame::Format_RGB32, QVideoFrame::Format_BGR24};
}

bool VideoCapturer::present(const QVideoFrame& frame)
{
    QElapsedTimer timer;
    timer.start();

    int sourceType = 0;
    switch (frame.pixelFormat()) {
    case QVideoFrame::Format_RGB32:
        sourceType = CV_8UC4;
        break;
    case QVideoFrame::Format_BGR24:
        sourceType = CV_8UC3;
        break;
    default:
        return true;
    }
    const int width = frame.width();
    const int height = frame.height();
    if (!frame.isValid() || width <= 0 || height <= 0)
        return true;

    QVideoFrame mapped(frame);
    if (!mapped.map(QAbstractVideoBuffer::ReadOnly))
        return true;

    // Trust nothing the buffer says about its geometry: rows may be padded,
    // and a short buffer must not be read past its end. The last row's
    // padding may be missing: a buffer can end right after its pixels.
    const qint64 rowBytes = qint64(width) * CV_ELEM_SIZE(sourceType);
    const qint64 bytesPerLine = mapped.bytesPerLine();
    const bool readable = mapped.bits() && bytesPerLine >= rowBytes
        && qint64(mapped.mappedBytes()) >= bytesPerLine * (height - 1) + rowBytes;

    cv::Mat image;
    if (readable) {
        const cv::Mat source(height, width, sourceType, mapped.bits(), size_t(bytesPerLine));
        image.create(height, width, CV_8UC4);
        const bool streamed = image.total() * image.elemSize() > StreamedFrameBytes;
        const auto copyRows = [&](int begin, int end) {
            cv::Mat rows = image.rowRange(begin, end);
            if (sourceType == CV_8UC3)
                cv::cvtColor(source.rowRange(begin, end), rows, cv::COLOR_BGR2BGRA);
            else if (streamed)
                StreamRows(source.rowRange(begin, end), rows);
            else
                source.rowRange(begin, end).copyTo(rows);
        };
        // In two bands when no other present() has them: one thread alone
        // does not reach the memory's speed.
        std::unique_lock<std::mutex> bands(m_CopyBandsMutex, std::try_to_lock);
        if (bands.owns_lock())
            m_CopyBands.Run(height, copyRows);
        else
            copyRows(0, height);
    }
    mapped.unmap();

    if (readable)
        emit SignalFrameCaptured(image, timer.elapsed());
    return true;
}
