#include "RawSipSocket.h"
#include "SipStack.h"
#include "StackPeer.h"

#include <gtest/gtest.h>
#include <osipparser2/osip_parser.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A socket of the given type bound to an ephemeral port on every address.
int bound(int type, int &port)
{
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    ::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len);
    port = ntohs(sa.sin_port);
    return fd;
}

TEST(SipStackContextTest, FindFreePortPerProtocol)
{
    int udpPort = 0;
    const int udp = bound(SOCK_DGRAM, udpPort);
    EXPECT_FALSE(SipStack::findFreePort(udpPort, 17));
    int tcpPort = 0;
    const int tcp = bound(SOCK_STREAM, tcpPort);
    EXPECT_FALSE(SipStack::findFreePort(tcpPort, 6));
    ::close(udp);
    ::close(tcp);
    EXPECT_TRUE(SipStack::findFreePort(udpPort, 17));
    EXPECT_FALSE(SipStack::findFreePort(udpPort, 99));
    EXPECT_FALSE(SipStack::findFreePort(0, 17));
    EXPECT_FALSE(SipStack::findFreePort(70000, 17));
}

TEST(SipStackContextTest, LifecycleAndRefusedSetups)
{
    SipStack stack;
    // Nothing works before init.
    EXPECT_NE(stack.listenAddr(17, "127.0.0.1", 0, 2, 0), 0);
    EXPECT_LT(stack.registerBuildInitialRegister("sip:1@127.0.0.1", "sip:127.0.0.1", nullptr, 60, nullptr), 0);
    ASSERT_EQ(stack.init(), 0);
    EXPECT_EQ(stack.listenAddr(6, "127.0.0.1", 0, 2, 0), OSIP_BADPARAMETER);   // TCP
    EXPECT_EQ(stack.listenAddr(17, "127.0.0.1", 0, 10, 0), OSIP_BADPARAMETER); // IPv6
    EXPECT_EQ(stack.listenAddr(17, "127.0.0.1", 0, 2, 1), OSIP_BADPARAMETER);  // TLS
    EXPECT_EQ(stack.listenPort(), 0);
    ASSERT_EQ(stack.listenAddr(17, "127.0.0.1", 0, 2, 0), 0);
    EXPECT_GT(stack.listenPort(), 0);
    EXPECT_NE(stack.listenAddr(17, "127.0.0.1", 0, 2, 0), 0);  // only once
    EXPECT_EQ(stack.addAccountInfo("127.0.0.1", "127.0.0.1", 0), 0);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(stack.eventWait(0, 50), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    // Bad arguments are refused, not crashed on.
    osip_message_t *m = nullptr;
    EXPECT_NE(stack.callBuildInitialInvite(&m, "", "sip:a@127.0.0.1", nullptr, nullptr), 0);
    EXPECT_NE(stack.callBuildInitialInvite(&m, "not a uri at all <", "sip:a@127.0.0.1", nullptr, nullptr), 0);
    EXPECT_EQ(m, nullptr);
    EXPECT_EQ(stack.callSendAnswer(12345, 200, nullptr), OSIP_NOTFOUND);
    EXPECT_EQ(stack.callSendAck(12345, nullptr), OSIP_NOTFOUND);
    EXPECT_EQ(stack.callTerminate(12345, 0), OSIP_NOTFOUND);
    EXPECT_EQ(stack.messageSendAnswer(12345, 200, nullptr), OSIP_NOTFOUND);
    EXPECT_EQ(stack.registerRemove(12345), OSIP_NOTFOUND);
    EXPECT_EQ(stack.getRemoteSdp(12345), nullptr);
    EXPECT_EQ(stack.addAuthenticationInfo(nullptr, nullptr, "x", nullptr, nullptr), OSIP_BADPARAMETER);
    EXPECT_EQ(stack.addAuthenticationInfo("u", nullptr, nullptr, nullptr, nullptr), OSIP_BADPARAMETER);

    stack.quit();
    stack.quit();
    EXPECT_EQ(stack.eventWait(0, 10), nullptr);
    EXPECT_FALSE(SipStack::guessLocalIp().empty());
}

// Requests carry ;rport and our User-Agent; after masqueradeContact the
// Via and the default Contact name the public address.
TEST(SipStackContextTest, ViaContactAndMasquerade)
{
    StackPeer ua;
    RawSipSocket raw;
    const std::string registrar = "sip:127.0.0.1:" + std::to_string(raw.port());
    const int rid = ua.stack.registerBuildInitialRegister(ua.uri("100").c_str(), registrar.c_str(), nullptr, 360,
                                                          nullptr);
    ASSERT_GT(rid, 0);
    ASSERT_EQ(ua.stack.registerSendRegister(rid, nullptr), 0);
    const std::string first = raw.receiveStarting("REGISTER ", 2000);
    ASSERT_FALSE(first.empty());
    const std::string local = "127.0.0.1:" + std::to_string(ua.port());
    EXPECT_NE(first.find("Via: SIP/2.0/UDP " + local + ";rport;branch=z9hG4bK"), std::string::npos) << first;
    EXPECT_NE(first.find("Contact: <sip:100@" + local + ">"), std::string::npos) << first;
    EXPECT_NE(first.find("User-Agent: " + SipStackConfig().userAgent), std::string::npos) << first;
    EXPECT_NE(first.find("Expires: 360"), std::string::npos) << first;

    ua.stack.masqueradeContact("127.0.0.2", 5999);
    ASSERT_EQ(ua.stack.registerRemove(rid), 0);
    const int again = ua.stack.registerBuildInitialRegister(ua.uri("100").c_str(), registrar.c_str(), nullptr, 360,
                                                            nullptr);
    ASSERT_EQ(ua.stack.registerSendRegister(again, nullptr), 0);
    const std::string second = raw.receiveStarting("REGISTER ", 2000);
    EXPECT_NE(second.find("Contact: <sip:100@127.0.0.2:5999>"), std::string::npos) << second;
    EXPECT_NE(second.find("Via: SIP/2.0/UDP 127.0.0.2:5999;rport"), std::string::npos) << second;
}

} // namespace
