#pragma once

#include <opencv2/core.hpp>

// The frame worker's image operations where OpenCV's own are slower than
// they need to be; each gives the same pixels as the OpenCV call it names.

// cv::cvtColor(frame, grey, cv::COLOR_RGBA2GRAY), then cv::blur(grey,
// blurred, size) with the default border, for an 8-bit four-channel frame.
// One pass in row stripes on OpenCV's threads, with running sums, that keeps
// only the grey rows the box holds: no grey picture is written and read back,
// and OpenCV's box filter runs on one thread and makes a pass per direction.
void GreyBoxBlur(const cv::Mat& frame, cv::Mat& blurred, cv::Size size);

// frame.setTo(colour, edgeMap) for an 8-bit four-channel frame and a
// same-sized 8-bit map, reading the map eight pixels at a time (edges are
// few, and a masked setTo walks every pixel of the frame), in row stripes on
// OpenCV's threads.
void PaintEdges(cv::Mat& frame, const cv::Mat& edgeMap, const cv::Vec4b& colour);
