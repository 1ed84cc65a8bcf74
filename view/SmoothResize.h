#pragma once

#include "RowBands.h"

#include <opencv2/core.hpp>

// Scales a 4-channel 8-bit picture to the size of to, smoothly at any
// factor, mirroring rows and/or columns on the way:
// - a source exactly k times the target (k up to 16), such as 4K shown at
//   1280 x 720, in one pass of k x k averages;
// - otherwise, while the target is at most half the source, 2 x 2 averages
//   (an odd last row or column left out), so a 4K frame does not alias,
//   then bilinear for the factor below two, sampling at pixel centres and
//   stretching the whole source onto the whole target as cv::resize does.
//
// Without bands it runs on the calling thread only; with them each pass is
// split between the calling thread and their helper. Never on OpenCV's
// threads (see RowBands).
void SmoothResize(const cv::Mat& from, cv::Mat& to, bool mirrorRows, bool mirrorColumns, RowBands* bands = nullptr);
