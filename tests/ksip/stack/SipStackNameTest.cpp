// Host names are looked up without holding the stack: a name server that
// never answers stalls only the requests to that name, which then fail with
// a log line; a name that resolves carries its requests.
#include "FakeNameServer.h"
#include "StackPeer.h"

#include <gtest/gtest.h>
#include <osipparser2/osip_parser.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using T = SipStackEventType;
using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// `from` asks `to` for OPTIONS at `target`, which `to` answers 200; false
// when the answer does not come back within timeoutMs.
bool optionsAnswered(StackPeer &from, StackPeer &to, const std::string &target, int timeoutMs)
{
    osip_message_t *options = nullptr;
    if (from.stack.messageBuildRequest(&options, "OPTIONS", target.c_str(), from.uri("100").c_str(), nullptr) != 0 ||
        from.stack.messageSendRequest(options) <= 0)
        return false;
    auto in = to.waitFor(T::MessageNew, timeoutMs);
    if (!in || to.stack.messageSendAnswer(in->tid, 200, nullptr) != 0)
        return false;
    auto answered = from.waitFor(T::MessageAnswered, timeoutMs);
    return answered && answered->response && answered->response->status_code == 200;
}

// Collects the stack's log lines.
class SipStackNameTest : public ::testing::Test
{
protected:
    SipStackConfig config(const FakeNameServer &dns)
    {
        SipStackConfig c;
        c.dnsServers = "127.0.0.1:" + std::to_string(dns.port());
        c.dnsTimeoutMs = 300;
        c.dnsTries = 2;
        c.log = [this](const std::string &line) {
            std::lock_guard<std::mutex> guard(m_linesLock);
            m_lines.push_back(line);
        };
        return c;
    }
    std::vector<std::string> logged()
    {
        std::lock_guard<std::mutex> guard(m_linesLock);
        return m_lines;
    }

private:
    std::mutex m_linesLock;
    std::vector<std::string> m_lines;
};

} // namespace

TEST_F(SipStackNameTest, DeadNameServerHoldsOnlyTheRequestsToItsName)
{
    FakeNameServer dns(false);
    ASSERT_GT(dns.port(), 0);
    StackPeer ua(config(dns)), other;
    const int rid = ua.stack.registerBuildInitialRegister("sip:100@pbx.example.test", "sip:pbx.example.test", nullptr,
                                                          3600, nullptr);
    ASSERT_GT(rid, 0);
    osip_message_t *invite = nullptr;
    ASSERT_EQ(ua.stack.callBuildInitialInvite(&invite, "sip:300@pbx.example.test", ua.uri("100").c_str(), nullptr,
                                              "ksip"),
              0);
    const auto sent = Clock::now();
    ASSERT_EQ(ua.stack.registerSendRegister(rid, nullptr), 0);
    const int cid = ua.stack.callSendInitialInvite(invite);
    ASSERT_GT(cid, 0);
    for (auto end = Clock::now() + std::chrono::seconds(2); dns.queries() == 0 && Clock::now() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GT(dns.queries(), 0) << "the lookup never reached the test's name server";

    // The lookup hangs; another peer on loopback is still served at once.
    const auto asked = Clock::now();
    ASSERT_TRUE(optionsAnswered(ua, other, other.uri("200"), 2000));
    EXPECT_LT(msSince(asked), 200);
    EXPECT_EQ(ua.count(T::RegistrationFailure), 0) << "the name failed before the other request was served";

    // The name's requests fail as soon as the lookup gives up (300 + 600
    // ms), not at its next resend (the REGISTER's are 1.5 and 3.5 s after
    // the first with T1 at 500 ms).
    auto failed = ua.waitFor(T::RegistrationFailure, 5000);
    ASSERT_TRUE(failed);
    const long failedAfter = msSince(sent);
    EXPECT_EQ(failed->rid, rid);
    EXPECT_GE(failedAfter, 250);
    EXPECT_LT(failedAfter, 1400);
    if (ua.count(T::CallReleased) == 0) {
        auto released = ua.waitFor(T::CallReleased, 1000);
        ASSERT_TRUE(released);
        EXPECT_EQ(released->cid, cid);
    }
    EXPECT_EQ(ua.count(T::CallNoAnswer), 1);
    EXPECT_LT(msSince(sent), 1400);
    const std::vector<std::string> lines = logged();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("cannot resolve host \"pbx.example.test\""), std::string::npos) << lines[0];

    // Asked again soon after, the name fails at once without a new lookup.
    const int queriesBefore = dns.queries();
    const auto again = Clock::now();
    ASSERT_EQ(ua.stack.registerSendRegister(rid, nullptr), 0);
    ASSERT_TRUE(ua.waitFor(T::RegistrationFailure, 2000));
    EXPECT_LT(msSince(again), 200);
    EXPECT_EQ(dns.queries(), queriesBefore);
}

TEST_F(SipStackNameTest, ResolvedNameCarriesTheRequestsThatWaitedForIt)
{
    FakeNameServer dns(true);
    ASSERT_GT(dns.port(), 0);
    StackPeer ua(config(dns)), other;
    const std::string target = "sip:200@pbx.example.test:" + std::to_string(other.port());
    ASSERT_TRUE(optionsAnswered(ua, other, target, 3000));
    // Known now: the next request goes without asking again.
    const int queries = dns.queries();
    EXPECT_GT(queries, 0);
    ASSERT_TRUE(optionsAnswered(ua, other, target, 3000));
    EXPECT_EQ(dns.queries(), queries);
    EXPECT_TRUE(logged().empty());
}
