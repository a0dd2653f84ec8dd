#pragma once

#include "RDGroup.h"
#include "RDThread.h"
#include "VelmarPassWindow.h"

#include <QDateTime>
#include <QVector>

#include <functional>

class VelmarDB;

// Base of the threads that act on zones at given wall-clock minutes (the
// schedule and the prayer watcher). The thread body opens a database
// connection of its own and, until stopped, reads the zones and hands them
// to pass() with the time of the pass, then pauses for the period. The
// pause ends at once when the thread is stopped.
class VelmarTimedThread : public RDThread
{
public:
    // Local wall time and a steady millisecond count; by default the PC's.
    struct Clock
    {
        std::function<QDateTime()> now;
        std::function<qint64()> steadyMs;
    };

    // Both are read by the thread: set them before start().
    void setClock(const Clock &clock) { m_clock = clock; }
    void setPeriodMs(int ms) { m_periodMs = ms; }

protected:
    explicit VelmarTimedThread(int periodMs);

    // One pass over every zone, read anew from `database`.
    virtual void pass(VelmarDB &database, QVector<RDGroup> &groups, const QDateTime &now, qint64 steadyMs) = 0;

    const Clock &clock() const { return m_clock; }
    // The minutes the current pass answers for.
    VelmarPassWindow m_window;

private:
    void run() final;

    Clock m_clock;
    int m_periodMs;
};
