#pragma once

#include <opencv2/core.hpp>

// The frame worker's image operations where OpenCV's own are slower than
// they need to be; each gives the same pixels as the OpenCV call it names.

// cv::blur(grey, blurred, size) with the default border for an 8-bit,
// one-channel picture: running sums in row stripes on OpenCV's threads
// (OpenCV's box filter runs on one and makes a pass per direction). grey and
// blurred must not share memory.
void BoxBlur(const cv::Mat& grey, cv::Mat& blurred, cv::Size size);

// frame.setTo(colour, edgeMap) for an 8-bit four-channel frame and a
// same-sized 8-bit map, reading the map eight pixels at a time: edges are
// few, and a masked setTo walks every pixel of the frame.
void PaintEdges(cv::Mat& frame, const cv::Mat& edgeMap, const cv::Vec4b& colour);
