#pragma once

#include "RowBands.h"

#include <QImage>
#include <QSize>

#include <opencv2/core.hpp>

#include <mutex>

// What the view's pictures are made for: the area a frame is fitted into,
// keeping its aspect, and the mirroring on the way.
struct PictureTarget
{
    QSize Area;
    bool MirrorRows = false;
    bool MirrorColumns = false;

    bool operator==(const PictureTarget& other) const
    {
        return Area == other.Area && MirrorRows == other.MirrorRows && MirrorColumns == other.MirrorColumns;
    }
};

// Makes the view's pictures: frames scaled smoothly to fit the view and
// mirrored. Scaling is most of what showing a frame costs, so the frame
// worker does it ahead, as it hands the frame on (Prepare()), and the
// user-interface thread only takes the result (Picture()). A frame that was
// not prepared, or was prepared for another target because the view was
// resized or flipped meanwhile, is scaled where it is shown.
//
// Pictures are OpenCV matrices seen as Format_RGB32 images, writable (the
// overlay is drawn on them): with the process's frame pool allocator their
// memory is used again once no picture refers to it any more, so a picture
// on screen is never overwritten.
class PictureScaler
{
public:
    // The size of a frame's picture fitted into area, rounded up as
    // QImage::transformed() rounds a smooth scale, so that the picture and
    // the overlay geometry stay what Qt would make. Empty when nothing shows.
    static QSize FittedSize(const QSize& frame, const QSize& area);

    // User-interface thread: what frames are prepared for from now on.
    void SetTarget(const PictureTarget& target);
    // Any thread, one caller at a time: scales frame (8-bit, four channels)
    // for the current target and keeps the picture until Picture() takes it
    // or the next frame replaces it.
    void Prepare(const cv::Mat& frame);
    // User-interface thread: the picture of frame for target, the prepared
    // one if it was made from these very pixels for this target, else made
    // now. Null when the fitted size is empty.
    QImage Picture(const QImage& frame, const PictureTarget& target);

private:
    QImage Scale(const cv::Mat& frame, const PictureTarget& target);

    std::mutex m_Mutex;
    PictureTarget m_Target;
    // The frame last prepared, held so that its pixels cannot belong to
    // another frame while its picture is kept; the target and the picture.
    cv::Mat m_PreparedFrame;
    PictureTarget m_PreparedFor;
    QImage m_Prepared;

    // In two bands when the other thread is not scaling too.
    std::mutex m_BandsMutex;
    RowBands m_Bands{"view-scaling"};
    // The picture size whose buffers are reserved; m_Mutex.
    QSize m_ReservedSize;
};
