#pragma once

#include "FSManagerObserver.h"
#include "KelServerObserver.h"
#include "PAPrayDay.h"
#include "RDHttpStreamServerObserver.h"
#include "RDDevice.h"
#include "RDGroup.h"
#include "RDSocketAddress.h"
#include "VelmarDB.h"

#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class KelClient;
class KelDiscovery;
class RDHttpBaseRequest;
class RDHttpConnection;
class RDHttpStreamServer;
class WSServer;
class TUTKServer;
class QMutex;
class RDCoreDevice;
class RDDeviceStatusWatchThread;
class VelmarAPI;
class PAPrayWatchThread;
class VelmarGroupCache;
class VelmarObserver;
class VelmarRunRecord;
class VelmarScheduleThread;
class VelmarServiceThread;

// The one object that joins the application database, the switch manager,
// the network services and the screens. It keeps database and switch in step
// for every device and group change, writes an event-log record for every
// start and stop of a group, tells its observers (the screens) of changes,
// and owns the long-lived services, which it (re)starts each time the switch
// manager reports the switch ready.
//
// Service (re)starts never run on the thread that reports the switch ready:
// that thread holds the switch manager's observer lock, and stopping a
// service joins threads that may be waiting for that very lock inside a group
// start or stop. The report only flags the restart; the service thread of
// this object carries it out with no lock of the switch manager held.
class Velmar : public FSManagerObserver, public RDHttpStreamServerObserver, public KelServerObserver
{
public:
    static bool createInstance();
    static Velmar *instance();
    static void destroyInstance();
    // Leaves the switch manager's observers, ends the restarts and stops the
    // services for good. Shut-down calls it before the main window and the
    // switch manager go; destroyInstance() does it too.
    void shutdown();

    // -- Observers ---------------------------------------------------------
    void addObserver(VelmarObserver *observer);
    void removeObserver(VelmarObserver *observer);
    int observerCount() const;
    // Tells every observer that the whole database was replaced.
    void notifyDataReloaded();
    // Runs `call` on every observer of a copy of the list, with the observer
    // lock held (so a removed observer is never called after removeObserver
    // has returned).
    void forEachObserver(const std::function<void(VelmarObserver *)> &call);

    // -- Services ----------------------------------------------------------
    // Stops whatever runs, then starts every service anew.
    bool startServices();
    void stopServices();
    // Whether the services run (started and not stopped since).
    bool areServicesRunning() const;
    // How many times the services were started; tests watch it for restarts.
    int servicesStartCount() const { return m_servicesStartCount.load(); }
    // The switch manager reports the switch ready (after every start of the
    // switch). Only flags the restart for the service thread.
    void onSwitchRestarted() override;

    // -- Switch manager notifications ----------------------------------------
    void onGroupStarted(int groupId, const QString &conference, const QString &startType,
                        const QString &from) override;
    void onGroupStopped(int groupId, const QString &conference, const QString &reason,
                        const QString &from) override;
    void onGroupPlayChanged(int groupId, const QString &conference, int playIndex, const QString &media) override;

    // -- Session servers: every message is a request to the JSON API --------
    void onSessionData(KelServer *server, std::shared_ptr<KelClient> session, const KelPacket &packet) override;

    // -- Settings of the network services ---------------------------------
    bool isApiEnabled() const { return m_apiEnabled.load(); }
    void setApiEnabled(bool enabled) { m_apiEnabled.store(enabled); }
    int httpPort() const { return m_httpPort.load(); }
    // Stores both values and starts the HTTP server on "0.0.0.0":port.
    // False (and no server) when it cannot listen; the other services keep
    // running then.
    bool startHttpServer(bool apiEnabled, int port);
    void stopHttpServer();
    bool isHttpServerRunning() const;
    // The running HTTP server, kept alive for as long as the caller holds it.
    std::shared_ptr<RDHttpStreamServer> httpStreamServer() const;
    std::shared_ptr<WSServer> webSocketServer() const;
    std::shared_ptr<TUTKServer> p2pServer() const;
    std::shared_ptr<KelDiscovery> discovery() const;
    // The JSON command API while the services run (null otherwise).
    std::shared_ptr<VelmarAPI> api() const;
    // Where discovery listens and where its answers go from the next
    // service start on (defaults: UDP 19980 on every address in, broadcast
    // to 19981 out). Tests keep both on loopback.
    void setDiscoveryAddresses(const RDSocketAddress &listen, const RDSocketAddress &reply);
    // The HTTP routes (VelmarHttpRoutes), on the connection's own thread.
    void handleRequest(RDHttpStreamServer *server, RDHttpConnection *connection, RDHttpBaseRequest *request) override;
    void handleActionRequest(RDHttpStreamServer *server, RDHttpConnection *connection, RDHttpBaseRequest *request);
    void handlePrayRequest(RDHttpStreamServer *server, RDHttpConnection *connection, RDHttpBaseRequest *request);
    // Stores the phone-app login; the session servers get the MD5 digest.
    void setAuth(int enable, const QString &user, const QString &password);
    // Keeps the WebSocket server when it already listens on `port` with
    // `enable` set; otherwise stops it and, when enabled with a valid port,
    // starts it again there.
    void setWebSocket(int enable, int port);
    // Stops the P2P server; when enabled and the connection code decodes to
    // a non-empty device uid, starts it again under that uid.
    void setKelCode(int enable, const QString &code);
    int authEnable() const;
    QString authUsername() const;
    // Lower-case hexadecimal MD5 digest of the password's UTF-8 bytes.
    static QString passwordDigest(const QString &password);
    // A text that identifies this installation (discovery and app answers).
    static QString installationUid();

    // -- Devices and groups: database first, switch only when it succeeded --
    int addDevice(const RDDevice &device);
    // Stores the devices in one transaction and tells the switch once. A
    // number stored already or repeated in the list is refused. Returns the
    // devices stored (with their ids); only those reach the switch.
    QVector<RDDevice> addDevices(const QVector<RDDevice> &devices);
    // Stores name and password; the stored number stays, whatever `device`
    // carries, and only that number's switch account is rewritten.
    bool updateDevice(const RDDevice &device);
    bool removeDevice(const RDDevice &device);
    bool removeDevices(const QVector<RDDevice> &devices);
    int addGroup(RDGroup &group);
    bool updateGroup(const RDGroup &oldGroup, RDGroup &group);
    bool removeGroup(const RDGroup &group);
    bool updateGroupVolume(const RDGroup &group);
    bool updateGroupBackground(const RDGroup &group);
    // Copies the chosen picture into the background folder under a name of
    // its own and stores the zone; the old picture goes only once that worked.
    bool storeGroupBackground(RDGroup &group, const QString &chosenPath);
    bool updateGroupSortIndex(const RDGroup &group);
    bool changeGroupMedia(const RDGroup &group, const QString &media, int position);

    // -- Reading -------------------------------------------------------------
    QVector<RDDevice> getDevices();
    QVector<RDGroup> getGroups();
    // From the zone cache: current with the database, run state live.
    RDGroup getGroupByConference(const QString &conference);
    RDGroup getGroupById(int id);
    // How many times the zone cache read the database (tests).
    int groupCacheReads() const;
    QVector<RDCoreDevice> getAudioDevices();
    static QString backgroundDir();
    static QString captureDir();
    static QString getPrayDir();
    // Puts the prayer folder elsewhere (tests); an empty path restores the
    // folder beside the executable.
    static void setPrayDir(const QString &dir);
    // The cache file of one month of prayer times for a location and its
    // calculation settings, in the prayer folder.
    static QString prayCacheFile(const QString &address, int method, int school, int latitudeMethod, int year,
                                 int month);
    // The day of that date from the month's cache file alone (never a web
    // request); an empty day when the address is empty or the month is not
    // cached.
    static PAPrayDay getPrayDay(const QString &address, int method, int school, int latitudeMethod, int year,
                                int month, int day);
    static QString sipNumber();
    QString internalIp() const;
    int internalPort() const;
    // "registered", "register fail", "registering", or empty when the switch
    // does not know the trunk.
    QString sipTrunkStatus(const QString &server, const QString &port, const QString &number);
    // Maps a gateway state of the switch to the trunk status text.
    static QString sipTrunkStatusText(const QString &state);

    // -- Group start and stop (on the calling thread) -------------------------
    void startGroup(const RDGroup &group);
    void startApiGroup(const RDGroup &group);
    void startScheduleGroup(const RDGroup &group);
    void startPrayGroup(const RDGroup &group, int prayIndex);
    void stopGroup(const RDGroup &group, const QString &stopType);
    void startListenGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session);
    void stopListenGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session);
    void startTalkGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session);
    void stopTalkGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session);

    // One event-log record for the group.
    static void writeGroupLog(const RDGroup &group, const QString &action, const QString &source,
                              const QString &type);

    // -- The main window's refresh, without linking the screens in ---------
    // The screens register a handler that refreshes the main window's group
    // detail (re-posting itself to the GUI thread); an empty function clears
    // it. reloadHome() may be called from any thread.
    static void setHomeReloadHandler(const std::function<void()> &handler);
    static void reloadHome();

    // The status watcher's entry: hands the list to every observer.
    void notifyDeviceStatusChanged(const QVector<RDDevice> &devices);

    // Restarts flagged but not yet carried out (tests).
    bool isRestartPending() const;

    // What the schedule and the prayer watcher already ran; kept across
    // service restarts.
    std::shared_ptr<VelmarRunRecord> runRecord() const { return m_runRecord; }

private:
    friend class VelmarServiceThread;

    Velmar();
    ~Velmar() override;

    Velmar(const Velmar &) = delete;
    Velmar &operator=(const Velmar &) = delete;

    // Stop and start under the service-change lock; the service thread calls it.
    void restartServices();
    // Each service's own start and stop, in the order of the sequence.
    void startApi();
    void stopApi();
    void startStatusWatch();
    void stopStatusWatch();
    void startDiscovery();
    void stopDiscovery();
    void startTimedThreads();
    void stopTimedThreads();
    void createSessionServers();
    void stopSessionServers();
    void applySessionSettings();
    void setWebSocketLocked(int enable, int port);
    void setKelCodeLocked(int enable, const QString &code);
    // Gives a session server the login held from the last setAuth.
    void applyHeldLogin(KelServer &server) const;
    void setAuthLocked(int enable, const QString &user, const QString &password);
    bool startHttpServerLocked(bool apiEnabled, int port);
    void stopHttpServerLocked();
    bool startServicesLocked();
    void stopServicesLocked();

    void startGroupAs(const RDGroup &group, int prayIndex, const QString &startType);
    void notifyGroup(int groupId, const std::function<void(RDGroup &)> &adjust,
                     void (VelmarObserver::*notify)(Velmar *, RDGroup),
                     void (VelmarAPI::*event)(KelServer *, const RDGroup &));

    VelmarDB m_database;
    // The zone lookups of requests and notices, without the database.
    std::unique_ptr<VelmarGroupCache> m_groups;
    QVector<VelmarObserver *> m_observers;
    QMutex *m_observerMutex;

    std::atomic<bool> m_apiEnabled{false};
    std::atomic<int> m_httpPort{0};
    mutable std::mutex m_authLock;
    int m_authEnable = 0;
    QString m_authUsername;
    QString m_authPassword;

    // Held for a whole stop or start of the services, so that a restart and
    // the settings screen never change them at the same time.
    std::mutex m_serviceChangeLock;
    // Guards the service pointers for their readers; held only to copy or
    // swap a pointer.
    mutable std::mutex m_serviceLock;
    std::shared_ptr<VelmarAPI> m_api;
    RDDeviceStatusWatchThread *m_statusWatchThread = nullptr;
    std::shared_ptr<VelmarRunRecord> m_runRecord;
    VelmarScheduleThread *m_scheduleThread = nullptr;
    PAPrayWatchThread *m_prayThread = nullptr;
    std::shared_ptr<KelDiscovery> m_discovery;
    RDSocketAddress m_discoveryListen{"0.0.0.0", 19980};
    RDSocketAddress m_discoveryReply{"255.255.255.255", 19981};
    std::shared_ptr<WSServer> m_wsServer;
    std::shared_ptr<TUTKServer> m_p2pServer;
    // Where the P2P server finds the rendezvous service; unset: the P2P
    // library's own default.
    RDSocketAddress m_p2pRendezvous;
    bool m_p2pRendezvousSet = false;
    std::shared_ptr<RDHttpStreamServer> m_httpServer;
    bool m_servicesRunning = false;
    std::atomic<int> m_servicesStartCount{0};

    VelmarServiceThread *m_serviceThread = nullptr;
};
