#include "FSManager.h"

#include "FSClient.h"
#include "FSConfigWriter.h"
#include "FSChannelsManager.h"
#include "FSGateway.h"
#include "FSGroupConferences.h"
#include "FSSipRegistrationsManager.h"
#include "FSManagerObserver.h"
#include "FSManagerThread.h"
#include "RDDevice.h"
#include "RDGroup.h"
#include "VelmarDB.h"

#include <QDebug>
#include <QStringList>

namespace {
std::atomic<FSManager *> s_instance{nullptr};

const char *const kRescanSuccess = "Reload XML [Success]";
const char *const kOk = "+OK";
} // namespace

const char *const FSManager::kSwitchProgram = "RUVidazaConsole";
const char *const FSManager::kConsoleProgram = "da_rid";

FSManager::FSManager()
    : m_client(new FSClient)
{
    FSGroupConferences::Environment env;
    env.execute = [this](const QString &command) { return m_client->execute(command); };
    env.postStopConference = [this](const QString &conference, const QString &reason, quint64 serial) {
        postStopConference(conference, reason, serial);
    };
    env.groupStarted = [this](int groupId, const QString &conference, const QString &startType,
                              const QString &from) {
        std::lock_guard<std::mutex> g(m_observerLock);
        const QVector<FSManagerObserver *> observers = m_observers;
        for (FSManagerObserver *o : observers)
            o->onGroupStarted(groupId, conference, startType, from);
    };
    env.groupStopped = [this](int groupId, const QString &conference, const QString &reason, const QString &from) {
        std::lock_guard<std::mutex> g(m_observerLock);
        const QVector<FSManagerObserver *> observers = m_observers;
        for (FSManagerObserver *o : observers)
            o->onGroupStopped(groupId, conference, reason, from);
    };
    env.playChanged = [this](int groupId, const QString &conference, int index, const QString &item) {
        std::lock_guard<std::mutex> g(m_observerLock);
        const QVector<FSManagerObserver *> observers = m_observers;
        for (FSManagerObserver *o : observers)
            o->onGroupPlayChanged(groupId, conference, index, item);
    };
    env.internalIp = [this] { return internalIp(); };
    env.internalPort = [this] { return internalPort(); };
    m_conferences = new FSGroupConferences(std::move(env));
}

FSManager::~FSManager()
{
    delete m_conferences;
    delete m_client;
}

FSManager *FSManager::createInstance()
{
    FSManager *m = s_instance.load();
    if (m)
        return m;
    m = new FSManager;
    s_instance.store(m);
    // The database layer reads live states and asks for a configuration
    // rewrite after an import through these hooks, since it does not link
    // the switch control.
    VelmarDB::setDeviceStatusSource([]() {
        FSManager *fs = FSManager::instance();
        return fs ? fs->deviceStatus() : QMap<QString, QString>();
    });
    VelmarDB::setGroupStatusSource([]() {
        FSManager *fs = FSManager::instance();
        return fs ? fs->groupStatus() : QMap<QString, RDGroupStatus>();
    });
    VelmarDB::setConfigurationReloadHandler([]() {
        if (FSManager *fs = FSManager::instance())
            fs->reloadConfiguration();
    });
    return m;
}

FSManager *FSManager::instance()
{
    return s_instance.load();
}

void FSManager::destroyInstance()
{
    FSManager *m = s_instance.exchange(nullptr);
    if (!m)
        return;
    VelmarDB::setDeviceStatusSource(nullptr);
    VelmarDB::setGroupStatusSource(nullptr);
    VelmarDB::setConfigurationReloadHandler(nullptr);
    delete m;
}

// ---------------------------------------------------------------- settings

void FSManager::setDirectory(const QString &directory)
{
    std::lock_guard<std::mutex> g(m_settingsLock);
    m_directory = directory;
}

QString FSManager::directory() const
{
    std::lock_guard<std::mutex> g(m_settingsLock);
    return m_directory;
}

void FSManager::writeScripts(const QString &dir, int port)
{
    FSConfigWriter::writeCallConferenceScript(dir, port);
    FSConfigWriter::writeTrunkConferenceScript(dir, port);
}

void FSManager::setHttpPort(int port)
{
    QString dir;
    {
        std::lock_guard<std::mutex> g(m_settingsLock);
        m_httpPort = port;
        dir = m_directory;
    }
    if (!dir.isEmpty())
        writeScripts(dir, port);
}

int FSManager::httpPort() const
{
    std::lock_guard<std::mutex> g(m_settingsLock);
    return m_httpPort;
}

QString FSManager::normalizeCodecs(const QString &codecs)
{
    static const QStringList known = {QStringLiteral("OPUS"), QStringLiteral("G722"), QStringLiteral("PCMU"),
                                      QStringLiteral("PCMA")};
    QStringList out;
    for (const QString &part : codecs.split(QLatin1Char(','))) {
        for (const QString &k : known) {
            if (part.compare(k, Qt::CaseInsensitive) == 0) {
                out << k;
                break;
            }
        }
    }
    return out.join(QLatin1Char(','));
}

void FSManager::setNetwork(const QString &internalIp, const QString &internalNetmask, int internalPort,
                           bool natEnabled, const QString &externalIp, int externalPort, const QString &sipCodecs)
{
    const QString codecs = normalizeCodecs(sipCodecs);
    QString dir;
    int httpPort;
    {
        std::lock_guard<std::mutex> g(m_settingsLock);
        m_internalIp = internalIp;
        m_internalNetmask = internalNetmask;
        m_internalPort = internalPort;
        m_natEnabled = natEnabled;
        m_externalIp = externalIp;
        m_externalPort = externalPort;
        m_sipCodecs = codecs;
        dir = m_directory;
        httpPort = m_httpPort;
    }
    qDebug().noquote() << QStringLiteral(
                              "internalIp = %1, internalNetmask = %2, internalPort = %3enable nat = %4, "
                              "externalIp = %5, externalPort = %6\n")
                              .arg(internalIp, internalNetmask, QString::number(internalPort),
                                   natEnabled ? QStringLiteral("true") : QStringLiteral("false"), externalIp,
                                   QString::number(externalPort));
    qDebug().noquote() << QStringLiteral("directory = %1, sip codecs = %2").arg(dir, sipCodecs);
    if (httpPort > 0) {
        qDebug().noquote() << QStringLiteral("change lua port = %1").arg(httpPort);
        writeScripts(dir, httpPort);
    }
    FSConfigWriter::writeSipConfigs(dir, internalIp, internalPort, natEnabled, externalIp, externalPort, codecs);
    FSConfigWriter::writeAcl(dir, internalIp, internalNetmask);
}

void FSManager::setRtpPortRange(int startPort, int endPort)
{
    qDebug().noquote() << QStringLiteral("startPort = %1, endPort = %2").arg(startPort).arg(endPort);
    QString dir;
    {
        std::lock_guard<std::mutex> g(m_settingsLock);
        m_rtpStartPort = startPort;
        m_rtpEndPort = endPort;
        dir = m_directory;
    }
    FSConfigWriter::writeSwitchConf(dir, startPort, endPort);
}

bool FSManager::isNetworkChanged(const QString &internalIp, const QString &internalNetmask, int internalPort,
                                 bool natEnabled, const QString &externalIp, int externalPort,
                                 const QString &sipCodecs, int rtpStartPort, int rtpEndPort) const
{
    std::lock_guard<std::mutex> g(m_settingsLock);
    return internalIp != m_internalIp || internalNetmask != m_internalNetmask || internalPort != m_internalPort
        || natEnabled != m_natEnabled || externalIp != m_externalIp || externalPort != m_externalPort
        || sipCodecs != m_sipCodecs || rtpStartPort != m_rtpStartPort || rtpEndPort != m_rtpEndPort;
}

#define FS_GETTER(type, name, member)                                                                                 \
    type FSManager::name() const                                                                                       \
    {                                                                                                                  \
        std::lock_guard<std::mutex> g(m_settingsLock);                                                                 \
        return member;                                                                                                 \
    }
FS_GETTER(QString, internalIp, m_internalIp)
FS_GETTER(QString, internalNetmask, m_internalNetmask)
FS_GETTER(int, internalPort, m_internalPort)
FS_GETTER(bool, isNatEnabled, m_natEnabled)
FS_GETTER(QString, externalIp, m_externalIp)
FS_GETTER(int, externalPort, m_externalPort)
FS_GETTER(QString, sipCodecs, m_sipCodecs)
FS_GETTER(int, rtpStartPort, m_rtpStartPort)
FS_GETTER(int, rtpEndPort, m_rtpEndPort)
#undef FS_GETTER

QMap<QString, QString> FSManager::deviceStatus()
{
    return m_conferences->deviceStatus();
}

QMap<QString, RDGroupStatus> FSManager::groupStatus()
{
    return m_conferences->groupStatus();
}

// --------------------------------------------------------------- lifecycle

bool FSManager::start()
{
    auto *queue = new RDMessageQueue<FSMSG>(this);
    queue->start();
    {
        std::lock_guard<std::mutex> g(m_queueLock);
        m_queue = queue;
    }
    m_client->setPath(QStringLiteral("%1/%2").arg(directory(), QLatin1String(kConsoleProgram)));
    m_ready.store(false);
    m_managerThread = new FSManagerThread(this);
    m_managerThread->setName("FSManagerThread");
    m_managerThread->start();
    return true;
}

void FSManager::stop()
{
    if (m_managerThread) {
        m_managerThread->stop();
        m_managerThread->wait();
        delete m_managerThread;
        m_managerThread = nullptr;
    }
    RDMessageQueue<FSMSG> *queue = nullptr;
    {
        // Taken out under the lock so a late post never meets a deleted queue.
        std::lock_guard<std::mutex> g(m_queueLock);
        std::swap(queue, m_queue);
    }
    if (queue) {
        queue->stop();
        delete queue;
    }
}

bool FSManager::restart()
{
    stop();
    return start();
}

void FSManager::addObserver(FSManagerObserver *observer)
{
    std::lock_guard<std::mutex> g(m_observerLock);
    m_observers.append(observer);
}

void FSManager::removeObserver(FSManagerObserver *observer)
{
    std::lock_guard<std::mutex> g(m_observerLock);
    m_observers.removeAll(observer);
}

void FSManager::notifySwitchRestarted()
{
    std::lock_guard<std::mutex> g(m_observerLock);
    const QVector<FSManagerObserver *> observers = m_observers;
    for (FSManagerObserver *o : observers)
        o->onSwitchRestarted();
}

void FSManager::setSwitchTimingForTesting(int shutdownGraceMs, int failureWaitMs)
{
    m_shutdownGraceMs.store(shutdownGraceMs);
    m_failureWaitMs.store(failureWaitMs);
}

// ------------------------------------------------------ configuration sync

void FSManager::writeDevice(const QString &dir, const RDDevice &device)
{
    FSConfigWriter::writeUser(dir, device.number, device.name, device.password);
}

void FSManager::addDevice(const RDDevice &device)
{
    writeDevice(directory(), device);
    // The flag goes up only after the file is in place, so the reload it
    // triggers always reads the new file.
    m_reloadPending.store(true);
}

bool FSManager::addDevices(const QVector<RDDevice> &devices)
{
    // Every file first, then one flag: a supervision pass in between must
    // not reload a half-written batch (and reload again for the rest).
    const QString dir = directory();
    for (const RDDevice &d : devices)
        writeDevice(dir, d);
    m_reloadPending.store(true);
    return true;
}

void FSManager::removeDevice(const RDDevice &device)
{
    FSConfigWriter::removeUser(directory(), device.number);
    m_reloadPending.store(true);
}

bool FSManager::removeDevices(const QVector<RDDevice> &devices)
{
    const QString dir = directory();
    for (const RDDevice &d : devices)
        FSConfigWriter::removeUser(dir, d.number);
    m_reloadPending.store(true);
    return true;
}

bool FSManager::updateDevice(const RDDevice &oldDevice, const RDDevice &newDevice)
{
    const QString dir = directory();
    // Rewriting the file of an unchanged number replaces it in one step, so
    // the device is never missing from a reload that runs meanwhile.
    if (oldDevice.number != newDevice.number)
        FSConfigWriter::removeUser(dir, oldDevice.number);
    writeDevice(dir, newDevice);
    m_reloadPending.store(true);
    return true;
}

void FSManager::writeGroupRemoval(const QString &dir, const RDGroup &group)
{
    if (group.sipTrunkEnable)
        FSConfigWriter::removeTrunkGroup(dir, group.conference);
    if (group.rtpEnable)
        FSConfigWriter::removeRtpGroup(dir, group.conference);
}

void FSManager::writeGroupAddition(const QString &dir, const RDGroup &group)
{
    FSConfigWriter::writeUser(dir, group.inputSipNumber, group.inputSipNumber, group.inputSipPassword);
    FSConfigWriter::writeUser(dir, group.outputSipNumber, group.outputSipNumber, group.outputSipPassword);
    if (group.sipTrunkEnable) {
        FSConfigWriter::writeTrunkGroup(dir, group.conference, group.sipTrunkServer,
                                        FSConfigWriter::trunkPort(group.sipTrunkPort), group.sipTrunkNumber,
                                        group.sipTrunkPassword, group.sipTrunkName, group.sipTrunkExpire);
    } else {
        FSConfigWriter::removeTrunkGroup(dir, group.conference);
    }
    if (group.rtpEnable) {
        int port;
        QString ip;
        {
            std::lock_guard<std::mutex> g(m_settingsLock);
            ip = m_internalIp;
            port = m_internalPort;
        }
        FSConfigWriter::writeRtpGroup(dir, group.conference, ip, port, group.rtpUrl);
    } else {
        FSConfigWriter::removeRtpGroup(dir, group.conference);
    }
}

void FSManager::addGroup(const RDGroup &group)
{
    writeGroupAddition(directory(), group);
    m_reloadPending.store(true);
    m_externalRescanPending.store(true);
    m_internalRescanPending.store(true);
}

bool FSManager::removeGroup(const RDGroup &group)
{
    writeGroupRemoval(directory(), group);
    if (group.sipTrunkEnable)
        m_externalRescanPending.store(true);
    if (group.rtpEnable)
        m_internalRescanPending.store(true);
    return true;
}

bool FSManager::updateGroup(const RDGroup &oldGroup, const RDGroup &newGroup)
{
    removeGroup(oldGroup);
    addGroup(newGroup);
    return true;
}

void FSManager::writeAllFromDatabase()
{
    // A connection of this thread only, opened and closed here.
    VelmarDB db(true);
    const QVector<RDDevice> devices = db.selectDevices();
    const QVector<RDGroup> groups = db.selectGroups();
    db.close();
    for (const RDDevice &d : devices)
        addDevice(d);
    for (const RDGroup &g : groups) {
        removeGroup(g);
        addGroup(g);
    }
}

void FSManager::reloadConfiguration()
{
    writeAllFromDatabase();
}

void FSManager::writeStartConfiguration()
{
    // The switch reads the fresh files when it starts, so nothing needs to be
    // sent for them. The flags are cleared before writing: a change that
    // lands while the files are written keeps its flag and is sent later.
    m_reloadPending.store(false);
    m_internalRescanPending.store(false);
    m_externalRescanPending.store(false);
    VelmarDB db(true);
    const QVector<RDDevice> devices = db.selectDevices();
    const QVector<RDGroup> groups = db.selectGroups();
    db.close();
    const QString dir = directory();
    for (const RDDevice &d : devices)
        writeDevice(dir, d);
    for (const RDGroup &g : groups) {
        writeGroupRemoval(dir, g);
        writeGroupAddition(dir, g);
    }
}

QVector<FSGateway> FSManager::getGateways()
{
    FSClient client(QStringLiteral("%1/%2").arg(directory(), QLatin1String(kConsoleProgram)));
    return parseGateways(client.execute(QStringLiteral("sofia xmlstatus gateway")));
}

// ---------------------------------------------------------- message queue

void FSManager::postStopConference(const QString &conference, const QString &reason, quint64 serial)
{
    std::lock_guard<std::mutex> g(m_queueLock);
    if (!m_queue)
        return;
    m_queue->post(new FSMSG{conference, reason, serial}, 0);
}

void FSManager::onQueueMessage(RDMessageQueue<FSMSG> *queue, qint32 type, FSMSG *payload)
{
    Q_UNUSED(queue)
    if (type != 0 || !payload)
        return;
    stopConference(payload->conference, payload->reason, payload->serial);
}

void FSManager::stopConference(const QString &conference, const QString &reason, quint64 serial)
{
    m_conferences->stopConference(conference, reason, serial);
}

bool FSManager::startGroup(const RDGroup &group, const QString &internalCaller, QString externalCaller,
                           int prayIndex, const QString &startType, const QString &from)
{
    return m_conferences->startGroup(group, internalCaller, externalCaller, prayIndex, startType, from);
}

void FSManager::stopGroup(const RDGroup &group, const QString &stopType, const QString &from)
{
    m_conferences->stopGroup(group, stopType, from);
}

void FSManager::startTalkGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session)
{
    m_conferences->startTalkGroup(group, session);
}

void FSManager::stopTalkGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session)
{
    m_conferences->stopTalkGroup(group, session);
}

void FSManager::startListenGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session)
{
    m_conferences->startListenGroup(group, session);
}

void FSManager::stopListenGroup(const RDGroup &group, const std::shared_ptr<KelClient> &session)
{
    m_conferences->stopListenGroup(group, session);
}

bool FSManager::changeGroupMedia(const RDGroup &group, int position)
{
    return m_conferences->changeGroupMedia(group, position);
}

bool FSManager::updateGroupVolume(const RDGroup &group)
{
    return m_conferences->updateGroupVolume(group);
}

// ------------------------------------------------------- supervision pass

bool FSManager::command(const QString &text, const char *success)
{
    return m_client->execute(text).startsWith(QLatin1String(success));
}

int FSManager::applyPendingConfiguration()
{
    int sent = 0;
    // Each flag is taken before its command goes out and put back when the
    // command fails. A change made while the command runs sets the flag
    // again and is applied by the next pass instead of being lost.
    if (m_externalRescanPending.exchange(false)) {
        const bool reload = m_reloadPending.exchange(false);
        m_client->execute(QStringLiteral("sofia profile external killgw _all_"));
        const bool ok = command(QStringLiteral("sofia profile external rescan"), kRescanSuccess);
        sent += 2;
        if (!ok) {
            m_externalRescanPending.store(true);
            if (reload)
                m_reloadPending.store(true);
        }
    }
    if (m_internalRescanPending.exchange(false)) {
        const bool reload = m_reloadPending.exchange(false);
        m_client->execute(QStringLiteral("sofia profile internal killgw _all_"));
        const bool ok = command(QStringLiteral("sofia profile internal rescan"), kRescanSuccess);
        sent += 2;
        if (!ok) {
            m_internalRescanPending.store(true);
            if (reload)
                m_reloadPending.store(true);
        }
    }
    if (m_reloadPending.exchange(false)) {
        ++sent;
        if (!command(QStringLiteral("reloadxml"), kOk))
            m_reloadPending.store(true);
    }
    return sent;
}

int FSManager::supervisionPass(FSChannelsManager *channels, FSSipRegistrationsManager *registrations)
{
    // Order of a pass: read the channel and registration rows, rebuild the
    // device and group states, apply the pending configuration, then visit
    // the conferences under the conference lock. A failed read is kept apart
    // from empty tables: the last good state stands for that pass.
    bool channelsOk = false;
    bool registrationsOk = false;
    QVector<FSChannel> channelRows = channels->getChannels(&channelsOk);
    QVector<FSSipRegistration> registrationRows = registrations->getRegistrations(&registrationsOk);
    const FSSwitchState state(std::move(channelRows), std::move(registrationRows), channelsOk && registrationsOk);
    m_conferences->updateDeviceStatus(state);
    m_conferences->updateGroupStatus(currentSeconds());
    int sent = applyPendingConfiguration();
    sent += m_conferences->supervise(state, currentSeconds());
    return sent;
}
