#pragma once

#include <QMetaType>

#include <opencv2/core.hpp>

// The frame that travels between the capture surface, the worker and the
// window: CV_8UC4, continuous, bytes blue, green, red, fourth byte, owning a
// reference-counted buffer that no stage writes after handing it on.
Q_DECLARE_METATYPE(cv::Mat)

// Frames cross threads through queued connections, which need the type
// registered under this name before the first connection is made.
inline void RegisterFrameType()
{
    qRegisterMetaType<cv::Mat>("cv::Mat");
}
