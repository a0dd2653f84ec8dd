#include "PASipManager.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {
std::atomic<PASipManager *> s_instance{nullptr};
// Number of live PASipManager::Use objects. A user counts itself before it
// loads the pointer and the destroyer clears the pointer before it reads the
// count (both sequentially consistent), so the destroyer either sees the user
// or the user sees no manager.
std::atomic<int> s_users{0};
// Set while destroyInstance waits for the users it saw; the last of them
// then wakes it (under the lock, so the wake cannot come between the
// destroyer's test and its wait).
std::atomic<bool> s_destroying{false};
std::mutex s_usersLock;
std::condition_variable s_usersGone;
}

PASipManager::Use::Use()
{
    s_users.fetch_add(1);
    m_sip = s_instance.load();
}

PASipManager::Use::~Use()
{
    if (s_users.fetch_sub(1) == 1 && s_destroying.load()) {
        std::lock_guard<std::mutex> lock(s_usersLock);
        s_usersGone.notify_all();
    }
}

PASipManager::PASipManager(const QString &localIp)
    : m_localIp(localIp.left(31))
{
    setLocalIp(m_localIp.toLatin1().constData());
}

PASipManager::~PASipManager() = default;

bool PASipManager::createInstance(const QString &localIp)
{
    if (s_instance.load())
        return true;
    // Two threads starting at once must not both install a manager.
    PASipManager *m = new PASipManager(localIp);
    PASipManager *none = nullptr;
    if (!s_instance.compare_exchange_strong(none, m))
        delete m;
    return true;
}

PASipManager *PASipManager::instance()
{
    return s_instance.load();
}

void PASipManager::destroyInstance()
{
    PASipManager *m = s_instance.exchange(nullptr);
    if (!m)
        return;
    {
        std::unique_lock<std::mutex> lock(s_usersLock);
        s_destroying.store(true);
        s_usersGone.wait(lock, [] { return s_users.load() == 0; });
        s_destroying.store(false);
    }
    delete m;
}

int PASipManager::find(const QString &host, int port, const QString &user) const
{
    for (int i = 0; i < m_accounts.size(); ++i) {
        const Account &a = m_accounts.at(i);
        if (a.port == port && a.host == host && a.user == user)
            return i;
    }
    return -1;
}

void PASipManager::registerSourceAccount(const QString &host, int port, const QString &user, const QString &password,
                                         const QString &sourceUrl, const RDCoreDevice &soundDevice,
                                         const std::shared_ptr<KelClient> &session, const QString &publishPath,
                                         int volume)
{
    Q_UNUSED(soundDevice)
    std::lock_guard<std::mutex> g(m_accountsLock);
    int i = find(host, port, user);
    if (i < 0) {
        Account a;
        a.host = host;
        a.port = port;
        a.user = user;
        m_accounts.append(a);
        i = m_accounts.size() - 1;
    }
    Account &a = m_accounts[i];
    a.password = password;
    a.sourceUrl = sourceUrl;
    a.talkSession = session;
    a.publishPath = publishPath;
    a.volume = qBound(0, volume, 200);
    a.registered = true;
}

bool PASipManager::unregisterAccount(const QString &host, int port, const QString &user)
{
    std::lock_guard<std::mutex> g(m_accountsLock);
    const int i = find(host, port, user);
    if (i >= 0)
        m_accounts.removeAt(i);
    return true;
}

void PASipManager::setVolume(const QString &user, int volume)
{
    std::lock_guard<std::mutex> outer(m_lock);
    std::lock_guard<std::mutex> g(m_accountsLock);
    for (Account &a : m_accounts) {
        if (a.user == user) {
            a.volume = qBound(0, volume, 200);
            return;
        }
    }
}

bool PASipManager::isRegistered(const QString &host, int port, const QString &user)
{
    std::lock_guard<std::mutex> outer(m_lock);
    std::lock_guard<std::mutex> g(m_accountsLock);
    const int i = find(host, port, user);
    return i >= 0 && m_accounts.at(i).registered;
}

bool PASipManager::isTalking(const QString &host, int port, const QString &user)
{
    std::lock_guard<std::mutex> outer(m_lock);
    std::lock_guard<std::mutex> g(m_accountsLock);
    const int i = find(host, port, user);
    return i >= 0 && m_accounts.at(i).talkSession != nullptr;
}

void PASipManager::startTalk(const QString &host, int port, const QString &user,
                             const std::shared_ptr<KelClient> &session)
{
    std::lock_guard<std::mutex> g(m_accountsLock);
    const int i = find(host, port, user);
    if (i >= 0)
        m_accounts[i].talkSession = session;
}

void PASipManager::stopTalk(const QString &host, int port, const QString &user,
                            const std::shared_ptr<KelClient> &session)
{
    Q_UNUSED(session)
    std::lock_guard<std::mutex> g(m_accountsLock);
    const int i = find(host, port, user);
    if (i >= 0)
        m_accounts[i].talkSession.reset();
}

void PASipManager::startListen(const QString &host, int port, const QString &user,
                               const std::shared_ptr<KelClient> &session)
{
    std::lock_guard<std::mutex> g(m_accountsLock);
    const int i = find(host, port, user);
    if (i >= 0 && session && !m_accounts.at(i).listeners.contains(session))
        m_accounts[i].listeners.append(session);
}

void PASipManager::stopListen(const QString &host, int port, const QString &user,
                              const std::shared_ptr<KelClient> &session)
{
    Q_UNUSED(session) // every listener of the account is detached
    std::lock_guard<std::mutex> g(m_accountsLock);
    const int i = find(host, port, user);
    if (i >= 0)
        m_accounts[i].listeners.clear();
}

bool PASipManager::account(const QString &host, int port, const QString &user, Account *out)
{
    std::lock_guard<std::mutex> outer(m_lock);
    std::lock_guard<std::mutex> g(m_accountsLock);
    const int i = find(host, port, user);
    if (i < 0)
        return false;
    if (out)
        *out = m_accounts.at(i);
    return true;
}

int PASipManager::accountCount()
{
    std::lock_guard<std::mutex> outer(m_lock);
    std::lock_guard<std::mutex> g(m_accountsLock);
    return m_accounts.size();
}
