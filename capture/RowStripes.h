#pragma once

#include <opencv2/core.hpp>

#include <functional>

// Below this many rows a stripe costs more to hand out than it saves: the
// shortest stripe the frame worker's passes are cut into.
constexpr int MinStripeRows = 128;

// How many row stripes to cut rows into for OpenCV's threads: one per
// thread, but none shorter than minRows (so at least one).
int RowStripeCount(int rows, int minRows);

// Runs body once per stripe of rows [0, rows), cut into that many stripes of
// about equal height, on OpenCV's threads (one stripe runs on the calling
// thread). Stripes are numbered from 0 and lie in order; returns when all
// have run.
void ForEachRowStripe(int rows, int stripes, const std::function<void(int stripe, cv::Range rows)>& body);
