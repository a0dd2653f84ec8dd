#pragma once

#include <QtGlobal>

#include <atomic>

class RDThreadPrivate;

// Base of every worker thread. Not a QObject: it owns a private QThread, a
// stop flag and a name. A subclass overrides run(), tests isStopped() and
// pauses with sleep() or waitReadable(), both of which a stop ends at once:
// an idle thread sleeps until its time is up or it is told to stop, it does
// not wake up to look. Owners call stop(), then wait(), then delete; the
// destructor never waits.
class RDThread
{
public:
    RDThread();
    virtual ~RDThread();
    // Sets the stop flag, ends a sleep() or waitReadable() in progress and
    // returns at once. Overrides call the base first and may then wake the
    // thread from waits of their own (quit a loop, close a socket).
    virtual void stop();

    // Name shown for the thread (bytes read as Latin-1); takes effect at the
    // next start(). An empty name leaves the thread's name unchanged.
    void setName(const char *name);
    // Clears the stop flag and starts the thread. Always returns true.
    bool start();
    bool isStopped() const;
    bool isRunning() const;
    // Blocks until run() has returned; no time limit.
    bool wait();

    static void msleep(unsigned long ms);
    // Interruptible sleep of a running thread: returns after `ms`
    // milliseconds or as soon as the stop flag is set. The deadline is kept
    // on the steady clock, so a wall-clock step never lengthens it.
    void sleep(int ms);
    // Waits, on the thread itself, until the descriptor `fd` is readable
    // (or has an error a read will report), `timeoutMs` has passed (below
    // 0: no limit) or the thread is told to stop. 1 when `fd` is ready, 0
    // after a stop or the time-out, -1 when the wait itself failed.
    int waitReadable(int fd, int timeoutMs);

protected:
    virtual void run() = 0;

private:
    friend class RDThreadPrivate;
    RDThreadPrivate *m_thread;
    std::atomic<bool> m_stopped;

    RDThread(const RDThread &) = delete;
    RDThread &operator=(const RDThread &) = delete;
};

// Wall-clock milliseconds since the Unix epoch.
qint64 currentMilliseconds();
// currentMilliseconds() / 1000.0.
double currentSeconds();
// Steady clock in whole milliseconds, as seconds. Never goes back.
double monotonicSeconds();

// Shifts what currentMilliseconds() reports by `offsetMs`, to simulate the
// PC's clock being set while the program runs.
void setWallClockOffsetForTesting(qint64 offsetMs);
