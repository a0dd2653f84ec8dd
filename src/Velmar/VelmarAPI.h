#pragma once

#include "RDDevice.h"
#include "RDGroup.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>

class KelClient;
class KelServer;
class VelmarAPITarget;

// The JSON command protocol of the phone apps. Every session message is one
// request object; each gets exactly one reply object on the same session.
// Events about devices and zones go to every session of a server.
//
// Results: 0 done, -9999 login required or login failed, -9998 unknown
// method, -10000 no "method" or no usable "groupId" (also a "groupId" that
// names no stored zone: passing an empty record on would make the switch
// build a conference without numbers and write an empty event-log row).
//
// Runs on the sessions' read threads, several at once; it keeps no lock of
// its own. The event counter is shared by every thread that sends events.
class VelmarAPI
{
public:
    enum Result {
        ResultOk = 0,
        ResultAuthFailed = -9999,
        ResultUnknownMethod = -9998,
        ResultBadRequest = -10000,
    };

    // `target` runs the zone operations; owned.
    explicit VelmarAPI(std::unique_ptr<VelmarAPITarget> target);
    ~VelmarAPI();

    // Parses one request and sends its reply to `session`.
    void handleRequest(KelServer *server, const std::shared_ptr<KelClient> &session, const QByteArray &message);
    // The reply to one request, without sending it; handleRequest() sends
    // exactly this. Login state changes on `session` happen here.
    QJsonObject reply(KelServer *server, const std::shared_ptr<KelClient> &session, const QByteArray &message);
    // Serialises compactly, logs it (secrets masked) and sends it.
    void sendJson(const std::shared_ptr<KelClient> &session, const QJsonObject &reply);

    // Events, each to every session of `server` that may hear them.
    void notifyDevicesStatusChanged(KelServer *server, const QVector<RDDevice> &devices);
    void notifyGroupInfoChanged(KelServer *server, const RDGroup &group);
    void notifyGroupStarted(KelServer *server, const RDGroup &group);
    void notifyGroupStopped(KelServer *server, const RDGroup &group);
    // The id the last event carried (0 before the first).
    int lastEventId() const { return m_eventCounter.load(); }

    static QJsonObject deviceToJson(const RDDevice &device);
    static QJsonArray devicesToJson(const QVector<RDDevice> &devices);
    static QJsonObject groupToJson(const RDGroup &group);
    // The compact text with the value of every "password" member, at any
    // depth, replaced: what may go into the log.
    static QByteArray maskedForLog(const QJsonObject &object);

private:
    void sendEvent(KelServer *server, const QString &method, const QString &member, const QJsonValue &value);
    // Checks the request's "username"/"password" against the server's login
    // and marks the session logged in when they match.
    static void tryLogin(KelServer *server, KelClient &session, const QJsonObject &request);
    // The group operations: reads "groupId", looks the zone up and runs `run`
    // with it; false (nothing run) when there is no such zone.
    bool withGroup(const QJsonObject &request, const std::function<void(const RDGroup &)> &run);

    std::unique_ptr<VelmarAPITarget> m_target;
    std::atomic<int> m_eventCounter{0};

    VelmarAPI(const VelmarAPI &) = delete;
    VelmarAPI &operator=(const VelmarAPI &) = delete;
};
