#include "DatabaseTestSupport.h"
#include "RDConfigure.h"
#include "VelmarDB.h"

namespace {

class RDConfigureTest : public DataDirTest
{
protected:
    void SetUp() override
    {
        DataDirTest::SetUp();
        VelmarDB db(true);
        db.checkUpgrade();
        ASSERT_TRUE(db.errorText().isEmpty());
    }
    QVector<QStringList> rows() const
    {
        return DbTest::exec(VelmarDB::dbFilePath(), {QStringLiteral("select K, V from conf order by id")});
    }
};

} // namespace

TEST_F(RDConfigureTest, InitDefaultsWritesTheFourteenMissingKeysOnce)
{
    RDConfigure().initDefaults();
    const QVector<QStringList> expected{
        {"langage", "English"},          {"run on boot", "false"},     {"sip internal port", "5060"},
        {"sip external port", "5080"},   {"sip codecs", "OPUS,G722,PCMU,PCMA"},
        {"rtp start port", "16384"},     {"rtp end port", "32768"},    {"windows sip port", "22000"},
        {"nat enable", "false"},         {"http api enable", "false"}, {"onvif username", "admin"},
        {"onvif password", "804271"},    {"http server port", "9391"}, {"socket server port", "9390"},
    };
    EXPECT_EQ(rows(), expected);

    RDConfigure configure;
    configure.setHttpServerPort(8080);
    configure.setString(QStringLiteral("langage"), QString(""));
    configure.initDefaults();
    EXPECT_EQ(rows().size(), expected.size());
    EXPECT_EQ(configure.httpServerPort(), 8080);
    EXPECT_TRUE(configure.language().isEmpty());
}

TEST_F(RDConfigureTest, ReadingRulesFallBackToTheGetterDefault)
{
    RDConfigure configure;
    // Absent keys.
    EXPECT_EQ(configure.wsPort(), 9024);
    EXPECT_TRUE(configure.language().isEmpty());
    EXPECT_EQ(configure.sipCodecs(), QStringLiteral("OPUS,G722,PCMU,PCMA"));
    EXPECT_EQ(configure.onvifPassword(), QStringLiteral("804271"));
    EXPECT_EQ(configure.httpServerPort(), 9391);
    EXPECT_EQ(configure.rtpEndPort(), 32768);
    EXPECT_FALSE(configure.natEnable());

    struct Case {
        const char *key;
        const char *stored;
        std::function<QString(const RDConfigure &)> read;
        const char *expected;
    };
    const Case cases[] = {
        {"ws port", "", [](const RDConfigure &c) { return QString::number(c.wsPort()); }, "9024"},
        {"ws port", "9025x", [](const RDConfigure &c) { return QString::number(c.wsPort()); }, "9024"},
        {"ws port", "9025", [](const RDConfigure &c) { return QString::number(c.wsPort()); }, "9025"},
        {"ws enable", "true", [](const RDConfigure &c) { return QString::number(c.wsEnable()); }, "0"},
        {"nat enable", "TRUE", [](const RDConfigure &c) { return QString::number(c.natEnable()); }, "0"},
        {"nat enable", "1", [](const RDConfigure &c) { return QString::number(c.natEnable()); }, "0"},
        {"nat enable", "true", [](const RDConfigure &c) { return QString::number(c.natEnable()); }, "1"},
        {"run on boot", "false", [](const RDConfigure &c) { return QString::number(c.runOnBoot()); }, "0"},
        {"langage", "", [](const RDConfigure &c) { return c.language(); }, ""},
        {"sip codecs", "", [](const RDConfigure &c) { return c.sipCodecs(); }, ""},
    };
    for (const Case &c : cases) {
        configure.setString(QString::fromUtf8(c.key), QString::fromUtf8(c.stored));
        EXPECT_EQ(c.read(configure), QString::fromUtf8(c.expected)) << c.key << " = " << c.stored;
    }
}

TEST_F(RDConfigureTest, SettersStoreTextAndAnotherObjectSeesItAtOnce)
{
    RDConfigure writer;
    writer.setPrayEnable(1);
    writer.setNatEnable(true);
    writer.setHttpApiEnable(false);
    writer.setRtpStartPort(-5);
    writer.setKelCode(QStringLiteral("x'); drop table conf;--"));
    writer.setSipInternalIp(QStringLiteral("10.0.0.2"));

    const RDConfigure reader;
    EXPECT_EQ(reader.getString(QStringLiteral("pray enable")), QStringLiteral("1"));
    EXPECT_EQ(reader.getString(QStringLiteral("nat enable")), QStringLiteral("true"));
    EXPECT_EQ(reader.getString(QStringLiteral("http api enable")), QStringLiteral("false"));
    EXPECT_EQ(reader.getString(QStringLiteral("rtp start port")), QStringLiteral("-5"));
    EXPECT_EQ(reader.rtpStartPort(), -5);
    EXPECT_EQ(reader.prayEnable(), 1);
    EXPECT_EQ(reader.kelCode(), QStringLiteral("x'); drop table conf;--"));
    EXPECT_EQ(reader.sipInternalIp(), QStringLiteral("10.0.0.2"));
}
