#pragma once

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
// It runs on the calling thread only. OpenCV runs every parallel loop of the
// process serially while any thread is inside one, so a scaling that used its
// loops on the user-interface thread would, at times, take the worker's
// blur and edge detection down to one thread (and make them allocate
// whole-frame buffers), and the worker's loops would do the same to it.
void SmoothResize(const cv::Mat& from, cv::Mat& to, bool mirrorRows, bool mirrorColumns);
