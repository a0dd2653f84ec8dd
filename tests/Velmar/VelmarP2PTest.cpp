// Phone apps over the P2P transport end to end: an app built on the P2P
// library finds the program by its device uid through the rendezvous
// service program, logs in, runs a zone that the switch stand-in carries
// out, hears the events and talks into the zone.
#include "AppJsonClient.h"
#include "FSManager.h"
#include "KelAudioFrame.h"
#include "KelClient.h"
#include "KelCode.h"
#include "P2PClient.h"
#include "PALogDB.h"
#include "PASipManager.h"
#include "RDConfigure.h"
#include "RendezvousProcess.h"
#include "SwitchStandIn.h"
#include "TUTKClient.h"
#include "TUTKServer.h"
#include "TestSupport.h"
#include "VDB.h"
#include "Velmar.h"
#include "VelmarDB.h"
#include "VelmarFixture.h"
#include "iotc_api.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <chrono>
#include <memory>
#include <thread>

namespace {

const char *const kUser = "app";
const char *const kPassword = "zone-pass";
const char *const kDeviceUid = "PAP2PDEVICE00001";

// A phone app on the P2P library's client side, keeping every message.
class P2PApp : public AppJsonClient
{
public:
    explicit P2PApp(int rendezvousPort) { m_client.setRendezvous("127.0.0.1", uint16_t(rendezvousPort)); }
    int connect(const char *uid)
    {
        const int r = m_client.connect(uid);
        return r == 0 ? m_client.startAv(kUser, "any") : r;
    }
    using AppJsonClient::login;
    int login(const QString &password) { return login(QLatin1String(kUser), password); }
    P2PClient &client() { return m_client; }

protected:
    bool sendText(const QByteArray &text) override
    {
        return m_client.sendIOCtrl(2048, text.constData(), text.size()) == 0;
    }
    bool receive(int ms) override
    {
        std::vector<char> buf(131068);
        unsigned type = 0;
        const int n = m_client.recvIOCtrl(&type, buf.data(), int(buf.size()), ms);
        if (n > 0 && type == 2048)
            m_messages.append(QJsonDocument::fromJson(QByteArray(buf.data(), n)).object());
        return n >= 0 || n == -13;
    }

private:
    P2PClient m_client;
};

class VelmarP2PTest : public VelmarFixture
{
protected:
    VelmarP2PTest()
    {
        m_rtpFirstPort = 31400;
        m_switchTestHooks = true;
    }

    void SetUp() override
    {
        ASSERT_TRUE(m_rendezvous.start());
        VelmarFixture::SetUp();
    }

    void configure() override
    {
        {
            RDConfigure conf;
            conf.setHttpServerPort(PaTest::freeTcpPort());
            conf.setWsEnable(0);
            conf.setKelCodeEnable(1);
            conf.setKelCode(KelCode::encode(QLatin1String(kDeviceUid)));
            conf.setAuthEnable(1);
            conf.setAuthUsername(QLatin1String(kUser));
            conf.setAuthPassword(QLatin1String(kPassword));
        }
        m_savedRendezvous = qgetenv("VELMAR_P2P_RENDEZVOUS");
        qputenv("VELMAR_P2P_RENDEZVOUS", QByteArray("127.0.0.1:") + QByteArray::number(m_rendezvous.port()));
        m_savedDiscovery = qgetenv("VELMAR_DISCOVERY_LISTEN");
        qputenv("VELMAR_DISCOVERY_LISTEN", QByteArray("127.0.0.1:") + QByteArray::number(PaTest::freeUdpPort()));
        m_envSet = true;
    }

    void TearDown() override
    {
        VelmarFixture::TearDown();
        if (m_envSet) {
            qputenv("VELMAR_P2P_RENDEZVOUS", m_savedRendezvous);
            qputenv("VELMAR_DISCOVERY_LISTEN", m_savedDiscovery);
        }
    }

    bool p2pLoggedIn()
    {
        return PaTest::waitUntil([&] {
            const auto p2p = m_velmar->p2pServer();
            return p2p && p2p->isListening();
        }, 10000);
    }

    PaTest::RendezvousProcess m_rendezvous;
    QByteArray m_savedRendezvous;
    QByteArray m_savedDiscovery;
    bool m_envSet = false;
};

} // namespace

TEST_F(VelmarP2PTest, AppReachesTheProgramByItsCodeLogsInRunsAZoneAndTalksIntoIt)
{
    RDDevice speaker;
    speaker.name = QStringLiteral("Hall");
    speaker.number = QStringLiteral("6301");
    speaker.password = QStringLiteral("device-sip-secret");
    const int speakerId = m_velmar->addDevice(speaker);
    ASSERT_GT(speakerId, 0);
    RDGroup group;
    group.devices = QString::number(speakerId);
    group.name = QStringLiteral("Zone 3091");
    group.conference = QStringLiteral("3091");
    group.source = QStringLiteral("media");
    const int zoneId = m_velmar->addGroup(group);
    ASSERT_GT(zoneId, 0);
    const RDGroup zone = m_velmar->getGroupById(zoneId);
    startSwitch();
    ASSERT_TRUE(p2pLoggedIn());

    // A wrong code names no device.
    P2PApp lost(m_rendezvous.port());
    EXPECT_EQ(lost.connect("PAP2PDEVICE99999"), IOTC_ERR_DEVICE_NOT_FOUND);

    P2PApp app(m_rendezvous.port());
    ASSERT_EQ(app.connect(kDeviceUid), 0);
    EXPECT_EQ(app.ask("GetDeviceInfo"), 0);
    EXPECT_EQ(app.ask("GetGroup"), -9999);
    EXPECT_EQ(app.login(QLatin1String(kPassword) + QLatin1Char('x')), -9999);
    EXPECT_EQ(app.ask("GetGroup"), -9999);
    ASSERT_EQ(app.login(QLatin1String(kPassword)), 0);

    const QJsonObject listed = app.ask(QJsonObject{{QStringLiteral("method"), QStringLiteral("GetGroup")}});
    EXPECT_EQ(listed.value(QStringLiteral("result")).toInt(1), 0);
    bool found = false;
    for (const QJsonValue &g : listed.value(QStringLiteral("groups")).toArray())
        found = found || g.toObject().value(QStringLiteral("conference")).toString() == QStringLiteral("3091");
    EXPECT_TRUE(found);

    // The speaker signs in on the switch: the status watcher tells the app.
    ASSERT_TRUE(m_switch.console(QStringLiteral("test reg add 6301")).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(app.waitEventWith(QStringLiteral("devicesStatusChanged"), [](const QJsonObject &e) {
        const QJsonArray devices = e.value(QStringLiteral("devices")).toArray();
        return devices.size() == 1 && devices[0].toObject().value(QStringLiteral("number")).toString() == QStringLiteral("6301");
    }));

    EXPECT_EQ(app.ask("StartGroup", zone.id), 0);
    EXPECT_TRUE(app.waitEvent(QStringLiteral("GroupStarted"), zone.id));
    EXPECT_TRUE(PaTest::waitUntil([&] { return consoleJournal().contains(QStringLiteral("bgdial user/6301 3091")); }, 20000))
        << consoleJournal().toStdString();

    // Talk: the zone's input account takes this session as its source, and
    // the frames the app sends come out of it unchanged.
    EXPECT_EQ(app.ask("StartTalkGroup", zone.id), 0);
    std::shared_ptr<KelClient> talk;
    ASSERT_TRUE(PaTest::waitUntil([&] {
        PASipManager::Use sip;
        PASipManager::Account account;
        if (sip && sip->account(QStringLiteral("127.0.0.1"), m_internalPort, zone.inputSipNumber, &account))
            talk = account.talkSession;
        return talk != nullptr;
    }, 10000));
    ASSERT_TRUE(std::dynamic_pointer_cast<TUTKClient>(talk));
    // The zone's call may already read the session's frames (its talk
    // source): count what arrived, and check whatever is left to take.
    const uint64_t before = talk->audioSequence();
    for (uint32_t ts = 0; ts < 5; ++ts) {
        KelAudioFrame f;
        f.codec = 0;
        f.channels = 1;
        f.sampleRate = 8000;
        f.timestamp = ts * 160;
        f.data.assign(160, uint8_t(0x10 + ts));
        f.length = 160;
        std::vector<uint8_t> wire(size_t(f.serialize(nullptr, 0, 0)));
        f.serialize(wire, 0, int(wire.size()));
        ASSERT_EQ(app.client().sendAudio(wire.data(), int(wire.size()), TUTKClient::FrameInfo), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(PaTest::waitUntil([&] { return talk->audioSequence() >= before + 5; }, 5000))
        << talk->audioSequence() - before << " of 5 frames arrived";
    for (;;) {
        KelAudioFrame f;
        talk->takeAudio(f);
        if (f.length <= 0)
            break;
        ASSERT_EQ(f.length, 160);
        EXPECT_EQ(f.timestamp % 160, 0u);
        EXPECT_EQ(f.payload()[0], 0x10 + f.timestamp / 160);
    }
    EXPECT_EQ(app.ask("StopTalkGroup", zone.id), 0);

    EXPECT_EQ(app.ask("StopGroup", zone.id), 0);
    EXPECT_TRUE(app.waitEvent(QStringLiteral("GroupStopped"), zone.id));
    EXPECT_TRUE(PaTest::waitUntil([&] { return consoleJournal().contains(QStringLiteral("conference 3091 hup all")); }));
}

TEST_F(VelmarP2PTest, TheServerRunsOnlyUnderACodeThatDecodesToAUid)
{
    startSwitch();
    ASSERT_TRUE(p2pLoggedIn());
    struct Case {
        const char *name;
        int enable;
        QString code;
        bool runs;
    };
    const Case cases[] = {
        {"disabled", 0, KelCode::encode(QLatin1String(kDeviceUid)), false},
        {"empty code", 1, QString(), false},
        {"not a code", 1, QStringLiteral("hello"), false},
        {"empty payload", 1, KelCode::encode(QString()), false},
        {"valid", 1, KelCode::encode(QStringLiteral("PAP2PDEVICE00002")), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        m_velmar->setKelCode(c.enable, c.code);
        const auto p2p = m_velmar->p2pServer();
        ASSERT_TRUE(p2p);
        EXPECT_EQ(p2p->isStarted(), c.runs);
    }
    // The new uid is the one apps find.
    ASSERT_TRUE(p2pLoggedIn());
    P2PApp app(m_rendezvous.port());
    EXPECT_EQ(app.connect("PAP2PDEVICE00002"), 0);
    EXPECT_EQ(app.ask("GetDeviceInfo"), 0);
}
