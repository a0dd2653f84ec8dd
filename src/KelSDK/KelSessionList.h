#pragma once

#include <memory>
#include <mutex>
#include <vector>

class KelClient;

// The sessions of one server, behind their own mutex. Nothing here closes a
// session or calls an observer: the server does that with no lock held,
// because joining a session's threads may wait for a request that is
// sending an event through the same server.
class KelSessionList
{
public:
    void add(const std::shared_ptr<KelClient> &session);
    int count() const;
    std::vector<std::shared_ptr<KelClient>> snapshot() const;
    // Takes out the sessions that are no longer open, or all of them.
    std::vector<std::shared_ptr<KelClient>> take(bool all);
    // Queues the bytes to every session; with `authorizedOnly` only to the
    // sessions that have logged in.
    void send(const void *data, int length, bool authorizedOnly) const;
    // Whether send() with the same `authorizedOnly` would reach a session.
    bool hasRecipients(bool authorizedOnly) const;
    void clearAuthorizations() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<KelClient>> m_sessions;
};
