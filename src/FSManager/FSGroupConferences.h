#pragma once

#include "FSConference.h"
#include "FSConferenceHost.h"
#include "FSConferencePass.h"
#include "FSSwitchState.h"
#include "RDGroupStatus.h"

#include <QMap>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>
#include <mutex>

class KelClient;
class RDCoreDevice;
struct RDGroup;

// The running groups of the switch manager: one conference record per
// group, the group operations (start, stop, talk, listen, media, volume), the
// conference part of every supervision pass, and the device and group run
// states the pass derives from the switch's tables.
//
// Lock order: conference lock, then the SIP manager's lock (only around the
// account registrations), then whatever the environment's notifications
// take (the manager's observer lock). The status lock is never held together
// with the conference lock.
class FSGroupConferences : private FSConferenceHost
{
public:
    // What the manager lends: its console, its message queue, its observers
    // and the address its SIP accounts sign in on.
    struct Environment
    {
        std::function<QString(const QString &command)> execute;
        std::function<void(const QString &conference, const QString &reason)> postStopConference;
        std::function<void(int groupId, const QString &conference, const QString &startType, const QString &from)>
            groupStarted;
        std::function<void(int groupId, const QString &conference, const QString &reason, const QString &from)>
            groupStopped;
        std::function<void(int groupId, const QString &conference, int index, const QString &item)> playChanged;
        std::function<QString()> internalIp;
        std::function<int()> internalPort;
    };

    explicit FSGroupConferences(Environment environment);
    ~FSGroupConferences() override;

    FSGroupConferences(const FSGroupConferences &) = delete;
    FSGroupConferences &operator=(const FSGroupConferences &) = delete;

    // -- Group operations, callable on any thread --------------------------
    // False when nothing started: the group was refused, or it already runs
    // and this start is not a call breaking into it.
    bool startGroup(const RDGroup &group, const QString &internalCaller, QString externalCaller, int prayIndex,
                    const QString &startType, const QString &from);
    void stopGroup(const RDGroup &group, const QString &stopType, const QString &from);
    void stopConference(const QString &conference, const QString &reason);
    void startTalkGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session);
    void stopTalkGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session);
    void startListenGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session);
    void stopListenGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session);
    bool changeGroupMedia(const RDGroup &group, int position);
    bool updateGroupVolume(const RDGroup &group);

    // -- Supervision pass, on the manager thread ---------------------------
    // Device status from the rows; an unreadable state keeps the last map.
    void updateDeviceStatus(const FSSwitchState &state);
    // Group run state from a copy of the records.
    void updateGroupStatus(double now);
    // The conference steps of the pass, under the conference lock. Returns
    // the number of console commands they sent.
    int supervise(const FSSwitchState &state, double now);

    // Copies.
    QMap<QString, QString> deviceStatus();
    QMap<QString, RDGroupStatus> groupStatus();
    QVector<FSConference> conferences();

    // A record for `group` as a start of type `startType` would make it.
    static FSConference buildConference(const RDGroup &group, int startType, int prayIndex);

private:
    // FSConferenceHost, for the pass.
    QString execute(const QString &command) override;
    void postStopConference(const QString &conference, const QString &reason) override;
    void notifyPlayChanged(int groupId, const QString &conference, int index, const QString &item) override;
    void setSipVolume(const QString &user, int level) override;
    bool isAccountRegistered(const QString &user) override;
    bool isAccountTalking(const QString &user) override;

    int findGroup(int groupId) const; // conference lock held
    void registerAccounts(const RDGroup &group, const FSConference &record, const QString &inputSourceUrl,
                          const RDCoreDevice &device, const std::shared_ptr<KelClient> &session);
    void markStarted(const QString &conference, const QString &startType);
    void removeStatus(const QString &conference);

    Environment m_env;

    std::mutex m_conferenceLock;
    QVector<FSConference> m_records; // sorted by priority
    FSConferencePass m_pass;         // owns the last-dial times
    int m_commandsSent = 0;          // console commands, under the conference lock

    std::mutex m_statusLock;
    QMap<QString, QString> m_deviceStatus;
    QMap<QString, RDGroupStatus> m_groupStatus;
    // Counts the starts and stops written into m_groupStatus, under the
    // status lock: a pass whose copy of the records predates one of them
    // drops its rebuilt map instead of undoing the change.
    quint64 m_groupStatusChanges = 0;
};
