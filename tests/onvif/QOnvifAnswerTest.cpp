#include "QOnvifAnswer.h"
#include "QOnvifEnvelope.h"

#include <gtest/gtest.h>

#include <QDateTime>

namespace {

QByteArray envelope(const QByteArray &body, const QByteArray &prefix = "s")
{
    return "<?xml version=\"1.0\"?><" + prefix + ":Envelope xmlns:" + prefix
        + "=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:t=\"urn:t\"><" + prefix + ":Body>" + body + "</"
        + prefix + ":Body></" + prefix + ":Envelope>";
}

} // namespace

TEST(QOnvifEnvelopeTest, DigestAndEscapedUsernameToken)
{
    QByteArray nonce;
    for (int i = 0; i < 16; ++i)
        nonce += char(i);
    const QDateTime created = QDateTime::fromString(QStringLiteral("2026-01-02T03:04:05.678Z"), Qt::ISODateWithMs);
    // Worked out independently (SHA-1 over nonce, time text and UTF-8 password).
    EXPECT_EQ(QOnvifEnvelope::passwordDigest(nonce, QOnvifEnvelope::createdText(created), QString::fromUtf8("pä:ss")),
              QByteArray("xVoIxvZpv2aV1yUw2hXKcR4qAoU="));

    const QByteArray request = QOnvifEnvelope::request("<x/>", QStringLiteral("a<b&c"), QStringLiteral("p"), nonce, created);
    EXPECT_TRUE(request.contains("<wsse:Username>a&lt;b&amp;c</wsse:Username>"));
    EXPECT_TRUE(request.contains("<wsu:Created>2026-01-02T03:04:05.678Z</wsu:Created>"));
    EXPECT_TRUE(request.contains(nonce.toBase64()));
    EXPECT_FALSE(QOnvifEnvelope::request("<x/>", QString(), QString()).contains("Security"));
}

TEST(QOnvifAnswerTest, ReadsAnswersWhateverTheirPrefixes)
{
    QVector<QOnvifDeviceProfile> profiles;
    QString error;
    ASSERT_TRUE(QOnvifAnswer::parseProfiles(
        envelope("<m:GetProfilesResponse xmlns:m=\"urn:m\"><m:Profiles token=\"main\"><t:Name>Main</t:Name>"
                 "<t:VideoEncoderConfiguration token=\"enc\"><t:Name>H264</t:Name></t:VideoEncoderConfiguration>"
                 "</m:Profiles><Profiles token=\"sub\"><Name>Sub</Name></Profiles></m:GetProfilesResponse>",
                 "SOAP-ENV"),
        &profiles, &error))
        << error.toStdString();
    ASSERT_EQ(profiles.size(), 2);
    EXPECT_EQ(profiles[0].token(), "main");
    EXPECT_EQ(profiles[0].name(), "Main");
    EXPECT_EQ(profiles[1].token(), "sub");

    QString address;
    ASSERT_TRUE(QOnvifAnswer::parseCapabilities(
        envelope("<GetCapabilitiesResponse><Capabilities><Device><XAddr>http://1.2.3.4/d</XAddr></Device>"
                 "<Media><XAddr> http://1.2.3.4:8080/media </XAddr></Media></Capabilities></GetCapabilitiesResponse>"),
        &address, &error));
    EXPECT_EQ(address, "http://1.2.3.4:8080/media");

    QVector<QOnvifAnswer::ProbeMatch> matches;
    ASSERT_TRUE(QOnvifAnswer::parseProbeMatches(
        envelope("<d:ProbeMatches xmlns:d=\"urn:d\"><d:ProbeMatch><a:EndpointReference xmlns:a=\"urn:a\"><a:Address>"
                 "urn:uuid:1</a:Address></a:EndpointReference><d:XAddrs>http://[fe80::1]/x http://10.0.0.9/onvif"
                 "</d:XAddrs></d:ProbeMatch><d:ProbeMatch><d:XAddrs>ftp://no</d:XAddrs></d:ProbeMatch>"
                 "</d:ProbeMatches>"),
        &matches, &error));
    ASSERT_EQ(matches.size(), 1);   // the one without an HTTP address is dropped
    EXPECT_EQ(matches[0].endpoint, "urn:uuid:1");
    EXPECT_EQ(matches[0].address, "http://[fe80::1]/x");
}

TEST(QOnvifAnswerTest, FaultReasonBecomesTheError)
{
    QString error;
    QString uri;
    EXPECT_FALSE(QOnvifAnswer::parseStreamUri(
        envelope("<s:Fault><s:Code><s:Value>s:Sender</s:Value></s:Code><s:Reason><s:Text>Not Authorized</s:Text>"
                 "</s:Reason></s:Fault>"),
        &uri, &error));
    EXPECT_EQ(error, "SOAP fault: Not Authorized");
}

// Answers a hostile or broken camera might send: each is refused with an
// error, and nothing reaches the caller's result.
TEST(QOnvifAnswerTest, RefusesHostileAnswers)
{
    const QByteArray bomb = "<?xml version=\"1.0\"?><!DOCTYPE s [<!ENTITY a \"aaaaaaaaaa\">"
                            "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">]>"
                            "<s:Envelope xmlns:s=\"x\"><s:Body><GetStreamUriResponse><MediaUri><Uri>&c;</Uri>"
                            "</MediaUri></GetStreamUriResponse></s:Body></s:Envelope>";
    QByteArray deep;
    for (int i = 0; i < 200; ++i)
        deep += "<a>";
    const QByteArray uriAnswer = "<GetStreamUriResponse><MediaUri><Uri>%1</Uri></MediaUri></GetStreamUriResponse>";
    const struct
    {
        const char *what;
        QByteArray data;
    } cases[] = {
        {"empty", QByteArray()},
        {"not XML", "HTTP/1.1 200 OK garbage"},
        {"cut short", envelope("<GetStreamUriResponse><MediaUri><Uri>rtsp://a/b</Uri>").left(120)},
        {"entity expansion", bomb},
        {"too deep", envelope(deep)},
        {"oversized", envelope("<GetStreamUriResponse><MediaUri><Uri>rtsp://a/" + QByteArray(2 << 20, 'x')
                               + "</Uri></MediaUri></GetStreamUriResponse>")},
        {"long value", envelope(QByteArray(uriAnswer).replace("%1", "rtsp://a/" + QByteArray(5000, 'x')))},
        {"not an envelope", "<Body><GetStreamUriResponse><MediaUri><Uri>rtsp://a/b</Uri></MediaUri>"
                            "</GetStreamUriResponse></Body>"},
        {"another answer", envelope("<GetProfilesResponse/>")},
        {"answer outside the body", "<s:Envelope xmlns:s=\"x\"><s:Header>" + QByteArray(uriAnswer).replace("%1", "rtsp://a/b")
                                        + "</s:Header><s:Body/></s:Envelope>"},
        {"no address", envelope(QByteArray(uriAnswer).replace("%1", ""))},
        {"script address", envelope(QByteArray(uriAnswer).replace("%1", "javascript:alert(1)"))},
        {"file address", envelope(QByteArray(uriAnswer).replace("%1", "file:///etc/passwd"))},
        {"address with a line break", envelope(QByteArray(uriAnswer).replace("%1", "rtsp://a/b&#10;c"))},
    };
    for (const auto &c : cases) {
        QString uri = QStringLiteral("untouched");
        QString error;
        EXPECT_FALSE(QOnvifAnswer::parseStreamUri(c.data, &uri, &error)) << c.what;
        EXPECT_FALSE(error.isEmpty()) << c.what;
        EXPECT_EQ(uri, "untouched") << c.what;
    }

    QVector<QOnvifDeviceProfile> profiles{QOnvifDeviceProfile(QStringLiteral("keep"), QString())};
    QString error;
    EXPECT_FALSE(QOnvifAnswer::parseProfiles(
        envelope("<GetProfilesResponse><Profiles><Name>no token</Name></Profiles></GetProfilesResponse>"), &profiles,
        &error));
    QByteArray many = "<GetProfilesResponse>";
    for (int i = 0; i <= QOnvifAnswer::kMaxProfiles; ++i)
        many += "<Profiles token=\"p" + QByteArray::number(i) + "\"/>";
    EXPECT_FALSE(QOnvifAnswer::parseProfiles(envelope(many + "</GetProfilesResponse>"), &profiles, &error));
    ASSERT_EQ(profiles.size(), 1);
    EXPECT_EQ(profiles[0].token(), "keep");

    QString media = QStringLiteral("untouched");
    EXPECT_FALSE(QOnvifAnswer::parseCapabilities(
        envelope("<GetCapabilitiesResponse><Capabilities><Media><XAddr>rtsp://1.2.3.4/</XAddr></Media>"
                 "</Capabilities></GetCapabilitiesResponse>"),
        &media, &error));
    EXPECT_FALSE(QOnvifAnswer::parseCapabilities(
        envelope("<GetCapabilitiesResponse><Capabilities><Device><XAddr>http://1.2.3.4/</XAddr></Device>"
                 "</Capabilities></GetCapabilitiesResponse>"),
        &media, &error));
    EXPECT_EQ(media, "untouched");
}
