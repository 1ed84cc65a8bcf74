#pragma once

#include <opencv2/core.hpp>

#include <functional>

// Runs body once per stripe of rows [0, rows) on OpenCV's threads: as many
// stripes as OpenCV has threads, but none shorter than minRows (one stripe,
// run on the calling thread, when rows are few). Stripes are numbered from 0
// and lie in order; returns when all have run.
void ForEachRowStripe(int rows, int minRows, const std::function<void(int stripe, cv::Range rows)>& body);

// The number of stripes ForEachRowStripe(rows, minRows, ...) runs.
int RowStripeCount(int rows, int minRows);
