#pragma once

#include "Conference.h"
#include "GatewayState.h"
#include "StateDb.h"
#include "SwitchConfig.h"
#include "Leg.h"
#include "MediaCodec.h"
#include "Registration.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

class SwitchSip;

#include <memory>

class SwitchMedia;

// The switch's whole live state, owned by the main thread: configuration,
// gateways, registrations, call legs and conferences. Every change that the
// state files show is written before the call that made it returns.
class SwitchEngine : public QObject
{
    Q_OBJECT
public:
    SwitchEngine(const QString &packageFolder, StateDb *db, QObject *parent = nullptr);
    ~SwitchEngine() override;

    QString packageFolder() const { return m_folder; }

    // Start of a run: load the configuration, restore unexpired bindings,
    // clear stale call rows.
    bool start(const QMap<QString, QString> &baseVars, QString *error);
    // Opens the SIP profiles and starts the gateways. When the ports cannot
    // be bound and `required` is false, the switch runs on without SIP
    // (simulated endpoints only) and says so in its log.
    bool startSip(bool required, QString *error);
    bool sipRunning() const { return m_sip != nullptr; }
    SwitchSip *sip() const { return m_sip.get(); }
    // End of a run: every leg ended and its row removed.
    void stop();

    // Reloads the XML tree. With a profile, that profile's new gateways start too.
    bool reload(const QString &rescanProfile, QString *error);
    int killGateways(const QString &profile);
    QString gatewaysXml() const;
    QString conferenceListText() const;
    const SwitchConfig &config() const { return m_config; }
    // RTP legs, mixing, files and paging; exists between start() and stop().
    SwitchMedia *media() const { return m_media.get(); }
    QString describeConfigJson() const;
    QString dumpJson() const;

    // Conference legs.
    bool dial(const QString &conferenceToken, const QString &dialString, const QString &cidNum,
              const QString &cidName, QString *uuid, QString *error);
    bool hangupAll(const QString &conference);
    bool killLeg(const QString &uuid);
    bool play(const QString &conference, const QString &file, QString *error);
    bool stopPlay(const QString &conference);
    bool playStatus(const QString &conference, QString *text) const;
    bool setFileVolume(const QString &conference, int level);
    bool hasConference(const QString &conference) const { return m_conferences.contains(conference); }

    // Registrations and legs injected by the test hooks; the same paths as
    // the SIP layer feeds, so the rows look the same.
    bool addRegistration(const Registration &reg);
    bool removeRegistration(const QString &user);
    QString addLeg(Leg leg);
    bool setLegState(const QString &uuidOrUser, const QString &state);
    bool setGatewayState(const QString &name, const QString &state);
    bool forcePlayStatus(const QString &conference, Conference::Forced forced);

    // The leg's call state ("RINGING", "ACTIVE"), empty when it is gone.
    QString legCallstate(const QString &uuid) const { return m_legs.value(uuid).callstate; }
    // A dialled leg was answered: it turns ACTIVE, and a caller waiting for
    // it as the far end of a bridge is answered too.
    void legAnswered(const QString &uuid);

    // Media of the legs: the codecs offered (in order), an RTP port for a
    // leg (-1 when none is free), audio flowing once both ends are known,
    // everything released when the leg ends.
    std::vector<MediaCodec> mediaCodecs() const;
    QString rtpIp() const;
    int mediaOpen(const QString &uuid);
    bool mediaStart(const QString &uuid, const MediaCodec &codec, const std::string &remoteIp, int remotePort);
    void mediaClose(const QString &uuid);

    // An inbound call through the dialplan of `profile`.
    bool inboundCall(const QString &from, const QString &dest, const QString &profile, const QString &sourceIp,
                     QString *uuid, QString *error);

    static QString conferenceKey(const QString &token);
    // The URI inside a Contact header value ("<sip:…>;params" → "sip:…").
    static QString contactUri(const QString &contact);

private:
    void startGateway(const GatewayConfig &cfg);
    void dropGateway(const QString &name);
    void removeLeg(const QString &uuid);
    // Places the far leg of a bridge to directory user `user`, as a device answers it.
    bool bridgeToUser(const QString &aLeg, const QString &user, QString *error);
    void refreshGatewayRegistrations();
    void joinConference(Leg &leg, const QString &token);
    void purgeExpired();
    QString newUuid() const;
    qint64 nowMs() const { return m_clock.elapsed(); }

    QString m_folder;
    StateDb *m_db;
    SwitchConfig m_config;
    QMap<QString, QString> m_baseVars;
    QMap<QString, GatewayState> m_gateways;
    QMap<QString, Registration> m_registrations;  // by sip_user
    QHash<QString, Leg> m_legs;                    // by uuid
    QMap<QString, Conference> m_conferences;
    std::unique_ptr<SwitchSip> m_sip;
    QTimer m_expiryTimer;
    QElapsedTimer m_clock;
    std::unique_ptr<SwitchMedia> m_media;
};
