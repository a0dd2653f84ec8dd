#include "VelmarAPI.h"

#include "KelClient.h"
#include "KelServer.h"
#include "RDJsonHelper.h"
#include "RDLog.h"
#include "VelmarAPITarget.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <climits>
#include <cmath>

namespace {

const char *const kDeviceName = "Kelbrin Corvane Lite";
const char *const kDeviceType = "Velmar";
const char *const kVersion = "2.3.0";

QString keyId() { return QStringLiteral("id"); }
QString keyMethod() { return QStringLiteral("method"); }
QString keyResult() { return QStringLiteral("result"); }

bool isMethod(const QString &name, const char *method)
{
    return name.compare(QLatin1String(method), Qt::CaseInsensitive) == 0;
}

// "groupId" as a stored row id: a whole JSON number from 1 up; anything else
// (absent, a string of digits, 0, negative, fractional, out of range) is 0.
int readGroupId(const QJsonObject &request)
{
    const QJsonValue value = request.value(QStringLiteral("groupId"));
    if (!value.isDouble())
        return 0;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d < 1.0 || d > double(INT_MAX) || std::floor(d) != d)
        return 0;
    return int(d);
}

QJsonValue masked(const QJsonValue &value);

QJsonObject maskedObject(const QJsonObject &object)
{
    QJsonObject out;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (it.key().compare(QLatin1String("password"), Qt::CaseInsensitive) == 0)
            out.insert(it.key(), QStringLiteral("***"));
        else
            out.insert(it.key(), masked(it.value()));
    }
    return out;
}

QJsonValue masked(const QJsonValue &value)
{
    if (value.isObject())
        return maskedObject(value.toObject());
    if (value.isArray()) {
        QJsonArray out;
        const QJsonArray in = value.toArray();
        for (const QJsonValue &item : in)
            out.append(masked(item));
        return out;
    }
    return value;
}

} // namespace

VelmarAPI::VelmarAPI(std::unique_ptr<VelmarAPITarget> target)
    : m_target(std::move(target))
{
}

VelmarAPI::~VelmarAPI() = default;

// -- JSON forms -----------------------------------------------------------------

QJsonObject VelmarAPI::deviceToJson(const RDDevice &device)
{
    QJsonObject o;
    o.insert(QStringLiteral("id"), device.id);
    o.insert(QStringLiteral("name"), device.name);
    o.insert(QStringLiteral("number"), device.number);
    o.insert(QStringLiteral("password"), device.password);
    o.insert(QStringLiteral("status"), device.status);
    return o;
}

QJsonArray VelmarAPI::devicesToJson(const QVector<RDDevice> &devices)
{
    QJsonArray a;
    for (const RDDevice &device : devices)
        a.append(deviceToJson(device));
    return a;
}

QJsonObject VelmarAPI::groupToJson(const RDGroup &group)
{
    QString source = group.source;
    if (source.compare(QLatin1String("device"), Qt::CaseInsensitive) == 0)
        source = group.audioType == 1 ? QStringLiteral("speaker") : QStringLiteral("microphone");
    QJsonArray playlist;
    for (const QString &item : group.mediaList)
        playlist.append(item);

    QJsonObject o;
    o.insert(QStringLiteral("id"), group.id);
    o.insert(QStringLiteral("name"), group.name);
    o.insert(QStringLiteral("conference"), group.conference);
    o.insert(QStringLiteral("started"), group.started != 0);
    o.insert(QStringLiteral("startType"), group.started != 0 ? group.startType : QStringLiteral("none"));
    o.insert(QStringLiteral("source"), source);
    o.insert(QStringLiteral("audioId"), group.audioId);
    o.insert(QStringLiteral("audioName"), group.audioName);
    o.insert(QStringLiteral("streamUrl"), group.streamUrl);
    o.insert(QStringLiteral("playlist"), playlist);
    o.insert(QStringLiteral("devices"), devicesToJson(group.deviceList));
    return o;
}

QByteArray VelmarAPI::maskedForLog(const QJsonObject &object)
{
    return QJsonDocument(maskedObject(object)).toJson(QJsonDocument::Compact);
}

// -- Requests ---------------------------------------------------------------------

void VelmarAPI::handleRequest(KelServer *server, const std::shared_ptr<KelClient> &session,
                              const QByteArray &message)
{
    if (!session)
        return;
    sendJson(session, reply(server, session, message));
}

void VelmarAPI::tryLogin(KelServer *server, KelClient &session, const QJsonObject &request)
{
    if (!server)
        return;
    const std::string user = request.value(QStringLiteral("username")).toString().toStdString();
    const std::string digest = request.value(QStringLiteral("password")).toString().toStdString();
    if (server->checkAuth(user, digest))
        session.setAuthorized(true);
}

bool VelmarAPI::withGroup(const QJsonObject &request, const std::function<void(const RDGroup &)> &run)
{
    const int id = readGroupId(request);
    if (id < 1)
        return false;
    const RDGroup group = m_target->getGroupById(id);
    if (!group.isValid())
        return false;
    run(group);
    return true;
}

QJsonObject VelmarAPI::reply(KelServer *server, const std::shared_ptr<KelClient> &session, const QByteArray &message)
{
    QJsonParseError error;
    const QJsonDocument document = rdParseJson(message, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        QJsonObject invalid;
        invalid.insert(QStringLiteral("error"), QStringLiteral("invalid json format"));
        return invalid;
    }
    const QJsonObject request = document.object();
    // The login digest is the credential itself: it never reaches the log.
    RDLogDetail(__FILE__, "VelmarAPI::handleRequest", __LINE__, 5, "Read CMD %s\n", maskedForLog(request).constData());

    QJsonObject out;
    if (!request.contains(keyMethod())) {
        out.insert(keyResult(), ResultBadRequest);
        return out;
    }
    if (request.contains(keyId()))
        out.insert(keyId(), request.value(keyId()));
    out.insert(keyMethod(), request.value(keyMethod()));
    const QString name = request.value(keyMethod()).toString();
    KelClient *client = session.get();
    const auto authorized = [client] { return client && client->isAuthorized(); };

    if (isMethod(name, "GetDeviceInfo")) {
        if (client && request.contains(QStringLiteral("username")) && request.contains(QStringLiteral("password")))
            tryLogin(server, *client, request);
        out.insert(QStringLiteral("uid"), m_target->installationUid());
        out.insert(QStringLiteral("name"), QLatin1String(kDeviceName));
        out.insert(QStringLiteral("type"), QLatin1String(kDeviceType));
        out.insert(QStringLiteral("version"), QLatin1String(kVersion));
        if (!authorized())
            out.insert(QStringLiteral("auth"), server ? server->isAuthEnabled() : 1);
        out.insert(keyResult(), ResultOk);
        return out;
    }

    const bool isLogin = isMethod(name, "Auth") || isMethod(name, "Login");
    // Without a server there is no login to pass: the gate stays shut.
    const bool loginRequired = !server || server->isAuthEnabled() != 0;
    if (loginRequired && !authorized()) {
        if (isLogin && client)
            tryLogin(server, *client, request);
        out.insert(keyResult(), isLogin && authorized() ? ResultOk : ResultAuthFailed);
        return out;
    }

    int result = ResultOk;
    if (isLogin) {
        // Already logged in, or no login required.
    } else if (isMethod(name, "GetGroup")) {
        QJsonArray groups;
        const QVector<RDGroup> all = m_target->getGroups();
        for (const RDGroup &group : all)
            groups.append(groupToJson(group));
        out.insert(QStringLiteral("groups"), groups);
    } else if (isMethod(name, "GetGroupById")) {
        if (!withGroup(request, [&out](const RDGroup &group) { out.insert(QStringLiteral("group"), groupToJson(group)); }))
            result = ResultBadRequest;
    } else if (isMethod(name, "StartGroup")) {
        if (!withGroup(request, [this](const RDGroup &group) { m_target->startApiGroup(group); }))
            result = ResultBadRequest;
    } else if (isMethod(name, "StopGroup")) {
        if (!withGroup(request, [this](const RDGroup &group) { m_target->stopGroup(group, QStringLiteral("http")); }))
            result = ResultBadRequest;
    } else if (isMethod(name, "StartTalkGroup")) {
        if (!withGroup(request, [this, &session](const RDGroup &group) { m_target->startTalkGroup(group, session); }))
            result = ResultBadRequest;
    } else if (isMethod(name, "StopTalkGroup")) {
        if (!withGroup(request, [this, &session](const RDGroup &group) { m_target->stopTalkGroup(group, session); }))
            result = ResultBadRequest;
    } else if (isMethod(name, "StartListenGroup")) {
        if (!withGroup(request, [this, &session](const RDGroup &group) { m_target->startListenGroup(group, session); }))
            result = ResultBadRequest;
    } else if (isMethod(name, "StopListenGroup")) {
        if (!withGroup(request, [this, &session](const RDGroup &group) { m_target->stopListenGroup(group, session); }))
            result = ResultBadRequest;
    } else {
        result = ResultUnknownMethod;
    }
    out.insert(keyResult(), result);
    return out;
}

void VelmarAPI::sendJson(const std::shared_ptr<KelClient> &session, const QJsonObject &reply)
{
    if (!session)
        return;
    const QByteArray text = QJsonDocument(reply).toJson(QJsonDocument::Compact);
    RDLogDetail(__FILE__, "VelmarAPI::sendJson", __LINE__, 5, "Send CMD %s\n", maskedForLog(reply).constData());
    session->send(text.constData(), text.size());
}

// -- Events -------------------------------------------------------------------

void VelmarAPI::sendEvent(KelServer *server, const QString &method, const QString &member, const QJsonValue &value)
{
    if (!server)
        return;
    QJsonObject event;
    event.insert(keyId(), m_eventCounter.fetch_add(1) + 1);
    event.insert(keyMethod(), method);
    event.insert(member, value);
    const QByteArray text = QJsonDocument(event).toJson(QJsonDocument::Compact);
    server->send(text.constData(), text.size());
}

void VelmarAPI::notifyDevicesStatusChanged(KelServer *server, const QVector<RDDevice> &devices)
{
    sendEvent(server, QStringLiteral("devicesStatusChanged"), QStringLiteral("devices"), devicesToJson(devices));
}

void VelmarAPI::notifyGroupInfoChanged(KelServer *server, const RDGroup &group)
{
    sendEvent(server, QStringLiteral("GroupInfoChanged"), QStringLiteral("groupId"), group.id);
}

void VelmarAPI::notifyGroupStarted(KelServer *server, const RDGroup &group)
{
    sendEvent(server, QStringLiteral("GroupStarted"), QStringLiteral("groupId"), group.id);
}

void VelmarAPI::notifyGroupStopped(KelServer *server, const RDGroup &group)
{
    sendEvent(server, QStringLiteral("GroupStopped"), QStringLiteral("groupId"), group.id);
}
