#include "Velmar.h"
#include "VelmarBackgroundStore.h"

#include "PASipManager.h"

#include "FSGateway.h"
#include "FSConfigWriter.h"
#include "FSManager.h"
#include "KelCode.h"
#include "KelDiscovery.h"
#include "RDConfigure.h"
#include "RDHttpStreamServer.h"
#include "TUTKServer.h"
#include "WSServer.h"
#include "PALogDB.h"
#include "PALogRecord.h"
#include "PAPrayCalendar.h"
#include "PAPrayWatchThread.h"
#include "RDCoreAudio.h"
#include "RDCoreDevice.h"
#include "RDDeviceStatusWatchThread.h"
#include "RDLog.h"
#include "RDUtils.h"
#include "VelmarAPI.h"
#include "VelmarAPIVelmarTarget.h"
#include "VelmarDBGuard.h"
#include "VelmarGroupCache.h"
#include "VelmarHttpRoutes.h"
#include "VelmarObserver.h"
#include "VelmarRunRecord.h"
#include "VelmarScheduleThread.h"
#include "VelmarServiceThread.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QSysInfo>

#include <algorithm>

namespace {

std::atomic<Velmar *> g_instance{nullptr};

std::mutex g_homeReloadLock;
std::function<void()> g_homeReload;

const char *const kFrom = "Velmar";
const int kNoPrayer = 9;

// The prayer folder when not beside the executable (tests).
std::mutex g_prayDirLock;
QString g_prayDir;

QString appFolder(const char *name)
{
    const QString dir = QStringLiteral("%1/%2").arg(QCoreApplication::applicationDirPath(), QLatin1String(name));
    makeDir(dir);
    return dir;
}

} // namespace

// -- Singleton -------------------------------------------------------------

namespace {

// "host:port" from the environment, for installations (and test runs) that
// must keep LAN discovery off the real network.
bool addressFromEnvironment(const char *name, RDSocketAddress &address)
{
    const QString value = qEnvironmentVariable(name);
    const int colon = value.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    bool ok = false;
    const int port = value.mid(colon + 1).toInt(&ok);
    if (!ok || port < 0 || port > 65535)
        return false;
    address = RDSocketAddress(value.left(colon).toStdString(), port);
    return true;
}

} // namespace

Velmar::Velmar()
    : m_database(true)
    , m_groups(std::make_unique<VelmarGroupCache>(&m_database))
    , m_observerMutex(new QMutex)
    , m_runRecord(std::make_shared<VelmarRunRecord>())
{
    VelmarDB::registerDB(&m_database);
    addressFromEnvironment("VELMAR_DISCOVERY_LISTEN", m_discoveryListen);
    addressFromEnvironment("VELMAR_DISCOVERY_REPLY", m_discoveryReply);
    m_p2pRendezvousSet = addressFromEnvironment("VELMAR_P2P_RENDEZVOUS", m_p2pRendezvous);
}

Velmar::~Velmar()
{
    delete m_observerMutex;
    m_observerMutex = nullptr;
    VelmarDB::unregisterDB(&m_database);
    m_observers.clear();
    m_database.close();
}

bool Velmar::createInstance()
{
    if (g_instance.load())
        return true;
    Velmar *velmar = new Velmar;
    g_instance.store(velmar);
    velmar->m_serviceThread = new VelmarServiceThread(velmar);
    velmar->m_serviceThread->start();
    VelmarDB::setDataReloadedHandler([] {
        if (Velmar *v = Velmar::instance())
            v->notifyDataReloaded();
    });
    if (FSManager *manager = FSManager::instance())
        manager->addObserver(velmar);
    return true;
}

Velmar *Velmar::instance()
{
    return g_instance.load();
}

void Velmar::shutdown()
{
    // Once removed, no report of the switch manager reaches this object: the
    // manager calls its observers under the lock that removal takes.
    if (FSManager *manager = FSManager::instance())
        manager->removeObserver(this);
    VelmarDB::setDataReloadedHandler(VelmarDB::Notification());
    // A restart in progress finishes before the services stop for good.
    if (m_serviceThread) {
        m_serviceThread->stop();
        m_serviceThread->wait();
        delete m_serviceThread;
        m_serviceThread = nullptr;
    }
    stopServices();
    // The records of everything done up to here are in the file.
    PALogDB::flushLog();
}

void Velmar::destroyInstance()
{
    Velmar *velmar = g_instance.load();
    if (!velmar)
        return;
    velmar->shutdown();
    g_instance.store(nullptr);
    delete velmar;
}

// -- Observers ---------------------------------------------------------------

void Velmar::addObserver(VelmarObserver *observer)
{
    QMutexLocker locker(m_observerMutex);
    m_observers.append(observer);
}

void Velmar::removeObserver(VelmarObserver *observer)
{
    QMutexLocker locker(m_observerMutex);
    const int index = m_observers.indexOf(observer);
    if (index >= 0)
        m_observers.remove(index);
}

int Velmar::observerCount() const
{
    QMutexLocker locker(m_observerMutex);
    return m_observers.size();
}

void Velmar::forEachObserver(const std::function<void(VelmarObserver *)> &call)
{
    QMutexLocker locker(m_observerMutex);
    const QVector<VelmarObserver *> observers = m_observers;
    for (VelmarObserver *observer : observers)
        call(observer);
}

void Velmar::notifyDataReloaded()
{
    forEachObserver([this](VelmarObserver *observer) { observer->onNotifyDataChanged(this); });
}

void Velmar::notifyDeviceStatusChanged(const QVector<RDDevice> &devices)
{
    forEachObserver([this, &devices](VelmarObserver *observer) {
        observer->onNotifyDeviceStatusChanged(this, devices);
    });
    // The apps hear of it after the observer lock is released.
    if (const std::shared_ptr<VelmarAPI> jsonApi = api()) {
        if (const std::shared_ptr<WSServer> ws = webSocketServer())
            jsonApi->notifyDevicesStatusChanged(ws.get(), devices);
        if (const std::shared_ptr<TUTKServer> p2p = p2pServer())
            jsonApi->notifyDevicesStatusChanged(p2p.get(), devices);
    }
}

// -- Services -----------------------------------------------------------------

bool Velmar::startServices()
{
    std::lock_guard<std::mutex> change(m_serviceChangeLock);
    // Whatever runs stops first: a start over running services would leave
    // the old watcher thread running unowned and the old servers on their
    // ports.
    stopServicesLocked();
    return startServicesLocked();
}

void Velmar::stopServices()
{
    std::lock_guard<std::mutex> change(m_serviceChangeLock);
    stopServicesLocked();
}

bool Velmar::startServicesLocked()
{
    RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "start services\n");
    m_servicesStartCount.fetch_add(1);
    // The API first: the session servers started below hand it requests.
    startApi();
    startStatusWatch();
    startTimedThreads();
    startDiscovery();
    createSessionServers();
    applySessionSettings();
    {
        std::lock_guard<std::mutex> guard(m_serviceLock);
        m_servicesRunning = true;
    }
    bool apiEnabled;
    int port;
    {
        RDConfigure conf;
        apiEnabled = conf.httpApiEnable();
        port = conf.httpServerPort();
    }
    return startHttpServerLocked(apiEnabled, port);
}

void Velmar::stopServicesLocked()
{
    RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "stop services\n");
    // Request sources first, then the threads (joined), and only then the
    // objects those threads use: every user holds its own reference, so
    // nothing is freed under a caller.
    stopHttpServerLocked();
    stopDiscovery();
    stopSessionServers();
    stopTimedThreads();
    stopStatusWatch();
    stopApi();
    std::lock_guard<std::mutex> guard(m_serviceLock);
    m_servicesRunning = false;
}

bool Velmar::areServicesRunning() const
{
    std::lock_guard<std::mutex> guard(m_serviceLock);
    return m_servicesRunning;
}

void Velmar::restartServices()
{
    std::lock_guard<std::mutex> change(m_serviceChangeLock);
    stopServicesLocked();
    // A port that is taken costs the HTTP routes only: schedules, prayers
    // and app sessions go on.
    if (!startServicesLocked())
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "http server not started, other services run\n");
}

void Velmar::onSwitchRestarted()
{
    FSManager *manager = FSManager::instance();
    if (manager && !manager->isReady())
        return;
    if (m_serviceThread)
        m_serviceThread->requestRestart();
}

bool Velmar::isRestartPending() const
{
    return m_serviceThread && m_serviceThread->isRestartPending();
}

void Velmar::startTimedThreads()
{
    auto *schedule = new VelmarScheduleThread(m_runRecord);
    auto *pray = new PAPrayWatchThread(m_runRecord);
    schedule->start();
    pray->start();
    std::lock_guard<std::mutex> guard(m_serviceLock);
    m_scheduleThread = schedule;
    m_prayThread = pray;
}

void Velmar::stopTimedThreads()
{
    VelmarScheduleThread *schedule;
    PAPrayWatchThread *pray;
    {
        std::lock_guard<std::mutex> guard(m_serviceLock);
        schedule = m_scheduleThread;
        pray = m_prayThread;
        m_scheduleThread = nullptr;
        m_prayThread = nullptr;
    }
    // Both stop first (a pending timetable request ends at once), then both
    // are waited for.
    for (RDThread *thread : {static_cast<RDThread *>(schedule), static_cast<RDThread *>(pray)}) {
        if (thread)
            thread->stop();
    }
    for (RDThread *thread : {static_cast<RDThread *>(schedule), static_cast<RDThread *>(pray)}) {
        if (thread) {
            thread->wait();
            delete thread;
        }
    }
}

void Velmar::startApi()
{
    auto jsonApi = std::make_shared<VelmarAPI>(std::unique_ptr<VelmarAPITarget>(new VelmarAPIVelmarTarget(this)));
    std::lock_guard<std::mutex> guard(m_serviceLock);
    m_api = jsonApi;
}

void Velmar::stopApi()
{
    // A request still running on a session thread keeps its own reference.
    std::shared_ptr<VelmarAPI> jsonApi;
    std::lock_guard<std::mutex> guard(m_serviceLock);
    jsonApi.swap(m_api);
}

std::shared_ptr<VelmarAPI> Velmar::api() const
{
    std::lock_guard<std::mutex> guard(m_serviceLock);
    return m_api;
}

void Velmar::onSessionData(KelServer *server, std::shared_ptr<KelClient> session, const KelPacket &packet)
{
    const std::shared_ptr<VelmarAPI> jsonApi = api();
    if (!jsonApi)
        return;
    // An empty message (or one whose range lies outside its data) reads as
    // no bytes and gets the invalid-JSON answer like any other bad request.
    const uint8_t *bytes = packet.bytes();
    const QByteArray message = bytes ? QByteArray(reinterpret_cast<const char *>(bytes), packet.size()) : QByteArray();
    jsonApi->handleRequest(server, session, message);
}

void Velmar::setDiscoveryAddresses(const RDSocketAddress &listen, const RDSocketAddress &reply)
{
    std::lock_guard<std::mutex> guard(m_serviceLock);
    m_discoveryListen = listen;
    m_discoveryReply = reply;
}

void Velmar::startStatusWatch()
{
    RDDeviceStatusWatchThread *thread = new RDDeviceStatusWatchThread(this);
    thread->start();
    std::lock_guard<std::mutex> guard(m_serviceLock);
    m_statusWatchThread = thread;
}

void Velmar::stopStatusWatch()
{
    RDDeviceStatusWatchThread *thread;
    {
        std::lock_guard<std::mutex> guard(m_serviceLock);
        thread = m_statusWatchThread;
        m_statusWatchThread = nullptr;
    }
    if (!thread)
        return;
    thread->stop();
    thread->wait();
    delete thread;
}

void Velmar::startDiscovery()
{
    auto discovery = std::make_shared<KelDiscovery>();
    const QString ip = internalIp();
    discovery->setLocalIp(ip.toStdString());
    {
        std::lock_guard<std::mutex> guard(m_serviceLock);
        discovery->setListenAddress(m_discoveryListen);
        discovery->setReplyAddress(m_discoveryReply);
    }
    discovery->setInfoSource([ip] {
        RDConfigure conf;
        KelDiscoveryInfo info;
        info.wsEnable = conf.wsEnable();
        info.wsPort = conf.wsPort();
        info.kelcodeEnable = conf.kelCodeEnable();
        info.kelcode = conf.kelCode();
        info.internalIp = ip;
        info.uid = Velmar::installationUid();
        return info;
    });
    if (!discovery->start())
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "discovery port %d not available\n",
                    KelDiscovery::RequestPort);
    std::lock_guard<std::mutex> guard(m_serviceLock);
    m_discovery = discovery;
}

void Velmar::stopDiscovery()
{
    std::shared_ptr<KelDiscovery> discovery;
    {
        std::lock_guard<std::mutex> guard(m_serviceLock);
        discovery.swap(m_discovery);
    }
    if (discovery)
        discovery->stop();
}

void Velmar::createSessionServers()
{
    auto p2p = std::make_shared<TUTKServer>();
    p2p->addObserver(this);
    auto ws = std::make_shared<WSServer>();
    ws->addObserver(this);
    std::lock_guard<std::mutex> guard(m_serviceLock);
    if (m_p2pRendezvousSet)
        p2p->setRendezvous(m_p2pRendezvous);
    m_p2pServer = p2p;
    m_wsServer = ws;
}

void Velmar::stopSessionServers()
{
    std::shared_ptr<TUTKServer> p2p;
    std::shared_ptr<WSServer> ws;
    {
        std::lock_guard<std::mutex> guard(m_serviceLock);
        p2p.swap(m_p2pServer);
        ws.swap(m_wsServer);
    }
    if (p2p)
        p2p->stop();
    if (ws)
        ws->stop();
}

void Velmar::applySessionSettings()
{
    int wsEnable, wsPort, kelCodeEnable, authEnable;
    QString kelCode, user, password;
    {
        RDConfigure conf;
        wsEnable = conf.wsEnable();
        wsPort = conf.wsPort();
        kelCodeEnable = conf.kelCodeEnable();
        kelCode = conf.kelCode();
        authEnable = conf.authEnable();
        user = conf.authUsername();
        password = conf.authPassword();
    }
    setWebSocketLocked(wsEnable, wsPort);
    setKelCodeLocked(kelCodeEnable, kelCode);
    setAuthLocked(authEnable, user, password);
}

void Velmar::setWebSocket(int enable, int port)
{
    // A restart swaps and stops the servers under this lock; a settings
    // change outside it could start a server the restart has just retired
    // (keeping the port from the new one) or start and stop one server from
    // two threads at once.
    std::lock_guard<std::mutex> change(m_serviceChangeLock);
    setWebSocketLocked(enable, port);
}

void Velmar::setWebSocketLocked(int enable, int port)
{
    const std::shared_ptr<WSServer> ws = webSocketServer();
    if (!ws)
        return;
    if (ws->isStarted() && enable != 0 && ws->listenPort() == port)
        return;
    ws->stop();
    if (enable == 0 || port < 1)
        return;
    applyHeldLogin(*ws);
    ws->setAddress(RDSocketAddress("0.0.0.0", port));
    if (!ws->start())
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "websocket server cannot listen on port %d\n", port);
}

void Velmar::applyHeldLogin(KelServer &server) const
{
    int authEnable;
    QString user, password;
    {
        std::lock_guard<std::mutex> guard(m_authLock);
        authEnable = m_authEnable;
        user = m_authUsername;
        password = m_authPassword;
    }
    server.setAuth(authEnable, user.toStdString(), passwordDigest(password).toStdString());
}

void Velmar::setKelCode(int enable, const QString &code)
{
    std::lock_guard<std::mutex> change(m_serviceChangeLock);
    setKelCodeLocked(enable, code);
}

void Velmar::setKelCodeLocked(int enable, const QString &code)
{
    const std::shared_ptr<TUTKServer> p2p = p2pServer();
    if (!p2p)
        return;
    p2p->stop();
    if (enable == 0 || code.isEmpty())
        return;
    KelCode decoded;
    if (!KelCode::decode(code, decoded) || decoded.payload.isEmpty())
        return;
    applyHeldLogin(*p2p);
    p2p->setUid(decoded.payload);
    p2p->start();
}

std::shared_ptr<TUTKServer> Velmar::p2pServer() const
{
    std::lock_guard<std::mutex> guard(m_serviceLock);
    return m_p2pServer;
}

std::shared_ptr<WSServer> Velmar::webSocketServer() const
{
    std::lock_guard<std::mutex> guard(m_serviceLock);
    return m_wsServer;
}

std::shared_ptr<KelDiscovery> Velmar::discovery() const
{
    std::lock_guard<std::mutex> guard(m_serviceLock);
    return m_discovery;
}

bool Velmar::startHttpServer(bool apiEnabled, int port)
{
    std::lock_guard<std::mutex> change(m_serviceChangeLock);
    return startHttpServerLocked(apiEnabled, port);
}

void Velmar::stopHttpServer()
{
    std::lock_guard<std::mutex> change(m_serviceChangeLock);
    stopHttpServerLocked();
}

bool Velmar::startHttpServerLocked(bool apiEnabled, int port)
{
    m_apiEnabled.store(apiEnabled);
    m_httpPort.store(port);
    stopHttpServerLocked();
    auto server = std::make_shared<RDHttpStreamServer>();
    RDHttpServerConfigure config;
    config.host = "0.0.0.0";
    config.port = port;
    config.uploadPath = "./upload";
    server->setConfigure(config);
    server->setObserver(this);
    if (server->start() < 0) {
        server->stop();
        return false;
    }
    std::lock_guard<std::mutex> guard(m_serviceLock);
    m_httpServer = server;
    PASipManager::setHttpStreamServer(server);
    return true;
}

void Velmar::stopHttpServerLocked()
{
    std::shared_ptr<RDHttpStreamServer> server;
    {
        std::lock_guard<std::mutex> guard(m_serviceLock);
        server.swap(m_httpServer);
    }
    PASipManager::setHttpStreamServer(nullptr);
    if (server)
        server->stop();
}

bool Velmar::isHttpServerRunning() const
{
    std::lock_guard<std::mutex> guard(m_serviceLock);
    return m_httpServer != nullptr;
}

std::shared_ptr<RDHttpStreamServer> Velmar::httpStreamServer() const
{
    std::lock_guard<std::mutex> guard(m_serviceLock);
    return m_httpServer;
}

void Velmar::handleRequest(RDHttpStreamServer *server, RDHttpConnection *connection, RDHttpBaseRequest *request)
{
    VelmarHttpRoutes(this).handleRequest(server, connection, request);
}

void Velmar::handleActionRequest(RDHttpStreamServer *server, RDHttpConnection *connection,
                                 RDHttpBaseRequest *request)
{
    VelmarHttpRoutes(this).handleActionRequest(server, connection, request);
}

void Velmar::handlePrayRequest(RDHttpStreamServer *server, RDHttpConnection *connection, RDHttpBaseRequest *request)
{
    VelmarHttpRoutes(this).handlePrayRequest(server, connection, request);
}

// -- Switch manager notifications ------------------------------------------

void Velmar::notifyGroup(int groupId, const std::function<void(RDGroup &)> &adjust,
                         void (VelmarObserver::*notify)(Velmar *, RDGroup),
                         void (VelmarAPI::*event)(KelServer *, const RDGroup &))
{
    // Starts and stops can come in floods: with no window open and no app
    // logged in, the group is not even looked up.
    const std::shared_ptr<VelmarAPI> jsonApi = api();
    std::shared_ptr<WSServer> ws = jsonApi ? webSocketServer() : nullptr;
    std::shared_ptr<TUTKServer> p2p = jsonApi ? p2pServer() : nullptr;
    if (ws && !ws->hasRecipients())
        ws.reset();
    if (p2p && !p2p->hasRecipients())
        p2p.reset();
    if (!ws && !p2p && observerCount() == 0)
        return;
    RDGroup group = getGroupById(groupId);
    if (!group.isValid())
        return;
    adjust(group);
    forEachObserver([this, &group, notify](VelmarObserver *observer) { (observer->*notify)(this, group); });
    // Outside the observer lock: sending waits for the session list.
    if (ws)
        (jsonApi.get()->*event)(ws.get(), group);
    if (p2p)
        (jsonApi.get()->*event)(p2p.get(), group);
}

void Velmar::onGroupStarted(int groupId, const QString &conference, const QString &startType, const QString &from)
{
    Q_UNUSED(conference) Q_UNUSED(from)
    notifyGroup(groupId, [&startType](RDGroup &group) {
        group.started = 1;
        group.startType = startType;
    }, &VelmarObserver::onNotifyGroupStarted, &VelmarAPI::notifyGroupStarted);
}

void Velmar::onGroupStopped(int groupId, const QString &conference, const QString &reason, const QString &from)
{
    Q_UNUSED(conference) Q_UNUSED(reason) Q_UNUSED(from)
    notifyGroup(groupId, [](RDGroup &group) { group.started = 0; }, &VelmarObserver::onNotifyGroupStopped,
                &VelmarAPI::notifyGroupStopped);
}

void Velmar::onGroupPlayChanged(int groupId, const QString &conference, int playIndex, const QString &media)
{
    Q_UNUSED(conference) Q_UNUSED(media)
    notifyGroup(groupId, [playIndex](RDGroup &group) { group.setPlayStatus(playIndex, 0, group.prayType); },
                &VelmarObserver::onNotifyGroupPlayChanged, &VelmarAPI::notifyGroupInfoChanged);
}

// -- Settings ---------------------------------------------------------------

QString Velmar::passwordDigest(const QString &password)
{
    return QString::fromLatin1(QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Md5).toHex());
}

void Velmar::setAuth(int enable, const QString &user, const QString &password)
{
    std::lock_guard<std::mutex> change(m_serviceChangeLock);
    setAuthLocked(enable, user, password);
}

void Velmar::setAuthLocked(int enable, const QString &user, const QString &password)
{
    {
        std::lock_guard<std::mutex> guard(m_authLock);
        m_authEnable = enable;
        m_authUsername = user;
        m_authPassword = password;
    }
    const std::string digest = passwordDigest(password).toStdString();
    if (const std::shared_ptr<WSServer> ws = webSocketServer())
        ws->setAuth(enable, user.toStdString(), digest);
    if (const std::shared_ptr<TUTKServer> p2p = p2pServer())
        p2p->setAuth(enable, user.toStdString(), digest);
}

QString Velmar::installationUid()
{
    const QByteArray seed = QSysInfo::machineUniqueId() + '\n' + QCoreApplication::applicationDirPath().toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(seed, QCryptographicHash::Md5).toHex());
}

int Velmar::authEnable() const
{
    std::lock_guard<std::mutex> guard(m_authLock);
    return m_authEnable;
}

QString Velmar::authUsername() const
{
    std::lock_guard<std::mutex> guard(m_authLock);
    return m_authUsername;
}

// -- Devices and groups -------------------------------------------------------

int Velmar::addDevice(const RDDevice &device)
{
    // A device the switch cannot take as an account is not stored either.
    if (!FSConfigWriter::checkUser(device.number, device.name, device.password).isEmpty())
        return 0;
    int id;
    {
        VelmarDBGuard db(&m_database);
        id = db->insertDevice(device.name, device.number, device.password);
    }
    if (id > 0) {
        if (FSManager *manager = FSManager::instance()) {
            RDDevice stored = device;
            stored.id = id;
            manager->addDevice(stored);
        }
    }
    return id > 0 ? id : 0;
}

QVector<RDDevice> Velmar::addDevices(const QVector<RDDevice> &devices)
{
    QVector<RDDevice> accepted;
    accepted.reserve(devices.size());
    for (const RDDevice &device : devices) {
        if (FSConfigWriter::checkUser(device.number, device.name, device.password).isEmpty())
            accepted.append(device);
    }
    QVector<RDDevice> stored;
    {
        VelmarDBGuard db(&m_database);
        stored = db->insertDevices(accepted);
    }
    if (!stored.isEmpty()) {
        if (FSManager *manager = FSManager::instance())
            manager->addDevices(stored);
    }
    return stored;
}

bool Velmar::updateDevice(const RDDevice &device)
{
    RDDevice before;
    bool ok = false;
    {
        VelmarDBGuard db(&m_database);
        const QVector<RDDevice> all = db->selectDevices();
        const auto it = std::find_if(all.begin(), all.end(), [&](const RDDevice &d) { return d.id == device.id; });
        if (it != all.end()) {
            before = *it;
            ok = db->updateDevice(device.id, device.name, device.password);
        }
    }
    if (ok) {
        RDDevice after = before;
        after.name = device.name;
        after.password = device.password;
        if (FSManager *manager = FSManager::instance())
            manager->updateDevice(before, after);
    }
    return ok;
}

bool Velmar::removeDevice(const RDDevice &device)
{
    bool ok;
    {
        VelmarDBGuard db(&m_database);
        ok = db->deleteDevice(device.id);
    }
    if (ok) {
        if (FSManager *manager = FSManager::instance())
            manager->removeDevice(device);
    }
    return ok;
}

bool Velmar::removeDevices(const QVector<RDDevice> &devices)
{
    QVector<RDDevice> deleted;
    {
        VelmarDBGuard db(&m_database);
        deleted = db->deleteDevices(devices);
    }
    if (!deleted.isEmpty()) {
        if (FSManager *manager = FSManager::instance())
            manager->removeDevices(deleted);
    }
    return deleted.size() == devices.size();
}

int Velmar::addGroup(RDGroup &group)
{
    int id;
    {
        VelmarDBGuard db(&m_database);
        VelmarDB::fillSipNumbers(group);
        id = db->insertGroup(group);
    }
    if (id > 0) {
        if (FSManager *manager = FSManager::instance()) {
            RDGroup stored = group;
            stored.id = id;
            manager->addGroup(stored);
        }
    }
    return id > 0 ? id : 0;
}

bool Velmar::updateGroup(const RDGroup &oldGroup, RDGroup &group)
{
    bool ok;
    {
        VelmarDBGuard db(&m_database);
        VelmarDB::fillSipNumbers(group);
        ok = db->updateGroup(group);
    }
    if (ok) {
        m_runRecord->groupUpdated(group);
        if (FSManager *manager = FSManager::instance())
            manager->updateGroup(oldGroup, group);
    }
    return ok;
}

bool Velmar::removeGroup(const RDGroup &group)
{
    bool ok;
    {
        VelmarDBGuard db(&m_database);
        ok = db->deleteGroup(group);
    }
    if (ok) {
        m_runRecord->groupRemoved(group.id);
        if (FSManager *manager = FSManager::instance())
            manager->removeGroup(group);
    }
    return ok;
}

bool Velmar::updateGroupVolume(const RDGroup &group)
{
    bool ok;
    {
        VelmarDBGuard db(&m_database);
        ok = db->updateGroupVolume(group);
    }
    if (ok) {
        if (FSManager *manager = FSManager::instance())
            manager->updateGroupVolume(group);
    }
    return ok;
}

bool Velmar::updateGroupBackground(const RDGroup &group)
{
    VelmarDBGuard db(&m_database);
    return db->updateGroupBackground(group);
}

bool Velmar::storeGroupBackground(RDGroup &group, const QString &chosenPath)
{
    const VelmarBackgroundStore store(backgroundDir(),
                                      [this](const RDGroup &next) { return updateGroupBackground(next); });
    return store.apply(group, chosenPath);
}

bool Velmar::updateGroupSortIndex(const RDGroup &group)
{
    VelmarDBGuard db(&m_database);
    return db->updateGroupSortIndex(group);
}

bool Velmar::changeGroupMedia(const RDGroup &group, const QString &media, int position)
{
    Q_UNUSED(media)
    FSManager *manager = FSManager::instance();
    return manager && manager->changeGroupMedia(group, position);
}

// -- Reading -----------------------------------------------------------------

QVector<RDDevice> Velmar::getDevices()
{
    VelmarDBGuard db(&m_database);
    return db->selectDevices();
}

QVector<RDGroup> Velmar::getGroups()
{
    VelmarDBGuard db(&m_database);
    const QVector<RDDevice> devices = db->selectDevices();
    QVector<RDGroup> groups = db->selectGroups();
    for (RDGroup &group : groups)
        VelmarGroupCache::completeGroup(group, devices);
    return groups;
}

RDGroup Velmar::getGroupByConference(const QString &conference)
{
    return m_groups->groupByConference(conference);
}

RDGroup Velmar::getGroupById(int id)
{
    return m_groups->groupById(id);
}

int Velmar::groupCacheReads() const
{
    return m_groups->reads();
}

QVector<RDCoreDevice> Velmar::getAudioDevices()
{
    return getAllDevices();
}

QString Velmar::backgroundDir()
{
    return appFolder("background");
}

QString Velmar::captureDir()
{
    return appFolder("capture");
}

QString Velmar::getPrayDir()
{
    {
        std::lock_guard<std::mutex> guard(g_prayDirLock);
        if (!g_prayDir.isEmpty()) {
            makeDir(g_prayDir);
            return g_prayDir;
        }
    }
    return appFolder("pray");
}

void Velmar::setPrayDir(const QString &dir)
{
    std::lock_guard<std::mutex> guard(g_prayDirLock);
    g_prayDir = dir;
}

QString Velmar::prayCacheFile(const QString &address, int method, int school, int latitudeMethod, int year,
                              int month)
{
    // Joined piece by piece: a "%" in the folder's path must not be taken
    // for a place marker. The address only ever enters as its digest, so
    // no address names another folder.
    return getPrayDir() + QLatin1Char('/')
           + QString::fromLatin1(QCryptographicHash::hash(address.toUtf8(), QCryptographicHash::Md5).toHex())
           + QString::number(method) + QString::number(school) + QString::number(latitudeMethod)
           + QString::number(year) + QString::number(month);
}

PAPrayDay Velmar::getPrayDay(const QString &address, int method, int school, int latitudeMethod, int year,
                             int month, int day)
{
    if (address.isEmpty())
        return PAPrayDay();
    QFile file(prayCacheFile(address, method, school, latitudeMethod, year, month));
    if (!file.open(QIODevice::ReadOnly) || file.size() > PAPrayCalendar::kMaxAnswerBytes)
        return PAPrayDay();
    const QDate wanted(year, month, day);
    for (const PAPrayDay &candidate : parsePrayDays(file.readAll())) {
        if (candidate.date == wanted)
            return candidate;
    }
    return PAPrayDay();
}

QString Velmar::sipNumber()
{
    return QStringLiteral("2000");
}

QString Velmar::internalIp() const
{
    FSManager *manager = FSManager::instance();
    return manager ? manager->internalIp() : QString();
}

int Velmar::internalPort() const
{
    FSManager *manager = FSManager::instance();
    return manager ? manager->internalPort() : 0;
}

QString Velmar::sipTrunkStatusText(const QString &state)
{
    if (state == QLatin1String("REGED"))
        return QStringLiteral("registered");
    if (state == QLatin1String("FAIL_WAIT"))
        return QStringLiteral("register fail");
    if (state == QLatin1String("TRYING"))
        return QStringLiteral("registering");
    return QString();
}

QString Velmar::sipTrunkStatus(const QString &server, const QString &port, const QString &number)
{
    FSManager *manager = FSManager::instance();
    if (!manager)
        return QString();
    const QString realm = QStringLiteral("%1:%2").arg(server, port);
    const QVector<FSGateway> gateways = manager->getGateways();
    for (const FSGateway &gateway : gateways) {
        if (gateway.realm == realm && gateway.exten == number)
            return sipTrunkStatusText(gateway.state);
    }
    return QString();
}

// -- Group start and stop -----------------------------------------------------

void Velmar::startGroupAs(const RDGroup &group, int prayIndex, const QString &startType)
{
    // A record that names no stored group would start a conference without
    // numbers and write an empty event-log row.
    if (!group.isValid()) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "start refused: no such group (%d)\n", group.id);
        return;
    }
    // Only a start that happened is logged: a second start of a running
    // group (two prayers in one minute, a schedule over an operator's start)
    // changes nothing and must not show as a start.
    FSManager *manager = FSManager::instance();
    if (!manager || !manager->startGroup(group, QString(), QString(), prayIndex, startType, QLatin1String(kFrom)))
        return;
    writeGroupLog(group, QStringLiteral("start"), group.source, startType);
}

void Velmar::startGroup(const RDGroup &group)
{
    if (group.isPraySource())
        return;
    startGroupAs(group, kNoPrayer, QStringLiteral("user"));
}

void Velmar::startApiGroup(const RDGroup &group)
{
    if (group.isPraySource())
        return;
    startGroupAs(group, kNoPrayer, QStringLiteral("api"));
}

void Velmar::startScheduleGroup(const RDGroup &group)
{
    if (group.isPraySource())
        return;
    startGroupAs(group, kNoPrayer, QStringLiteral("schedule"));
}

void Velmar::startPrayGroup(const RDGroup &group, int prayIndex)
{
    startGroupAs(group, prayIndex, QStringLiteral("pray"));
}

void Velmar::stopGroup(const RDGroup &group, const QString &stopType)
{
    if (!group.isValid()) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "stop refused: no such group (%d)\n", group.id);
        return;
    }
    if (FSManager *manager = FSManager::instance())
        manager->stopGroup(group, stopType, QLatin1String(kFrom));
    writeGroupLog(group, QStringLiteral("stop"), group.source,
                  stopType.isEmpty() ? QStringLiteral("user") : stopType);
}

namespace {

// An app joins or leaves a group's audio: the switch manager's call, then
// the event-log record (written after the call, whatever it did).
void sessionGroupCall(const RDGroup &group, const std::shared_ptr<KelClient> &session,
                      void (FSManager::*call)(const RDGroup &, const std::shared_ptr<KelClient> &),
                      const QString &action)
{
    if (!group.isValid())
        return;
    if (FSManager *manager = FSManager::instance())
        (manager->*call)(group, session);
    Velmar::writeGroupLog(group, action, QStringLiteral("app"), QStringLiteral("api"));
}

} // namespace

void Velmar::startListenGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session)
{
    sessionGroupCall(group, session, &FSManager::startListenGroup, QStringLiteral("app listen"));
}

void Velmar::stopListenGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session)
{
    sessionGroupCall(group, session, &FSManager::stopListenGroup, QStringLiteral("app listen"));
}

void Velmar::startTalkGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session)
{
    sessionGroupCall(group, session, &FSManager::startTalkGroup, QStringLiteral("app talk"));
}

void Velmar::stopTalkGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session)
{
    sessionGroupCall(group, session, &FSManager::stopTalkGroup, QStringLiteral("app talk"));
}

void Velmar::writeGroupLog(const RDGroup &group, const QString &action, const QString &source, const QString &type)
{
    PALogRecord record;
    record.volume = group.volume;
    record.groupId = group.id;
    record.groupPriority = group.priority;
    record.groupName = group.name;
    record.groupConference = group.conference;
    record.action = action;
    record.source = source;
    record.type = type;
    record.dateTime = localTimeNowText();
    // Records come from many threads at once (HTTP requests, app sessions,
    // schedules, prayers). None of them waits for the database: the record
    // is queued for the event log's own thread, which writes what has
    // gathered in one transaction, and every read of the log and shut-down
    // wait for the queue first.
    PALogDB::postLog(record);
}

// -- Main window refresh --------------------------------------------------------

void Velmar::setHomeReloadHandler(const std::function<void()> &handler)
{
    std::lock_guard<std::mutex> guard(g_homeReloadLock);
    g_homeReload = handler;
}

void Velmar::reloadHome()
{
    // Called under the lock, so that a window clearing its handler waits for
    // a call in progress and is never reached afterwards.
    std::lock_guard<std::mutex> guard(g_homeReloadLock);
    if (g_homeReload)
        g_homeReload();
}
