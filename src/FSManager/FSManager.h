#pragma once

#include "FSMSG.h"
#include "RDGroupStatus.h"
#include "RDMessageQueue.h"

#include <QMap>
#include <QString>
#include <QVector>

#include <atomic>
#include <memory>
#include <mutex>

class FSChannelsManager;
class FSClient;
class FSGroupConferences;
class KelClient;
class FSManagerObserver;
class FSManagerThread;
class FSSipRegistrationsManager;
struct FSGateway;
struct RDDevice;
struct RDGroup;

// The process-wide owner of the local switch: its folder and network
// settings, its configuration files (kept in step with the stored devices and
// groups), the switch process itself (run and supervised on the console
// thread) and the supervision thread that makes one pass every 500 ms once
// the switch answers.
//
// Lock order: conference lock, then the SIP manager's lock. The observer
// lock is never taken with the conference lock held. The status lock is never held together with the conference
// lock. The settings lock is a leaf: nothing else is taken while it is held.
class FSManager : public RDMessageQueueObserver<FSMSG>
{
public:
    static FSManager *createInstance();
    static FSManager *instance();
    static void destroyInstance();

    // Executable names inside the switch folder.
    static const char *const kSwitchProgram;
    static const char *const kConsoleProgram;

    // -- Settings ----------------------------------------------------------
    void setDirectory(const QString &directory);
    QString directory() const;
    // Rewrites both call scripts when the switch folder is known.
    void setHttpPort(int port);
    int httpPort() const;
    void setNetwork(const QString &internalIp, const QString &internalNetmask, int internalPort, bool natEnabled,
                    const QString &externalIp, int externalPort, const QString &sipCodecs);
    void setRtpPortRange(int startPort, int endPort);
    bool isNetworkChanged(const QString &internalIp, const QString &internalNetmask, int internalPort,
                          bool natEnabled, const QString &externalIp, int externalPort, const QString &sipCodecs,
                          int rtpStartPort, int rtpEndPort) const;

    QString internalIp() const;
    QString internalNetmask() const;
    int internalPort() const;
    bool isNatEnabled() const;
    QString externalIp() const;
    int externalPort() const;
    QString sipCodecs() const;
    int rtpStartPort() const;
    int rtpEndPort() const;
    bool isReady() const { return m_ready.load(); }

    // Copies taken under the status lock.
    QMap<QString, QString> deviceStatus();
    QMap<QString, RDGroupStatus> groupStatus();

    // "opus,G722,foo" -> "OPUS,G722": known codecs only, in the order given.
    static QString normalizeCodecs(const QString &codecs);

    // -- Lifecycle ---------------------------------------------------------
    bool start();
    // Shuts the switch down and ends every thread of the manager.
    void stop();
    bool restart();

    void addObserver(FSManagerObserver *observer);
    void removeObserver(FSManagerObserver *observer);

    // -- Configuration sync: files are written now, the running switch is
    // told by the next supervision pass. -----------------------------------
    void addDevice(const RDDevice &device);
    bool addDevices(const QVector<RDDevice> &devices);
    void removeDevice(const RDDevice &device);
    bool removeDevices(const QVector<RDDevice> &devices);
    bool updateDevice(const RDDevice &oldDevice, const RDDevice &newDevice);
    void addGroup(const RDGroup &group);
    bool removeGroup(const RDGroup &group);
    bool updateGroup(const RDGroup &oldGroup, const RDGroup &newGroup);
    // Rewrites every stored device and group from the application database.
    void reloadConfiguration();

    QVector<FSGateway> getGateways();

    // Queues a conference stop for the message-queue thread; the supervision
    // pass uses it because it holds the conference lock that a stop takes.
    // A non-zero `serial` names the run the stop is for (see stopConference).
    void postStopConference(const QString &conference, const QString &reason, quint64 serial = 0);
    // Ends a running conference: "hup all", observers told, record dropped.
    // With a non-zero `serial` only that run ends: a conference stopped and
    // started again since the stop was asked for goes on.
    void stopConference(const QString &conference, const QString &reason, quint64 serial = 0);

    // -- Group operations (FSGroupConferences), callable on any thread ------
    // False when nothing started (refused, or already running).
    bool startGroup(const RDGroup &group, const QString &internalCaller, QString externalCaller, int prayIndex,
                    const QString &startType, const QString &from);
    void stopGroup(const RDGroup &group, const QString &stopType, const QString &from);
    void startTalkGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session);
    void stopTalkGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session);
    void startListenGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session);
    void stopListenGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session);
    bool changeGroupMedia(const RDGroup &group, int position);
    bool updateGroupVolume(const RDGroup &group);
    FSGroupConferences *conferences() const { return m_conferences; }

    // -- Used by the manager's own threads ---------------------------------
    FSClient *client() const { return m_client; }
    // One supervision pass; the supervision thread calls it every 500 ms.
    // Returns the number of console commands it sent.
    int supervisionPass(FSChannelsManager *channels, FSSipRegistrationsManager *registrations);
    // Applies the pending configuration: external profile, internal profile,
    // then "reloadxml". Returns the number of console commands it sent.
    int applyPendingConfiguration();
    // Writes every device and group from the database as the switch starts.
    void writeStartConfiguration();
    void setReady(bool ready) { m_ready.store(ready); }
    void notifySwitchRestarted();

    bool isReloadPending() const { return m_reloadPending.load(); }
    bool isInternalRescanPending() const { return m_internalRescanPending.load(); }
    bool isExternalRescanPending() const { return m_externalRescanPending.load(); }

    // Waits of the switch supervision, shortened by tests: the grace time
    // after "shutdown" before a forced end (20 s), and the wait after a
    // switch ended with a non-zero code (5 s).
    void setSwitchTimingForTesting(int shutdownGraceMs, int failureWaitMs);
    int shutdownGraceMs() const { return m_shutdownGraceMs.load(); }
    int failureWaitMs() const { return m_failureWaitMs.load(); }

protected:
    void onQueueMessage(RDMessageQueue<FSMSG> *queue, qint32 type, FSMSG *payload) override;

private:
    FSManager();
    virtual ~FSManager();

    FSManager(const FSManager &) = delete;
    FSManager &operator=(const FSManager &) = delete;

    void writeDevice(const QString &dir, const RDDevice &device);
    void writeGroupRemoval(const QString &dir, const RDGroup &group);
    void writeGroupAddition(const QString &dir, const RDGroup &group);
    void writeAllFromDatabase();
    void writeScripts(const QString &dir, int port);
    // Sends a command and tells whether its answer begins with `success`.
    bool command(const QString &text, const char *success);

    mutable std::mutex m_settingsLock;
    QString m_directory;
    QString m_internalIp;
    QString m_internalNetmask;
    int m_internalPort = 0;
    bool m_natEnabled = false;
    QString m_externalIp;
    int m_externalPort = 0;
    QString m_sipCodecs;
    int m_rtpStartPort = 0;
    int m_rtpEndPort = 0;
    int m_httpPort = 0;

    FSClient *m_client;
    // The conference records, the conference lock, the last-dial times and
    // the two status maps (with the status lock) live here.
    FSGroupConferences *m_conferences;
    std::atomic<bool> m_ready{false};

    std::mutex m_observerLock;
    QVector<FSManagerObserver *> m_observers;

    std::mutex m_queueLock; // guards m_queue, a leaf lock
    RDMessageQueue<FSMSG> *m_queue = nullptr;

    // Set by every change, taken (test-and-clear) by the supervision pass
    // before the command goes out and set again when it fails, so a change
    // made while a reload runs is never lost.
    std::atomic<bool> m_reloadPending{false};
    std::atomic<bool> m_internalRescanPending{false};
    std::atomic<bool> m_externalRescanPending{false};

    FSManagerThread *m_managerThread = nullptr;

    std::atomic<int> m_shutdownGraceMs{20000};
    std::atomic<int> m_failureWaitMs{5000};
};
