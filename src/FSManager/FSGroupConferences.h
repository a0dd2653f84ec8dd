#pragma once

#include "FSConference.h"
#include "FSConferenceHost.h"
#include "FSConferencePass.h"
#include "FSNoticeQueue.h"
#include "FSRunningGroups.h"
#include "FSSipAccountQueue.h"
#include "FSSwitchState.h"
#include "RDGroupStatus.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QString>
#include <QVector>

#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class KelClient;
class PASipManager;
class RDCoreDevice;
struct RDGroup;

// The running groups of the switch manager: one conference record per
// group, the group operations (start, stop, talk, listen, media, volume), the
// conference part of every supervision pass, and the device and group run
// states the pass derives from the switch's tables.
//
// Console commands never run under the conference lock, so a start or stop
// never waits on a console process. A stop removes its record and leaves the
// hang-up to the command thread; the supervision pass works on a copy of the
// records and writes its changes back. The console lock orders the two: the
// hang-ups queued before a pass reach the switch before it, and a pass never
// sends a command for a conference that stopped (or started again) since it
// took its copy, so a late hang-up cannot end a restarted group's conference.
//
// The zones' SIP accounts change on the account queue's thread
// (FSSipAccountQueue): a start or stop posts the change under the conference
// lock, so the changes keep the order of the record changes, and never waits
// for the SIP agent itself.
//
// Lock order: console lock, then conference lock. The queue locks are taken
// last; the status lock is never held together with the conference lock. Start and
// stop notices are queued under the conference lock and delivered after it
// is released (FSNoticeQueue), so what the observers do (read the zone, tell
// the apps) never holds up another group's start or stop.
class FSGroupConferences : private FSConferenceHost
{
public:
    // A stop's hang-up settles this long before it runs: a zone started
    // again meanwhile keeps its calls, and stops in quick turns cost one
    // console command.
    static constexpr std::chrono::milliseconds kHangupSettle{50};

    // What the manager lends: its console, its message queue, its observers
    // and the address its SIP accounts sign in on.
    struct Environment
    {
        std::function<QString(const QString &command)> execute;
        // `serial` names the run the pass saw; stopConference takes it back.
        std::function<void(const QString &conference, const QString &reason, quint64 serial)> postStopConference;
        std::function<void(int groupId, const QString &conference, const QString &startType, const QString &from)>
            groupStarted;
        std::function<void(int groupId, const QString &conference, const QString &reason, const QString &from)>
            groupStopped;
        std::function<void(int groupId, const QString &conference, int index, const QString &item)> playChanged;
        std::function<QString()> internalIp;
        std::function<int()> internalPort;
        std::chrono::milliseconds hangupSettle = kHangupSettle;
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
    // With a non-zero `serial`, only the run with that serial ends: a stop
    // the pass asked for never ends a run that started after it looked.
    void stopConference(const QString &conference, const QString &reason, quint64 serial = 0);
    // The switch ended (it is started again): what it played ended with it,
    // so every running group plays its current item again once its devices
    // are back in the new switch's conference, rather than taking the new
    // switch's "not playing" for the end of that item.
    void switchEnded();
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
    // The conference steps of the pass, on a copy of the records. Returns
    // the number of console commands they sent.
    int supervise(const FSSwitchState &state, double now);

    // The most console commands a pass runs side by side (its dials).
    static constexpr int kConcurrentCommands = 8;

    // Waits until every queued hang-up has reached the console and every
    // queued account change the SIP agent; false when `timeoutMs` ran out
    // first.
    bool waitForCommands(int timeoutMs);

    // Copies.
    QMap<QString, QString> deviceStatus();
    QMap<QString, RDGroupStatus> groupStatus();
    QVector<FSConference> conferences();

    // A record for `group` as a start of type `startType` would make it.
    static FSConference buildConference(const RDGroup &group, int startType, int prayIndex);

private:
    // FSConferenceHost, for the pass.
    QString execute(const QString &command) override;
    void executeAll(const QStringList &commands) override;
    void postStopConference(const QString &conference, const QString &reason) override;
    void notifyPlayChanged(int groupId, const QString &conference, int index, const QString &item) override;
    void setSipVolume(const QString &user, int level) override;
    bool isAccountRegistered(const QString &user) override;
    bool isAccountTalking(const QString &user) override;

    int findGroup(int groupId) const; // conference lock held
    // The change that signs `group`'s two accounts in for `record`.
    FSSipAccountQueue::Change signIn(const RDGroup &group, const FSConference &record, const QString &inputSourceUrl,
                                     const RDCoreDevice &device, const std::shared_ptr<KelClient> &session);
    // Queues `change` for the SIP agent, with the switch's internal address
    // as it is now; a change finding no agent does nothing.
    void postSipChange(std::function<void(PASipManager *sip, const QString &ip, int port)> change,
                       const QString &accounts, FSSipAccountQueue::Kind kind = FSSipAccountQueue::Kind::Other);
    // Conference lock held: queue the observers' notice of a record made or
    // removed; deliverNotices, after the lock is released, sends it.
    quint64 postStarted(const FSConference &record, const QString &startType, const QString &from);
    quint64 postStopped(const FSConference &record, const QString &reason, const QString &from);
    void deliverNotices(quint64 notice); // no lock held; 0: nothing queued
    void markStarted(const QString &conference, const QString &startType);
    void removeStatus(const QString &conference);
    // Conference lock held: takes `record` out and queues its hang-up.
    void removeRecord(int index);
    bool isHeld(const QString &conference); // takes the conference lock
    void queueHangup(const QString &conference);
    // Console lock held: runs the hang-ups whose settle time is over (all of
    // them once the object is going).
    void runQueuedHangups();
    QSet<QString> settlingHangups();
    void commandThread();
    void mergePassResult(const QVector<FSConference> &before, const QVector<FSConference> &after);

    Environment m_env;

    std::mutex m_consoleLock;
    FSConferencePass m_pass;        // owns the last-dial times, under the console lock
    std::atomic<int> m_commandsSent{0}; // the pass's console commands; its dials count from several threads
    QHash<QString, quint64> m_passSerials; // the pass's copy: conference -> serial

    std::mutex m_conferenceLock;
    QVector<FSConference> m_records; // sorted by priority
    FSRunningGroups m_running;       // the records' groups, changed under the conference lock
    quint64 m_lastSerial = 0;
    QStringList m_dialTimesToClear;  // numbers and legs, for the next pass

    std::mutex m_queueLock;
    std::condition_variable m_queueChanged;
    struct QueuedHangup
    {
        QString conference;
        std::chrono::steady_clock::time_point posted;
    };
    std::deque<QueuedHangup> m_hangups; // oldest first
    int m_hangupsRunning = 0;
    bool m_quit = false;
    std::thread m_commandThread;

    // Start and stop notices, in the order of the record changes.
    FSNoticeQueue m_notices;

    // Account changes, in the order of the record changes; drained before
    // the members above go.
    FSSipAccountQueue m_sipAccounts;

    std::mutex m_statusLock;
    QMap<QString, QString> m_deviceStatus;
    QMap<QString, RDGroupStatus> m_groupStatus;
    // Counts the starts and stops written into m_groupStatus, under the
    // status lock: a pass whose copy of the records predates one of them
    // drops its rebuilt map instead of undoing the change.
    quint64 m_groupStatusChanges = 0;
};
