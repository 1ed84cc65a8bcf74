#include "PictureScaler.h"

#include "FramePoolAllocator.h"
#include "SmoothResize.h"

namespace
{
// Pictures alive at once: the one on screen, the next one waiting for the
// window and the one being made after it.
constexpr int kPicturesInFlight = 3;

void ReleasePicture(void* picture)
{
    delete static_cast<cv::Mat*>(picture);
}
} // namespace

QSize PictureScaler::FittedSize(const QSize& frame, const QSize& area)
{
    if (frame.isEmpty())
        return QSize();
    const double scaleX = double(area.width()) / frame.width();
    const double scaleY = double(area.height()) / frame.height();
    const double scale = scaleX <= scaleY ? scaleX : scaleY;
    const QSize fitted(int(scale * frame.width() + 0.9999), int(scale * frame.height() + 0.9999));
    return fitted.width() > 0 && fitted.height() > 0 ? fitted : QSize();
}

void PictureScaler::SetTarget(const PictureTarget& target)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Target = target;
}

void PictureScaler::Prepare(const cv::Mat& frame)
{
    CV_Assert(frame.type() == CV_8UC4);
    PictureTarget target;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        target = m_Target;
        // The kept picture is stale now; let it go before making the next.
        m_PreparedFrame.release();
        m_Prepared = QImage();
    }
    QImage picture = Scale(frame, target);
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_PreparedFrame = frame;
    m_PreparedFor = target;
    m_Prepared = std::move(picture);
}

QImage PictureScaler::Picture(const QImage& frame, const PictureTarget& target)
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        const bool samePixels = !m_PreparedFrame.empty() && frame.constBits() == m_PreparedFrame.data
                                && frame.format() == QImage::Format_RGB32 && frame.width() == m_PreparedFrame.cols
                                && frame.height() == m_PreparedFrame.rows
                                && size_t(frame.bytesPerLine()) == m_PreparedFrame.step;
        if (samePixels && target == m_PreparedFor) {
            m_PreparedFrame.release();
            return std::move(m_Prepared);
        }
    }
    const QImage source = frame.format() == QImage::Format_RGB32 ? frame
                                                                 : frame.convertToFormat(QImage::Format_RGB32);
    const cv::Mat pixels(source.height(), source.width(), CV_8UC4, const_cast<uchar*>(source.constBits()),
                         size_t(source.bytesPerLine()));
    return Scale(pixels, target);
}

QImage PictureScaler::Scale(const cv::Mat& frame, const PictureTarget& target)
{
    const QSize size = FittedSize(QSize(frame.cols, frame.rows), target.Area);
    if (size.isEmpty())
        return QImage();
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (size != m_ReservedSize) {
            m_ReservedSize = size;
            FramePoolAllocator::Reserve(size_t(size.width()) * size_t(size.height()) * 4, kPicturesInFlight);
        }
    }
    auto* picture = new cv::Mat(size.height(), size.width(), CV_8UC4);
    {
        std::unique_lock<std::mutex> bands(m_BandsMutex, std::try_to_lock);
        SmoothResize(frame, *picture, target.MirrorRows, target.MirrorColumns,
                     bands.owns_lock() ? &m_Bands : nullptr);
    }
    // The image holds the matrix, and with it the buffer, until its last copy
    // is gone.
    return QImage(picture->data, picture->cols, picture->rows, int(picture->step), QImage::Format_RGB32,
                  &ReleasePicture, picture);
}
