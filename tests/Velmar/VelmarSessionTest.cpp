// Phone-app sessions end to end: Qt's own WebSocket client against the
// central object's WebSocket server and JSON API, with the switch stand-in
// carrying out the zone commands; LAN discovery on loopback.
#include "AppWebSocketClient.h"
#include "FSManager.h"
#include "KelCode.h"
#include "KelDiscovery.h"
#include "PALogDB.h"
#include "PASipManager.h"
#include "RDConfigure.h"
#include "SwitchStandIn.h"
#include "VelmarFixture.h"
#include "TestSupport.h"
#include "VDB.h"
#include "Velmar.h"
#include "VelmarAPI.h"
#include "VelmarDB.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QWebSocket>

#include <memory>

namespace {

const char *const kUser = "app";
const char *const kPassword = "zone-pass";

int freeUdpPort()
{
    return PaTest::freeUdpPort();
}

int freeTcpPort()
{
    return PaTest::freeTcpPort();
}

// A phone app of this test's account.
class App : public AppWebSocketClient
{
public:
    using AppWebSocketClient::AppWebSocketClient;
    using AppJsonClient::login;
    int login(const QString &password) { return login(QLatin1String(kUser), password); }
};

class VelmarSessionTest : public VelmarFixture
{
protected:
    VelmarSessionTest()
    {
        m_rtpFirstPort = 31200;
        m_switchTestHooks = true;
    }

    void configure() override
    {
        m_wsPort = freeTcpPort();
        {
            RDConfigure conf;
            conf.setHttpServerPort(freeTcpPort());
            conf.setWsEnable(1);
            conf.setWsPort(m_wsPort);
            conf.setAuthEnable(1);
            conf.setAuthUsername(QLatin1String(kUser));
            conf.setAuthPassword(QLatin1String(kPassword));
        }
        // Discovery stays on loopback: requests in on a free port, answers
        // to this test's socket, never a broadcast. The addresses come from
        // the environment, as an installation would set them.
        ASSERT_TRUE(m_answers.bind(QHostAddress(QHostAddress::LocalHost), 0));
        m_discoveryPort = freeUdpPort();
        m_savedListen = qgetenv("VELMAR_DISCOVERY_LISTEN");
        m_savedReply = qgetenv("VELMAR_DISCOVERY_REPLY");
        m_envSet = true;
        qputenv("VELMAR_DISCOVERY_LISTEN", QByteArray("127.0.0.1:") + QByteArray::number(m_discoveryPort));
        qputenv("VELMAR_DISCOVERY_REPLY", QByteArray("127.0.0.1:") + QByteArray::number(m_answers.localPort()));
    }

    void TearDown() override
    {
        VelmarFixture::TearDown();
        if (m_envSet) {
            qputenv("VELMAR_DISCOVERY_LISTEN", m_savedListen);
            qputenv("VELMAR_DISCOVERY_REPLY", m_savedReply);
        }
    }

    RDGroup storedGroup(const QString &conference, int deviceId)
    {
        RDGroup group;
        group.devices = QString::number(deviceId);
        group.name = QStringLiteral("Zone ") + conference;
        group.conference = conference;
        group.source = QStringLiteral("media");
        const int id = m_velmar->addGroup(group);
        EXPECT_GT(id, 0);
        return m_velmar->getGroupById(id);
    }

    bool m_envSet = false;
    int m_wsPort = 0;
    int m_discoveryPort = 0;
    QByteArray m_savedListen;
    QByteArray m_savedReply;
    QUdpSocket m_answers;
};

} // namespace

TEST_F(VelmarSessionTest, LoggedInAppsListStartAndStopZonesAndBothHearTheEvents)
{
    RDDevice speaker;
    speaker.name = QStringLiteral("Hall");
    speaker.number = QStringLiteral("6201");
    speaker.password = QStringLiteral("device-sip-secret");
    const int speakerId = m_velmar->addDevice(speaker);
    ASSERT_GT(speakerId, 0);
    const RDGroup zone = storedGroup(QStringLiteral("3081"), speakerId);
    startSwitch();

    App first(m_wsPort), second(m_wsPort), stranger(m_wsPort);
    ASSERT_TRUE(first.waitConnected());
    ASSERT_TRUE(second.waitConnected());
    ASSERT_TRUE(stranger.waitConnected());

    // Nothing but the device information and the login before logging in.
    EXPECT_EQ(first.ask("GetGroup"), -9999);
    EXPECT_EQ(first.login(QLatin1String(kPassword) + QLatin1Char('x')), -9999);
    EXPECT_EQ(first.login(QLatin1String(kPassword)), 0);
    EXPECT_EQ(second.login(QLatin1String(kPassword)), 0);

    const QJsonObject listed = first.ask(QJsonObject{{QStringLiteral("method"), QStringLiteral("GetGroup")}});
    EXPECT_EQ(listed.value(QStringLiteral("result")).toInt(1), 0);
    bool found = false;
    for (const QJsonValue &g : listed.value(QStringLiteral("groups")).toArray())
        found = found || g.toObject().value(QStringLiteral("conference")).toString() == QStringLiteral("3081");
    EXPECT_TRUE(found);

    // The speaker signs in on the switch: the status watcher tells the
    // logged-in apps, SIP password included.
    ASSERT_TRUE(m_switch.console(QStringLiteral("test reg add 6201")).startsWith(QLatin1String("+OK")));
    for (App *app : {&first, &second}) {
        ASSERT_TRUE(PaTest::waitUntil([&] { return !app->events(QStringLiteral("devicesStatusChanged")).isEmpty(); },
                                      15000));
        const QJsonArray devices =
            app->events(QStringLiteral("devicesStatusChanged")).last().value(QStringLiteral("devices")).toArray();
        ASSERT_EQ(devices.size(), 1);
        EXPECT_EQ(devices[0].toObject().value(QStringLiteral("number")).toString(), QStringLiteral("6201"));
        EXPECT_EQ(devices[0].toObject().value(QStringLiteral("status")).toString(), QStringLiteral("online"));
    }

    // A zone id that names nothing starts nothing.
    EXPECT_EQ(first.ask("StartGroup", 999999), -10000);
    EXPECT_EQ(first.ask("StartListenGroup", 999999), -10000);
    EXPECT_TRUE(m_fs->groupStatus().isEmpty());
    {
        PALogDB log(true);
        EXPECT_TRUE(log.selectLogs(0, 100, QString(), QString(), QString()).isEmpty());
    }

    EXPECT_EQ(first.ask("StartGroup", zone.id), 0);
    EXPECT_TRUE(first.waitEvent(QStringLiteral("GroupStarted"), zone.id));
    EXPECT_TRUE(second.waitEvent(QStringLiteral("GroupStarted"), zone.id));
    EXPECT_TRUE(m_fs->groupStatus().contains(QStringLiteral("3081")));
    // The switch receives the conference's dial commands for its speaker.
    EXPECT_TRUE(PaTest::waitUntil([&] { return consoleJournal().contains(QStringLiteral("bgdial user/6201 3081")); }, 20000))
        << consoleJournal().toStdString();

    EXPECT_EQ(second.ask("StopGroup", zone.id), 0);
    EXPECT_TRUE(first.waitEvent(QStringLiteral("GroupStopped"), zone.id));
    EXPECT_TRUE(second.waitEvent(QStringLiteral("GroupStopped"), zone.id));
    EXPECT_TRUE(PaTest::waitUntil([&] { return consoleJournal().contains(QStringLiteral("conference 3081 hup all")); }));

    // The app that never logged in heard no event and saw no secret, and
    // gets -9999 for everything it may not do.
    EXPECT_EQ(stranger.ask("GetGroup"), -9999);
    EXPECT_EQ(stranger.ask("StopGroup", zone.id), -9999);
    for (const QJsonObject &m : stranger.messages()) {
        EXPECT_TRUE(m.contains(QStringLiteral("result")));
        EXPECT_FALSE(QJsonDocument(m).toJson().contains("device-sip-secret"));
    }
    // The events came in order with their own ids.
    const QList<QJsonObject> started = first.events(QStringLiteral("GroupStarted"));
    const QList<QJsonObject> stopped = first.events(QStringLiteral("GroupStopped"));
    ASSERT_FALSE(started.isEmpty());
    ASSERT_FALSE(stopped.isEmpty());
    EXPECT_LT(started.first().value(QStringLiteral("id")).toInt(), stopped.first().value(QStringLiteral("id")).toInt());

    // A new password sends every app back to the login.
    m_velmar->setAuth(1, QLatin1String(kUser), QStringLiteral("changed"));
    EXPECT_EQ(first.ask("GetGroup"), -9999);
    EXPECT_EQ(first.login(QLatin1String(kPassword)), -9999);
    EXPECT_EQ(first.login(QStringLiteral("changed")), 0);
    EXPECT_EQ(first.ask("GetGroup"), 0);
}

TEST_F(VelmarSessionTest, DiscoveryRequestOnLoopbackGetsItsAnswer)
{
    startSwitch();
    QUdpSocket app;
    ASSERT_EQ(app.writeDatagram(QByteArray("{}"), QHostAddress(QHostAddress::LocalHost), quint16(m_discoveryPort)), 2);
    QByteArray answer;
    ASSERT_TRUE(PaTest::waitUntil([&] {
        if (!m_answers.hasPendingDatagrams())
            return false;
        answer.resize(int(m_answers.pendingDatagramSize()));
        m_answers.readDatagram(answer.data(), answer.size());
        return true;
    }, 10000));
    const QJsonObject o = QJsonDocument::fromJson(answer).object();
    EXPECT_EQ(o.value(QStringLiteral("uid")).toString(), Velmar::installationUid());
    EXPECT_EQ(o.value(QStringLiteral("type")).toString(), QStringLiteral("Velmar"));
    EXPECT_EQ(o.value(QStringLiteral("result")).toInt(1), 0);
    // The WebSocket server is enabled, so the answer carries the connection
    // code of the switch-facing address and the stored WebSocket port.
    KelCode code;
    ASSERT_TRUE(KelCode::decode(o.value(QStringLiteral("code")).toString(), code));
    EXPECT_EQ(code.payload, QStringLiteral("127.0.0.1:%1").arg(m_wsPort));
}

TEST_F(VelmarSessionTest, NoApiBeforeTheSwitchIsReadyAndAfterShutdown)
{
    EXPECT_EQ(m_velmar->api(), nullptr);
    startSwitch();
    const std::shared_ptr<VelmarAPI> first = m_velmar->api();
    ASSERT_NE(first, nullptr);
    // Every restart of the services makes a new API.
    const int count = m_velmar->servicesStartCount();
    ASSERT_TRUE(m_fs->restart());
    ASSERT_TRUE(PaTest::waitUntil([&] {
        return m_velmar->servicesStartCount() == count + 1 && !m_velmar->isRestartPending();
    }, 60000));
    EXPECT_NE(m_velmar->api(), first);
    EXPECT_NE(m_velmar->api(), nullptr);
    m_velmar->shutdown();
    EXPECT_EQ(m_velmar->api(), nullptr);
}

TEST_F(VelmarSessionTest, BadRequestsOverTheSocketGetAnErrorAndTheSessionGoesOn)
{
    startSwitch();
    App app(m_wsPort);
    ASSERT_TRUE(app.waitConnected());
    const QString bad[] = {QStringLiteral("{}}"), QStringLiteral("nope"), QStringLiteral("[]"), QStringLiteral("{\"method\":")};
    for (const QString &text : bad)
        app.sendRaw(text);
    ASSERT_TRUE(PaTest::waitUntil([&] { return app.messages().size() == 4; }));
    for (const QJsonObject &reply : app.messages())
        EXPECT_EQ(reply, QJsonObject({{"error", "invalid json format"}}));
    // A method that is not text, before login: refused like any other.
    EXPECT_EQ(app.ask(QJsonObject{{QStringLiteral("method"), 12}}).value(QStringLiteral("result")).toInt(1), -9999);
    EXPECT_TRUE(app.isConnected());
    EXPECT_EQ(app.ask("GetDeviceInfo"), 0);
}
