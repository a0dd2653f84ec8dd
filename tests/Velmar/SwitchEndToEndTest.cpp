// The program's back end with the switch over real SIP: three SIPp devices
// register with the passwords the program wrote and are called into a zone
// started through "/action", by a caller on the zone's number, and again
// after the switch was killed; they hear the zone's file or the caller and
// get their BYE. The status of a zone's SIP trunk follows an upstream SIPp
// registrar.
#include "FSManager.h"
#include "HttpTestClient.h"
#include "PALogDB.h"
#include "PlatformProcess.h"
#include "RDConfigure.h"
#include "RDDevice.h"
#include "RDGroup.h"
#include "SipG711.h"
#include "SippDevices.h"
#include "SippSpeakers.h"
#include "TestSupport.h"
#include "Tone.h"
#include "Velmar.h"
#include "VelmarFixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

using PaTest::SippSpeakers;

// The zones here play at volume 4, which raises files by 15 dB once the
// switch has the level: a louder tone would be clipped into a square.
constexpr double kFileToneAmplitude = 3000.0;

class SwitchEndToEnd : public VelmarFixture
{
protected:
    SwitchEndToEnd() { m_rtpFirstPort = 31400; }

    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("sipp")).isEmpty())
            GTEST_SKIP() << "sipp is not installed";
        m_port = freeLoopbackPort();
        // The switch's call scripts report to the program's HTTP server.
        m_switchReportPort = m_port;
        VelmarFixture::SetUp();
    }

    void configure() override
    {
        RDConfigure conf;
        conf.setHttpServerPort(m_port);
        conf.setHttpApiEnable(true);
    }

    void TearDown() override
    {
        m_speakers.reset();
        VelmarFixture::TearDown();
    }

    QProcess *sipp(const QStringList &args) { return m_speakers->sipp(args); }

    std::string action(const std::string &query)
    {
        std::string body;
        EXPECT_TRUE(httpGet(m_port, "/action?" + query, body)) << query;
        return body;
    }

    // The zone of addZone with the switch running and its devices
    // registered and waiting for their calls.
    void zoneWithAnsweringDevices(const QString &medium = QString())
    {
        addZone(medium);
        if (HasFatalFailure())
            return;
        startSwitch();
        if (HasFatalFailure())
            return;
        registerDevicesAndWaitForCalls();
    }

    // Each device's scenario ends only with the switch's BYE answered.
    void expectEveryDeviceHungUp() { EXPECT_TRUE(m_speakers->waitHungUp()); }

    // Three devices in zone 3001, whose source is `medium` (a media file
    // list), stored before the switch starts.
    void addZone(const QString &medium = QString())
    {
        QStringList ids;
        for (const QString &number : m_numbers) {
            RDDevice d;
            d.name = QStringLiteral("Speaker ") + number;
            d.number = number;
            d.password = QStringLiteral("s3cret") + number;
            const int id = m_velmar->addDevice(d);
            ASSERT_GT(id, 0);
            ids << QString::number(id);
        }
        // A desk outside the zone, to call it.
        RDDevice desk;
        desk.name = QStringLiteral("Desk");
        desk.number = QStringLiteral("6209");
        desk.password = QStringLiteral("s3cret6209");
        ASSERT_GT(m_velmar->addDevice(desk), 0);
        RDGroup group;
        group.name = QStringLiteral("Hall");
        group.conference = QStringLiteral("3001");
        group.source = QStringLiteral("media");
        group.medium = medium;
        group.devices = ids.join(QLatin1Char(';'));
        group.volume = 4;
        group.priority = 3;
        ASSERT_GT(m_velmar->addGroup(group), 0);
    }

    // Each device registers with the password the program wrote for it,
    // then waits for the switch's call on the same port, its audio going to
    // a socket of the test's (m_speakers->audio(i)).
    void registerDevicesAndWaitForCalls()
    {
        std::vector<SippSpeakers::Account> accounts;
        for (const QString &number : m_numbers)
            accounts.push_back({number, QStringLiteral("s3cret") + number});
        ASSERT_TRUE(m_speakers->registerAndAnswer(m_internalPort, accounts));
    }

    const QStringList m_numbers{QStringLiteral("6201"), QStringLiteral("6202"), QStringLiteral("6203")};
    QTemporaryDir m_work;
    std::unique_ptr<SippSpeakers> m_speakers{new SippSpeakers(m_work.path())};
    int m_port = 0;
};

TEST_F(SwitchEndToEnd, ZoneStartDialsRegisteredDevicesAndStopHangsThemUp)
{
    ASSERT_TRUE(m_work.isValid());
    zoneWithAnsweringDevices();
    if (HasFatalFailure())
        return;

    QElapsedTimer sinceStart;
    sinceStart.start();
    EXPECT_EQ(action("zone=3001&operation=start"), "{\"result\":\"ok\"}");
    // Every device is called, answers, and hears the conference, within a
    // supervision pass or two.
    for (int i = 0; i < m_speakers->count(); ++i)
        EXPECT_TRUE(m_speakers->audio(i).waitForReadyRead(15000));
    EXPECT_LT(sinceStart.elapsed(), 5000);

    EXPECT_EQ(action("zone=3001&operation=stop"), "{\"result\":\"ok\"}");
    expectEveryDeviceHungUp();
}

TEST_F(SwitchEndToEnd, DevicesHearTheZonesMediaFile)
{
    ASSERT_TRUE(m_work.isValid());
    const QString tone = m_work.path() + QStringLiteral("/tone 1k.wav");
    ASSERT_TRUE(PaTest::writeWav(tone, Tone::sine(1000.0, 8000, 1, 8000 * 20, kFileToneAmplitude), 8000));
    zoneWithAnsweringDevices(tone);
    if (HasFatalFailure())
        return;

    EXPECT_EQ(action("zone=3001&operation=start"), "{\"result\":\"ok\"}");
    // What every device hears is the file's tone: most of its energy at
    // 1 kHz, and loud enough not to be the comfort of near silence.
    for (int i = 0; i < m_speakers->count(); ++i) {
        const std::vector<double> heard = SippSpeakers::receivedAudio(m_speakers->audio(i), 300, 1000);
        ASSERT_GE(heard.size(), 8000u) << "device " << i;
        EXPECT_GE(Tone::blocksOfTone(heard, 1000.0, 8000), 8) << "device " << i;
        EXPECT_GT(Tone::rmsDb(heard), -40.0) << "device " << i;
    }
    EXPECT_EQ(action("zone=3001&operation=stop"), "{\"result\":\"ok\"}");
}

TEST_F(SwitchEndToEnd, KilledSwitchIsRestartedAndTheRunningZoneDialledAgain)
{
    ASSERT_TRUE(m_work.isValid());
    // A zone with nothing to play ends at the first supervision pass that
    // finds its devices joined: this one plays a long file, so that it is
    // still running when the switch is killed.
    const QString tone = m_work.path() + QStringLiteral("/tone.wav");
    ASSERT_TRUE(PaTest::writeWav(tone, Tone::sine(1000.0, 8000, 1, 8000 * 60, kFileToneAmplitude), 8000));
    zoneWithAnsweringDevices(tone);
    if (HasFatalFailure())
        return;
    EXPECT_EQ(action("zone=3001&operation=start"), "{\"result\":\"ok\"}");
    for (int i = 0; i < m_speakers->count(); ++i)
        ASSERT_TRUE(m_speakers->audio(i).waitForReadyRead(15000));

    const QVector<qint64> before = Platform::findProcessesByExecutable(m_fs->directory(), FSManager::kSwitchProgram);
    ASSERT_EQ(before.size(), 1);
    ASSERT_EQ(Platform::killProcessesByExecutable(m_fs->directory(), FSManager::kSwitchProgram), 1);
    // The devices lost their calls with the switch (no BYE comes): they are
    // stopped and come back as fresh registrations, the way their refresh
    // finds a switch that forgot them.
    m_speakers->dropAll();
    ASSERT_TRUE(PaTest::waitUntil(
        [&] {
            const QVector<qint64> now =
                Platform::findProcessesByExecutable(m_fs->directory(), FSManager::kSwitchProgram);
            return now.size() == 1 && now != before && m_fs->isReady();
        },
        30000));
    registerDevicesAndWaitForCalls();
    if (HasFatalFailure())
        return;
    // The zone still runs: each device is called again and hears its item,
    // played again on the new switch.
    for (int i = 0; i < m_speakers->count(); ++i) {
        const std::vector<double> heard = SippSpeakers::receivedAudio(m_speakers->audio(i), 300, 1000);
        ASSERT_GE(heard.size(), 8000u) << "device " << i;
        EXPECT_GE(Tone::blocksOfTone(heard, 1000.0, 8000), 8) << "device " << i;
    }
    EXPECT_EQ(action("zone=3001&operation=stop"), "{\"result\":\"ok\"}");
    expectEveryDeviceHungUp();
}

TEST_F(SwitchEndToEnd, CallToTheZoneNumberStartsItAndTheCallerIsHeard)
{
    ASSERT_TRUE(m_work.isValid());
    zoneWithAnsweringDevices();
    if (HasFatalFailure())
        return;

    // The caller speaks a 1 kHz tone (A-law, what its offer names).
    QByteArray alaw;
    for (int16_t v : Tone::sine(1000.0, 8000, 1, 8000 * 20))
        alaw.append(char(SipG711::linearToAlaw(v)));
    ASSERT_TRUE(PaTest::writeFile(m_work.path() + QStringLiteral("/tone.alaw"), alaw));
    const QString csv = m_work.path() + QStringLiteral("/6209.csv");
    ASSERT_TRUE(PaTest::writeFile(csv, "SEQUENTIAL\n6209;[authentication username=6209 password=s3cret6209]\n"));
    QProcess *caller = sipp({QStringLiteral("127.0.0.1:%1").arg(m_internalPort), QStringLiteral("-sf"),
                             PaTest::SippDevices::scenario(QStringLiteral("caller_speaks.xml")), QStringLiteral("-inf"), csv,
                             QStringLiteral("-s"), QStringLiteral("3001"), QStringLiteral("-d"),
                             QStringLiteral("8000"), QStringLiteral("-m"), QStringLiteral("1")});

    // The zone starts as a call conference, and its devices hear the caller.
    EXPECT_TRUE(PaTest::waitUntil(
        [] {
            PALogDB db(true);
            const QVector<PALogRecord> log = db.selectLogs(0, 1000, QString(), QString(), QString());
            return log.size() == 1 && log[0].action == QStringLiteral("start") &&
                   log[0].type == QStringLiteral("call conference");
        },
        15000))
        << caller->readAll().toStdString() << consoleJournal().toStdString();
    for (int i = 0; i < m_speakers->count(); ++i) {
        const std::vector<double> heard = SippSpeakers::receivedAudio(m_speakers->audio(i), 300, 1000);
        ASSERT_GE(heard.size(), 8000u) << "device " << i;
        EXPECT_GE(Tone::blocksOfTone(heard, 1000.0, 8000), 8) << "device " << i;
    }
    // The caller hangs up: the zone ends and every device gets its BYE.
    ASSERT_TRUE(caller->waitForFinished(25000));
    EXPECT_EQ(PaTest::sippCompletedCalls(caller->readAll()), 1);
    expectEveryDeviceHungUp();
}

TEST_F(SwitchEndToEnd, TrunkStatusFollowsTheUpstreamRegistrar)
{
    ASSERT_TRUE(m_work.isValid());
    const int upstream = PaTest::freeUdpPort();
    const QString port = QString::number(upstream);
    const QString number = QStringLiteral("0301234");
    RDGroup group;
    group.name = QStringLiteral("Lobby");
    group.conference = QStringLiteral("3002");
    group.source = QStringLiteral("media");
    group.sipTrunkEnable = 1;
    group.sipTrunkServer = QStringLiteral("127.0.0.1");
    group.sipTrunkPort = port;
    group.sipTrunkNumber = number;
    group.sipTrunkPassword = QStringLiteral("trunkpw");
    ASSERT_GT(m_velmar->addGroup(group), 0);

    // The upstream registrar challenges, then takes 0301234 / trunkpw and
    // nothing else; each run answers one registration.
    const QStringList registrarArgs{QStringLiteral("-sf"), PaTest::SippDevices::scenario(QStringLiteral("upstream_registrar.xml")),
                                    QStringLiteral("-p"), port, QStringLiteral("-m"), QStringLiteral("1")};
    QProcess *accepting = sipp(registrarArgs);
    ASSERT_TRUE(PaTest::waitUntilUdpPortHeld(upstream));
    startSwitch();
    if (HasFatalFailure())
        return;
    EXPECT_TRUE(PaTest::waitUntil(
        [&] { return m_velmar->sipTrunkStatus(QStringLiteral("127.0.0.1"), port, number) == "registered"; }, 15000))
        << m_velmar->sipTrunkStatus(QStringLiteral("127.0.0.1"), port, number).toStdString();
    ASSERT_TRUE(PaTest::waitUntil([&] { return accepting->state() == QProcess::NotRunning; }, 15000));

    // The trunk's new password goes to the switch, which registers again
    // with an upstream that now turns it away.
    QProcess *refusing = sipp({QStringLiteral("-sf"), PaTest::SippDevices::scenario(QStringLiteral("upstream_refuses.xml")),
                               QStringLiteral("-p"), port});
    ASSERT_TRUE(PaTest::waitUntilUdpPortHeld(upstream)) << refusing->readAll().toStdString();
    RDGroup changed = group;
    changed.sipTrunkPassword = QStringLiteral("not-the-password");
    ASSERT_TRUE(m_velmar->updateGroup(group, changed));
    EXPECT_TRUE(PaTest::waitUntil(
        [&] { return m_velmar->sipTrunkStatus(QStringLiteral("127.0.0.1"), port, number) == "register fail"; },
        15000))
        << m_velmar->sipTrunkStatus(QStringLiteral("127.0.0.1"), port, number).toStdString();
}

} // namespace
