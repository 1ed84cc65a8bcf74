#pragma once

#include <opencv2/core.hpp>

#include <vector>

// cv::Canny(grey, edges, low, high, 3, true), pixel for pixel, with less
// memory traffic: the gradients are made row by row and only three rows of
// them are kept, where OpenCV's writes whole gradient planes and reads them
// back. Rows are handled in stripes on OpenCV's threads; the work buffers are
// kept from one picture to the next.
class EdgeDetector
{
public:
    // grey: 8-bit, one channel. edges: made 8-bit, one channel, 255 on an
    // edge, 0 elsewhere; must not share memory with grey.
    void Detect(const cv::Mat& grey, cv::Mat& edges, double lowThreshold, double highThreshold);

private:
    // Offsets (row * step + column) of the pixels that are edges in their
    // own right, one list per stripe; then the stack that follows them.
    std::vector<std::vector<int>> m_Strong;
    std::vector<int> m_Stack;
};
