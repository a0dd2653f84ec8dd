#pragma once

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// Changes to the zones' SIP accounts (sign in, sign out, volume, talk and
// listen sessions), carried out one at a time, in the order they were
// posted, on the queue's own thread. A group start or stop posts its
// account changes while it holds the conference lock, so they reach the SIP
// agent in the order of the record changes, and returns without waiting for
// the agent: a busy SIP stack never holds up a start, a stop or another
// group's request.
//
// A zone started and stopped again faster than the agent keeps up leaves
// no work behind: a sign-out drops the sign-in of the same accounts still
// waiting behind it (the run it was for has ended; nothing else was queued
// for those accounts since), and a sign-out already waiting makes a second
// one needless. Every other change is carried out as posted.
//
// Nothing posted is lost: the destructor carries out every queued change
// before it returns (a stopped group's accounts still sign out).
class FSSipAccountQueue
{
public:
    using Change = std::function<void()>;
    enum class Kind { SignIn, SignOut, Other };

    FSSipAccountQueue() = default;
    ~FSSipAccountQueue();

    FSSipAccountQueue(const FSSipAccountQueue &) = delete;
    FSSipAccountQueue &operator=(const FSSipAccountQueue &) = delete;

    // `accounts` names the accounts `change` acts on (empty: none known).
    void post(Change change, const QString &accounts = QString(), Kind kind = Kind::Other);
    // Waits until every change posted so far has been carried out; false
    // when `timeoutMs` ran out first.
    bool waitIdle(int timeoutMs);

private:
    void run();

    std::mutex m_lock;
    std::condition_variable m_changed;
    struct Queued
    {
        Change change;
        QString accounts;
        Kind kind;
    };
    // The last queued change for `accounts`, or end(); lock held.
    std::deque<Queued>::iterator lastFor(const QString &accounts);

    std::deque<Queued> m_changes;
    bool m_running = false; // a change is being carried out
    bool m_quit = false;
    std::thread m_thread;
};
