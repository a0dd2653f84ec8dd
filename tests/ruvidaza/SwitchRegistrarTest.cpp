// The registrar's digest and binding rules, the access lists and the codec
// choice, on parsed messages without any socket.
#include "AccessList.h"
#include "SipDigest.h"
#include "SipSdp.h"
#include "SwitchRegistrar.h"
#include "SwitchSdp.h"

#include <gtest/gtest.h>
#include <osipparser2/osip_parser.h>
#include <osipparser2/sdp_message.h>

#include <memory>

namespace {

constexpr qint64 kNow = 1800000000;

struct MessageFree
{
    void operator()(osip_message_t *m) const { osip_message_free(m); }
};
using Message = std::unique_ptr<osip_message_t, MessageFree>;

Message parse(const std::string &text)
{
    static const bool ready = parser_init() == 0;
    (void)ready;
    osip_message_t *m = nullptr;
    if (osip_message_init(&m) != 0)
        return nullptr;
    if (osip_message_parse(m, text.data(), text.size()) != 0) {
        osip_message_free(m);
        return nullptr;
    }
    return Message(m);
}

std::string request(const std::string &method, const std::string &aor, const std::string &extra)
{
    return method + " sip:" + (method == "REGISTER" ? std::string("127.0.0.1") : "3001@127.0.0.1") +
           " SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:5099;branch=z9hG4bK1\r\nFrom: <sip:" + aor +
           "@127.0.0.1>;tag=a\r\nTo: <sip:" + (method == "REGISTER" ? aor : std::string("3001")) +
           "@127.0.0.1>\r\nCall-ID: c1\r\nCSeq: 1 " + method + "\r\n" + extra + "Content-Length: 0\r\n\r\n";
}

// Credentials as a device computes them for the challenge's nonce.
std::string credentials(const std::string &header, const std::string &user, const std::string &password,
                        const std::string &nonce, const std::string &method)
{
    SipDigest::Params challenge;
    challenge.scheme = "Digest";
    challenge.realm = "pa.local";
    challenge.nonce = nonce;
    challenge.qop = "auth";
    return header + ": " +
           SipDigest::authorization(challenge, user, password, method, "sip:127.0.0.1", "cn0", 1) + "\r\n";
}

const SwitchRegistrar::PasswordLookup kDirectory = [](const QString &user, QString *password) {
    if (user != QLatin1String("6001"))
        return false;
    *password = QStringLiteral("pw6001");
    return true;
};

TEST(SwitchRegistrar, DigestOutcomes)
{
    const SwitchRegistrar reg("key", QStringLiteral("pa.local"));
    const std::string fresh = reg.makeNonce(kNow).toStdString();
    const std::string old = reg.makeNonce(kNow - SwitchRegistrar::NonceLifetimeSeconds - 1).toStdString();
    const SwitchRegistrar other("another key", QStringLiteral("pa.local"));
    const std::string forged = other.makeNonce(kNow).toStdString();

    struct Case
    {
        const char *what;
        std::string text;
        SwitchRegistrar::Outcome outcome;
        int status;
        bool stale;
    };
    const std::string contact = "Contact: <sip:6001@127.0.0.1:5099>\r\n";
    const Case cases[] = {
        {"no credentials", request("REGISTER", "6001", contact), SwitchRegistrar::Outcome::Challenge, 401, false},
        {"right password",
         request("REGISTER", "6001", contact + credentials("Authorization", "6001", "pw6001", fresh, "REGISTER")),
         SwitchRegistrar::Outcome::Authorized, 200, false},
        {"wrong password",
         request("REGISTER", "6001", contact + credentials("Authorization", "6001", "guess", fresh, "REGISTER")),
         SwitchRegistrar::Outcome::Refused, 403, false},
        {"unknown user",
         request("REGISTER", "7001", contact + credentials("Authorization", "7001", "pw6001", fresh, "REGISTER")),
         SwitchRegistrar::Outcome::Refused, 403, false},
        {"someone else's address of record",
         request("REGISTER", "6002", contact + credentials("Authorization", "6001", "pw6001", fresh, "REGISTER")),
         SwitchRegistrar::Outcome::Refused, 403, false},
        {"replay with an old nonce",
         request("REGISTER", "6001", contact + credentials("Authorization", "6001", "pw6001", old, "REGISTER")),
         SwitchRegistrar::Outcome::Challenge, 401, true},
        {"nonce not issued by us",
         request("REGISTER", "6001", contact + credentials("Authorization", "6001", "pw6001", forged, "REGISTER")),
         SwitchRegistrar::Outcome::Challenge, 401, false},
        {"INVITE without proxy credentials", request("INVITE", "6001", contact), SwitchRegistrar::Outcome::Challenge,
         407, false},
        {"INVITE with proxy credentials",
         request("INVITE", "6001", contact + credentials("Proxy-Authorization", "6001", "pw6001", fresh, "INVITE")),
         SwitchRegistrar::Outcome::Authorized, 200, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Message m = parse(c.text);
        ASSERT_TRUE(m);
        const auto r = reg.handle(m.get(), QStringLiteral("127.0.0.1"), 5099, kNow, kDirectory);
        EXPECT_EQ(r.outcome, c.outcome) << r.reason.toStdString();
        EXPECT_EQ(r.status, c.status);
        if (c.outcome == SwitchRegistrar::Outcome::Challenge) {
            EXPECT_EQ(r.challengeHeader, c.status == 401 ? "WWW-Authenticate" : "Proxy-Authenticate");
            EXPECT_EQ(r.challengeValue.find("stale=true") != std::string::npos, c.stale) << r.challengeValue;
            // Each challenge carries a nonce the registrar accepts now.
            SipDigest::Params p;
            ASSERT_TRUE(SipDigest::parse(r.challengeValue, p));
            EXPECT_EQ(reg.checkNonce(p.nonce, kNow), 1);
        }
    }
}

TEST(SwitchRegistrar, BindingFollowsExpiresAndSource)
{
    const SwitchRegistrar reg("key", QStringLiteral("pa.local"));
    const std::string nonce = reg.makeNonce(kNow).toStdString();
    const std::string auth = credentials("Authorization", "6001", "pw6001", nonce, "REGISTER");
    struct Case
    {
        const char *what;
        std::string headers;
        bool bind;
        bool unbind;
        qint64 expires;
        int status;
    };
    const Case cases[] = {
        {"Expires header", "Contact: <sip:6001@10.0.0.9:5099>\r\nExpires: 360\r\n", true, false, 360, 200},
        {"contact parameter wins", "Contact: <sip:6001@10.0.0.9:5099>;expires=90\r\nExpires: 360\r\n", true, false, 90,
         200},
        {"no expiry: the default", "Contact: <sip:6001@10.0.0.9:5099>\r\n", true, false,
         SwitchRegistrar::DefaultExpires, 200},
        {"too long: capped", "Contact: <sip:6001@10.0.0.9:5099>\r\nExpires: 999999\r\n", true, false,
         SwitchRegistrar::MaxExpires, 200},
        {"Expires 0 removes", "Contact: <sip:6001@10.0.0.9:5099>\r\nExpires: 0\r\n", false, true, 0, 200},
        {"wildcard removes", "Contact: *\r\nExpires: 0\r\n", false, true, 0, 200},
        {"wildcard needs Expires 0", "Contact: *\r\nExpires: 60\r\n", false, false, 0, 400},
        {"no contact: a query", "", false, false, 0, 200},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Message m = parse(request("REGISTER", "6001", c.headers + auth));
        ASSERT_TRUE(m);
        const auto r = reg.handle(m.get(), QStringLiteral("192.0.2.7"), 40000, kNow, kDirectory);
        EXPECT_EQ(r.status, c.status) << r.reason.toStdString();
        EXPECT_EQ(r.bind, c.bind);
        EXPECT_EQ(r.unbind, c.unbind);
        if (c.bind) {
            EXPECT_EQ(r.grantedExpires, c.expires);
            EXPECT_EQ(r.registration.expires, kNow + c.expires);
            EXPECT_EQ(r.registration.sipUser, QStringLiteral("6001"));
            EXPECT_EQ(r.registration.contact, QStringLiteral("<sip:6001@10.0.0.9:5099>"));
            // Where the packet came from, not what the contact claims.
            EXPECT_EQ(r.registration.networkIp, QStringLiteral("192.0.2.7"));
            EXPECT_EQ(r.registration.networkPort, QStringLiteral("40000"));
            EXPECT_TRUE(r.registration.status.startsWith(QLatin1String("Registered")));
        }
    }
}

TEST(AccessList, LongestRangeDecides)
{
    AccessList acl;
    acl.parse("<root><network-lists>"
              "<list name=\"lan\" default=\"deny\">"
              "<node type=\"allow\" cidr=\"192.168.1.20/24\"/>"  // host bits set: masked
              "<node type=\"deny\" cidr=\"192.168.1.66/32\"/>"
              "<node type=\"allow\" cidr=\"10.0.0.0/33\"/>"      // unreadable: skipped
              "<node type=\"allow\" domain=\"pa.local\"/>"
              "</list>"
              "<list name=\"open\" default=\"allow\"><node type=\"deny\" cidr=\"172.16.0.0/12\"/></list>"
              "</network-lists></root>");
    struct Case
    {
        const char *list;
        const char *ip;
        bool allowed;
    };
    const Case cases[] = {
        {"lan", "192.168.1.1", true},   {"lan", "192.168.1.66", false}, {"lan", "192.168.2.1", false},
        {"lan", "10.0.0.1", false},     {"lan", "not an address", false}, {"lan", "1.2.3.4.5", false},
        {"open", "8.8.8.8", true},      {"open", "172.20.1.1", false},  {"missing", "192.168.1.1", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(acl.allows(QString::fromLatin1(c.list), QString::fromLatin1(c.ip)), c.allowed) << c.list << " " << c.ip;
}

TEST(SwitchSdp, PicksThePeersFirstCommonCodecWithItsNumber)
{
    const std::vector<MediaCodec> ours{{"PCMU", 0, 8000, 1, ""}, {"PCMA", 8, 8000, 1, ""},
                                       {"opus", 102, 48000, 2, ""}};
    struct Case
    {
        const char *what;
        const char *media;
        bool ok;
        const char *name;
        int payloadType;
    };
    const Case cases[] = {
        {"caller's order, caller's number", "m=audio 4000 RTP/AVP 111 8 0\r\na=rtpmap:111 opus/48000/2\r\n", true,
         "opus", 111},
        {"static type without rtpmap", "m=audio 4000 RTP/AVP 18 8\r\n", true, "PCMA", 8},
        {"nothing in common", "m=audio 4000 RTP/AVP 96\r\na=rtpmap:96 L16/8000\r\n", false, "", 0},
        {"mono opus is not ours", "m=audio 4000 RTP/AVP 111\r\na=rtpmap:111 opus/48000\r\n", false, "", 0},
        {"port 0", "m=audio 0 RTP/AVP 0\r\n", false, "", 0},
        {"video only", "m=video 4000 RTP/AVP 96\r\n", false, "", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sdp_message_t *sdp = SipSdp::parse(std::string("v=0\r\no=- 1 1 IN IP4 192.0.2.1\r\ns=-\r\nc=IN IP4 192.0.2.1\r\n"
                                                       "t=0 0\r\n") +
                                           c.media);
        ASSERT_NE(sdp, nullptr);
        MediaCodec chosen;
        std::string ip;
        int port = 0;
        EXPECT_EQ(SwitchSdp::pick(sdp, ours, &chosen, &ip, &port), c.ok);
        if (c.ok) {
            EXPECT_EQ(chosen.name, c.name);
            EXPECT_EQ(chosen.payloadType, c.payloadType);
            EXPECT_EQ(ip, "192.0.2.1");
            EXPECT_EQ(port, 4000);
        }
        sdp_message_free(sdp);
    }
    // Our own offer reads back as what it offers.
    sdp_message_t *own = SipSdp::parse(SwitchSdp::describe("127.0.0.1", 20000, ours, 7));
    ASSERT_NE(own, nullptr);
    MediaCodec chosen;
    std::string ip;
    int port = 0;
    EXPECT_TRUE(SwitchSdp::pick(own, {ours[2]}, &chosen, &ip, &port));
    EXPECT_EQ(chosen.payloadType, 102);
    EXPECT_EQ(port, 20000);
    sdp_message_free(own);
}

} // namespace
