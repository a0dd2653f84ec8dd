#pragma once

#include <QString>

#include <chrono>
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
// one needless. Every other change is carried out as posted. A dropped
// sign-in is released on the queue's thread, never in post(): what it
// captured (an app's session, say) may end there, and post() runs under
// its caller's locks.
//
// Sign-ins and sign-outs settle for a moment (kSettle) before they are
// carried out, so that a zone started and stopped in quick turns (a flood of
// HTTP requests, a schedule crossing an operator) ends in one sign-in or
// sign-out instead of a register for every turn. Other changes (talk,
// listen, volume) go at once, unless an account change ahead of them still
// settles: the order is kept.
//
// Nothing posted is lost: the destructor carries out every queued change
// before it returns (a stopped group's accounts still sign out).
class FSSipAccountQueue
{
public:
    using Change = std::function<void()>;
    enum class Kind { SignIn, SignOut, Other };

    static constexpr std::chrono::milliseconds kSettle{50};

    explicit FSSipAccountQueue(std::chrono::milliseconds settle = kSettle) : m_settle(settle) {}
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
        std::chrono::steady_clock::time_point posted;
        bool dropped = false; // not to be carried out, only released
    };
    // The last queued change for `accounts` not dropped, or end(); lock held.
    std::deque<Queued>::iterator lastFor(const QString &accounts);

    std::deque<Queued> m_changes;
    const std::chrono::milliseconds m_settle;
    bool m_running = false; // a change is being carried out
    bool m_quit = false;
    std::thread m_thread;
};
