// The resolver's bounds: host names also come from the network (a Via's
// maddr), so a stream of new names must not grow it or its lookups without
// end.
#include "FakeNameServer.h"
#include "SipStackResolver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <vector>

namespace {

std::string servers(const FakeNameServer &dns)
{
    return "127.0.0.1:" + std::to_string(dns.port());
}

std::string nameOf(int i)
{
    return "host" + std::to_string(i) + ".example.test";
}

// Drives the resolver as its owner's poll loop does until `count` lookups
// have ended or `seconds` have passed; returns how many ended.
size_t drive(SipStackResolver &resolver, size_t count, int seconds)
{
    size_t ended = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (ended < count && std::chrono::steady_clock::now() < end) {
        std::vector<pollfd> fds;
        resolver.pollFds(fds);
        ::poll(fds.data(), fds.size(), resolver.timeoutMs(50));
        resolver.process(fds);
        ended += resolver.takeFinished().size();
    }
    return ended;
}

} // namespace

TEST(SipStackResolverTest, LookupsRunningAtOnceAreBounded)
{
    FakeNameServer dns(false);
    ASSERT_GT(dns.port(), 0);
    SipStackResolver resolver(servers(dns), 2000, 1);
    ASSERT_TRUE(resolver.isReady());
    in_addr address{};
    for (int i = 0; i < SipStackResolver::kMaxPending; ++i)
        ASSERT_EQ(resolver.lookup(nameOf(i), address), SipStackResolver::State::Pending) << i;
    // One more new name fails at once, and nothing is asked for it.
    EXPECT_EQ(resolver.lookup(nameOf(SipStackResolver::kMaxPending), address), SipStackResolver::State::Failed);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (dns.queries() < SipStackResolver::kMaxPending && std::chrono::steady_clock::now() < end)
        drive(resolver, 1, 0);
    drive(resolver, 1, 0);
    EXPECT_EQ(dns.queries(), SipStackResolver::kMaxPending);
    // A name already being looked up is still told so.
    EXPECT_EQ(resolver.lookup(nameOf(0), address), SipStackResolver::State::Pending);
}

TEST(SipStackResolverTest, KeptNamesAreBoundedAndTheOneExpiringFirstMakesWay)
{
    FakeNameServer dns(true);
    ASSERT_GT(dns.port(), 0);
    SipStackResolver resolver(servers(dns), 2000, 2);
    ASSERT_TRUE(resolver.isReady());
    in_addr address{};
    const int names = static_cast<int>(SipStackResolver::kMaxNames);
    for (int first = 0; first < names; first += SipStackResolver::kMaxPending) {
        const int last = std::min(names, first + SipStackResolver::kMaxPending);
        for (int i = first; i < last; ++i)
            ASSERT_EQ(resolver.lookup(nameOf(i), address), SipStackResolver::State::Pending) << i;
        ASSERT_EQ(drive(resolver, size_t(last - first), 10), size_t(last - first)) << "names from " << first;
    }
    ASSERT_EQ(resolver.lookup(nameOf(0), address), SipStackResolver::State::Resolved);
    EXPECT_EQ(address.s_addr, htonl(INADDR_LOOPBACK));
    const int asked = dns.queries();

    // The cache is full: a new name takes the place of the one that
    // expires first, and every other name is still known.
    ASSERT_EQ(resolver.lookup(nameOf(names), address), SipStackResolver::State::Pending);
    ASSERT_EQ(drive(resolver, 1, 10), 1u);
    EXPECT_EQ(resolver.lookup(nameOf(names), address), SipStackResolver::State::Resolved);
    EXPECT_EQ(resolver.lookup(nameOf(names - 1), address), SipStackResolver::State::Resolved);
    EXPECT_EQ(resolver.lookup(nameOf(1), address), SipStackResolver::State::Resolved);
    EXPECT_EQ(dns.queries(), asked + 1);
    // The name that made way is asked for again.
    EXPECT_EQ(resolver.lookup(nameOf(0), address), SipStackResolver::State::Pending);
    EXPECT_EQ(drive(resolver, 1, 10), 1u);
    EXPECT_EQ(dns.queries(), asked + 2);
}

// A short name is completed with the system's search domains, as every
// other program here completes it.
TEST(SipStackResolverTest, ShortNamesTakeTheSearchDomains)
{
    FakeNameServer dns(true);
    ASSERT_GT(dns.port(), 0);
    ASSERT_EQ(::setenv("LOCALDOMAIN", "site.example.test", 1), 0);
    SipStackResolver resolver(servers(dns), 2000, 2);
    ::unsetenv("LOCALDOMAIN");
    ASSERT_TRUE(resolver.isReady());
    in_addr address{};
    ASSERT_EQ(resolver.lookup("pbx", address), SipStackResolver::State::Pending);
    ASSERT_EQ(drive(resolver, 1, 10), 1u);
    EXPECT_EQ(resolver.lookup("pbx", address), SipStackResolver::State::Resolved);
    const std::vector<std::string> asked = dns.asked();
    EXPECT_NE(std::find(asked.begin(), asked.end(), "pbx.site.example.test"), asked.end())
        << (asked.empty() ? std::string("nothing asked") : asked.front());
}
