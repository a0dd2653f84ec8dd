#pragma once

#include <deque>

// Allows at most `count` events in any window of `windowSeconds`.
class KelRateLimiter
{
public:
    explicit KelRateLimiter(int count = 10, double windowSeconds = 1.0);
    void setCount(int count);
    // True when an event at time `now` (seconds, steady clock) is allowed;
    // an allowed event is counted.
    bool allow(double now);

private:
    int m_count;
    double m_window;
    std::deque<double> m_times;
};
