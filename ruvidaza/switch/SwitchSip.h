#pragma once

#include "MediaCodec.h"
#include "SipProfile.h"
#include "SwitchConfig.h"
#include "SwitchRegistrar.h"

#include <QMap>
#include <QObject>
#include <QTimer>
#include <map>
#include <memory>

class SwitchEngine;
struct osip_message;

// The switch's SIP side: the internal and external profiles, the registrar,
// the gateways' upstream registrations and the signalling of every call leg.
// Lives on the engine's thread; the engine keeps the legs, rows and
// conferences and tells this class what to dial and what to end.
class SwitchSip : public QObject
{
    Q_OBJECT
public:
    SwitchSip(SwitchEngine *engine, const QByteArray &secret, QObject *parent = nullptr);
    ~SwitchSip() override;

    // Binds both profiles to the configured address and ports.
    bool start(QString *error);
    // Ends every call (BYE/CANCEL), unregisters the gateways and closes.
    void stop();
    bool isRunning() const { return m_internal != nullptr; }
    // The directory or realm may have changed.
    void configChanged();

    // Gateways: registers upstream when the configuration says so; the
    // state goes to the engine (TRYING, REGED, FAIL_WAIT, NOREG).
    void startGateway(const GatewayConfig &cfg);
    // Unregisters and forgets it.
    void dropGateway(const QString &name);

    // Places the INVITE of leg `uuid` to `requestUri`, sent to destIp:destPort,
    // from cidNum/cidName on `profile`. With `authUser` the challenge of the
    // far end is answered with that user's password. False when nothing could
    // be sent (the caller ends the leg).
    bool invite(const QString &uuid, const QString &profile, const QString &requestUri, const QString &destIp,
                int destPort, const QString &cidNum, const QString &cidName, const QString &authUser = QString(),
                const QString &authPassword = QString());
    // Ends the signalling of a leg: CANCEL while ringing, BYE once answered,
    // 486 for an inbound call not answered yet. Unknown uuids are ignored.
    void hangup(const QString &uuid);
    // Answers an inbound leg that waited for a bridged callee.
    void answerInbound(const QString &uuid);

    // How long an unanswered outgoing leg rings before it is cancelled.
    void setRingTimeoutMs(int ms) { m_ringTimeoutMs = ms; }
    // Seconds before a failed gateway registration is tried again.
    void setGatewayRetrySeconds(int s) { m_gatewayRetrySeconds = s; }

private:
    struct CallRef
    {
        SipProfile *profile = nullptr;
        int cid = 0;
        int did = 0;
        int tid = 0;           // inbound: the INVITE transaction
        bool inbound = false;
        bool answered = false;
        std::unique_ptr<QTimer> ringTimer;
        MediaCodec codec;
        std::string remoteIp;
        int remotePort = 0;
        int localPort = -1;
    };
    struct Gateway
    {
        GatewayConfig config;
        SipProfile *profile = nullptr;
        int rid = 0;
        int challenges = 0;    // 401/407 in a row
        int expires = 3600;
        std::unique_ptr<QTimer> timer;  // refresh or retry
    };

    void onEvent(SipProfile &profile, SipStackEvent &ev);
    void onRequest(SipProfile &profile, SipStackEvent &ev);
    void onRegister(SipProfile &profile, SipStackEvent &ev);
    void onInvite(SipProfile &profile, SipStackEvent &ev);
    void onRegistration(SipProfile &profile, SipStackEvent &ev, bool success);
    void onCallEnded(const SipProfile &profile, int cid, const QString &why);
    void sendGatewayRegister(Gateway &gw, int expires);
    void scheduleGateway(const QString &name, int seconds);
    bool admitted(const SipProfile &profile, const QString &sourceIp) const;
    // The directory's passwords, as the registrar asks for them.
    SwitchRegistrar::PasswordLookup directory() const;
    QString uuidOf(const SipProfile &profile, int cid) const;
    SipProfile *profileNamed(const QString &name) const;
    // Answers a request outside dialogs, whether the stack keeps a
    // transaction for it (tid > 0) or not (tid 0).
    void answer(SipProfile &profile, const SipStackEvent &ev, int status, const std::string &header = std::string(),
                const std::string &value = std::string());
    osip_message *buildAnswer(SipProfile &profile, const SipStackEvent &ev, int status);
    void sendAnswer(SipProfile &profile, const SipStackEvent &ev, int status, osip_message *m);

    SwitchEngine *m_engine;
    SwitchRegistrar m_registrar;
    std::unique_ptr<SipProfile> m_internal;
    std::unique_ptr<SipProfile> m_external;
    std::map<QString, CallRef> m_calls;  // by leg uuid
    std::map<QString, Gateway> m_gateways;
    int m_ringTimeoutMs = 60000;
    int m_gatewayRetrySeconds = 30;
};
