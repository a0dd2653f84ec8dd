// Untrusted datagrams: malformed and tortuous messages reach the stack from
// a raw socket; each is answered with the right error or dropped, and the
// stack keeps serving afterwards.
#include "RawSipSocket.h"
#include "StackPeer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

using T = SipStackEventType;

std::string replaceAll(std::string text, const std::string &from, const std::string &to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string statusOf(const std::string &datagram)
{
    if (datagram.compare(0, 8, "SIP/2.0 ") != 0)
        return "";
    return datagram.substr(8, 3);
}

class SipStackInputTest : public ::testing::Test
{
protected:
    // A request built around the given header block, addressed to the stack
    // and with our raw socket in its Via.
    std::string request(const std::string &method, const std::string &headers, const std::string &body = "")
    {
        return method + " sip:200@127.0.0.1:" + std::to_string(ua.port()) + " SIP/2.0\r\n" +
               replaceAll(headers, "@VIA@", "SIP/2.0/UDP 127.0.0.1:" + std::to_string(raw.port()) +
                                                ";rport;branch=z9hG4bK" + std::to_string(++branch)) +
               "\r\n" + body;
    }

    // The stack still answers a plain OPTIONS and raises MessageNew for it.
    void expectAlive()
    {
        const std::string options = request("OPTIONS", "Via: @VIA@\r\nFrom: <sip:x@127.0.0.1>;tag=1\r\n"
                                                       "To: <sip:200@127.0.0.1>\r\nCall-ID: alive" +
                                                           std::to_string(branch) +
                                                           "\r\nCSeq: 1 OPTIONS\r\nContent-Length: 0\r\n");
        ASSERT_TRUE(raw.sendTo(ua.port(), options));
        auto event = ua.waitFor(T::MessageNew, 3000);
        ASSERT_TRUE(event) << "stack stopped answering";
        ASSERT_EQ(ua.stack.messageSendAnswer(event->tid, 200, nullptr), 0);
        EXPECT_FALSE(raw.receiveStarting("SIP/2.0 200", 3000).empty());
    }

    StackPeer ua;
    RawSipSocket raw;
    int branch = 0;
};

TEST_F(SipStackInputTest, MalformedRequestsGetAnErrorOrNothing)
{
    const std::string full = "Via: @VIA@\r\nFrom: <sip:x@127.0.0.1>;tag=1\r\nTo: <sip:200@127.0.0.1>\r\n"
                             "Call-ID: c1\r\nCSeq: 1 OPTIONS\r\n";
    const std::string longValue(6000, 'a');
    const struct {
        const char *name;
        std::string datagram;
        const char *status;  // expected answer; "" = none at all
    } cases[] = {
        {"no Call-ID", request("OPTIONS", "Via: @VIA@\r\nFrom: <sip:x@127.0.0.1>;tag=1\r\nTo: <sip:200@127.0.0.1>\r\n"
                                          "CSeq: 1 OPTIONS\r\nContent-Length: 0\r\n"),
         ""},
        {"no CSeq", request("OPTIONS", "Via: @VIA@\r\nFrom: <sip:x@127.0.0.1>;tag=1\r\nTo: <sip:200@127.0.0.1>\r\n"
                                       "Call-ID: c2\r\nContent-Length: 0\r\n"),
         ""},
        {"no Via", request("OPTIONS", "From: <sip:x@127.0.0.1>;tag=1\r\nTo: <sip:200@127.0.0.1>\r\n"
                                      "Call-ID: c3\r\nCSeq: 1 OPTIONS\r\nContent-Length: 0\r\n"),
         ""},
        {"Content-Length beyond the datagram", request("OPTIONS", full + "Content-Length: 500\r\n", "short"), "400"},
        {"Content-Length shorter than the body", request("OPTIONS", full + "Content-Length: 2\r\n", "longer"), "400"},
        {"Content-Length not a number", request("OPTIONS", full + "Content-Length: 1x\r\n", "x"), "400"},
        {"CSeq method differs", request("INVITE", replaceAll(full, "1 OPTIONS", "1 BYE") + "Content-Length: 0\r\n"),
         "400"},
        {"CSeq number overflows",
         request("OPTIONS", replaceAll(full, "1 OPTIONS", "99999999999999999999 OPTIONS") + "Content-Length: 0\r\n"),
         "400"},
        {"BYE outside any dialog",
         request("BYE", replaceAll(full, "1 OPTIONS", "2 BYE") + "Content-Length: 0\r\n"), "481"},
        {"in-dialog INVITE for an unknown dialog",
         request("INVITE", replaceAll(replaceAll(full, "1 OPTIONS", "3 INVITE"), "<sip:200@127.0.0.1>",
                                      "<sip:200@127.0.0.1>;tag=nosuch") +
                               "Content-Length: 0\r\n"),
         "481"},
        {"CANCEL without its INVITE",
         request("CANCEL", replaceAll(full, "1 OPTIONS", "1 CANCEL") + "Content-Length: 0\r\n"), "481"},
        {"garbage", std::string("\x01\x02garbage\r\n\r\n", 13), ""},
        {"status line only", "SIP/2.0 200 OK\r\n\r\n", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const uint64_t before = ua.stack.rejectedMessages();
        ASSERT_TRUE(raw.sendTo(ua.port(), c.datagram));
        const std::string answer = raw.receive(std::string(c.status).empty() ? 300 : 3000);
        EXPECT_EQ(statusOf(answer), c.status) << answer;
        if (std::string(c.status) == "400" || std::string(c.status).empty()) {
            EXPECT_GT(ua.stack.rejectedMessages(), before);
        }
    }
    // None of them became an event.
    ua.drain(100);
    EXPECT_EQ(ua.count(T::MessageNew), 0);
    EXPECT_EQ(ua.count(T::CallInvite), 0);
    expectAlive();
}

TEST_F(SipStackInputTest, OverlongInputIsDroppedOrBounded)
{
    const std::string full = "Via: @VIA@\r\nFrom: <sip:x@127.0.0.1>;tag=1\r\nTo: <sip:200@127.0.0.1>\r\n"
                             "Call-ID: long1\r\nCSeq: 1 OPTIONS\r\nContent-Length: 0\r\n";
    // Larger than the stack reads: dropped unread.
    const uint64_t before = ua.stack.rejectedMessages();
    ASSERT_TRUE(raw.sendTo(ua.port(), request("OPTIONS", full + "X-Big: " + std::string(20000, 'b') + "\r\n")));
    EXPECT_EQ(raw.receive(300), "");
    EXPECT_GT(ua.stack.rejectedMessages(), before);
    // A long header within the limit is just a header.
    ASSERT_TRUE(raw.sendTo(ua.port(), request("OPTIONS", full + "X-Long: " + std::string(6000, 'l') + "\r\n")));
    auto event = ua.waitFor(T::MessageNew, 3000);
    ASSERT_TRUE(event);
    ASSERT_EQ(ua.stack.messageSendAnswer(event->tid, 200, nullptr), 0);
    EXPECT_EQ(statusOf(raw.receive(3000)), "200");
    expectAlive();
}

// Messages written after the torture tests of RFC 4475, replayed with our
// raw socket in the top Via.
TEST_F(SipStackInputTest, TortureMessages)
{
    const struct {
        const char *file;
        T event;             // event the stack must raise, None = no event
        const char *status;  // first answer expected; "4" = any 4xx or 5xx or none
    } cases[] = {
        {"wsinv", T::None, "481"},        // valid, but names a dialog we do not have
        {"esc01", T::CallInvite, "100"},  // escaped characters everywhere: an ordinary INVITE
        {"lwsdisp", T::MessageNew, ""},   // no blank before '<': an ordinary OPTIONS
        {"ncl", T::None, "4"},            // negative Content-Length
        {"clerr", T::None, "4"},          // Content-Length beyond the message
        {"scalar02", T::None, "400"},     // CSeq number past 2^31
        {"quotbal", T::None, "4"},        // unterminated quoted display name
        {"ltgtruri", T::None, "4"},       // Request-URI in angle brackets
        {"lwsstart", T::None, "4"},       // extra blanks in the request line
        {"insuf", T::None, "4"},          // no Call-ID, From or To
        {"mismatch01", T::None, "400"},   // CSeq method is not the request's
        {"mcl01", T::None, "4"},          // two different Content-Lengths
        {"badvers", T::None, "505"},      // SIP/7.0
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        // A socket of its own per message: retransmitted answers to one
        // cannot be mistaken for the answer to the next.
        RawSipSocket raw;
        std::ifstream in(std::string(KSIP_SIP_FIXTURES) + "/rfc4475/" + c.file + ".sip", std::ios::binary);
        ASSERT_TRUE(in) << c.file;
        std::stringstream text;
        text << in.rdbuf();
        const std::string datagram =
            replaceAll(text.str(), "@VIA@", "127.0.0.1:" + std::to_string(raw.port()));
        ASSERT_TRUE(raw.sendTo(ua.port(), datagram));
        const std::string expected = c.status;
        const std::string answer = raw.receive(expected.empty() || expected == "4" ? 300 : 3000);
        const std::string status = statusOf(answer);
        if (expected == "4")
            EXPECT_TRUE(status.empty() || status[0] == '4' || status[0] == '5') << answer;
        else
            EXPECT_EQ(status, expected) << answer;
        if (c.event != T::None) {
            auto event = ua.waitFor(c.event, 3000);
            ASSERT_TRUE(event);
            // Answer it and take that answer off the socket before the
            // next message.
            if (c.event == T::MessageNew) {
                ASSERT_EQ(ua.stack.messageSendAnswer(event->tid, 200, nullptr), 0);
                EXPECT_FALSE(raw.receiveStarting("SIP/2.0 200", 3000).empty());
            } else {
                ASSERT_EQ(ua.stack.callSendAnswer(event->tid, 486, nullptr), 0);
                EXPECT_FALSE(raw.receiveStarting("SIP/2.0 486", 3000).empty());
            }
        }
    }
    ua.drain(100);
    EXPECT_EQ(ua.count(T::CallInvite), 1);
    EXPECT_EQ(ua.count(T::MessageNew), 1);
    expectAlive();
}

} // namespace

namespace {

// A flood of new requests beyond the transaction cap is answered 503 at
// once and raises no event.
TEST(SipStackFloodTest, TransactionCapTurnsNewRequestsAway)
{
    SipStackConfig config;
    config.maxTransactions = 2;
    StackPeer ua(config);
    RawSipSocket raw;
    auto options = [&](int n) {
        return "OPTIONS sip:200@127.0.0.1:" + std::to_string(ua.port()) +
               " SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:" + std::to_string(raw.port()) + ";branch=z9hG4bKflood" +
               std::to_string(n) + "\r\nFrom: <sip:x@127.0.0.1>;tag=1\r\nTo: <sip:200@127.0.0.1>\r\nCall-ID: flood" +
               std::to_string(n) + "\r\nCSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n";
    };
    for (int n = 0; n < 2; ++n)
        ASSERT_TRUE(raw.sendTo(ua.port(), options(n)));
    auto first = ua.waitFor(SipStackEventType::MessageNew, 3000);
    auto second = ua.waitFor(SipStackEventType::MessageNew, 3000);
    ASSERT_TRUE(first && second);
    // Both slots taken: the third is refused without an event.
    ASSERT_TRUE(raw.sendTo(ua.port(), options(2)));
    EXPECT_EQ(statusOf(raw.receive(3000)), "503");
    EXPECT_FALSE(ua.waitFor(SipStackEventType::MessageNew, 300));
}

} // namespace

namespace {

// REGISTERs handled without transactions: each new one is raised once with
// tid 0; a retransmission gets the very same answer again and raises nothing.
TEST(SipStackStatelessTest, RetransmittedRegisterGetsTheSameAnswer)
{
    SipStackConfig config;
    config.statelessRegister = true;
    StackPeer ua(config);
    RawSipSocket raw;
    auto reg = [&](const std::string &branch) {
        return "REGISTER sip:127.0.0.1:" + std::to_string(ua.port()) + " SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:" +
               std::to_string(raw.port()) + ";branch=z9hG4bK" + branch +
               "\r\nFrom: <sip:6001@127.0.0.1>;tag=1\r\nTo: <sip:6001@127.0.0.1>\r\nCall-ID: sl1\r\n"
               "CSeq: 1 REGISTER\r\nContact: <sip:6001@127.0.0.1:1>\r\nContent-Length: 0\r\n\r\n";
    };
    ASSERT_TRUE(raw.sendTo(ua.port(), reg("a")));
    auto event = ua.waitFor(SipStackEventType::MessageNew, 3000);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->tid, 0);
    ASSERT_EQ(ua.stack.messageSendStatelessAnswer(event->request, 401, nullptr), 0);
    const std::string first = raw.receive(3000);
    EXPECT_EQ(statusOf(first), "401");

    ASSERT_TRUE(raw.sendTo(ua.port(), reg("a")));
    EXPECT_EQ(raw.receive(3000), first);
    EXPECT_FALSE(ua.waitFor(SipStackEventType::MessageNew, 300));

    // Another branch is another request.
    ASSERT_TRUE(raw.sendTo(ua.port(), reg("b")));
    EXPECT_TRUE(ua.waitFor(SipStackEventType::MessageNew, 3000));
}

} // namespace
