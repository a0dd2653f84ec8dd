#pragma once

#include "RDVideoSink.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "RDYUV420P.h"

// A view stand-in: keeps every picture a player hands over, and lets a test
// wait for one with a bound in seconds.
class PictureSink : public RDVideoSink
{
public:
    ~PictureSink() override;
    void updateYUV420Async(RDYUV420P *picture) override;

    // Waits until a picture satisfying `match` has arrived.
    bool waitFor(const std::function<bool(const RDYUV420P &)> &match, double seconds);
    int count() const;
    std::vector<double> times() const;
    // Each picture's time with when it arrived (monotonic seconds).
    struct Arrival {
        double time;
        double at;
    };
    std::vector<Arrival> arrivals() const;
    // A copy of the last picture's planes through `visit`; false without one.
    bool withLast(const std::function<void(const RDYUV420P &)> &visit) const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::unique_ptr<RDYUV420P>> m_pictures;
    std::vector<double> m_arrivedAt;
};
