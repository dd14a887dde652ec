// Readings kept over the whole measured span and over the current interval (one line of a
// per-second log), in constant memory however long the stream runs.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

namespace wobblemeter {

// Root mean square of the values added.
class SpanRms {
public:
    void Add(double x) {
        total_ += x * x;
        interval_ += x * x;
        ++count_;
        ++intervalCount_;
    }
    // 0 before anything was added.
    double Rms() const {
        return count_ > 0 ? std::sqrt(total_ / static_cast<double>(count_)) : 0.0;
    }
    double IntervalRms() const {
        return intervalCount_ > 0 ? std::sqrt(interval_ / static_cast<double>(intervalCount_))
                                  : 0.0;
    }
    long long Count() const { return count_; }
    void RestartInterval() {
        interval_ = 0.0;
        intervalCount_ = 0;
    }

private:
    double total_ = 0.0, interval_ = 0.0;
    long long count_ = 0, intervalCount_ = 0;
};

// Smallest and largest of the values added.
class SpanRange {
public:
    void Add(double x) {
        low_ = std::min(low_, x);
        high_ = std::max(high_, x);
        intervalLow_ = std::min(intervalLow_, x);
        intervalHigh_ = std::max(intervalHigh_, x);
    }
    // Before anything was added Low() > High(): Empty() says so, and the spreads read 0.
    bool Empty() const { return low_ > high_; }
    double Low() const { return low_; }
    double High() const { return high_; }
    double Spread() const { return Empty() ? 0.0 : high_ - low_; }
    bool IntervalEmpty() const { return intervalLow_ > intervalHigh_; }
    double IntervalLow() const { return intervalLow_; }
    double IntervalHigh() const { return intervalHigh_; }
    void RestartInterval() {
        intervalLow_ = kNone;
        intervalHigh_ = -kNone;
    }

private:
    static constexpr double kNone = std::numeric_limits<double>::infinity();
    double low_ = kNone, high_ = -kNone;
    double intervalLow_ = kNone, intervalHigh_ = -kNone;
};

}  // namespace wobblemeter
