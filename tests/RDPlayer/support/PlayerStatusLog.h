#pragma once

#include "RDPlayerObserver.h"
#include "RDPlayerRecorderObserver.h"

#include <condition_variable>
#include <mutex>
#include <vector>

// Collects the statuses a player or a recorder reports, from any thread,
// and lets a test wait for one with a bound in seconds.
class PlayerStatusLog : public RDPlayerObserver, public RDPlayerRecorderObserver
{
public:
    struct Entry {
        int status;
        double current;
        double total;
    };

    void onPlayerStatusChanged(int status, double current, double total) override;
    void onRecorderStatusChanged(RDPlayerRecorder *recorder, int status, double current, double total) override;

    bool waitFor(int status, double seconds);
    int count(int status) const;
    std::vector<Entry> entries() const;
    std::vector<int> statuses() const;

private:
    void add(int status, double current, double total);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Entry> m_entries;
};
