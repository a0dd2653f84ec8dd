// Our stack against SIPp, an independent SIP implementation, with its
// built-in caller and callee scenarios on loopback.
#include "SippProcess.h"
#include "StackPeer.h"

#include <gtest/gtest.h>
#include <osipparser2/osip_parser.h>

#include <chrono>
#include <string>

namespace {

using T = SipStackEventType;

const char *kAnswer = "v=0\r\no=peer 0 0 IN IP4 127.0.0.1\r\ns=call\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
                      "m=audio 41000 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\n";

int freePort()
{
    for (int port = 26000 + (getpid() % 2000) * 2; port < 65000; ++port)
        if (SipStack::findFreePort(port, 17))
            return port;
    return 0;
}

std::vector<std::string> common(int port)
{
    return {"-i", "127.0.0.1", "-mi", "127.0.0.1", "-p", std::to_string(port), "-m", "1", "-nostdin",
            "-timeout", "20s", "-timeout_error"};
}

class SipStackSippTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!SippProcess::available())
            GTEST_SKIP() << "sipp is not installed";
    }
};

// SIPp calls us: INVITE, our 180 and 200 with SDP, its ACK, then its BYE.
TEST_F(SipStackSippTest, SippCallsUs)
{
    StackPeer ua;
    SippProcess sipp;
    auto args = common(freePort());
    args.insert(args.begin(), {"-sn", "uac", "-s", "200", "127.0.0.1:" + std::to_string(ua.port())});
    ASSERT_TRUE(sipp.start(args));
    auto invite = ua.waitFor(T::CallInvite, 10000);
    ASSERT_TRUE(invite);
    ASSERT_EQ(ua.stack.callSendAnswer(invite->tid, 180, nullptr), 0);
    osip_message_t *ok = nullptr;
    ASSERT_EQ(ua.stack.callBuildAnswer(invite->tid, 200, &ok), 0);
    osip_message_set_body(ok, kAnswer, strlen(kAnswer));
    osip_message_set_content_type(ok, "application/sdp");
    ASSERT_EQ(ua.stack.callSendAnswer(invite->tid, 200, ok), 0);
    EXPECT_TRUE(ua.waitFor(T::CallAck, 10000));
    EXPECT_TRUE(ua.waitFor(T::CallClosed, 10000));
    EXPECT_TRUE(ua.waitFor(T::CallReleased, 5000));
    EXPECT_EQ(sipp.wait(25000), 0);
}

// We call SIPp: its 180 and 200, our ACK, then our BYE.
TEST_F(SipStackSippTest, WeCallSipp)
{
    StackPeer ua;
    SippProcess sipp;
    const int port = freePort();
    auto args = common(port);
    args.insert(args.begin(), {"-sf", std::string(KSIP_SIP_FIXTURES) + "/uas_answer.xml"});
    ASSERT_TRUE(sipp.start(args));
    // SIPp needs a moment to bind; the INVITE is retransmitted until then.
    osip_message_t *invite = nullptr;
    const std::string to = "sip:service@127.0.0.1:" + std::to_string(port);
    ASSERT_EQ(ua.stack.callBuildInitialInvite(&invite, to.c_str(), ua.uri("100").c_str(), nullptr, "ksip"), 0);
    const int cid = ua.stack.callSendInitialInvite(invite);
    ASSERT_GT(cid, 0);
    EXPECT_TRUE(ua.waitFor(T::CallRinging, 10000));
    auto answered = ua.waitFor(T::CallAnswered, 10000);
    ASSERT_TRUE(answered);
    ASSERT_EQ(ua.stack.callSendAck(answered->did, nullptr), 0);
    ASSERT_EQ(ua.stack.callTerminate(cid, answered->did), 0);
    EXPECT_TRUE(ua.waitFor(T::CallReleased, 10000));
    EXPECT_EQ(sipp.wait(25000), 0);
}

// SIPp rings and never answers: past the ring limit the call is reported
// not answered and cancelled; SIPp's scenario passes only when the CANCEL
// came and its 487 was acknowledged.
TEST_F(SipStackSippTest, RingingWithoutAnswerIsCancelledAfterTheRingLimit)
{
    SipStackConfig config;
    config.inviteRingLimitMs = 400;
    StackPeer ua(config);
    SippProcess sipp;
    const int port = freePort();
    auto args = common(port);
    args.insert(args.begin(), {"-sf", std::string(KSIP_SIP_FIXTURES) + "/uas_ring_forever.xml"});
    ASSERT_TRUE(sipp.start(args));
    osip_message_t *invite = nullptr;
    const std::string to = "sip:service@127.0.0.1:" + std::to_string(port);
    ASSERT_EQ(ua.stack.callBuildInitialInvite(&invite, to.c_str(), ua.uri("100").c_str(), nullptr, "ksip"), 0);
    ASSERT_GT(ua.stack.callSendInitialInvite(invite), 0);
    ASSERT_TRUE(ua.waitFor(T::CallRinging, 10000));
    const auto rang = std::chrono::steady_clock::now();
    ASSERT_TRUE(ua.waitFor(T::CallNoAnswer, 5000));
    EXPECT_GE(std::chrono::steady_clock::now() - rang, std::chrono::milliseconds(350));
    EXPECT_TRUE(ua.waitFor(T::CallReleased, 5000));
    EXPECT_EQ(sipp.wait(25000), 0);
}

} // namespace
