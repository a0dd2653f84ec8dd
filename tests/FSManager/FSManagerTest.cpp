#include "FakeSwitch.h"

#include "FSClient.h"
#include "FSConfigWriter.h"
#include "FSGateway.h"
#include "FSManager.h"
#include "FSManagerObserver.h"
#include "HttpCaptureListener.h"
#include "PlatformProcess.h"
#include "RDDevice.h"
#include "RDGroup.h"
#include "SwitchStandIn.h"
#include "TestSupport.h"
#include "VDB.h"
#include "VelmarDB.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct CountingObserver : FSManagerObserver
{
    std::atomic<int> restarted{0};
    void onSwitchRestarted() override { ++restarted; }
};

int freeUdpPort()
{
    return PaTest::freeUdpPort();
}

RDGroup makeGroup(const QString &conference, bool rtp, bool trunk)
{
    RDGroup g;
    g.name = QStringLiteral("Zone ") + conference;
    g.conference = conference;
    VelmarDB::fillSipNumbers(g);
    g.rtpEnable = rtp ? 1 : 0;
    g.rtpUrl = QStringLiteral("127.0.0.1:40000");
    g.sipTrunkEnable = trunk ? 1 : 0;
    g.sipTrunkServer = QStringLiteral("127.0.0.1");
    g.sipTrunkPort = QStringLiteral("05070");
    g.sipTrunkNumber = QStringLiteral("+4930") + conference;
    g.sipTrunkPassword = QStringLiteral("tr\"unk&<pw");
    g.sipTrunkExpire = QStringLiteral("600");
    return g;
}

RDDevice makeDevice(const QString &number, const QString &name = QString(), const QString &password = QString())
{
    RDDevice d;
    d.number = number;
    d.name = name;
    d.password = password;
    return d;
}

// A manager over a private application database; every test stops what it
// started and leaves no switch process behind.
class ManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_data.isValid());
        m_oldDataDir = VDB::dataDir();
        VDB::setDataDir(m_data.path());
        {
            VelmarDB db(true);
            db.checkUpgrade(); // creates the tables
        }
        qputenv("RUVIDAZA_TEST_HOOKS", "1");
        m_fs = FSManager::createInstance();
        m_fs->addObserver(&m_observer);
    }

    void TearDown() override
    {
        if (m_fs) {
            m_fs->stop();
            m_fs->removeObserver(&m_observer);
            const QString dir = m_fs->directory();
            FSManager::destroyInstance();
            if (!dir.isEmpty()) {
                EXPECT_TRUE(Platform::findProcessesByExecutable(dir, FSManager::kSwitchProgram).isEmpty());
            }
        }
        VDB::setDataDir(m_oldDataDir);
    }

    void configure(const QString &dir, int shutdownGraceMs = 20000, int failureWaitMs = 5000, int httpPort = 9391)
    {
        m_fs->setDirectory(dir);
        m_fs->setHttpPort(httpPort);
        m_fs->setNetwork(QStringLiteral("127.0.0.1"), QStringLiteral("255.0.0.0"), freeUdpPort(), false,
                         QStringLiteral("127.0.0.1"), freeUdpPort(), QStringLiteral("pcmu,PCMA"));
        m_fs->setRtpPortRange(30000, 30100);
        m_fs->setSwitchTimingForTesting(shutdownGraceMs, failureWaitMs);
    }

    bool waitReady(int ms = 60000)
    {
        return PaTest::waitUntil([&] { return m_fs->isReady(); }, ms);
    }

    bool waitNothingPending(int ms = 60000)
    {
        return PaTest::waitUntil([&] {
            return !m_fs->isReloadPending() && !m_fs->isInternalRescanPending() && !m_fs->isExternalRescanPending();
        }, ms);
    }

    QVector<qint64> switchPids() const
    {
        return Platform::findProcessesByExecutable(m_fs->directory(), FSManager::kSwitchProgram);
    }

    QTemporaryDir m_data;
    QString m_oldDataDir;
    FSManager *m_fs = nullptr;
    CountingObserver m_observer;
};

// ------------------------------------------------ with a scripted switch

class ScriptedSwitchTest : public ManagerTest
{
protected:
    void SetUp() override
    {
        ManagerTest::SetUp();
        ASSERT_TRUE(m_fake.isValid());
        for (const char *sub : {"conf/directory", "conf/dialplan", "conf/sip_profiles", "scripts"})
            QDir().mkpath(m_fake.folder() + QLatin1Char('/') + QLatin1String(sub));
    }
    FakeSwitchFolder m_fake;
};

TEST_F(ScriptedSwitchTest, ShutdownEndsTheSwitchAndStartsNoOther)
{
    configure(m_fake.folder());
    ASSERT_TRUE(m_fs->start());
    ASSERT_TRUE(waitReady());
    ASSERT_TRUE(PaTest::waitUntil([&] { return m_fake.starts() == 1; }));
    // A switch that has been up for a while: one that ends right after its
    // start is restarted only after a pause, which would hide a restart.
    QThread::msleep(1500);
    m_fs->stop();
    EXPECT_TRUE(m_fake.commands().contains("shutdown"));
    // The switch ended with code 0 after "shutdown": it must not have been
    // started a second time on the way out.
    EXPECT_EQ(m_fake.starts(), 1);
    EXPECT_TRUE(switchPids().isEmpty());
    EXPECT_EQ(m_observer.restarted.load(), 1);
}

TEST_F(ScriptedSwitchTest, ManagerThreadsSleepBetweenPasses)
{
    const QList<int> before = PaTest::threadIdsNamed(QString());
    configure(m_fake.folder());
    ASSERT_TRUE(m_fs->start());
    ASSERT_TRUE(waitReady());
    QList<int> ids;
    for (const char *name : {"FSManagerThread", "FSConsoleThread", "RDMessageQueueThread"}) {
        const QList<int> found = PaTest::threadIdsNamed(QLatin1String(name), before);
        ASSERT_EQ(found.size(), 1) << name;
        ids << found;
    }
    // Two supervision passes a second, each a console exchange and two
    // database reads; the switch's process and the message queue sleep.
    // Threads that poll every few milliseconds switch hundreds of times.
    const long long switches = PaTest::switchesOver(ids, 1000);
    EXPECT_GE(switches, 0);
    EXPECT_LE(switches, 15);
}

TEST_F(ScriptedSwitchTest, SwitchIgnoringShutdownIsEndedByForceAndOnlyThisFoldersSwitch)
{
    // Another installation's switch of the same name, started by hand.
    FakeSwitchFolder other;
    ASSERT_TRUE(other.isValid());
    other.setSwitchMode("hang");
    QProcess otherSwitch;
    otherSwitch.start(other.folder() + "/RUVidazaConsole", {"-nc", "-nonat"});
    ASSERT_TRUE(otherSwitch.waitForStarted());
    ASSERT_TRUE(PaTest::waitUntil([&] { return other.starts() == 1; }));

    m_fake.setSwitchMode("hang");
    configure(m_fake.folder(), 300, 200);
    ASSERT_TRUE(m_fs->start());
    ASSERT_TRUE(waitReady());
    ASSERT_TRUE(PaTest::waitUntil([&] { return switchPids().size() == 1; }));
    m_fs->stop(); // returns only once the console thread has ended
    EXPECT_TRUE(switchPids().isEmpty());
    EXPECT_EQ(m_fake.starts(), 1);
    EXPECT_TRUE(Platform::processAlive(otherSwitch.processId()));
    otherSwitch.kill();
    otherSwitch.waitForFinished();
}

// A stop while the switch is still starting: its console may not take the
// first "shutdown", so it is asked again instead of waiting for the forced end.
TEST_F(ScriptedSwitchTest, ShutdownIsAskedAgainWhenTheFirstFindsNoConsole)
{
    m_fake.setConsoleMode("miss-first-shutdown");
    configure(m_fake.folder(), 120000, 200);
    ASSERT_TRUE(m_fs->start());
    ASSERT_TRUE(waitReady());
    ASSERT_TRUE(PaTest::waitUntil([&] { return m_fake.starts() == 1; }));
    m_fs->stop();
    EXPECT_GE(m_fake.commands().count("shutdown"), 2);
    EXPECT_TRUE(m_fake.journal().contains("exit term")); // ended by shutdown, not by force
    EXPECT_EQ(m_fake.starts(), 1);
}

TEST_F(ScriptedSwitchTest, SwitchThatFailsAtOnceIsStartedAgainAfterTheWait)
{
    m_fake.setSwitchMode("exit3");
    configure(m_fake.folder(), 300, 100);
    ASSERT_TRUE(m_fs->start());
    EXPECT_TRUE(PaTest::waitUntil([&] { return m_fake.starts() >= 3; }, 30000));
    m_fs->stop();
    const int after = m_fake.starts();
    EXPECT_TRUE(switchPids().isEmpty());
    // Nothing starts once stopped.
    QThread::msleep(300);
    EXPECT_EQ(m_fake.starts(), after);
}

TEST_F(ScriptedSwitchTest, SwitchEndingWithZeroIsStartedAgainWithoutTheFailureWait)
{
    m_fake.setSwitchMode("exit0");
    // A failure wait longer than the test: three starts prove it was not used.
    configure(m_fake.folder(), 300, 600000);
    ASSERT_TRUE(m_fs->start());
    EXPECT_TRUE(PaTest::waitUntil([&] { return m_fake.starts() >= 3; }, 30000));
    m_fs->stop();
}

TEST_F(ScriptedSwitchTest, StopBeforeTheSwitchAnswersStillTellsObserversAndShutsDown)
{
    m_fake.setConsoleMode("silent");
    configure(m_fake.folder(), 300, 200);
    ASSERT_TRUE(m_fs->start());
    // Two ready questions, 1 s apart, each a client process of its own.
    ASSERT_TRUE(PaTest::waitUntil([&] { return m_fake.commands().count("conference list") >= 2; }, 20000));
    EXPECT_FALSE(m_fs->isReady());
    m_fs->stop();
    EXPECT_EQ(m_observer.restarted.load(), 1);
    EXPECT_TRUE(switchPids().isEmpty());
    EXPECT_EQ(m_fake.starts(), 1);
}

TEST_F(ScriptedSwitchTest, RestartTellsObserversAgainOnceTheNewSwitchAnswers)
{
    configure(m_fake.folder());
    ASSERT_TRUE(m_fs->start());
    ASSERT_TRUE(waitReady());
    ASSERT_TRUE(PaTest::waitUntil([&] { return m_observer.restarted.load() == 1; }));
    ASSERT_TRUE(m_fs->restart());
    ASSERT_TRUE(waitReady());
    EXPECT_TRUE(PaTest::waitUntil([&] { return m_observer.restarted.load() == 2; }));
    EXPECT_TRUE(PaTest::waitUntil([&] { return m_fake.starts() == 2; }));
}

TEST_F(ScriptedSwitchTest, PendingConfigurationGoesOutInOrderAndRepeatsUntilItSucceeds)
{
    configure(m_fake.folder());
    ASSERT_TRUE(m_fs->start());
    ASSERT_TRUE(waitReady());
    ASSERT_TRUE(waitNothingPending());
    // Commands after `from`, without the readiness probes; waits until at
    // least `n` have gone out and one more pass has had the chance to add any.
    auto sentSince = [&](int from, int n) {
        auto list = [&] {
            QStringList out = m_fake.commands().mid(from);
            out.removeAll("conference list");
            return out;
        };
        PaTest::waitUntil([&] { return list().size() >= n; }, 30000);
        QThread::msleep(1200);
        return list().join(" | ");
    };

    int mark = m_fake.commands().size();
    m_fs->addGroup(makeGroup("3001", true, true));
    // A successful rescan reloads the whole XML, so no "reloadxml" follows.
    EXPECT_EQ(sentSince(mark, 4), "sofia profile external killgw _all_ | sofia profile external rescan | "
                                  "sofia profile internal killgw _all_ | sofia profile internal rescan");
    EXPECT_TRUE(waitNothingPending());

    mark = m_fake.commands().size();
    m_fs->addDevice(makeDevice("6001"));
    EXPECT_EQ(sentSince(mark, 1), "reloadxml");

    // Failed rescans keep their flags and are sent again on every pass; the
    // directory change is not held back by the failing profiles.
    m_fake.setConsoleMode("fail-rescan");
    mark = m_fake.commands().size();
    m_fs->addGroup(makeGroup("3002", false, true));
    const QString twoPasses = "sofia profile external killgw _all_ | sofia profile external rescan | "
                              "sofia profile internal killgw _all_ | sofia profile internal rescan | reloadxml | "
                              "sofia profile external killgw _all_ | sofia profile external rescan | "
                              "sofia profile internal killgw _all_ | sofia profile internal rescan";
    const QString sent = sentSince(mark, 9);
    EXPECT_TRUE(sent.startsWith(twoPasses)) << sent.toStdString();

    m_fake.setConsoleMode("ok");
    EXPECT_TRUE(waitNothingPending());
}

// A device added while "reloadxml" runs must get a reload of its own: the
// running one may already have read the directory without it.
TEST_F(ScriptedSwitchTest, ChangeMadeWhileAReloadRunsIsReloadedAgain)
{
    configure(m_fake.folder());
    ASSERT_TRUE(m_fs->start());
    ASSERT_TRUE(waitReady());
    ASSERT_TRUE(waitNothingPending());
    m_fake.setConsoleMode("slow");
    m_fs->addDevice(makeDevice("6001"));
    ASSERT_TRUE(PaTest::waitUntil([&] { return m_fake.commands().count("reloadxml") == 1; }));
    m_fs->addDevice(makeDevice("6002")); // while the reload is still running
    EXPECT_TRUE(PaTest::waitUntil([&] { return m_fake.commands().count("reloadxml") == 2; }, 15000));
}

// ------------------------------------------------------ with the stand-in

class StandInTest : public ManagerTest
{
protected:
    void SetUp() override
    {
        ManagerTest::SetUp();
        ASSERT_TRUE(m_switch.isValid());
    }

    QJsonObject switchConfig() const
    {
        const QString answer = m_switch.console("test config");
        if (!answer.startsWith("+OK "))
            return {};
        return QJsonDocument::fromJson(answer.mid(4).toUtf8()).object();
    }
    QStringList known(const char *what, const char *key) const
    {
        QStringList out;
        for (const QJsonValue &v : switchConfig().value(what).toArray())
            out << v.toObject().value(key).toString();
        return out;
    }

    PaTest::SwitchStandIn m_switch{true};
};

TEST_F(StandInTest, ConfigurationFollowsDevicesAndZonesAndSurvivesAKilledSwitch)
{
    {
        VelmarDB db(true);
        ASSERT_GT(db.insertDevice("Hall", "6001", "pw&<\"1"), 0);
        ASSERT_GT(db.insertDevice("", "6002", ""), 0);
        ASSERT_GT(db.insertGroup(makeGroup("3001", true, true)), 0);
    }
    configure(m_switch.folder());
    ASSERT_TRUE(m_fs->start());
    ASSERT_TRUE(waitReady());
    // The ready flag is raised first and the observers are told just after,
    // on the manager's thread: wait for the notification itself.
    EXPECT_TRUE(PaTest::waitUntil([&] { return m_observer.restarted.load() == 1; }));

    const RDGroup zone = makeGroup("3001", true, true);
    QStringList users = known("users", "id");
    for (const QString &u : {QString("6001"), QString("6002"), zone.inputSipNumber, zone.outputSipNumber,
                             QString("rtp3001")})
        EXPECT_TRUE(users.contains(u)) << u.toStdString();
    QStringList gateways = known("gateways", "name");
    EXPECT_TRUE(gateways.contains("ingwrtp3001"));
    EXPECT_TRUE(gateways.contains("exgwrtp3001"));
    EXPECT_TRUE(switchConfig().value("skipped").toArray().isEmpty());

    // The trunk's state is found by the realm the writer wrote.
    bool found = false;
    for (const FSGateway &g : m_fs->getGateways()) {
        if (g.name == "exgwrtp3001") {
            found = true;
            EXPECT_EQ(g.realm, FSConfigWriter::trunkRealm(zone.sipTrunkServer, zone.sipTrunkPort));
        }
    }
    EXPECT_TRUE(found);

    // Changes: new, renumbered and removed devices; trunk turned off.
    m_fs->addDevice(makeDevice("6003", "Gate", "x"));
    m_fs->updateDevice(makeDevice("6002"), makeDevice("6012", "Yard", "y"));
    m_fs->removeDevice(makeDevice("6001"));
    RDGroup noTrunk = zone;
    noTrunk.sipTrunkEnable = 0;
    m_fs->updateGroup(zone, noTrunk);
    // The switch is told by the passes; wait for what it reports.
    EXPECT_TRUE(PaTest::waitUntil([&] {
        const QStringList u = known("users", "id");
        const QStringList g = known("gateways", "name");
        return u.contains("6003") && u.contains("6012") && !u.contains("6001") && !u.contains("6002")
            && g.contains("ingwrtp3001") && !g.contains("exgwrtp3001");
    }, 60000)) << known("users", "id").join(",").toStdString() << " / "
               << known("gateways", "name").join(",").toStdString();
    EXPECT_FALSE(QFileInfo::exists(m_switch.path("conf/dialplan/public/voip3001.xml")));

    // A killed switch is started again; the observers are not told again.
    const QVector<qint64> before = switchPids();
    ASSERT_EQ(before.size(), 1);
    Platform::killProcessesByExecutable(m_switch.folder(), FSManager::kSwitchProgram);
    EXPECT_TRUE(PaTest::waitUntil([&] {
        const QVector<qint64> now = switchPids();
        return now.size() == 1 && now != before && m_switch.console("conference list").startsWith("+OK");
    }, 60000));
    EXPECT_TRUE(m_fs->isReady());
    EXPECT_EQ(m_observer.restarted.load(), 1);
    EXPECT_TRUE(known("users", "id").contains("6003"));
}

// Changes from many threads while passes send reloads and rescans: none is
// lost, and the manager's locks never deadlock.
TEST_F(StandInTest, ConcurrentChangesFromManyThreadsAreAllApplied)
{
    configure(m_switch.folder());
    ASSERT_TRUE(m_fs->start());
    ASSERT_TRUE(waitReady());

    const int threads = 8, perThread = 25;
    std::vector<std::thread> workers;
    std::atomic<int> reads{0};
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            CountingObserver local;
            RDGroup zone = makeGroup(QString::number(3100 + t), true, false);
            m_fs->addGroup(zone);
            for (int i = 0; i < perThread; ++i) {
                m_fs->addDevice(makeDevice(QString::number(6100 + t * perThread + i), "D", "p"));
                RDGroup next = zone;
                next.rtpUrl = QStringLiteral("127.0.0.1:%1").arg(41000 + i);
                next.sipTrunkEnable = i % 2;
                m_fs->updateGroup(zone, next);
                zone = next;
                m_fs->addObserver(&local);
                reads += m_fs->deviceStatus().size() + m_fs->groupStatus().size() + 1;
                m_fs->removeObserver(&local);
            }
        });
    }
    for (std::thread &w : workers)
        w.join();
    EXPECT_GT(reads.load(), 0);
    // Every change must reach the switch; a lost one leaves the flags clear
    // and the switch without the device for good.
    auto missing = [&] {
        const QStringList users = known("users", "id");
        QStringList out;
        for (int n = 0; n < threads * perThread; ++n)
            if (!users.contains(QString::number(6100 + n)))
                out << QString::number(6100 + n);
        return out;
    };
    EXPECT_TRUE(PaTest::waitUntil([&] { return missing().isEmpty(); }, 60000)) << missing().join(",").toStdString();
    // Gateways arrive with the profile rescan, which may follow the reload
    // that brought the users in: wait for them as well.
    auto missingGateways = [&] {
        const QStringList gateways = known("gateways", "name");
        QStringList out;
        for (int t = 0; t < threads; ++t)
            if (!gateways.contains(QStringLiteral("ingwrtp%1").arg(3100 + t)))
                out << QString::number(3100 + t);
        return out;
    };
    EXPECT_TRUE(PaTest::waitUntil([&] { return missingGateways().isEmpty(); }, 60000))
        << missingGateways().join(",").toStdString();
}

// The written dialplans and scripts, run by the switch for inbound calls,
// report each call once with its values in the right places.
TEST_F(StandInTest, InboundCallsAreReportedThroughTheWrittenScripts)
{
    HttpCaptureListener http;
    ASSERT_GT(http.port(), 0);
    const RDGroup zone = makeGroup("3001", false, true); // trunk number +49303001
    {
        VelmarDB db(true);
        ASSERT_GT(db.insertDevice("Hall", "6001", "pw"), 0);
        ASSERT_GT(db.insertGroup(zone), 0);
    }
    configure(m_switch.folder(), 20000, 5000, http.port());
    ASSERT_TRUE(m_fs->start());
    ASSERT_TRUE(waitReady());

    // The script waits for the report before the call goes on, so the
    // console runs on another thread while this one serves the listener.
    auto call = [&](const QString &command) {
        QString answer;
        std::atomic<bool> done{false};
        std::thread t([&] {
            answer = m_switch.console(command);
            done = true;
        });
        PaTest::waitUntil([&] { return done.load(); }, 60000);
        t.join();
        return answer;
    };
    auto expectReport = [&](const QString &command, const char *type, const char *caller, const char *number) {
        SCOPED_TRACE(command.toStdString());
        const int before = http.forms().size();
        const QString answer = call(command);
        ASSERT_TRUE(answer.startsWith("+OK")) << answer.toStdString();
        ASSERT_TRUE(PaTest::waitUntil([&] { return http.forms().size() >= before + 1; }, 15000));
        EXPECT_EQ(http.forms().size(), before + 1);
        const QMap<QString, QString> q = http.forms().last();
        EXPECT_EQ(q.value("type"), type);
        EXPECT_EQ(q.value("caller"), caller);
        EXPECT_EQ(q.value("number"), number);
        EXPECT_EQ(q.value("conference"), "3001");
    };

    expectReport("test call 6001 3001", "internal", "6001", "3001");
    // A trunk caller picks its own caller id: whatever it holds, only the
    // characters of a SIP user part reach the report, and nothing in it is
    // ever run. Each hostile id would create its marker file if a shell saw it.
    QTemporaryDir marks;
    ASSERT_TRUE(marks.isValid());
    const QString m = marks.path();
    QString kept = m;
    kept.remove(QRegularExpression("[^0-9A-Za-z+*#._-]"));
    struct Hostile { QString caller; QString reported; };
    const Hostile hostile[] = {
        {"1;touch-x", "1touch-x"},
        {"1';touch '" + m + "/quote';'", "1touch" + kept + "quote"},
        {"1;touch " + m + "/semicolon", "1touch" + kept + "semicolon"},
        {"$(touch " + m + "/dollar)", "touch" + kept + "dollar"},
        {"`touch " + m + "/backtick`", "touch" + kept + "backtick"},
        {"+49 30\n;touch " + m + "/newline\n7", "+4930touch" + kept + "newline7"},
        {"\"+49\"&x=1\t\r", "+49x1"},
    };
    for (const Hostile &h : hostile) {
        const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(h.caller));
        expectReport("test call " + encoded + " +49303001 profile=external src=127.0.0.1", "external",
                     h.reported.toUtf8().constData(), "+49303001");
    }
    EXPECT_TRUE(QDir(m).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    // The trunk number and the server address are matched literally: these
    // calls are never reported, so the next report is the next routed call.
    call("test call 555 49303001 profile=external src=127.0.0.1");
    call("test call 556 +49303001 profile=external src=127.0.0.2");
    call("test call 557 +4930300 profile=external src=127.0.0.1");
    expectReport("test call 558 +49303001 profile=external src=127.0.0.1", "external", "558", "+49303001");
}

// After a database import every stored device and zone is written again and
// the running switch is told on the next pass.
TEST_F(ManagerTest, ReloadConfigurationRewritesEverythingStored)
{
    QTemporaryDir sw;
    for (const char *sub : {"conf/directory", "conf/dialplan", "conf/sip_profiles", "scripts"})
        ASSERT_TRUE(QDir().mkpath(sw.path() + QLatin1Char('/') + QLatin1String(sub)));
    {
        VelmarDB db(true);
        ASSERT_GT(db.insertDevice("Hall", "6001", "pw"), 0);
        ASSERT_GT(db.insertGroup(makeGroup("3001", true, false)), 0);
    }
    configure(sw.path());
    m_fs->reloadConfiguration();
    for (const char *f : {"conf/directory/default/6001.xml", "conf/directory/default/4001.xml",
                          "conf/directory/default/5001.xml", "conf/directory/default/rtp3001.xml",
                          "conf/dialplan/public/rtp3001.xml", "conf/sip_profiles/internal/ingwrtp3001.xml"})
        EXPECT_TRUE(QFileInfo::exists(sw.path() + "/" + f)) << f;
    EXPECT_FALSE(QFileInfo::exists(sw.path() + "/conf/dialplan/public/voip3001.xml"));
    EXPECT_TRUE(m_fs->isReloadPending());
    EXPECT_TRUE(m_fs->isInternalRescanPending());
    EXPECT_TRUE(m_fs->isExternalRescanPending());
}

TEST(FSManagerSettings, CodecListIsNormalisedAndComparedNormalised)
{
    struct Case
    {
        const char *in, *out;
    } cases[] = {{"pcma,G722,foo", "PCMA,G722"}, {"opus", "OPUS"}, {"", ""}, {"foo", ""},
                 {",,pcmu,,", "PCMU"},       {"Opus,g722,PcMu,pcma", "OPUS,G722,PCMU,PCMA"}};
    for (const Case &c : cases)
        EXPECT_EQ(FSManager::normalizeCodecs(c.in), c.out) << c.in;

    QTemporaryDir tmp;
    ASSERT_TRUE(QDir().mkpath(tmp.path() + "/conf"));
    FSManager *fs = FSManager::createInstance();
    // The HTTP port alone writes no script while no folder is set.
    fs->setHttpPort(9391);
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/scripts/call_conference.lua"));
    fs->setDirectory(tmp.path());
    fs->setNetwork("192.168.1.20", "255.255.255.0", 5060, false, "192.168.1.20", 5080, "pcma,G722,foo");
    EXPECT_EQ(fs->sipCodecs(), "PCMA,G722");
    EXPECT_TRUE(fs->isNetworkChanged("192.168.1.20", "255.255.255.0", 5060, false, "192.168.1.20", 5080,
                                     "pcma,G722,foo", 0, 0));
    EXPECT_FALSE(fs->isNetworkChanged("192.168.1.20", "255.255.255.0", 5060, false, "192.168.1.20", 5080,
                                      "PCMA,G722", 0, 0));
    EXPECT_TRUE(QFileInfo::exists(tmp.path() + "/scripts/call_conference.lua"));
    EXPECT_TRUE(QFileInfo::exists(tmp.path() + "/conf/custom_configs/sip_configs.xml"));
    EXPECT_TRUE(QFileInfo::exists(tmp.path() + "/conf/autoload_configs/acl.conf.xml"));
    FSManager::destroyInstance();
}

} // namespace
