// The JSON command API against a recording zone target and in-memory
// sessions: results, the login gate, the JSON forms, events and what reaches
// the log.
#include "KelClient.h"
#include "KelServer.h"
#include "TestSupport.h"
#include "VelmarAPI.h"
#include "VelmarAPITarget.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QStringList>

#include <thread>
#include <vector>

namespace {

const char *const kUser = "operator";
const char *const kPassword = "s3cret pass";
// MD5 of kPassword, lower-case hex.
const char *const kDigest = "5211da5c87b0c916f11bbeb561492eef";

RDDevice device(int id, const char *number, const char *status)
{
    RDDevice d;
    d.id = id;
    d.name = QStringLiteral("Device %1").arg(id);
    d.number = QLatin1String(number);
    d.password = QStringLiteral("sip-pass-%1").arg(id);
    d.status = QLatin1String(status);
    return d;
}

// Zones 1 to 3 exist; every call is recorded as "<operation> <id>".
class RecordingTarget : public VelmarAPITarget
{
public:
    RecordingTarget()
    {
        RDGroup media;
        media.id = 1;
        media.name = QStringLiteral("Lobby");
        media.conference = QStringLiteral("3001");
        media.source = QStringLiteral("media");
        media.mediaList = {QStringLiteral("a.mp3"), QStringLiteral("b.mp3")};
        media.deviceList = {device(7, "6007", "online"), device(8, "6008", "none")};
        media.started = 1;
        media.startType = QStringLiteral("api");
        RDGroup mic;
        mic.id = 2;
        mic.source = QStringLiteral("Device");
        mic.audioType = 0;
        mic.audioId = QStringLiteral("{cap-1}");
        mic.audioName = QStringLiteral("Microphone");
        RDGroup speaker = mic;
        speaker.id = 3;
        speaker.audioType = 1;
        // A stale start type with started 0 is not reported.
        speaker.startType = QStringLiteral("user");
        groups = {media, mic, speaker};
    }

    QVector<RDGroup> getGroups() override
    {
        record(QStringLiteral("groups"), 0);
        return groups;
    }
    RDGroup getGroupById(int id) override
    {
        for (const RDGroup &g : groups) {
            if (g.id == id)
                return g;
        }
        return RDGroup();
    }
    void startApiGroup(const RDGroup &g) override { record(QStringLiteral("start"), g.id); }
    void stopGroup(const RDGroup &g, const QString &type) override { record(QStringLiteral("stop/") + type, g.id); }
    void startTalkGroup(const RDGroup &g, const std::shared_ptr<KelClient> &s) override { session(QStringLiteral("talk"), g, s); }
    void stopTalkGroup(const RDGroup &g, const std::shared_ptr<KelClient> &s) override { session(QStringLiteral("untalk"), g, s); }
    void startListenGroup(const RDGroup &g, const std::shared_ptr<KelClient> &s) override { session(QStringLiteral("listen"), g, s); }
    void stopListenGroup(const RDGroup &g, const std::shared_ptr<KelClient> &s) override { session(QStringLiteral("unlisten"), g, s); }
    QString installationUid() override { return QStringLiteral("uid-42"); }

    QStringList takeCalls()
    {
        QMutexLocker locker(&lock);
        const QStringList copy = calls;
        calls.clear();
        return copy;
    }

    QVector<RDGroup> groups;
    std::shared_ptr<KelClient> lastSession;

private:
    void record(const QString &what, int id)
    {
        QMutexLocker locker(&lock);
        calls.append(QStringLiteral("%1 %2").arg(what).arg(id));
    }
    void session(const QString &what, const RDGroup &g, const std::shared_ptr<KelClient> &s)
    {
        lastSession = s;
        record(what, g.id);
    }

    QMutex lock;
    QStringList calls;
};

class MemorySession : public KelClient
{
public:
    void send(const void *data, int length) override
    {
        QMutexLocker locker(&lock);
        sent.append(QByteArray(static_cast<const char *>(data), length));
    }
    void queueData(const KelPacket &) override {}
    void queueAudio(const KelAudioFrame &) override {}
    void takeAudio(KelAudioFrame &frame) override { frame.reset(); }

    QMutex lock;
    QList<QByteArray> sent;
};

// Sends to every session, or with login required only to logged-in ones,
// as the real servers do.
class MemoryServer : public KelServer
{
public:
    bool start() override { return true; }
    void stop() override {}
    bool isStarted() const override { return true; }
    bool isListening() const override { return true; }
    void send(const void *data, int length) override
    {
        for (const auto &s : sessions) {
            if (isAuthEnabled() == 0 || s->isAuthorized())
                s->send(data, length);
        }
    }
    std::vector<std::shared_ptr<MemorySession>> sessions;
};

class VelmarAPITest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_target = new RecordingTarget;
        m_api.reset(new VelmarAPI(std::unique_ptr<VelmarAPITarget>(m_target)));
        m_server.setAuth(1, kUser, kDigest);
        m_session = std::make_shared<MemorySession>();
    }

    // Sends one request on `session` and returns the one reply it got.
    QJsonObject ask(const QByteArray &request, const std::shared_ptr<MemorySession> &session)
    {
        session->sent.clear();
        m_api->handleRequest(&m_server, session, request);
        EXPECT_EQ(session->sent.size(), 1) << request.constData();
        if (session->sent.isEmpty())
            return QJsonObject();
        const QByteArray text = session->sent.first();
        EXPECT_FALSE(text.contains('\n'));
        EXPECT_FALSE(text.contains(": "));
        return QJsonDocument::fromJson(text).object();
    }
    QJsonObject ask(const QByteArray &request) { return ask(request, m_session); }

    void login()
    {
        ASSERT_EQ(ask(QByteArray("{\"method\":\"Login\",\"username\":\"") + kUser + "\",\"password\":\"" + kDigest
                      + "\"}")
                      .value("result")
                      .toInt(1),
                  0);
    }

    RecordingTarget *m_target = nullptr;
    std::unique_ptr<VelmarAPI> m_api;
    MemoryServer m_server;
    std::shared_ptr<MemorySession> m_session;
};

int result(const QJsonObject &reply)
{
    EXPECT_TRUE(reply.value("result").isDouble());
    return reply.value("result").toInt(1);
}

} // namespace

TEST_F(VelmarAPITest, MalformedRequestsGetAnErrorAndNothingElse)
{
    const QByteArray bad[] = {"", "not json", "{\"method\":", "[{\"method\":\"GetGroup\"}]", "42", "\"GetGroup\"",
                              "{\"method\":\"GetGroup\"} trailing", QByteArray("{\"method\":\"\0\"}", 15)};
    for (const QByteArray &request : bad) {
        const QJsonObject reply = ask(request);
        EXPECT_EQ(reply, QJsonObject({{"error", "invalid json format"}})) << request.constData();
    }
    // No "method": -10000 alone, even with an "id".
    EXPECT_EQ(ask("{\"id\":3}"), QJsonObject({{"result", -10000}}));
    EXPECT_TRUE(m_target->takeCalls().isEmpty());
}

TEST_F(VelmarAPITest, LoginGateAllowsOnlyDeviceInfoAndLoginUntilTheRightDigest)
{
    // Before login, every method but GetDeviceInfo and Auth/Login is refused,
    // unknown ones included, with nothing run.
    const char *gated[] = {"GetGroup", "getgroupbyid", "StartGroup", "StopGroup", "StartTalkGroup",
                           "StopTalkGroup", "StartListenGroup", "StopListenGroup", "NoSuchMethod"};
    for (const char *method : gated) {
        const QJsonObject reply =
            ask(QByteArray("{\"method\":\"") + method + "\",\"groupId\":1,\"id\":\"x\"}");
        EXPECT_EQ(result(reply), -9999) << method;
        EXPECT_EQ(reply.value("method").toString(), QLatin1String(method));
        EXPECT_EQ(reply.value("id").toString(), QStringLiteral("x"));
        EXPECT_FALSE(reply.contains("groups") || reply.contains("group")) << method;
    }
    EXPECT_TRUE(m_target->takeCalls().isEmpty());

    // Wrong credentials: the plain password, an upper-case digest, the wrong
    // user, a digest with extra bytes, non-string members.
    const QByteArray wrong[] = {
        QByteArray("{\"method\":\"Login\",\"username\":\"operator\",\"password\":\"") + kPassword + "\"}",
        QByteArray("{\"method\":\"Auth\",\"username\":\"operator\",\"password\":\"") + QByteArray(kDigest).toUpper() + "\"}",
        QByteArray("{\"method\":\"Login\",\"username\":\"Operator\",\"password\":\"") + kDigest + "\"}",
        QByteArray("{\"method\":\"Login\",\"username\":\"operator\",\"password\":\"") + kDigest + "0\"}",
        QByteArray("{\"method\":\"Login\",\"username\":[\"operator\"],\"password\":{}}"),
        QByteArray("{\"method\":\"Login\"}"),
    };
    for (const QByteArray &request : wrong) {
        EXPECT_EQ(result(ask(request)), -9999) << request.constData();
        EXPECT_FALSE(m_session->isAuthorized());
    }

    EXPECT_EQ(result(ask(QByteArray("{\"method\":\"AUTH\",\"username\":\"operator\",\"password\":\"") + kDigest + "\"}")), 0);
    EXPECT_TRUE(m_session->isAuthorized());
    // From then on every method is open; unknown ones are -9998 now, and a
    // later Login answers 0 without a check.
    EXPECT_EQ(result(ask("{\"method\":\"NoSuchMethod\"}")), -9998);
    EXPECT_EQ(result(ask("{\"method\":\"login\",\"password\":\"anything\"}")), 0);
    const QJsonObject groups = ask("{\"method\":\"getgroup\",\"id\":7}");
    EXPECT_EQ(groups.value("id").toInt(), 7);
    EXPECT_EQ(groups.value("method").toString(), QStringLiteral("getgroup"));
    EXPECT_EQ(groups.value("groups").toArray().size(), 3);
    EXPECT_EQ(result(groups), 0);

    // Another session is not logged in by this one.
    auto other = std::make_shared<MemorySession>();
    EXPECT_EQ(result(ask("{\"method\":\"GetGroup\"}", other)), -9999);
}

TEST_F(VelmarAPITest, DeviceInfoReportsTheAuthSettingUntilLoggedInAndCanLogIn)
{
    QJsonObject info = ask("{\"method\":\"GetDeviceInfo\",\"id\":1}");
    EXPECT_EQ(info.value("uid").toString(), QStringLiteral("uid-42"));
    EXPECT_EQ(info.value("name").toString(), QStringLiteral("Kelbrin Corvane Lite"));
    EXPECT_EQ(info.value("type").toString(), QStringLiteral("Velmar"));
    EXPECT_EQ(info.value("version").toString(), QStringLiteral("2.3.0"));
    EXPECT_EQ(info.value("auth").toInt(-1), 1);
    EXPECT_EQ(result(info), 0);

    // Only one of the two members: no login attempt.
    info = ask(QByteArray("{\"method\":\"GetDeviceInfo\",\"password\":\"") + kDigest + "\"}");
    EXPECT_TRUE(info.contains("auth"));
    EXPECT_FALSE(m_session->isAuthorized());
    // A failed attempt is not reported.
    info = ask("{\"method\":\"GetDeviceInfo\",\"username\":\"operator\",\"password\":\"nope\"}");
    EXPECT_EQ(result(info), 0);
    EXPECT_TRUE(info.contains("auth"));
    // Both members right: logged in, no "auth" any more.
    info = ask(QByteArray("{\"method\":\"GetDeviceInfo\",\"username\":\"operator\",\"password\":\"") + kDigest + "\"}");
    EXPECT_TRUE(m_session->isAuthorized());
    EXPECT_FALSE(info.contains("auth"));
    EXPECT_EQ(result(ask("{\"method\":\"GetGroup\"}")), 0);

    // With login off every session may do everything and is told auth 0.
    m_server.setAuth(0, kUser, kDigest);
    auto open = std::make_shared<MemorySession>();
    EXPECT_EQ(ask("{\"method\":\"GetDeviceInfo\"}", open).value("auth").toInt(-1), 0);
    EXPECT_EQ(result(ask("{\"method\":\"GetGroup\"}", open)), 0);
    EXPECT_EQ(result(ask("{\"method\":\"Login\",\"username\":\"x\"}", open)), 0);
}

TEST_F(VelmarAPITest, ZoneOperationsRunOnlyForStoredZones)
{
    login();
    struct Case {
        const char *method;
        const char *call; // recorded call for zone 2, empty for none
    };
    const Case cases[] = {
        {"StartGroup", "start 2"},          {"StopGroup", "stop/http 2"},
        {"StartTalkGroup", "talk 2"},       {"StopTalkGroup", "untalk 2"},
        {"StartListenGroup", "listen 2"},   {"StopListenGroup", "unlisten 2"},
        {"GetGroupById", ""},
    };
    // Ids that are not whole numbers from 1 up, or name no stored zone.
    const char *badIds[] = {"", ",\"groupId\":\"2\"", ",\"groupId\":0", ",\"groupId\":-1", ",\"groupId\":2.5",
                            ",\"groupId\":1e300", ",\"groupId\":null", ",\"groupId\":999999",
                            ",\"groupId\":4294967298"};
    for (const Case &c : cases) {
        for (const char *badId : badIds) {
            const QJsonObject reply = ask(QByteArray("{\"method\":\"") + c.method + "\"" + badId + "}");
            EXPECT_EQ(result(reply), -10000) << c.method << badId;
            EXPECT_FALSE(reply.contains("group"));
        }
        EXPECT_TRUE(m_target->takeCalls().isEmpty()) << c.method;

        const QJsonObject reply = ask(QByteArray("{\"method\":\"") + c.method + "\",\"groupId\":2}");
        EXPECT_EQ(result(reply), 0) << c.method;
        if (*c.call) {
            EXPECT_EQ(m_target->takeCalls(), QStringList{QLatin1String(c.call)});
        } else {
            EXPECT_EQ(reply.value("group").toObject().value("id").toInt(), 2);
            EXPECT_TRUE(m_target->takeCalls().isEmpty());
        }
    }
    // Talk and listen get the session that asked.
    EXPECT_EQ(m_target->lastSession, m_session);
}

TEST_F(VelmarAPITest, ZonesAndDevicesInTheirJsonForm)
{
    login();
    const QJsonArray groups = ask("{\"method\":\"GetGroup\"}").value("groups").toArray();
    ASSERT_EQ(groups.size(), 3);
    const QJsonObject media = groups[0].toObject();
    EXPECT_EQ(media.value("id").toInt(), 1);
    EXPECT_EQ(media.value("name").toString(), QStringLiteral("Lobby"));
    EXPECT_EQ(media.value("conference").toString(), QStringLiteral("3001"));
    EXPECT_EQ(media.value("started"), QJsonValue(true));
    EXPECT_EQ(media.value("startType").toString(), QStringLiteral("api"));
    EXPECT_EQ(media.value("source").toString(), QStringLiteral("media"));
    EXPECT_EQ(media.value("playlist").toArray(), QJsonArray({"a.mp3", "b.mp3"}));
    const QJsonArray devices = media.value("devices").toArray();
    ASSERT_EQ(devices.size(), 2);
    EXPECT_EQ(devices[0].toObject(), QJsonObject({{"id", 7}, {"name", "Device 7"}, {"number", "6007"},
                                                  {"password", "sip-pass-7"}, {"status", "online"}}));
    EXPECT_EQ(devices[1].toObject().value("status").toString(), QStringLiteral("none"));

    const QJsonObject mic = groups[1].toObject();
    EXPECT_EQ(mic.value("source").toString(), QStringLiteral("microphone"));
    EXPECT_EQ(mic.value("started"), QJsonValue(false));
    EXPECT_EQ(mic.value("startType").toString(), QStringLiteral("none"));
    EXPECT_EQ(mic.value("audioId").toString(), QStringLiteral("{cap-1}"));
    EXPECT_EQ(mic.value("audioName").toString(), QStringLiteral("Microphone"));
    EXPECT_EQ(mic.value("playlist").toArray(), QJsonArray());
    EXPECT_EQ(mic.value("devices").toArray(), QJsonArray());
    const QJsonObject speaker = groups[2].toObject();
    EXPECT_EQ(speaker.value("source").toString(), QStringLiteral("speaker"));
    EXPECT_EQ(speaker.value("startType").toString(), QStringLiteral("none"));
}

TEST_F(VelmarAPITest, EventsCountUpAcrossKindsAndReachOnlyLoggedInSessionsWhenLoginIsOn)
{
    auto loggedIn = std::make_shared<MemorySession>();
    auto stranger = std::make_shared<MemorySession>();
    loggedIn->setAuthorized(true);
    m_server.sessions = {loggedIn, stranger};

    RDGroup group;
    group.id = 5;
    m_api->notifyGroupStarted(&m_server, group);
    m_api->notifyDevicesStatusChanged(&m_server, {device(7, "6007", "online")});
    m_api->notifyGroupInfoChanged(&m_server, group);
    m_api->notifyGroupStopped(&m_server, group);
    EXPECT_TRUE(stranger->sent.isEmpty());
    ASSERT_EQ(loggedIn->sent.size(), 4);
    const char *names[] = {"GroupStarted", "devicesStatusChanged", "GroupInfoChanged", "GroupStopped"};
    for (int i = 0; i < 4; ++i) {
        const QJsonObject event = QJsonDocument::fromJson(loggedIn->sent[i]).object();
        EXPECT_EQ(event.value("id").toInt(), i + 1);
        EXPECT_EQ(event.value("method").toString(), QLatin1String(names[i]));
        EXPECT_EQ(event.size(), 3);
    }
    EXPECT_EQ(QJsonDocument::fromJson(loggedIn->sent[1]).object().value("devices").toArray().size(), 1);
    EXPECT_EQ(QJsonDocument::fromJson(loggedIn->sent[3]).object().value("groupId").toInt(), 5);

    // Events from many threads at once each get their own id.
    m_server.sessions = {loggedIn};
    loggedIn->sent.clear();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i)
                m_api->notifyGroupStarted(&m_server, group);
        });
    }
    for (std::thread &t : threads)
        t.join();
    QSet<int> ids;
    for (const QByteArray &text : loggedIn->sent)
        ids.insert(QJsonDocument::fromJson(text).object().value("id").toInt());
    EXPECT_EQ(ids.size(), 200);
    EXPECT_EQ(m_api->lastEventId(), 204);
}

namespace {
QMutex g_logLock;
QStringList g_log;
void captureLog(QtMsgType, const QMessageLogContext &, const QString &message)
{
    QMutexLocker locker(&g_logLock);
    g_log.append(message);
}
} // namespace

TEST_F(VelmarAPITest, LogNeverHoldsTheLoginDigestOrDevicePasswords)
{
    {
        QMutexLocker locker(&g_logLock);
        g_log.clear();
    }
    const QtMessageHandler previous = qInstallMessageHandler(captureLog);
    login();
    ask("{\"method\":\"GetGroup\"}");
    ask(QByteArray("{\"method\":\"GetDeviceInfo\",\"username\":\"operator\",\"password\":\"") + kPassword + "\"}");
    qInstallMessageHandler(previous);

    QMutexLocker locker(&g_logLock);
    const QString all = g_log.join('\n');
    EXPECT_TRUE(all.contains(QStringLiteral("Read CMD"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("Send CMD"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("6007"))); // the rest of the reply is there
    EXPECT_FALSE(all.contains(QLatin1String(kDigest)));
    EXPECT_FALSE(all.contains(QLatin1String(kPassword)));
    EXPECT_FALSE(all.contains(QStringLiteral("sip-pass-")));
}

TEST(VelmarAPIMasking, PasswordMembersAreMaskedAtAnyDepth)
{
    const QJsonObject object = QJsonDocument::fromJson(
        "{\"password\":\"a\",\"list\":[{\"Password\":\"b\",\"x\":[{\"password\":1}]}],\"name\":\"password\"}")
                                   .object();
    const QByteArray masked = VelmarAPI::maskedForLog(object);
    const QJsonObject back = QJsonDocument::fromJson(masked).object();
    EXPECT_EQ(back.value("password").toString(), QStringLiteral("***"));
    EXPECT_EQ(back.value("name").toString(), QStringLiteral("password"));
    const QJsonObject inner = back.value("list").toArray()[0].toObject();
    EXPECT_EQ(inner.value("Password").toString(), QStringLiteral("***"));
    EXPECT_EQ(inner.value("x").toArray()[0].toObject().value("password").toString(), QStringLiteral("***"));
}
