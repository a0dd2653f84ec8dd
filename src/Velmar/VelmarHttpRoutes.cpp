#include "VelmarHttpRoutes.h"

#include "FSManager.h"
#include "RDConfigure.h"
#include "RDFileHelper.h"
#include "RDGroup.h"
#include "RDHttpBaseRequest.h"
#include "RDHttpConnection.h"
#include "RDHttpFileResponse.h"
#include "RDHttpStreamServer.h"
#include "RDHttpTextResponse.h"
#include "RDHttpUtils.h"
#include "RDLog.h"
#include "RDStringHelper.h"
#include "Velmar.h"
#include "VelmarDB.h"

#include <QCoreApplication>
#include <QString>

#include <arpa/inet.h>

namespace {

const char *const kFrom = "Velmar";
// The prayer index of every start that is not a prayer.
const int kNoPrayer = 9;

std::unique_ptr<RDHttpResponse> jsonAnswer(const std::string &text)
{
    auto response = std::make_unique<RDHttpTextResponse>();
    response->setJson(text);
    return response;
}

std::unique_ptr<RDHttpResponse> textAnswer(const std::string &text)
{
    auto response = std::make_unique<RDHttpTextResponse>();
    response->setText(text);
    return response;
}

std::unique_ptr<RDHttpResponse> fileResponse(const std::string &path)
{
    auto response = std::make_unique<RDHttpFileResponse>();
    response->setFile(path);
    return response;
}

QString queryValue(const RDHttpQuery &query, const char *key)
{
    const auto it = query.find(key);
    return it == query.end() ? QString() : QString::fromStdString(it->second);
}

bool equalsIgnoringCase(const QString &a, const char *b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

void logRefusal(const char *what, const std::string &detail)
{
    RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "%s refused: %s\n", what, detail.c_str());
}

} // namespace

const char *const VelmarHttpRoutes::kUriNotSupport = "{\"result\":-1, \"reason\":\"uri not support\"}";

VelmarHttpRoutes::VelmarHttpRoutes(Velmar *velmar)
    : m_velmar(velmar)
{
}

void VelmarHttpRoutes::handleRequest(RDHttpStreamServer *server, RDHttpConnection *connection,
                                     RDHttpBaseRequest *request)
{
    const std::string folder = server ? server->configure()->uploadPath : std::string();
    const std::unique_ptr<RDHttpResponse> response = answer(folder, connection->peerHost(), request);
    connection->sendResponse(response.get());
}

void VelmarHttpRoutes::handleActionRequest(RDHttpStreamServer *, RDHttpConnection *connection,
                                           RDHttpBaseRequest *request)
{
    connection->sendResponse(actionAnswer(request).get());
}

void VelmarHttpRoutes::handlePrayRequest(RDHttpStreamServer *, RDHttpConnection *connection,
                                         RDHttpBaseRequest *request)
{
    connection->sendResponse(prayAnswer(request).get());
}

std::unique_ptr<RDHttpResponse> VelmarHttpRoutes::answer(const std::string &uploadFolder,
                                                         const std::string &peerHost, RDHttpBaseRequest *request)
{
    // Routes are chosen on the target as received, by prefix, so "/actions"
    // and "/prayer" reach the same routes as "/action" and "/pray".
    const std::string &target = request->target();
    if (startsWith(target, "/action"))
        return actionAnswer(request);
    if (startsWith(target, "/pray"))
        return prayAnswer(request);
    if (strCaseCompare(target, "/favicon.ico") == 0) {
        const QString icon = QStringLiteral("%1/resources/icon.ico").arg(QCoreApplication::applicationDirPath());
        return fileResponse(icon.toStdString());
    }
    if (startsWith(target, "/fs/conference"))
        return conferenceAnswer(peerHost, request);
    return fileAnswer(uploadFolder, request);
}

std::unique_ptr<RDHttpResponse> VelmarHttpRoutes::actionAnswer(RDHttpBaseRequest *request)
{
    const RDHttpQuery query = parseHttpQuery(request->target());
    const QString zone = queryValue(query, "zone");
    const QString operation = queryValue(query, "operation");

    if (!m_velmar->isApiEnabled())
        return jsonAnswer("{\"result\":\"error\", \"reason\":\"api not enable\"}");
    if (!VelmarDB::isValidConference(zone))
        return jsonAnswer("{\"result\":-1, \"reason\":\"invalid zone\"}");
    const RDGroup group = m_velmar->getGroupByConference(zone);
    if (group.id == 0)
        return jsonAnswer("{\"result\":-1, \"reason\":\"zone not exists\"}");
    // Prayer zones follow the timetable only; other programs neither start
    // nor stop them.
    if (group.isPraySource())
        return jsonAnswer("{\"result\":-1, \"reason\":\"can not start pray zone manually\"}");

    if (equalsIgnoringCase(operation, "start")) {
        if (FSManager *manager = FSManager::instance())
            manager->startGroup(group, QString(), QString(), kNoPrayer, QStringLiteral("http"), QLatin1String(kFrom));
        Velmar::writeGroupLog(group, QStringLiteral("start"), group.source, QStringLiteral("http"));
        return jsonAnswer("{\"result\":\"ok\"}");
    }
    if (equalsIgnoringCase(operation, "stop")) {
        m_velmar->stopGroup(group, QStringLiteral("http"));
        return jsonAnswer("{\"result\":\"ok\"}");
    }
    return jsonAnswer("{\"result\":-1, \"reason\":\"invalid operation\"}");
}

std::unique_ptr<RDHttpResponse> VelmarHttpRoutes::prayAnswer(RDHttpBaseRequest *request)
{
    const RDHttpQuery query = parseHttpQuery(request->target());
    bool ok = false;
    const int enable = queryValue(query, "enable").toInt(&ok, 10);
    {
        RDConfigure conf;
        conf.setPrayEnable(ok && enable != 0 ? 1 : 0);
    }
    // The main window refreshes on its own thread; the hook re-posts there.
    Velmar::reloadHome();
    return jsonAnswer("{\"result\":\"ok\"}");
}

std::unique_ptr<RDHttpResponse> VelmarHttpRoutes::conferenceAnswer(const std::string &peerHost,
                                                                   RDHttpBaseRequest *request)
{
    // Only the switch on this host reports its calls. The route takes no
    // credentials and bypasses the API switch, so a report from any other
    // host would let the LAN hold zones open at will.
    if (!isLoopbackHost(peerHost)) {
        logRefusal("call report", "peer " + peerHost + " is not local");
        return textAnswer(kUriNotSupport);
    }

    const bool isGet = strCaseCompare(request->method(), "GET") == 0;
    const RDHttpQuery query = parseHttpQuery(isGet ? request->target() : request->readBody());
    const QString type = queryValue(query, "type");
    const QString number = queryValue(query, "number");
    const QString caller = queryValue(query, "caller");
    const QString conference = queryValue(query, "conference");

    if (conference.isEmpty())
        return textAnswer("Success");

    const bool external = equalsIgnoringCase(type, "external");
    // The conference ends when its calling leg hangs up; without a caller
    // there is no leg to watch, and the zone would stay held for ever.
    const QString &party = external ? number : caller;
    if (party.isEmpty()) {
        logRefusal("call report", "no calling number for conference " + conference.toStdString());
        return textAnswer("Success");
    }

    const RDGroup group = m_velmar->getGroupByConference(conference);
    if (group.id == 0)
        return textAnswer("Success");

    FSManager *manager = FSManager::instance();
    if (external) {
        if (manager)
            manager->startGroup(group, QString(), number, kNoPrayer, QStringLiteral("sipTrunk"), QLatin1String(kFrom));
        Velmar::writeGroupLog(group, QStringLiteral("start"), QStringLiteral("sip trunk"),
                              QStringLiteral("call conference"));
    } else {
        if (manager)
            manager->startGroup(group, caller, QString(), kNoPrayer, QStringLiteral("call conference"),
                                QLatin1String(kFrom));
        Velmar::writeGroupLog(group, QStringLiteral("start"), QStringLiteral("call conference"),
                              QStringLiteral("call conference"));
    }
    return textAnswer("Success");
}

std::unique_ptr<RDHttpResponse> VelmarHttpRoutes::fileAnswer(const std::string &uploadFolder,
                                                             RDHttpBaseRequest *request)
{
    // Everything a request names must stay inside the upload folder: ".."
    // (plain or percent-encoded), NUL bytes and links leading out are refused
    // like a missing file, so the databases beside the folder never leak.
    std::string path;
    if (!httpResolvePathInFolder(uploadFolder, request->target(), path)) {
        logRefusal("file request", request->target());
        return textAnswer(kUriNotSupport);
    }
    bool isDirectory = false;
    if (!pathExists(path, isDirectory))
        return textAnswer(kUriNotSupport);
    if (isDirectory && m_velmar->isApiEnabled())
        return textAnswer(httpDirectoryIndexPage(path));
    return fileResponse(path);
}

bool VelmarHttpRoutes::isLoopbackHost(const std::string &host)
{
    in_addr v4 {};
    if (::inet_pton(AF_INET, host.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6 {};
    if (::inet_pton(AF_INET6, host.c_str(), &v6) != 1)
        return false;
    if (IN6_IS_ADDR_LOOPBACK(&v6))
        return true;
    return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}
