#pragma once

#include <memory>
#include <string>

struct osip_message;

struct SipMessageDeleter
{
    void operator()(osip_message *message) const;
};
using SipMessagePtr = std::unique_ptr<osip_message, SipMessageDeleter>;

// A message as it arrived: parsed, and its text.
struct SipReceived
{
    SipMessagePtr message;
    std::string text;
    explicit operator bool() const { return message != nullptr; }
    osip_message *get() const { return message.get(); }
    // The value of the first header line with this name (case-insensitive;
    // "" when none) and the body.
    std::string header(const char *name) const;
    std::string body() const;
    int status() const;
};

// The far end of a SIP conversation written by hand: a UDP socket on one
// loopback address that reads what the agent sends (parsed by oSIP) and
// sends requests and responses built as plain text. Registrar, caller and
// callee of the account tests, with every step in the test's own control.
class SipTestPeer
{
public:
    // Binds `ip`:0 (a port the system picks).
    explicit SipTestPeer(const char *ip = "127.0.0.1");
    ~SipTestPeer();
    SipTestPeer(const SipTestPeer &) = delete;
    SipTestPeer &operator=(const SipTestPeer &) = delete;

    const std::string &ip() const { return m_ip; }
    int port() const { return m_port; }

    // The next message within `timeoutMs` (empty on time-out).
    SipReceived receive(int timeoutMs);
    // The next request of this method (others are skipped), or empty.
    SipReceived waitRequest(const char *method, int timeoutMs);
    // The next response to a request of this method with this status (0:
    // any final one), or empty.
    SipReceived waitResponse(const char *method, int status, int timeoutMs);
    // Counts the requests of this method that arrive within `ms`, answering
    // none of them.
    int countRequests(const char *method, int ms);

    // A response to `request`: its Via, From, Call-ID and CSeq, its To with
    // our tag, then `extraHeaders` (lines ended by CRLF) and `body`; sent to
    // where the request came from.
    void respond(const SipReceived &request, int status, const std::string &extraHeaders = std::string(),
                 const std::string &body = std::string());
    // Sends raw text to 127.0.0.1:`port`.
    void send(const std::string &text, int port);

    // Starts a call to `user` on the agent at 127.0.0.1:`agentPort` from
    // `fromUser` at this peer, with `sdp` (no body when empty). Returns its
    // Call-ID.
    std::string invite(int agentPort, const char *user, const char *fromUser, const std::string &sdp,
                       int cseq = 1);
    // Cancels the INVITE sent by invite() (same branch and CSeq number).
    void cancel(int agentPort, int cseq = 1);
    // Acknowledges the final response of the call started by invite().
    void ack(int agentPort, const SipReceived &response, int cseq = 1);
    // A request inside the call established by invite(), using the To tag
    // of its 2xx (BYE, INFO, re-INVITE with `sdp`).
    void inDialog(int agentPort, const SipReceived &okResponse, const char *method, int cseq,
                  const std::string &sdp = std::string());

private:
    std::string request(const char *method, int agentPort, const std::string &user, const std::string &toTag,
                        int cseq, const std::string &sdp, std::string branch = std::string());

    int m_fd = -1;
    int m_port = 0;
    std::string m_ip;
    std::string m_callId;
    std::string m_fromUser;
    std::string m_toUser;
    int m_branch = 0;
    int m_lastSourcePort = 0;
    std::string m_lastBranch;
};
