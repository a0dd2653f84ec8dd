#pragma once

#include <memory>
#include <string>

class RDHttpBaseRequest;
class RDHttpConnection;
class RDHttpResponse;
class RDHttpStreamServer;
class Velmar;

// The answers of the central object's HTTP server: zone control for other
// programs ("/action"), the prayer switch ("/pray"), the switch's own reports
// of inbound calls ("/fs/conference"), the program icon, and files of the
// upload folder. Every route runs on the connection's thread and answers
// exactly once.
class VelmarHttpRoutes
{
public:
    explicit VelmarHttpRoutes(Velmar *velmar);

    void handleRequest(RDHttpStreamServer *server, RDHttpConnection *connection, RDHttpBaseRequest *request);
    void handleActionRequest(RDHttpStreamServer *server, RDHttpConnection *connection, RDHttpBaseRequest *request);
    void handlePrayRequest(RDHttpStreamServer *server, RDHttpConnection *connection, RDHttpBaseRequest *request);

    // The answers themselves, apart from the connection they go out on.
    std::unique_ptr<RDHttpResponse> answer(const std::string &uploadFolder, const std::string &peerHost,
                                           RDHttpBaseRequest *request);
    std::unique_ptr<RDHttpResponse> actionAnswer(RDHttpBaseRequest *request);
    std::unique_ptr<RDHttpResponse> prayAnswer(RDHttpBaseRequest *request);
    std::unique_ptr<RDHttpResponse> conferenceAnswer(const std::string &peerHost, RDHttpBaseRequest *request);
    std::unique_ptr<RDHttpResponse> fileAnswer(const std::string &uploadFolder, RDHttpBaseRequest *request);

    // Whether a peer address (as the server reports it) is on this host's
    // loopback network: 127.0.0.0/8, ::1, or 127.0.0.0/8 mapped into IPv6.
    static bool isLoopbackHost(const std::string &host);

    static const char *const kUriNotSupport;

private:
    Velmar *m_velmar;
};
