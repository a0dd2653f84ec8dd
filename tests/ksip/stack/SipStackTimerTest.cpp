// Retransmission and time-out behaviour, with a raw socket as the peer that
// loses, withholds or repeats messages. T1 is shrunk so 64*T1 is about a
// second.
#include "RawSipSocket.h"
#include "StackPeer.h"

#include <gtest/gtest.h>
#include <osipparser2/osip_parser.h>

#include <cctype>
#include <chrono>
#include <string>
#include <vector>

namespace {

using T = SipStackEventType;
using Clock = std::chrono::steady_clock;

SipStackConfig timers(int t1, int t2)
{
    SipStackConfig c;
    c.t1Ms = t1;
    c.t2Ms = t2;
    c.t4Ms = 100;
    return c;
}

// The value of the first header line `name` ("Via", "CSeq"...) of a raw
// message, without the name.
std::string line(const std::string &message, const std::string &name)
{
    size_t at = message.find("\r\n" + name + ":");
    if (at == std::string::npos)
        return "";
    at += name.size() + 3;
    while (at < message.size() && message[at] == ' ')
        ++at;
    return message.substr(at, message.find("\r\n", at) - at);
}

// A response to a raw request, with our tag and Contact.
std::string answer(const std::string &request, const std::string &status, int contactPort)
{
    std::string out = "SIP/2.0 " + status + "\r\n";
    out += "Via: " + line(request, "Via") + "\r\n";
    out += "From: " + line(request, "From") + "\r\n";
    out += "To: " + line(request, "To") + ";tag=rawpeer\r\n";
    out += "Call-ID: " + line(request, "Call-ID") + "\r\n";
    out += "CSeq: " + line(request, "CSeq") + "\r\n";
    out += "Contact: <sip:raw@127.0.0.1:" + std::to_string(contactPort) + ">\r\n";
    out += "Content-Length: 0\r\n\r\n";
    return out;
}

std::string rawInvite(int uaPort, int rawPort)
{
    const std::string p = std::to_string(rawPort);
    return "INVITE sip:200@127.0.0.1:" + std::to_string(uaPort) + " SIP/2.0\r\n"
           "Via: SIP/2.0/UDP 127.0.0.1:" + p + ";rport;branch=z9hG4bKrawinvite\r\n"
           "From: <sip:raw@127.0.0.1:" + p + ">;tag=rawfrom\r\n"
           "To: <sip:200@127.0.0.1>\r\n"
           "Call-ID: rawcall@127.0.0.1\r\n"
           "CSeq: 1 INVITE\r\n"
           "Contact: <sip:raw@127.0.0.1:" + p + ">\r\n"
           "Max-Forwards: 70\r\n"
           "Content-Length: 0\r\n\r\n";
}

// A request of the raw peer inside the call rawInvite() started, to the
// stack's To (with its tag).
std::string rawInDialog(const std::string &method, int cseq, int uaPort, int rawPort, const std::string &to)
{
    const std::string p = std::to_string(rawPort);
    std::string lower = method;
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return method + " sip:200@127.0.0.1:" + std::to_string(uaPort) + " SIP/2.0\r\n"
           "Via: SIP/2.0/UDP 127.0.0.1:" + p + ";rport;branch=z9hG4bKraw" + lower + "\r\n"
           "From: <sip:raw@127.0.0.1:" + p + ">;tag=rawfrom\r\n"
           "To: " + to + "\r\n"
           "Call-ID: rawcall@127.0.0.1\r\nCSeq: " + std::to_string(cseq) + " " + method +
           "\r\nMax-Forwards: 70\r\nContent-Length: 0\r\n\r\n";
}

// The stack calls the raw socket; returns the call id.
int callRaw(StackPeer &ua, RawSipSocket &raw)
{
    osip_message_t *invite = nullptr;
    if (ua.stack.callBuildInitialInvite(&invite, ("sip:raw@127.0.0.1:" + std::to_string(raw.port())).c_str(),
                                        ua.uri("100").c_str(), nullptr, nullptr) != 0)
        return -1;
    return ua.stack.callSendInitialInvite(invite);
}

// Times (ms after the first) at which datagrams starting with `prefix`
// arrive, until `stop` arrives or limitMs pass.
std::vector<long> arrivals(RawSipSocket &raw, const std::string &prefix, const std::string &stop, int limitMs,
                           std::string *stopMessage = nullptr)
{
    std::vector<long> out;
    const auto start = Clock::now();
    Clock::time_point first;
    while (true) {
        const long left =
            limitMs - std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        if (left <= 0)
            break;
        const std::string got = raw.receive(static_cast<int>(left));
        if (got.empty())
            break;
        if (!stop.empty() && got.compare(0, stop.size(), stop) == 0) {
            if (stopMessage)
                *stopMessage = got;
            break;
        }
        if (got.compare(0, prefix.size(), prefix) != 0)
            continue;
        if (out.empty())
            first = Clock::now();
        out.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - first).count());
    }
    return out;
}

// Our 2xx goes unacknowledged: it is repeated with doubling intervals capped
// at T2, then the stack ends the session with BYE and releases the call.
TEST(SipStackTimerTest, UnacknowledgedAnswerIsRepeatedThenEndedWithBye)
{
    const struct {
        int t2;
        size_t minCopies;
        size_t maxCopies;
    } cases[] = {
        // T1 = 20: copies at 0, 20, 60, 140, 300, 620 (and maybe 1260) before 64*T1 = 1280.
        {4000, 6, 8},
        // Capped at 40: one copy every 40 ms after the first two, ~32 in all
        // (a loaded machine's late timers make fewer; uncapped makes at most 8).
        {40, 12, 40},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.t2);
        StackPeer ua(timers(20, c.t2));
        RawSipSocket raw;
        ASSERT_TRUE(raw.sendTo(ua.port(), rawInvite(ua.port(), raw.port())));
        auto invite = ua.waitFor(T::CallInvite);
        ASSERT_TRUE(invite);
        ASSERT_EQ(ua.stack.callSendAnswer(invite->tid, 200, nullptr), 0);
        std::string bye;
        const auto copies = arrivals(raw, "SIP/2.0 200", "BYE ", 4000, &bye);
        EXPECT_GE(copies.size(), c.minCopies);
        EXPECT_LE(copies.size(), c.maxCopies);
        ASSERT_FALSE(copies.empty());
        EXPECT_GE(copies.back(), 64 * 20 / 2);  // kept going well into 64*T1
        ASSERT_FALSE(bye.empty()) << "no BYE after the answer went unacknowledged";
        EXPECT_EQ(line(bye, "Call-ID"), "rawcall@127.0.0.1");
        EXPECT_NE(line(bye, "To").find("rawfrom"), std::string::npos);  // the dialog's remote tag
        EXPECT_TRUE(ua.waitFor(T::CallReleased, 2000));
        EXPECT_EQ(ua.count(T::CallAck), 0);
    }
}

// An ACK for the 2xx stops the repetition and is reported once.
TEST(SipStackTimerTest, AckStopsTheRepetition)
{
    StackPeer ua(timers(20, 4000));
    RawSipSocket raw;
    ASSERT_TRUE(raw.sendTo(ua.port(), rawInvite(ua.port(), raw.port())));
    auto invite = ua.waitFor(T::CallInvite);
    ASSERT_TRUE(invite);
    ASSERT_EQ(ua.stack.callSendAnswer(invite->tid, 200, nullptr), 0);
    const std::string ok = raw.receiveStarting("SIP/2.0 200", 2000);
    ASSERT_FALSE(ok.empty());
    const std::string ack = rawInDialog("ACK", 1, ua.port(), raw.port(), line(ok, "To"));
    ASSERT_TRUE(raw.sendTo(ua.port(), ack));
    auto acked = ua.waitFor(T::CallAck);
    ASSERT_TRUE(acked);
    EXPECT_TRUE(acked->ack);
    // Nothing more than what was already in flight; no BYE, no release.
    const auto later = arrivals(raw, "SIP/2.0 200", "BYE ", 1600);
    EXPECT_LE(later.size(), 1u);
    ua.seen.clear();
    ua.drain(100);
    EXPECT_EQ(ua.count(T::CallReleased), 0);
    // A duplicate ACK is absorbed.
    ASSERT_TRUE(raw.sendTo(ua.port(), ack));
    ua.seen.clear();
    ua.drain(200);
    EXPECT_EQ(ua.count(T::CallAck), 0);
}

// A BYE in the early dialog (after our 180, before any final answer) ends
// the call; its INVITE still gets a final answer, 487, repeated until the
// ACK, so that neither side's transaction waits for ever.
TEST(SipStackTimerTest, ByeBeforeTheAnswerEndsTheInviteWith487)
{
    StackPeer ua(timers(20, 4000));
    RawSipSocket raw;
    const std::string invite = rawInvite(ua.port(), raw.port());
    ASSERT_TRUE(raw.sendTo(ua.port(), invite));
    auto offered = ua.waitFor(T::CallInvite);
    ASSERT_TRUE(offered);
    ASSERT_EQ(ua.stack.callSendAnswer(offered->tid, 180, nullptr), 0);
    const std::string ringing = raw.receiveStarting("SIP/2.0 180", 2000);
    ASSERT_FALSE(ringing.empty());
    const std::string bye = rawInDialog("BYE", 2, ua.port(), raw.port(), line(ringing, "To"));
    ASSERT_TRUE(raw.sendTo(ua.port(), bye));
    EXPECT_TRUE(ua.waitFor(T::CallClosed, 2000));
    // The 200 for the BYE and the 487 for the INVITE, in either order.
    std::string okBye, terminated;
    const auto end = Clock::now() + std::chrono::seconds(3);
    while ((okBye.empty() || terminated.empty()) && Clock::now() < end) {
        const std::string got = raw.receive(200);
        if (got.compare(0, 11, "SIP/2.0 200") == 0 && line(got, "CSeq") == "2 BYE")
            okBye = got;
        else if (got.compare(0, 11, "SIP/2.0 487") == 0)
            terminated = got;
    }
    EXPECT_FALSE(okBye.empty());
    ASSERT_FALSE(terminated.empty()) << "the INVITE was left without a final answer";
    EXPECT_EQ(line(terminated, "CSeq"), "1 INVITE");
    // Unacknowledged, the 487 is repeated (the transaction runs its timers).
    EXPECT_FALSE(raw.receiveStarting("SIP/2.0 487", 1000).empty());
    // The application can no longer answer it.
    EXPECT_NE(ua.stack.callSendAnswer(offered->tid, 200, nullptr), 0);
}

// The callee repeats its 2xx (our ACK was lost): every copy gets the ACK
// again, without a new event.
TEST(SipStackTimerTest, AckIsResentForEveryRepeatedAnswer)
{
    StackPeer ua(timers(20, 4000));
    RawSipSocket raw;
    ASSERT_GT(callRaw(ua, raw), 0);
    const std::string request = raw.receiveStarting("INVITE ", 2000);
    ASSERT_FALSE(request.empty());
    const std::string ok = answer(request, "200 OK", raw.port());
    ASSERT_TRUE(raw.sendTo(ua.port(), ok));
    auto answered = ua.waitFor(T::CallAnswered);
    ASSERT_TRUE(answered);
    ASSERT_EQ(ua.stack.callSendAck(answered->did, nullptr), 0);
    const std::string firstAck = raw.receiveStarting("ACK ", 2000);
    ASSERT_FALSE(firstAck.empty());
    EXPECT_EQ(line(firstAck, "CSeq"), "1 ACK");
    for (int copy = 0; copy < 3; ++copy) {
        SCOPED_TRACE(copy);
        ASSERT_TRUE(raw.sendTo(ua.port(), ok));
        const std::string again = raw.receiveStarting("ACK ", 2000);
        EXPECT_EQ(again, firstAck);
    }
    ua.seen.clear();
    ua.drain(100);
    EXPECT_EQ(ua.count(T::CallAnswered), 0);
}

// Nobody answers: the INVITE is retransmitted (timer A doubling) until
// timer B, then CallNoAnswer and CallReleased. A BYE into silence ends
// the call as well (timer F).
TEST(SipStackTimerTest, SilentPeerTimesOut)
{
    StackPeer ua(timers(20, 4000));
    RawSipSocket raw;
    const auto start = Clock::now();
    ASSERT_GT(callRaw(ua, raw), 0);
    const auto copies = arrivals(raw, "INVITE ", "", 1500);
    // 0, 20, 60, 140, 300, 620 (and 1260) ms before 64*T1.
    EXPECT_GE(copies.size(), 5u);
    EXPECT_LE(copies.size(), 8u);
    ASSERT_TRUE(ua.waitFor(T::CallNoAnswer, 3000));
    EXPECT_TRUE(ua.waitFor(T::CallReleased, 1000));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_GE(took, 64 * 20 - 50);
    EXPECT_LT(took, 5000);
}

TEST(SipStackTimerTest, ByeIntoSilenceReleasesTheCall)
{
    StackPeer ua(timers(20, 4000));
    RawSipSocket raw;
    const int cid = callRaw(ua, raw);
    const std::string request = raw.receiveStarting("INVITE ", 2000);
    ASSERT_TRUE(raw.sendTo(ua.port(), answer(request, "200 OK", raw.port())));
    auto answered = ua.waitFor(T::CallAnswered);
    ASSERT_TRUE(answered);
    ASSERT_EQ(ua.stack.callSendAck(answered->did, nullptr), 0);
    ASSERT_EQ(ua.stack.callTerminate(cid, answered->did), 0);
    const auto byes = arrivals(raw, "BYE ", "", 1500);
    // Timer E repeats it (oSIP doubles from its own compiled T1 after the
    // first repeat, so only the first interval follows our shrunk T1).
    ASSERT_GE(byes.size(), 2u);
    EXPECT_LT(byes[1], 400);
    // Timer F (64*T1) gives up and the call is released.
    EXPECT_TRUE(ua.waitFor(T::CallReleased, 3000));
}

// A callee that rings and then ignores everything, our CANCEL included:
// the ring limit reports no answer and cancels, and 64*T1 after the CANCEL
// the call is released without the 487 that never comes.
TEST(SipStackTimerTest, RingingPeerThatIgnoresCancelIsReleased)
{
    SipStackConfig config = timers(20, 4000);
    config.inviteRingLimitMs = 200;
    StackPeer ua(config);
    RawSipSocket raw;
    ASSERT_GT(callRaw(ua, raw), 0);
    const std::string request = raw.receiveStarting("INVITE ", 2000);
    ASSERT_FALSE(request.empty());
    ASSERT_TRUE(raw.sendTo(ua.port(), answer(request, "180 Ringing", raw.port())));
    ASSERT_TRUE(ua.waitFor(T::CallRinging));
    const auto rang = Clock::now();
    ASSERT_TRUE(ua.waitFor(T::CallNoAnswer, 2000));
    const std::string cancel = raw.receiveStarting("CANCEL ", 2000);
    ASSERT_FALSE(cancel.empty());
    EXPECT_EQ(line(cancel, "Via"), line(request, "Via"));
    ASSERT_TRUE(ua.waitFor(T::CallReleased, 4000));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - rang).count();
    EXPECT_GE(took, 200 + 64 * 20 - 50);
    EXPECT_EQ(ua.count(T::CallRequestFailure), 0);
}

} // namespace
