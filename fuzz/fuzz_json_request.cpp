// Feeds arbitrary bytes to the JSON command handler as session messages.
// The input is split at newlines into up to eight messages on one session,
// so a login followed by zone commands is reachable. The handler runs
// against a fake zone target and an in-memory session; every reply must be
// one JSON object with a whole-number "result" or the invalid-JSON answer,
// and a session must never become logged in without the right credentials.
#include "KelClient.h"
#include "KelServer.h"
#include "RDJsonHelper.h"
#include "VelmarAPI.h"
#include "VelmarAPITarget.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

namespace {

const char *const kUser = "admin";
// MD5 of "admin", lower-case hex.
const char *const kDigest = "21232f297a57a5a743894a0e4a801fc3";

class FakeTarget : public VelmarAPITarget
{
public:
    QVector<RDGroup> getGroups() override { return {group(1), group(2)}; }
    RDGroup getGroupById(int id) override { return id >= 1 && id <= 2 ? group(id) : RDGroup(); }
    void startApiGroup(const RDGroup &g) override { check(g); }
    void stopGroup(const RDGroup &g, const QString &) override { check(g); }
    void startTalkGroup(const RDGroup &g, const std::shared_ptr<KelClient> &) override { check(g); }
    void stopTalkGroup(const RDGroup &g, const std::shared_ptr<KelClient> &) override { check(g); }
    void startListenGroup(const RDGroup &g, const std::shared_ptr<KelClient> &) override { check(g); }
    void stopListenGroup(const RDGroup &g, const std::shared_ptr<KelClient> &) override { check(g); }
    QString installationUid() override { return QStringLiteral("fuzz"); }

private:
    static RDGroup group(int id)
    {
        RDGroup g;
        g.id = id;
        g.name = QStringLiteral("Zone");
        g.conference = QString::number(3000 + id);
        g.source = id == 1 ? QStringLiteral("device") : QStringLiteral("media");
        g.mediaList = {QStringLiteral("a.mp3")};
        RDDevice d;
        d.id = 1;
        d.number = QStringLiteral("6001");
        d.password = QStringLiteral("secret");
        g.deviceList = {d};
        return g;
    }
    // Only stored zones may reach the zone operations.
    static void check(const RDGroup &g)
    {
        if (!g.isValid())
            __builtin_trap();
    }
};

class FakeServer : public KelServer
{
public:
    bool start() override { return true; }
    void stop() override {}
    bool isStarted() const override { return true; }
    bool isListening() const override { return true; }
    void send(const void *, int) override {}
};

class FakeSession : public KelClient
{
public:
    void send(const void *data, int length) override { last = QByteArray(static_cast<const char *>(data), length); }
    void queueData(const KelPacket &) override {}
    void queueAudio(const KelAudioFrame &) override {}
    void takeAudio(KelAudioFrame &frame) override { frame.reset(); }
    QByteArray last;
};

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool installed = (qInstallMessageHandler(quiet), true);
    (void)installed;

    FakeServer server;
    server.setAuth(1, kUser, kDigest);
    VelmarAPI api(std::unique_ptr<VelmarAPITarget>(new FakeTarget));
    auto session = std::make_shared<FakeSession>();

    const QList<QByteArray> messages =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)).split('\n');
    int count = 0;
    bool digestSent = false;
    for (const QByteArray &message : messages) {
        if (++count > 8)
            break;
        session->last.clear();
        // Compared after JSON unescaping (an escaped digit is the digit):
        // only the right digest may log the session in.
        const QJsonValue password = rdParseJson(message, nullptr).object().value(QStringLiteral("password"));
        digestSent = digestSent || password.toString() == QLatin1String(kDigest);
        api.handleRequest(&server, session, message);
        const QJsonDocument doc = QJsonDocument::fromJson(session->last);
        if (!doc.isObject())
            __builtin_trap();
        const QJsonObject reply = doc.object();
        if (reply.contains(QStringLiteral("error")))
            continue;
        const QJsonValue result = reply.value(QStringLiteral("result"));
        if (!result.isDouble())
            __builtin_trap();
        const int r = result.toInt(1);
        if (r != 0 && r != -9999 && r != -9998 && r != -10000)
            __builtin_trap();
        // Zones (with their devices' secrets) only go to a logged-in session.
        if (!session->isAuthorized()
            && (reply.contains(QStringLiteral("groups")) || reply.contains(QStringLiteral("group"))))
            __builtin_trap();
        if (session->isAuthorized() && !digestSent)
            __builtin_trap();
    }
    return 0;
}
