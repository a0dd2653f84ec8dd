#include "FSConference.h"
#include "FSGroupConferences.h"
#include "FSManager.h"
#include "FakePrayService.h"
#include "KelDiscovery.h"
#include "RDConfigure.h"
#include "RDHttpStreamServer.h"
#include "WSServer.h"
#include "PALogDB.h"
#include "PAPrayCalendar.h"
#include "PAPrayWatchThread.h"
#include "PASipManager.h"
#include "PlatformProcess.h"
#include "RDDeviceStatusWatchThread.h"
#include "RDUtils.h"
#include "SwitchStandIn.h"
#include "TestSupport.h"
#include "VDB.h"
#include "Velmar.h"
#include "VelmarDB.h"
#include "VelmarFixture.h"
#include "VelmarObserver.h"
#include "VelmarRunRecord.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QMutex>
#include <QMutexLocker>
#include <QTemporaryDir>
#include <QTcpServer>
#include <QUdpSocket>

#include <atomic>
#include <thread>

namespace {

// Records what the central object tells its observers, from any thread.
struct RecordingObserver : VelmarObserver
{
    void onNotifyGroupStarted(Velmar *, RDGroup group) override { add(QStringLiteral("started"), group); }
    void onNotifyGroupStopped(Velmar *, RDGroup group) override { add(QStringLiteral("stopped"), group); }
    void onNotifyGroupPlayChanged(Velmar *, RDGroup group) override { add(QStringLiteral("play"), group); }
    void onNotifyDataChanged(Velmar *) override { add(QStringLiteral("data"), RDGroup()); }

    void add(const QString &what, const RDGroup &group)
    {
        QMutexLocker locker(&lock);
        events.append(what);
        groups.append(group);
    }
    QStringList takeEvents()
    {
        QMutexLocker locker(&lock);
        QStringList copy = events;
        events.clear();
        return copy;
    }
    RDGroup lastGroup()
    {
        QMutexLocker locker(&lock);
        return groups.isEmpty() ? RDGroup() : groups.last();
    }

    QMutex lock;
    QStringList events;
    QVector<RDGroup> groups;
};

int threadCount()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

QVector<PALogRecord> eventLog()
{
    PALogDB db(true);
    return db.selectLogs(0, 1000, QString(), QString(), QString());
}

// The central object over a private database, with the switch manager
// configured on a private copy of the switch package (not started unless a
// test starts it).
class VelmarTest : public VelmarFixture
{
protected:
    void SetUp() override
    {
        m_threadsBefore = threadCount();
        VelmarFixture::SetUp();
        if (m_velmar)
            m_velmar->addObserver(&m_observer);
    }

    void TearDown() override
    {
        if (m_velmar)
            m_velmar->removeObserver(&m_observer);
        VelmarFixture::TearDown();
        // Every thread of the manager, the central object and its services has ended.
        EXPECT_TRUE(PaTest::waitUntil([&] { return threadCount() <= m_threadsBefore; }, 5000))
            << threadCount() << " threads, " << m_threadsBefore << " before";
    }

    QString userFile(const QString &number) const
    {
        return m_switch.path(QStringLiteral("conf/directory/default/%1.xml").arg(number));
    }

    RDGroup storedGroup(const QString &conference, const QString &source = QStringLiteral("media"))
    {
        RDGroup group;
        group.name = QStringLiteral("Zone ") + conference;
        group.conference = conference;
        group.source = source;
        group.volume = 3;
        group.priority = 2;
        const int id = m_velmar->addGroup(group);
        EXPECT_GT(id, 0);
        return m_velmar->getGroupById(id);
    }

    int m_threadsBefore = 0;
    RecordingObserver m_observer;
};

} // namespace

TEST_F(VelmarTest, DeviceOperationsKeepDatabaseAndSwitchInStep)
{
    startSwitch();
    RDDevice device;
    device.name = QStringLiteral("Hall");
    device.number = QStringLiteral("6101");
    device.password = QStringLiteral("secret1");
    const int id = m_velmar->addDevice(device);
    ASSERT_GT(id, 0);
    EXPECT_TRUE(QFile::exists(userFile("6101")));
    EXPECT_TRUE(PaTest::waitUntil([&] { return consoleJournal().contains("reloadxml"); }, 20000));

    // The same number twice: the database refuses, the switch is not touched.
    RDDevice again = device;
    again.name = QStringLiteral("Copy");
    EXPECT_EQ(m_velmar->addDevice(again), 0);
    ASSERT_EQ(m_velmar->getDevices().size(), 1);

    device.id = id;
    device.password = QStringLiteral("secret2");
    EXPECT_TRUE(m_velmar->updateDevice(device));
    EXPECT_TRUE(readFile(userFile("6101")).contains("secret2"));

    EXPECT_TRUE(m_velmar->removeDevice(device));
    EXPECT_FALSE(QFile::exists(userFile("6101")));
    EXPECT_TRUE(m_velmar->getDevices().isEmpty());
}

// A batch is one transaction and one switch reload, whatever its size; the
// switch hears only of the devices stored.
TEST_F(VelmarTest, ThousandDevicesTakeOneTransactionAndOneReload)
{
    startSwitch();
    RDDevice kept;
    kept.number = QStringLiteral("6000");
    kept.password = QStringLiteral("kept");
    ASSERT_GT(m_velmar->addDevice(kept), 0);
    // The single add is applied (its reload sent) before the batch starts.
    ASSERT_TRUE(PaTest::waitUntil([&] { return consoleJournal().count("reloadxml") >= 1 && !m_fs->isReloadPending(); },
                                  20000));
    const int reloadsBefore = consoleJournal().count("reloadxml");

    QVector<RDDevice> devices;
    for (int i = 0; i < 1000; ++i) {
        RDDevice d;
        d.number = QString::number(6000 + i);
        d.name = QStringLiteral("Speaker %1").arg(i);
        d.password = QStringLiteral("pw%1").arg(i);
        devices << d;
    }
    devices << devices[5]; // a repeat
    RDDevice broken;
    broken.number = QStringLiteral("6500x");
    broken.password = QStringLiteral("line\nbreak");
    devices << broken; // no switch account can hold it
    const quint64 commits = VelmarDB::commitCount();
    const QVector<RDDevice> stored = m_velmar->addDevices(devices);
    EXPECT_EQ(VelmarDB::commitCount() - commits, 1u);
    ASSERT_EQ(stored.size(), 999);
    EXPECT_EQ(stored.first().number, QStringLiteral("6001"));
    EXPECT_GT(stored.first().id, 0);
    EXPECT_EQ(m_velmar->getDevices().size(), 1000);
    EXPECT_TRUE(readFile(userFile("6000")).contains("kept"));
    EXPECT_TRUE(readFile(userFile("6999")).contains("pw999"));
    EXPECT_FALSE(QFile::exists(userFile("6500x")));

    ASSERT_TRUE(PaTest::waitUntil([&] { return consoleJournal().count("reloadxml") > reloadsBefore; }, 20000));
    // Two more supervision passes: no further reload comes for the batch.
    EXPECT_FALSE(PaTest::waitUntil([&] { return consoleJournal().count("reloadxml") > reloadsBefore + 1; }, 1200));
}

// Only name and password change; the account of the stored number is the
// one rewritten, even when the caller's device carries another number.
TEST_F(VelmarTest, DeviceUpdateNeverRewritesAnotherDevicesAccount)
{
    RDDevice a;
    a.number = QStringLiteral("6001");
    a.password = QStringLiteral("a");
    RDDevice b = a;
    b.number = QStringLiteral("6005");
    b.password = QStringLiteral("b");
    a.id = m_velmar->addDevice(a);
    ASSERT_GT(a.id, 0);
    ASSERT_GT(m_velmar->addDevice(b), 0);

    RDDevice edited = a;
    edited.number = QStringLiteral("6005");
    edited.name = QStringLiteral("Lobby");
    edited.password = QStringLiteral("c");
    ASSERT_TRUE(m_velmar->updateDevice(edited));
    EXPECT_TRUE(readFile(userFile("6005")).contains("value=\"b\""));
    EXPECT_TRUE(readFile(userFile("6001")).contains("value=\"c\""));
    EXPECT_TRUE(readFile(userFile("6001")).contains("Lobby"));
    const QVector<RDDevice> all = m_velmar->getDevices();
    ASSERT_EQ(all.size(), 2);
    EXPECT_EQ(all[0].number, QStringLiteral("6001"));
    EXPECT_EQ(all[0].name, QStringLiteral("Lobby"));

    RDDevice unknown = a;
    unknown.id = a.id + 100;
    EXPECT_FALSE(m_velmar->updateDevice(unknown));
}

TEST_F(VelmarTest, ZoneOperationsFillSipNumbersAndWriteTheirAccounts)
{
    RDGroup group;
    group.name = QStringLiteral("Lobby");
    group.conference = QStringLiteral("3042");
    group.source = QStringLiteral("media");
    const int id = m_velmar->addGroup(group);
    ASSERT_GT(id, 0);
    EXPECT_EQ(group.inputSipNumber, QStringLiteral("4042"));
    EXPECT_EQ(group.outputSipNumber, QStringLiteral("5042"));
    EXPECT_TRUE(QFile::exists(userFile("4042")));
    EXPECT_TRUE(QFile::exists(userFile("5042")));

    RDGroup stored = m_velmar->getGroupById(id);
    ASSERT_TRUE(stored.isValid());
    EXPECT_EQ(m_velmar->getGroupByConference(QStringLiteral("3042")).id, id);
    EXPECT_FALSE(m_velmar->getGroupById(999999).isValid());

    RDGroup renamed = stored;
    renamed.name = QStringLiteral("Lobby East");
    EXPECT_TRUE(m_velmar->updateGroup(stored, renamed));
    EXPECT_EQ(m_velmar->getGroupById(id).name, QStringLiteral("Lobby East"));

    EXPECT_TRUE(m_velmar->removeGroup(renamed));
    EXPECT_FALSE(m_velmar->getGroupById(id).isValid());
}

TEST_F(VelmarTest, GroupStartsAndStopsNotifyObserversAndWriteTheEventLog)
{
    const RDGroup group = storedGroup(QStringLiteral("3050"));
    m_velmar->startGroup(group);
    ASSERT_TRUE(PaTest::waitUntil([&] { return !m_observer.groups.isEmpty(); }));
    EXPECT_EQ(m_observer.takeEvents(), QStringList{QStringLiteral("started")});
    EXPECT_EQ(m_observer.lastGroup().id, group.id);
    EXPECT_EQ(m_observer.lastGroup().started, 1);
    EXPECT_EQ(m_observer.lastGroup().startType, QStringLiteral("user"));

    // An empty stop type goes to the switch manager as it is, the log says "user".
    m_velmar->stopGroup(group, QString());
    EXPECT_EQ(m_observer.takeEvents(), QStringList{QStringLiteral("stopped")});
    EXPECT_EQ(m_observer.lastGroup().started, 0);

    m_velmar->startScheduleGroup(group);
    m_velmar->stopGroup(group, QStringLiteral("schedule"));

    const QVector<PALogRecord> log = eventLog();
    ASSERT_EQ(log.size(), 4);
    // Newest first.
    struct Row { const char *action, *type; };
    const Row expected[] = {{"stop", "schedule"}, {"start", "schedule"}, {"stop", "user"}, {"start", "user"}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(log[i].action, QLatin1String(expected[i].action)) << i;
        EXPECT_EQ(log[i].type, QLatin1String(expected[i].type)) << i;
        EXPECT_EQ(log[i].source, QStringLiteral("media"));
        EXPECT_EQ(log[i].groupId, group.id);
        EXPECT_EQ(log[i].groupConference, QStringLiteral("3050"));
        EXPECT_EQ(log[i].volume, 3);
        EXPECT_EQ(log[i].groupPriority, 2);
    }
}

// Event records leave the request paths at once and are written behind
// them; once the central object is gone every one of them is in the file.
TEST_F(VelmarTest, EventRecordsAreAllInTheFileOnceTheCentralObjectIsGone)
{
    const RDGroup group = storedGroup(QStringLiteral("3070"));
    constexpr int rounds = 25;
    for (int i = 0; i < rounds; ++i) {
        m_velmar->startGroup(group);
        m_velmar->stopGroup(group, QStringLiteral("user"));
    }
    m_velmar->removeObserver(&m_observer);
    Velmar::destroyInstance();
    m_velmar = nullptr;

    // Read straight from the file: no flush of the log on the way.
    int count = -1;
    {
        QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw-palog"));
        raw.setDatabaseName(PALogDB::dbFilePath());
        ASSERT_TRUE(raw.open());
        QSqlQuery query(raw);
        if (query.exec(QStringLiteral("select count(*) from palog")) && query.next())
            count = query.value(0).toInt();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw-palog"));
    EXPECT_EQ(count, 2 * rounds);
}

TEST_F(VelmarTest, PrayerZonesStartOnlyThroughThePrayerWatcher)
{
    const RDGroup pray = storedGroup(QStringLiteral("3060"), QStringLiteral("pray"));
    m_velmar->startGroup(pray);
    m_velmar->startApiGroup(pray);
    m_velmar->startScheduleGroup(pray);
    EXPECT_TRUE(m_observer.takeEvents().isEmpty());
    EXPECT_TRUE(eventLog().isEmpty());

    m_velmar->startPrayGroup(pray, 2);
    EXPECT_EQ(m_observer.takeEvents(), QStringList{QStringLiteral("started")});
    EXPECT_EQ(m_observer.lastGroup().startType, QStringLiteral("pray"));
    m_velmar->stopGroup(pray, QStringLiteral("pray"));
    EXPECT_EQ(m_observer.takeEvents(), QStringList{QStringLiteral("stopped")});
    const QVector<PALogRecord> log = eventLog();
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log[1].type, QStringLiteral("pray"));
    EXPECT_EQ(log[1].source, QStringLiteral("pray"));
}

TEST_F(VelmarTest, GroupThatIsNotStoredStartsNothingAndLogsNothing)
{
    RDGroup phantom;
    phantom.conference = QStringLiteral("3999");
    m_velmar->startGroup(phantom);
    m_velmar->stopGroup(phantom, QStringLiteral("http"));
    m_velmar->startListenGroup(phantom, nullptr);
    EXPECT_TRUE(eventLog().isEmpty());
    EXPECT_TRUE(m_fs->groupStatus().isEmpty());
    // Notifications for an id that names no group stay silent.
    m_velmar->onGroupStarted(999999, QStringLiteral("3999"), QStringLiteral("user"), QStringLiteral("test"));
    m_velmar->onGroupPlayChanged(999999, QStringLiteral("3999"), 1, QString());
    EXPECT_TRUE(m_observer.takeEvents().isEmpty());
}

namespace {

// The prayer folder of one test, with June 2024 of Cairo (method 5) cached,
// and a prayer-times service that must not be needed: a request would leave
// the network layer's own threads running.
struct PrayPlace
{
    PrayPlace()
    {
        Velmar::setPrayDir(dir.path());
        PAPrayCalendar::setServiceUrl(service.url());
        for (const char *address : {"Cairo", "Cairo, Egypt"}) {
            QFile file(Velmar::prayCacheFile(QLatin1String(address), 5, 0, 3, 2024, 6));
            if (!file.open(QIODevice::WriteOnly) || file.write(FakePrayService::monthAnswer(2024, 6, 30)) <= 0)
                ADD_FAILURE() << "cache file not written";
        }
    }
    ~PrayPlace()
    {
        Velmar::setPrayDir(QString());
        PAPrayCalendar::setServiceUrl(QString());
    }
    QTemporaryDir dir;
    FakePrayService service{[](const QString &) {
        return FakePrayService::Reply{200, FakePrayService::monthAnswer(2024, 6, 30)};
    }};
};

QDateTime at(const char *text)
{
    return QDateTime::fromString(QLatin1String(text), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

int prayIndexOf(FSManager *manager, int groupId)
{
    for (const FSConference &record : manager->conferences()->conferences()) {
        if (record.groupId == groupId)
            return record.prayIndex;
    }
    return -1;
}

} // namespace

TEST_F(VelmarTest, PrayerWatcherPlaysTheDhuhrFileOnceAndLogsAPrayStart)
{
    PrayPlace place;
    const RDGroup stored = storedGroup(QStringLiteral("3070"), QStringLiteral("pray"));
    RDGroup edited = stored;
    edited.prayLocation = QStringLiteral("Cairo, Egypt");
    edited.prayMethod = 5;
    edited.setPrayFiles({QString(), QString(), QStringLiteral("dhuhr.mp3"), QString(), QString(), QString(),
                         QString(), QString(), QString()});
    ASSERT_TRUE(m_velmar->updateGroup(stored, edited));
    RDGroup group = m_velmar->getGroupById(stored.id);
    ASSERT_EQ(group.prayFileList.value(2), QStringLiteral("dhuhr.mp3"));
    m_observer.takeEvents();

    auto watcher = std::make_unique<PAPrayWatchThread>(m_velmar->runRecord());
    qint64 steady = 0;
    for (const char *time : {"2024-06-03 11:46:58", "2024-06-03 11:47:01", "2024-06-03 11:47:03",
                             "2024-06-03 11:47:59", "2024-06-03 11:48:01"}) {
        watcher->runPass({group}, at(time), steady);
        steady += 2000;
    }
    EXPECT_EQ(m_observer.takeEvents(), QStringList{QStringLiteral("started")});
    EXPECT_EQ(m_observer.lastGroup().startType, QStringLiteral("pray"));
    EXPECT_EQ(prayIndexOf(m_fs, group.id), 2);
    QVector<PALogRecord> log = eventLog();
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log[0].action, QStringLiteral("start"));
    EXPECT_EQ(log[0].type, QStringLiteral("pray"));
    EXPECT_EQ(log[0].source, QStringLiteral("pray"));
    EXPECT_EQ(log[0].groupConference, QStringLiteral("3070"));

    // The operator renames the zone and the services restart within the
    // minute: nothing plays again.
    RDGroup renamed = group;
    renamed.name = QStringLiteral("Prayer hall");
    ASSERT_TRUE(m_velmar->updateGroup(group, renamed));
    watcher = std::make_unique<PAPrayWatchThread>(m_velmar->runRecord());
    watcher->runPass({m_velmar->getGroupById(group.id)}, at("2024-06-03 11:47:30"), 0);
    EXPECT_TRUE(m_observer.takeEvents().isEmpty());
    // A second start of the playing zone changes nothing and is not logged.
    m_velmar->startPrayGroup(group, 4);
    EXPECT_EQ(prayIndexOf(m_fs, group.id), 2);
    EXPECT_EQ(eventLog().size(), 1);
    EXPECT_EQ(place.service.requestCount(), 0);
}

TEST_F(VelmarTest, PrayerWatcherThreadFollowsThePraySwitch)
{
    PrayPlace place;
    RDGroup group;
    group.name = QStringLiteral("Prayers");
    group.conference = QStringLiteral("3071");
    group.source = QStringLiteral("pray");
    group.prayLocation = QStringLiteral("Cairo");
    group.prayMethod = 5;
    group.setPrayFiles({QString(), QString(), QStringLiteral("dhuhr.mp3")});
    ASSERT_GT(m_velmar->addGroup(group), 0);
    RDConfigure().setPrayEnable(0);

    auto *watcher = new PAPrayWatchThread(m_velmar->runRecord());
    std::atomic<int> passes{0};
    watcher->setClock({[&passes] {
                           ++passes;
                           return at("2024-06-03 11:47:01");
                       },
                       [&passes] { return qint64(passes.load()) * 2000; }});
    watcher->setPeriodMs(10);
    watcher->start();
    EXPECT_TRUE(PaTest::waitUntil([&] { return passes.load() >= 5; }));
    EXPECT_TRUE(eventLog().isEmpty());
    EXPECT_EQ(place.service.requestCount(), 0);

    RDConfigure().setPrayEnable(1);
    EXPECT_TRUE(PaTest::waitUntil([&] { return eventLog().size() == 1; }));
    const int seen = passes.load();
    EXPECT_TRUE(PaTest::waitUntil([&] { return passes.load() >= seen + 5; }));
    ASSERT_EQ(eventLog().size(), 1);
    EXPECT_EQ(eventLog()[0].type, QStringLiteral("pray"));
    EXPECT_EQ(place.service.requestCount(), 0);
    watcher->stop();
    watcher->wait();
    delete watcher;
}

TEST_F(VelmarTest, PlayChangeCarriesTheNewIndexAndRemovedObserversHearNothing)
{
    const RDGroup group = storedGroup(QStringLiteral("3070"));
    m_velmar->onGroupPlayChanged(group.id, group.conference, 4, QStringLiteral("a.mp3"));
    EXPECT_EQ(m_observer.takeEvents(), QStringList{QStringLiteral("play")});
    EXPECT_EQ(m_observer.lastGroup().playIndex, 4);
    EXPECT_EQ(m_observer.lastGroup().playPosition, 0.0);
    EXPECT_GT(m_observer.lastGroup().playUpdateTime, 0.0);

    m_velmar->notifyDataReloaded();
    EXPECT_EQ(m_observer.takeEvents(), QStringList{QStringLiteral("data")});

    m_velmar->removeObserver(&m_observer);
    m_velmar->removeObserver(&m_observer); // absent: nothing happens
    m_velmar->onGroupStarted(group.id, group.conference, QStringLiteral("api"), QStringLiteral("test"));
    EXPECT_TRUE(m_observer.takeEvents().isEmpty());
}

TEST_F(VelmarTest, ReadyReportOnlyFlagsTheRestartAndServicesComeBackAfterEachSwitchRestart)
{
    // A report while the switch is not ready (the manager also reports on
    // stop) restarts nothing.
    m_velmar->onSwitchRestarted();
    EXPECT_FALSE(m_velmar->isRestartPending());
    EXPECT_EQ(m_velmar->servicesStartCount(), 0);

    startSwitch();
    EXPECT_TRUE(m_velmar->areServicesRunning());
    const int before = m_velmar->servicesStartCount();

    // The report comes with the switch manager's observer lock held; here the
    // central object's own lock stands in for it. The call must return
    // without having run the restart: a restart joins threads that may be
    // waiting for that lock.
    std::atomic<bool> restartedInline{false};
    m_velmar->forEachObserver([&](VelmarObserver *) {
        m_velmar->onSwitchRestarted();
        restartedInline = m_velmar->servicesStartCount() != before;
    });
    EXPECT_FALSE(restartedInline.load());
    EXPECT_TRUE(PaTest::waitUntil([&] { return m_velmar->servicesStartCount() == before + 1; }));

    // A restart of the switch through the manager brings every service back.
    ASSERT_TRUE(m_fs->restart());
    EXPECT_TRUE(PaTest::waitUntil([&] { return m_velmar->servicesStartCount() == before + 2; }, 60000));
    EXPECT_TRUE(PaTest::waitUntil([&] { return !m_velmar->isRestartPending(); }));
    EXPECT_TRUE(m_velmar->areServicesRunning());

    m_velmar->shutdown();
    EXPECT_FALSE(m_velmar->areServicesRunning());
    // After shut-down no ready report restarts anything.
    m_velmar->onSwitchRestarted();
    EXPECT_FALSE(m_velmar->isRestartPending());
    EXPECT_FALSE(m_velmar->areServicesRunning());
}

namespace {
int freeTcpPort()
{
    return PaTest::freeTcpPort();
}
} // namespace

TEST_F(VelmarTest, ServicesFollowTheStoredSettingsAndAreNewAfterEachRestart)
{
    const int httpPort = freeTcpPort();
    const int wsPort = freeTcpPort();
    {
        RDConfigure conf;
        conf.setHttpServerPort(httpPort);
        conf.setHttpApiEnable(true);
        conf.setWsEnable(1);
        conf.setWsPort(wsPort);
    }
    startSwitch();
    ASSERT_TRUE(m_velmar->isHttpServerRunning());
    EXPECT_EQ(m_velmar->httpPort(), httpPort);
    EXPECT_TRUE(m_velmar->isApiEnabled());
    const std::shared_ptr<RDHttpStreamServer> http = m_velmar->httpStreamServer();
    const std::shared_ptr<WSServer> ws = m_velmar->webSocketServer();
    ASSERT_TRUE(http && ws && m_velmar->discovery());
    EXPECT_EQ(http->listenAddress().port, httpPort);
    EXPECT_TRUE(ws->isStarted());
    EXPECT_EQ(ws->listenPort(), wsPort);

    // The same port with the switch on keeps the server; anything else
    // stops it or moves it.
    m_velmar->setWebSocket(1, wsPort);
    EXPECT_TRUE(ws->isStarted());
    m_velmar->setWebSocket(0, wsPort);
    EXPECT_FALSE(ws->isStarted());
    const int otherPort = freeTcpPort();
    m_velmar->setWebSocket(1, otherPort);
    EXPECT_TRUE(ws->isStarted());
    EXPECT_EQ(ws->listenPort(), otherPort);
    m_velmar->setWebSocket(1, 0);
    EXPECT_FALSE(ws->isStarted());

    // A restart of the switch brings new service objects; those still held
    // by a user stay valid but stopped.
    const int count = m_velmar->servicesStartCount();
    ASSERT_TRUE(m_fs->restart());
    ASSERT_TRUE(PaTest::waitUntil([&] {
        return m_velmar->servicesStartCount() == count + 1 && !m_velmar->isRestartPending();
    }, 60000));
    EXPECT_NE(m_velmar->httpStreamServer(), http);
    EXPECT_NE(m_velmar->webSocketServer(), ws);
    EXPECT_FALSE(http->isListening());
    EXPECT_TRUE(m_velmar->webSocketServer()->isStarted());
}

TEST_F(VelmarTest, StartingServicesThatRunReplacesThemAndLeavesNoThreadBehind)
{
    {
        RDConfigure conf;
        conf.setHttpServerPort(freeTcpPort());
        conf.setWsEnable(1);
        conf.setWsPort(freeTcpPort());
    }
    const int threadsIdle = threadCount();
    ASSERT_TRUE(m_velmar->startServices());
    const int threadsRunning = threadCount();
    const std::shared_ptr<WSServer> firstWs = m_velmar->webSocketServer();
    // A second start stops what runs first: the old watcher, listeners and
    // servers end instead of running on beside the new ones.
    ASSERT_TRUE(m_velmar->startServices());
    EXPECT_FALSE(firstWs->isStarted());
    EXPECT_TRUE(m_velmar->webSocketServer()->isStarted());
    EXPECT_TRUE(PaTest::waitUntil([&] { return threadCount() <= threadsRunning; }))
        << threadCount() << " threads, " << threadsRunning << " after the first start";
    m_velmar->stopServices();
    EXPECT_TRUE(PaTest::waitUntil([&] { return threadCount() <= threadsIdle; }))
        << threadCount() << " threads, " << threadsIdle << " before the services";
}

TEST_F(VelmarTest, WebSocketSettingDuringRestartsLeavesTheCurrentServerListening)
{
    const int wsPort = freeTcpPort();
    {
        RDConfigure conf;
        conf.setHttpServerPort(freeTcpPort());
        conf.setWsEnable(1);
        conf.setWsPort(wsPort);
    }
    const int threadsIdle = threadCount();
    ASSERT_TRUE(m_velmar->startServices());
    // The settings screen stores the same port while restarts run: every
    // server the restarts retire must stay stopped, so the current one gets
    // the port.
    std::atomic<bool> done{false};
    std::thread restarts([&] {
        for (int i = 0; i < 40; ++i)
            m_velmar->startServices();
        done = true;
    });
    while (!done) {
        m_velmar->setWebSocket(1, wsPort);
        m_velmar->setAuth(1, QStringLiteral("admin"), QStringLiteral("secret"));
    }
    restarts.join();
    const std::shared_ptr<WSServer> ws = m_velmar->webSocketServer();
    ASSERT_TRUE(ws);
    EXPECT_TRUE(ws->isStarted());
    EXPECT_EQ(ws->listenPort(), wsPort);
    m_velmar->stopServices();
    EXPECT_TRUE(PaTest::waitUntil([&] { return threadCount() <= threadsIdle; }))
        << threadCount() << " threads, " << threadsIdle << " before the services";
}

TEST_F(VelmarTest, BusyHttpPortLeavesTheOtherServicesRunning)
{
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, 0));
    {
        RDConfigure conf;
        conf.setHttpServerPort(squatter.serverPort());
    }
    startSwitch();
    EXPECT_FALSE(m_velmar->isHttpServerRunning());
    EXPECT_EQ(m_velmar->httpStreamServer(), nullptr);
    EXPECT_TRUE(m_velmar->areServicesRunning());
    EXPECT_NE(m_velmar->webSocketServer(), nullptr);
    EXPECT_NE(m_velmar->discovery(), nullptr);

    // Once the port is free the settings screen can start it.
    const quint16 port = squatter.serverPort();
    squatter.close();
    EXPECT_TRUE(m_velmar->startHttpServer(false, port));
    EXPECT_TRUE(m_velmar->isHttpServerRunning());
    EXPECT_FALSE(m_velmar->isApiEnabled());
    m_velmar->stopHttpServer();
    EXPECT_FALSE(m_velmar->isHttpServerRunning());
}

TEST_F(VelmarTest, TrunkStatusOfAnUnknownTrunkIsEmpty)
{
    startSwitch();
    EXPECT_EQ(m_velmar->sipTrunkStatus(QStringLiteral("192.0.2.9"), QStringLiteral("5060"), QStringLiteral("77")),
              QString());
}

TEST(VelmarStatic, TrunkStatusTexts)
{
    const struct { const char *state, *text; } cases[] = {
        {"REGED", "registered"}, {"FAIL_WAIT", "register fail"}, {"TRYING", "registering"},
        {"reged", ""},           {"NOREG", ""},                  {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Velmar::sipTrunkStatusText(QLatin1String(c.state)), QLatin1String(c.text)) << c.state;
}

TEST(VelmarStatic, PasswordDigestIsLowerCaseHexMd5OfUtf8)
{
    EXPECT_EQ(Velmar::passwordDigest(QString()), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
    EXPECT_EQ(Velmar::passwordDigest(QStringLiteral("admin")), QStringLiteral("21232f297a57a5a743894a0e4a801fc3"));
}

TEST(VelmarStatic, PrayerCacheFileNamesLocationSettingsAndMonthWithoutLeadingZeros)
{
    const QString md5 = QStringLiteral("5d41402abc4b2a76b9719d911017c592"); // "hello"
    EXPECT_EQ(Velmar::prayCacheFile(QStringLiteral("hello"), 7, 0, 3, 2026, 3),
              Velmar::getPrayDir() + QLatin1Char('/') + md5 + QStringLiteral("703") + QStringLiteral("20263"));
    EXPECT_EQ(Velmar::prayCacheFile(QStringLiteral("hello"), 12, 1, 1, 2026, 11),
              Velmar::getPrayDir() + QLatin1Char('/') + md5 + QStringLiteral("121120261" "1"));
    EXPECT_TRUE(QFileInfo(Velmar::getPrayDir()).isDir());
}

TEST(VelmarStatic, HomeReloadReachesTheRegisteredHandlerFromAnyThreadUntilCleared)
{
    std::atomic<int> calls{0};
    Velmar::setHomeReloadHandler([&] { ++calls; });
    std::thread([] { Velmar::reloadHome(); }).join();
    EXPECT_EQ(calls.load(), 1);
    Velmar::setHomeReloadHandler(std::function<void()>());
    Velmar::reloadHome();
    EXPECT_EQ(calls.load(), 1);
}

TEST(DeviceStatusWatch, ChangeDetection)
{
    using Map = QMap<QString, QString>;
    const struct {
        Map previous, current;
        bool changed;
    } cases[] = {
        {Map(), Map(), false},
        {Map(), Map{{"6001", "online"}}, true},
        {Map{{"6001", "online"}}, Map{{"6001", "online"}}, false},
        {Map{{"6001", "online"}}, Map{{"6001", "calling"}}, true},  // same size, other text
        {Map{{"6001", "online"}}, Map{{"6002", "online"}}, true},   // same size, other number
        {Map{{"6001", "online"}}, Map{{"6001", "Online"}}, true},   // case counts
        {Map{{"6001", "online"}, {"6002", "online"}}, Map{{"6001", "online"}}, true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(RDDeviceStatusWatchThread::statusChanged(c.previous, c.current), c.changed);
}

TEST(DeviceStatusWatch, OnlyOnlineAndCallingDevicesAreReportedInOrder)
{
    QVector<RDDevice> devices;
    const char *statuses[] = {"online", "none", "calling", "offline", "Online"};
    for (int i = 0; i < 5; ++i) {
        RDDevice d;
        d.id = i + 1;
        d.number = QString::number(6001 + i);
        d.status = QLatin1String(statuses[i]);
        devices.append(d);
    }
    const QVector<RDDevice> online = RDDeviceStatusWatchThread::onlineDevices(devices);
    ASSERT_EQ(online.size(), 2);
    EXPECT_EQ(online[0].number, QStringLiteral("6001"));
    EXPECT_EQ(online[1].number, QStringLiteral("6003"));
}
