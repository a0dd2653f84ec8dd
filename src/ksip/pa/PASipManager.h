#pragma once

#include "RDCoreDevice.h"
#include "SipChannelObserver.h"
#include "SipManager.h"

#include <QString>

#include <memory>

class KelClient;
class PASipChannel;
class RDHttpStreamServer;

// The program's one SIP user agent: it signs zone accounts in on the switch,
// answers every call to them at once and gives each running call a
// PASipDevice that plays the zone's source into it and publishes what it
// receives. It observes every account it makes.
//
// Locks: manager lock, then a channel's lock, then a call's device guard,
// then the device's own locks.
class PASipManager : public SipManager, public SipChannelObserver
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
        RDCoreDevice soundSource;
        QString publishPath;
        int volume = 0;
        int state = 0;
        bool registered = false;
        std::shared_ptr<KelClient> talkSession;
        int calls = 0;
    };

    // Makes the agent: SIP over UDP on the first port from `sipPort` that is
    // free for UDP and TCP, RTP from `rtpBase`, sockets bound to
    // `bindAddress` (every address when empty). True when the stack runs;
    // on false the agent exists without a stack and makes no account.
    static bool createInstance(const QString &localIp, int sipPort = 10020, int rtpBase = kDefaultRtpBase,
                               const QString &bindAddress = QString());
    static PASipManager *instance();
    // Waits until no `Use` holds the agent any more, releases and deletes it.
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

    // The HTTP server that calls publish their received audio on (null:
    // none). Calls take the one set when their media opens.
    static void setHttpStreamServer(const std::shared_ptr<RDHttpStreamServer> &server);
    static std::shared_ptr<RDHttpStreamServer> httpStreamServer();

    SipChannel *createChannel(const char *host, int port, const char *user) override;

    // The caller holds the manager lock for these three.
    PASipChannel *findChannel(const QString &host, int port, const QString &user) const;
    // Signs an account in (the user is also the authentication id, expiry
    // 360 s) and observes it. True when an account exists afterwards.
    bool registerAccount(const QString &host, int port, const QString &user, const QString &password);
    // Signs the account in again when it exists, else makes it; then stores
    // its sources and volume (clamped to 0..200). Null when no account can
    // be made.
    PASipChannel *registerSourceAccount(const QString &host, int port, const QString &user, const QString &password,
                                        const QString &sourceUrl, const RDCoreDevice &soundDevice,
                                        const std::shared_ptr<KelClient> &session, const QString &publishPath,
                                        int volume);

    // These take the manager lock (and the channel lock) themselves; the
    // caller must not hold either. Unknown accounts are ignored / false.
    bool unregisterAccount(const QString &host, int port, const QString &user);
    void setVolume(const QString &user, int volume);
    bool isRegistered(const QString &host, int port, const QString &user);
    bool isTalking(const QString &host, int port, const QString &user);
    void startTalk(const QString &host, int port, const QString &user, const std::shared_ptr<KelClient> &session);
    void stopTalk(const QString &host, int port, const QString &user, const std::shared_ptr<KelClient> &session);
    void startListen(const QString &host, int port, const QString &user, const std::shared_ptr<KelClient> &session);
    void stopListen(const QString &host, int port, const QString &user, const std::shared_ptr<KelClient> &session);

    QString localIpText() const { return QString::fromUtf8(localIp()); }

    // Reports for callers and tests; each takes the lock itself. Accounts
    // on their way out (unregistering) are not counted.
    bool account(const QString &host, int port, const QString &user, Account *out);
    int accountCount();

    // Observer of every account (event thread, manager lock held).
    void onCallInvite(SipChannel *channel, SipCall *call, SipPayloadList *audio, SipPayloadList *video) override;
    void onCallStarted(SipChannel *channel, SipCall *call) override;
    void onCallStopped(SipChannel *channel, SipCall *call) override;

private:
    PASipManager(int rtpBase);
    ~PASipManager() override;
};
