#pragma once

#include "SipManager.h"

#include <QString>
#include <QVector>

#include <memory>

class RDCoreDevice;
class KelClient;

// The program's SIP user agent as the switch control sees it: one account per
// zone input or output number, signed in on the switch's internal profile.
//
// This version keeps the accounts as records in memory and reports them; it
// sends no SIP yet. A later version signs the accounts in over SIP and answers
// the calls the switch places to them; callers stay as they are.
class PASipManager : public SipManager
{
public:
    // What one account holds, as reported by `account`.
    struct Account
    {
        QString host;
        int port = 0;
        QString user;
        QString password;
        QString sourceUrl;
        QString publishPath;
        int volume = 0;
        bool registered = false;
        std::shared_ptr<KelClient> talkSession;
        QVector<std::shared_ptr<KelClient>> listeners;
    };

    static bool createInstance(const QString &localIp);
    static PASipManager *instance();
    // Waits until no `Use` holds the manager any more, then deletes it.
    static void destroyInstance();

    // Keeps the process-wide manager alive for as long as it is in scope:
    // threads that call in while shut-down destroys the manager either see
    // none or finish their call before it goes. Null when there is none.
    class Use
    {
    public:
        Use();
        ~Use();
        Use(const Use &) = delete;
        Use &operator=(const Use &) = delete;
        PASipManager *get() const { return m_sip; }
        PASipManager *operator->() const { return m_sip; }
        explicit operator bool() const { return m_sip != nullptr; }

    private:
        PASipManager *m_sip;
    };

    // The caller holds SipManager::lock. Signs the account in, or refreshes
    // the one with the same host, port and user, and stores its source.
    void registerSourceAccount(const QString &host, int port, const QString &user, const QString &password,
                               const QString &sourceUrl, const RDCoreDevice &soundDevice,
                               const std::shared_ptr<KelClient> &session, const QString &publishPath, int volume);
    bool unregisterAccount(const QString &host, int port, const QString &user);

    // Each takes the lock itself.
    void setVolume(const QString &user, int volume);
    bool isRegistered(const QString &host, int port, const QString &user);
    bool isTalking(const QString &host, int port, const QString &user);

    void startTalk(const QString &host, int port, const QString &user, const std::shared_ptr<KelClient> &session);
    void stopTalk(const QString &host, int port, const QString &user, const std::shared_ptr<KelClient> &session);
    void startListen(const QString &host, int port, const QString &user, const std::shared_ptr<KelClient> &session);
    void stopListen(const QString &host, int port, const QString &user, const std::shared_ptr<KelClient> &session);

    QString localIp() const { return m_localIp; }

    // Reports for callers and tests; each takes the lock itself.
    bool account(const QString &host, int port, const QString &user, Account *out);
    int accountCount();

private:
    explicit PASipManager(const QString &localIp);
    ~PASipManager() override;

    // Index of the matching account, -1 when none; the caller holds the lock.
    int find(const QString &host, int port, const QString &user) const;

    QString m_localIp;
    // Guards m_accounts on its own: some callers hold SipManager::lock (the
    // registration), others call without it, and the lock is not recursive.
    // Always taken after SipManager::lock, never before it.
    std::mutex m_accountsLock;
    QVector<Account> m_accounts;
};
