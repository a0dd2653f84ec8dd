#include "KelSessionList.h"

#include "KelClient.h"

#include <algorithm>

void KelSessionList::add(const std::shared_ptr<KelClient> &session)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sessions.push_back(session);
}

int KelSessionList::count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(m_sessions.size());
}

std::vector<std::shared_ptr<KelClient>> KelSessionList::snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sessions;
}

std::vector<std::shared_ptr<KelClient>> KelSessionList::take(bool all)
{
    std::vector<std::shared_ptr<KelClient>> gone;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        if (all || !(*it)->isOpen()) {
            gone.push_back(*it);
            it = m_sessions.erase(it);
        } else {
            ++it;
        }
    }
    return gone;
}

void KelSessionList::send(const void *data, int length, bool authorizedOnly) const
{
    if (!data || length <= 0)
        return;
    // Sent from a copy: a session's send never waits behind this lock.
    for (const auto &session : snapshot()) {
        if (authorizedOnly && !session->isAuthorized())
            continue;
        session->send(data, length);
    }
}

bool KelSessionList::hasRecipients(bool authorizedOnly) const
{
    // Authorization is an atomic flag of the session: read under the list's
    // lock without calling into the session otherwise.
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::any_of(m_sessions.begin(), m_sessions.end(),
                       [authorizedOnly](const std::shared_ptr<KelClient> &session) {
                           return !authorizedOnly || session->isAuthorized();
                       });
}

void KelSessionList::clearAuthorizations() const
{
    for (const auto &session : snapshot())
        session->setAuthorized(false);
}
