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
#include "SippDevices.h"
#include "SipG711.h"
#include "TestSupport.h"
#include "Tone.h"
#include "Velmar.h"
#include "VelmarFixture.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QProcess>
#include <QThread>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

// The zones here play at volume 4, which raises files by 15 dB once the
// switch has the level: a louder tone would be clipped into a square.
constexpr double kFileToneAmplitude = 3000.0;

// How many 100 ms blocks of `heard` (8 kHz) are mostly the 1 kHz tone. The
// level may step up once within the audio (the zone's level reaches the
// switch just after the play, a caller's just after it joined): a step
// weighs on the block it falls in, never on the whole.
int blocksOfTone(const std::vector<double> &heard)
{
    int blocks = 0;
    for (size_t at = 0; at + 800 <= heard.size(); at += 800) {
        const std::vector<double> block(heard.begin() + long(at), heard.begin() + long(at + 800));
        if (Tone::goertzelShare(block, 1000.0, 8000) > 0.8)
            ++blocks;
    }
    return blocks;
}

// The audio of one G.711 RTP packet (PCMU or PCMA by its payload type);
// empty for anything else.
std::vector<double> g711Payload(const QByteArray &packet)
{
    std::vector<double> out;
    if (packet.size() < 12 || (quint8(packet[0]) >> 6) != 2)
        return out;
    int offset = 12 + 4 * (quint8(packet[0]) & 0x0f);
    if (quint8(packet[0]) & 0x10) {
        if (packet.size() < offset + 4)
            return out;
        offset += 4 + 4 * ((quint8(packet[offset + 2]) << 8) | quint8(packet[offset + 3]));
    }
    const int type = quint8(packet[1]) & 0x7f;
    if (type != 0 && type != 8)
        return out;
    for (int i = offset; i < packet.size(); ++i) {
        const quint8 code = quint8(packet[i]);
        out.push_back(type == 0 ? SipG711::ulawToLinear(code) : SipG711::alawToLinear(code));
    }
    return out;
}

class SwitchEndToEnd : public VelmarFixture
{
protected:
    SwitchEndToEnd() { m_rtpFirstPort = 31400; }

    void SetUp() override
    {
        if (!PaTest::SippDevices::available())
            GTEST_SKIP() << "sipp is not installed";
        ASSERT_TRUE(m_sipp.isValid());
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

    std::string action(const std::string &query)
    {
        HttpTestClient client;
        int status = 0;
        std::string head;
        std::string body;
        EXPECT_TRUE(client.connectTo(m_port));
        EXPECT_TRUE(client.send("GET /action?" + query + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
        EXPECT_TRUE(client.readResponse(status, head, body, 30000));
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
    void expectEveryDeviceHungUp()
    {
        for (QProcess *d : m_devices) {
            ASSERT_TRUE(d->waitForFinished(25000));
            EXPECT_EQ(PaTest::sippCompletedCalls(d->readAll()), 1);
        }
    }

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
    // a socket of the test's (m_audio).
    void registerDevicesAndWaitForCalls()
    {
        for (const QString &number : m_numbers) {
            m_audio.push_back(std::make_unique<QUdpSocket>());
            ASSERT_TRUE(m_audio.back()->bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
            QProcess *device = m_sipp.registerAndAnswer(m_internalPort, number, QStringLiteral("s3cret") + number,
                                                        m_audio.back()->localPort());
            ASSERT_TRUE(device) << m_sipp.error().toStdString();
            m_devices.push_back(device);
        }
    }

    // `ms` of the audio arriving on `socket` from `skipMs` after the first
    // sound (the conference is silent until the file starts); what came by
    // when 15 s have passed.
    static std::vector<double> receivedAudio(QUdpSocket &socket, int skipMs, int ms)
    {
        std::vector<double> audio;
        const size_t skip = size_t(skipMs) * 8;
        const size_t wanted = skip + size_t(ms) * 8;
        QElapsedTimer clock;
        clock.start();
        while (audio.size() < wanted && clock.elapsed() < 15000) {
            if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(int(15000 - clock.elapsed())))
                break;
            while (socket.hasPendingDatagrams()) {
                const std::vector<double> frame = g711Payload(socket.receiveDatagram().data());
                auto from = frame.begin();
                if (audio.empty())
                    from = std::find_if(frame.begin(), frame.end(), [](double v) { return std::abs(v) > 500; });
                audio.insert(audio.end(), from, frame.end());
            }
        }
        if (audio.size() <= skip)
            return {};
        return std::vector<double>(audio.begin() + long(skip), audio.end());
    }

    const QStringList m_numbers{QStringLiteral("6201"), QStringLiteral("6202"), QStringLiteral("6203")};
    std::vector<std::unique_ptr<QUdpSocket>> m_audio;
    std::vector<QProcess *> m_devices;
    int m_port = 0;
    PaTest::SippDevices m_sipp;
};

TEST_F(SwitchEndToEnd, ZoneStartDialsRegisteredDevicesAndStopHangsThemUp)
{
    zoneWithAnsweringDevices();
    if (HasFatalFailure())
        return;

    QElapsedTimer sinceStart;
    sinceStart.start();
    EXPECT_EQ(action("zone=3001&operation=start"), "{\"result\":\"ok\"}");
    // Every device is called, answers, and hears the conference, within a
    // supervision pass or two.
    for (auto &socket : m_audio)
        EXPECT_TRUE(socket->waitForReadyRead(15000));
    EXPECT_LT(sinceStart.elapsed(), 5000);

    EXPECT_EQ(action("zone=3001&operation=stop"), "{\"result\":\"ok\"}");
    expectEveryDeviceHungUp();
}

TEST_F(SwitchEndToEnd, DevicesHearTheZonesMediaFile)
{
    const QString tone = m_sipp.folder() + QStringLiteral("/tone 1k.wav");
    ASSERT_TRUE(PaTest::writeWav(tone, Tone::sine(1000.0, 8000, 1, 8000 * 20, kFileToneAmplitude), 8000));
    zoneWithAnsweringDevices(tone);
    if (HasFatalFailure())
        return;

    EXPECT_EQ(action("zone=3001&operation=start"), "{\"result\":\"ok\"}");
    // What every device hears is the file's tone: most of its energy at
    // 1 kHz, and loud enough not to be the comfort of near silence.
    for (size_t i = 0; i < m_audio.size(); ++i) {
        const std::vector<double> heard = receivedAudio(*m_audio[i], 300, 1000);
        ASSERT_GE(heard.size(), 8000u) << "device " << i;
        EXPECT_GE(blocksOfTone(heard), 8) << "device " << i;
        EXPECT_GT(Tone::rmsDb(heard), -40.0) << "device " << i;
    }
    EXPECT_EQ(action("zone=3001&operation=stop"), "{\"result\":\"ok\"}");
}

TEST_F(SwitchEndToEnd, KilledSwitchIsRestartedAndTheRunningZoneDialledAgain)
{
    // A zone with something to play (one with nothing ends as soon as its
    // devices answer): a tone longer than the test.
    const QString tone = m_sipp.folder() + QStringLiteral("/tone.wav");
    ASSERT_TRUE(PaTest::writeWav(tone, Tone::sine(1000.0, 8000, 1, 8000 * 60, kFileToneAmplitude), 8000));
    zoneWithAnsweringDevices(tone);
    if (HasFatalFailure())
        return;
    EXPECT_EQ(action("zone=3001&operation=start"), "{\"result\":\"ok\"}");
    for (auto &socket : m_audio)
        ASSERT_TRUE(socket->waitForReadyRead(15000));

    const QVector<qint64> before = Platform::findProcessesByExecutable(m_fs->directory(), FSManager::kSwitchProgram);
    ASSERT_EQ(before.size(), 1);
    ASSERT_EQ(Platform::killProcessesByExecutable(m_fs->directory(), FSManager::kSwitchProgram), 1);
    // The devices lost their calls with the switch (no BYE comes): they are
    // stopped and come back as fresh registrations, the way their refresh
    // finds a switch that forgot them.
    for (QProcess *d : m_devices) {
        d->kill();
        d->waitForFinished(5000);
    }
    m_devices.clear();
    m_audio.clear();
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
    for (size_t i = 0; i < m_audio.size(); ++i) {
        const std::vector<double> heard = receivedAudio(*m_audio[i], 300, 1000);
        ASSERT_GE(heard.size(), 8000u) << "device " << i;
        EXPECT_GE(blocksOfTone(heard), 8) << "device " << i;
    }
    EXPECT_EQ(action("zone=3001&operation=stop"), "{\"result\":\"ok\"}");
    expectEveryDeviceHungUp();
}

TEST_F(SwitchEndToEnd, CallToTheZoneNumberStartsItAndTheCallerIsHeard)
{
    zoneWithAnsweringDevices();
    if (HasFatalFailure())
        return;

    // The caller speaks a 1 kHz tone (A-law, what its offer names).
    QByteArray alaw;
    for (int16_t v : Tone::sine(1000.0, 8000, 1, 8000 * 20))
        alaw.append(char(SipG711::linearToAlaw(v)));
    ASSERT_TRUE(PaTest::writeFile(m_sipp.folder() + QStringLiteral("/tone.alaw"), alaw));
    const QString csv = m_sipp.credentials(QStringLiteral("6209"), QStringLiteral("s3cret6209"));
    ASSERT_FALSE(csv.isEmpty());
    QProcess *caller = m_sipp.start({QStringLiteral("127.0.0.1:%1").arg(m_internalPort), QStringLiteral("-sf"),
                                     PaTest::SippDevices::scenario(QStringLiteral("caller_speaks.xml")),
                                     QStringLiteral("-inf"), csv, QStringLiteral("-s"), QStringLiteral("3001"),
                                     QStringLiteral("-d"), QStringLiteral("8000"), QStringLiteral("-m"),
                                     QStringLiteral("1")});

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
    for (size_t i = 0; i < m_audio.size(); ++i) {
        const std::vector<double> heard = receivedAudio(*m_audio[i], 300, 1000);
        ASSERT_GE(heard.size(), 8000u) << "device " << i;
        EXPECT_GE(blocksOfTone(heard), 8) << "device " << i;
    }
    // The caller hangs up: the zone ends and every device gets its BYE.
    ASSERT_TRUE(caller->waitForFinished(25000));
    EXPECT_EQ(PaTest::sippCompletedCalls(caller->readAll()), 1);
    expectEveryDeviceHungUp();
}

TEST_F(SwitchEndToEnd, TrunkStatusFollowsTheUpstreamRegistrar)
{
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
    const QStringList registrarArgs{QStringLiteral("-sf"),
                                    PaTest::SippDevices::scenario(QStringLiteral("upstream_registrar.xml")),
                                    QStringLiteral("-p"), port, QStringLiteral("-m"), QStringLiteral("1")};
    QProcess *accepting = m_sipp.start(registrarArgs);
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
    QProcess *refusing = m_sipp.start({QStringLiteral("-sf"),
                                       PaTest::SippDevices::scenario(QStringLiteral("upstream_refuses.xml")),
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
