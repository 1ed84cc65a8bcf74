#pragma once

#include "FrameType.h"
#include "RowBands.h"

#include <QAbstractVideoSurface>
#include <QVideoFrame>

#include <mutex>

// The surface every camera renders into. Turns each readable frame into an
// owned video frame matrix (see FrameType.h) and emits it with the time the
// conversion took. Owned by value by CaptureThread and living on the
// user-interface thread, but present() runs on whatever thread the camera
// service delivers on; the only state it touches is its copying helper,
// behind a lock, so either is fine.
class VideoCapturer : public QAbstractVideoSurface
{
    Q_OBJECT

public:
    QList<QVideoFrame::PixelFormat> supportedPixelFormats(
        QAbstractVideoBuffer::HandleType handleType = QAbstractVideoBuffer::NoHandle) const override;

    // Always returns true so that the camera keeps delivering; frames that
    // are invalid, empty, of another format, unmappable or smaller than
    // their own geometry claims are skipped without a signal.
    bool present(const QVideoFrame& frame) override;

signals:
    // processingTime: milliseconds spent in present() up to the emission.
    // The frame is a new picture each time, and present() keeps no handle
    // on it once emitted.
    void SignalFrameCaptured(cv::Mat frame, qint64 processingTime);

private:
    std::mutex m_CopyBandsMutex;
    RowBands m_CopyBands{"frame-copy"};
};
