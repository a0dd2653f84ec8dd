#include "SipTestPeer.h"

#include <osipparser2/osip_message.h>
#include <osipparser2/osip_parser.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <strings.h>

namespace {

void initParser()
{
    static std::once_flag once;
    std::call_once(once, [] { parser_init(); });
}

int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Header lines of a message text with one of these names (full or compact
// form), in order.
std::string linesOf(const std::string &text, std::initializer_list<const char *> names)
{
    std::string out;
    size_t pos = 0;
    const size_t end = text.find("\r\n\r\n");
    while (pos < end) {
        size_t eol = text.find("\r\n", pos);
        if (eol == std::string::npos) {
            eol = text.size();
        }
        const std::string line = text.substr(pos, eol - pos);
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            while (!name.empty() && name.back() == ' ') {
                name.pop_back();
            }
            for (const char *n : names) {
                if (strcasecmp(name.c_str(), n) == 0) {
                    out += line + "\r\n";
                    break;
                }
            }
        }
        pos = eol + 2;
    }
    return out;
}

std::string valueOf(const std::string &line)
{
    const size_t colon = line.find(':');
    std::string v = colon == std::string::npos ? std::string() : line.substr(colon + 1);
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) {
        v.erase(0, 1);
    }
    while (!v.empty() && (v.back() == '\r' || v.back() == '\n')) {
        v.pop_back();
    }
    return v;
}

} // namespace

void SipMessageDeleter::operator()(osip_message *message) const
{
    osip_message_free(message);
}

std::string SipReceived::header(const char *name) const
{
    const std::string lines = linesOf(text, {name});
    return valueOf(lines.substr(0, lines.find("\r\n")));
}

std::string SipReceived::body() const
{
    const size_t at = text.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : text.substr(at + 4);
}

int SipReceived::status() const
{
    return message ? message->status_code : 0;
}

SipTestPeer::SipTestPeer(const char *ip) : m_ip(ip)
{
    initParser();
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    inet_pton(AF_INET, ip, &sa.sin_addr);
    socklen_t len = sizeof sa;
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0
        || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&sa), &len) != 0) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = -1;
        return;
    }
    m_port = ntohs(sa.sin_port);
}

SipTestPeer::~SipTestPeer()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

SipReceived SipTestPeer::receive(int timeoutMs)
{
    SipReceived r;
    pollfd p{m_fd, POLLIN, 0};
    if (m_fd < 0 || ::poll(&p, 1, timeoutMs) <= 0) {
        return r;
    }
    std::string buf(65536, '\0');
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(m_fd, &buf[0], buf.size(), 0, reinterpret_cast<sockaddr *>(&from), &len);
    if (n <= 0) {
        return r;
    }
    buf.resize(size_t(n));
    m_lastSourcePort = ntohs(from.sin_port);
    osip_message_t *message = nullptr;
    osip_message_init(&message);
    if (osip_message_parse(message, buf.data(), buf.size()) != 0) {
        osip_message_free(message);
        return r;
    }
    r.message.reset(message);
    r.text = buf;
    return r;
}

SipReceived SipTestPeer::waitRequest(const char *method, int timeoutMs)
{
    const int64_t end = nowMs() + timeoutMs;
    for (int64_t left = timeoutMs; left > 0; left = end - nowMs()) {
        SipReceived r = receive(int(left));
        if (r && MSG_IS_REQUEST(r.get()) && r.get()->sip_method && std::strcmp(r.get()->sip_method, method) == 0) {
            return r;
        }
    }
    return SipReceived();
}

SipReceived SipTestPeer::waitResponse(const char *method, int status, int timeoutMs)
{
    const int64_t end = nowMs() + timeoutMs;
    for (int64_t left = timeoutMs; left > 0; left = end - nowMs()) {
        SipReceived r = receive(int(left));
        if (!r || !MSG_IS_RESPONSE(r.get()) || !r.get()->cseq || !r.get()->cseq->method
            || std::strcmp(r.get()->cseq->method, method) != 0) {
            continue;
        }
        if (status == 0 ? r.status() >= 200 : r.status() == status) {
            return r;
        }
    }
    return SipReceived();
}

int SipTestPeer::countRequests(const char *method, int ms)
{
    int count = 0;
    const int64_t end = nowMs() + ms;
    for (int64_t left = ms; left > 0; left = end - nowMs()) {
        SipReceived r = receive(int(left));
        if (r && MSG_IS_REQUEST(r.get()) && std::strcmp(r.get()->sip_method, method) == 0) {
            ++count;
        }
    }
    return count;
}

void SipTestPeer::respond(const SipReceived &request, int status, const std::string &extraHeaders,
                          const std::string &body)
{
    std::string to = linesOf(request.text, {"To", "t"});
    if (to.find("tag=") == std::string::npos) {
        to.insert(to.size() - 2, ";tag=peer" + std::to_string(m_port));
    }
    std::string text = "SIP/2.0 " + std::to_string(status) + " Test\r\n" + linesOf(request.text, {"Via", "v"})
        + linesOf(request.text, {"From", "f"}) + to + linesOf(request.text, {"Call-ID", "i"})
        + linesOf(request.text, {"CSeq"});
    if (status >= 200 && status < 300 && extraHeaders.find("Contact:") == std::string::npos) {
        text += "Contact: <sip:peer@" + m_ip + ":" + std::to_string(m_port) + ">\r\n";
    }
    text += extraHeaders;
    if (!body.empty()) {
        text += "Content-Type: application/sdp\r\n";
    }
    text += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    send(text, m_lastSourcePort);
}

void SipTestPeer::send(const std::string &text, int port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(static_cast<uint16_t>(port));
    ::sendto(m_fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
}

std::string SipTestPeer::request(const char *method, int agentPort, const std::string &user,
                                 const std::string &toTag, int cseq, const std::string &sdp, std::string branch)
{
    if (branch.empty()) {
        branch = "z9hG4bKpeer" + std::to_string(m_port) + "x" + std::to_string(++m_branch);
    }
    const std::string me = m_ip + ":" + std::to_string(m_port);
    const std::string agent = "127.0.0.1:" + std::to_string(agentPort);
    std::string text = std::string(method) + " sip:" + user + "@" + agent + " SIP/2.0\r\n";
    text += "Via: SIP/2.0/UDP " + me + ";branch=" + branch + ";rport\r\n";
    if (std::strcmp(method, "INVITE") == 0) {
        m_lastBranch = branch;
    }
    text += "From: <sip:" + m_fromUser + "@" + me + ">;tag=from" + std::to_string(m_port) + "\r\n";
    text += "To: <sip:" + user + "@" + agent + ">" + (toTag.empty() ? "" : ";tag=" + toTag) + "\r\n";
    text += "Call-ID: " + m_callId + "\r\n";
    const std::string cseqMethod = std::strcmp(method, "ACK") == 0 ? "ACK" : method;
    text += "CSeq: " + std::to_string(cseq) + " " + cseqMethod + "\r\n";
    text += "Contact: <sip:" + m_fromUser + "@" + me + ">\r\n";
    text += "Max-Forwards: 70\r\n";
    if (!sdp.empty()) {
        text += "Content-Type: application/sdp\r\n";
    }
    text += "Content-Length: " + std::to_string(sdp.size()) + "\r\n\r\n" + sdp;
    return text;
}

std::string SipTestPeer::invite(int agentPort, const char *user, const char *fromUser, const std::string &sdp,
                                int cseq)
{
    m_callId = "call" + std::to_string(m_port) + "n" + std::to_string(++m_branch) + "@" + m_ip;
    m_fromUser = fromUser;
    m_toUser = user;
    send(request("INVITE", agentPort, m_toUser, std::string(), cseq, sdp), agentPort);
    return m_callId;
}

namespace {

std::string toTagOf(const SipReceived &response)
{
    const std::string to = response.header("To");
    const size_t at = to.find("tag=");
    if (at == std::string::npos) {
        return std::string();
    }
    const std::string rest = to.substr(at + 4);
    return rest.substr(0, rest.find_first_of(";> \r\n"));
}

} // namespace

void SipTestPeer::cancel(int agentPort, int cseq)
{
    send(request("CANCEL", agentPort, m_toUser, std::string(), cseq, std::string(), m_lastBranch), agentPort);
}

void SipTestPeer::ack(int agentPort, const SipReceived &response, int cseq)
{
    // The ACK of an error answer belongs to the INVITE's transaction.
    const std::string branch = response.status() >= 300 ? m_lastBranch : std::string();
    send(request("ACK", agentPort, m_toUser, toTagOf(response), cseq, std::string(), branch), agentPort);
}

void SipTestPeer::inDialog(int agentPort, const SipReceived &okResponse, const char *method, int cseq,
                           const std::string &sdp)
{
    send(request(method, agentPort, m_toUser, toTagOf(okResponse), cseq, sdp), agentPort);
}
