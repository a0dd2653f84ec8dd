#include "SipDigest.h"

#include <gtest/gtest.h>

namespace {

// RFC 2617 section 3.5: "Circle Of Life" for Mufasa.
TEST(SipDigestTest, PublishedExampleResponse)
{
    const std::string ha1 = SipDigest::ha1("Mufasa", "testrealm@host.com", "Circle Of Life");
    EXPECT_EQ(SipDigest::response(ha1, "dcd98b7102dd2f0e8b11d0f600bfb0c093", "00000001", "0a4f113b", "auth", "GET",
                                  "/dir/index.html"),
              "6629fae49393a05397450978507c4ef1");
    EXPECT_EQ(SipDigest::md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(SipDigestTest, AuthorizationAnswersTheChallengeAndVerifies)
{
    SipDigest::Params challenge;
    ASSERT_TRUE(SipDigest::parse(
        "Digest realm=\"pa.test\", nonce=\"abc,def\", opaque=\"op\", algorithm=MD5, qop=\"auth,auth-int\"",
        challenge));
    EXPECT_EQ(challenge.realm, "pa.test");
    EXPECT_EQ(challenge.nonce, "abc,def");  // a comma inside quotes stays in the value
    EXPECT_EQ(challenge.opaque, "op");

    const std::string credentials =
        SipDigest::authorization(challenge, "100", "secret", "REGISTER", "sip:127.0.0.1:5060", "c0ffee", 3);
    SipDigest::Params sent;
    ASSERT_TRUE(SipDigest::parse(credentials, sent));
    EXPECT_EQ(sent.username, "100");
    EXPECT_EQ(sent.qop, "auth");
    EXPECT_EQ(sent.nc, "00000003");
    EXPECT_EQ(sent.cnonce, "c0ffee");
    EXPECT_EQ(sent.opaque, "op");
    EXPECT_TRUE(SipDigest::verify(credentials, "REGISTER", "pa.test", "abc,def", "secret"));

    const struct {
        const char *name;
        const char *method;
        const char *realm;
        const char *nonce;
        const char *password;
    } wrong[] = {
        {"password", "REGISTER", "pa.test", "abc,def", "Secret"},
        {"method", "INVITE", "pa.test", "abc,def", "secret"},
        {"realm", "REGISTER", "other", "abc,def", "secret"},
        {"nonce", "REGISTER", "pa.test", "abc", "secret"},
    };
    for (const auto &w : wrong) {
        SCOPED_TRACE(w.name);
        EXPECT_FALSE(SipDigest::verify(credentials, w.method, w.realm, w.nonce, w.password));
    }
}

TEST(SipDigestTest, ChallengesWeCannotAnswer)
{
    const struct {
        const char *name;
        const char *value;
        bool parses;
    } cases[] = {
        {"other scheme", "Basic realm=\"x\"", false},
        {"unterminated quote", "Digest realm=\"x, nonce=\"y\"", false},
        {"no parameters", "Digest", false},
        {"name without value", "Digest realm", false},
        {"SHA-256 only", "Digest realm=\"x\", nonce=\"y\", algorithm=SHA-256", true},
        {"auth-int only", "Digest realm=\"x\", nonce=\"y\", qop=\"auth-int\"", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SipDigest::Params p;
        ASSERT_EQ(SipDigest::parse(c.value, p), c.parses);
        if (c.parses) {
            EXPECT_EQ(SipDigest::authorization(p, "u", "p", "REGISTER", "sip:x", "c", 1), "");
        }
    }
    // Without qop the RFC 2069 form is used: no nc, no cnonce.
    SipDigest::Params plain;
    ASSERT_TRUE(SipDigest::parse("Digest realm=\"r\", nonce=\"n\"", plain));
    const std::string credentials = SipDigest::authorization(plain, "u", "p", "INVITE", "sip:x", "c", 1);
    EXPECT_EQ(credentials.find("nc="), std::string::npos);
    EXPECT_TRUE(SipDigest::verify(credentials, "INVITE", "r", "n", "p"));
}

} // namespace
