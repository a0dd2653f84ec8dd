#include "ConfigXml.h"
#include "FSConfigWriter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

namespace {

// A switch folder laid out like the shipped package: the writers create only
// the leaf folders, so their parents must be there.
class SwitchTree : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tmp.isValid());
        m_dir = m_tmp.path() + QStringLiteral("/RUVIDAZA");
        for (const char *sub : {"conf/directory", "conf/dialplan", "conf/sip_profiles", "scripts"})
            ASSERT_TRUE(QDir().mkpath(m_dir + QLatin1Char('/') + QLatin1String(sub)));
    }

    QString path(const QString &rel) const { return m_dir + QLatin1Char('/') + rel; }
    ConfigFile parse(const QString &rel) const { return parseConfigFile(path(rel)); }
    bool exists(const QString &rel) const { return QFileInfo::exists(path(rel)); }
    QByteArray bytes(const QString &rel) const
    {
        QFile f(path(rel));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir m_tmp;
    QString m_dir;
};

bool fullMatch(const QString &expression, const QString &subject)
{
    const QRegularExpression re(expression);
    EXPECT_TRUE(re.isValid()) << expression.toStdString();
    return re.match(subject).hasMatch();
}

} // namespace

TEST_F(SwitchTree, DirectoryUserCarriesValuesExactlyWhateverTheyContain)
{
    struct Case
    {
        QString id, name, password, wantName, wantPassword;
    } cases[] = {
        {"6001", "Hall", "secret", "Hall", "secret"},
        {"6002", "", "pw", "6002", "pw"},
        {"6003", "Lobby", "", "Lobby", "$${default_password}"},
        {"6004", "A & B <\"east\"> 'wing'", "p\"<&'>x", "A & B <\"east\"> 'wing'", "p\"<&'>x"},
        {"6005", QString::fromUtf8("Küche 北"), QString::fromUtf8("pässwörd"), QString::fromUtf8("Küche 北"),
         QString::fromUtf8("pässwörd")},
        {"4001", "4001", "4001", "4001", "4001"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.id.toStdString());
        ASSERT_TRUE(FSConfigWriter::writeUser(m_dir, c.id, c.name, c.password));
        const QString rel = QStringLiteral("conf/directory/default/%1.xml").arg(c.id);
        const ConfigFile f = parse(rel);
        ASSERT_TRUE(f.ok) << f.error.toStdString();
        EXPECT_EQ(f.roots, 1);
        ASSERT_TRUE(f.find("user"));
        EXPECT_EQ(f.find("user")->attributes.value("id"), c.id);
        EXPECT_EQ(f.param("password"), c.wantPassword);
        EXPECT_EQ(f.param("vm-password"), c.wantPassword);
        EXPECT_EQ(f.param("accountcode", "variable"), c.id);
        EXPECT_EQ(f.param("user_context", "variable"), "default");
        EXPECT_EQ(f.param("effective_caller_id_name", "variable"), c.wantName);
        EXPECT_EQ(f.param("effective_caller_id_number", "variable"), c.id);
        EXPECT_EQ(f.param("outbound_caller_id_name", "variable"), "$${outbound_caller_name}");
        EXPECT_EQ(f.param("callgroup", "variable"), "techsupport");
        // One user element and exactly two params: nothing injected.
        EXPECT_EQ(f.all("user").size(), 1);
        EXPECT_EQ(f.all("param").size(), 2);
        EXPECT_FALSE(bytes(rel).endsWith('\n'));
    }
}

TEST_F(SwitchTree, UnusableUserValuesAreRefusedAndLeaveTheOldFile)
{
    ASSERT_TRUE(FSConfigWriter::writeUser(m_dir, "6001", "Hall", "good"));
    const QByteArray before = bytes("conf/directory/default/6001.xml");

    EXPECT_FALSE(FSConfigWriter::writeUser(m_dir, "6001", "Hall", "two\nlines"));
    EXPECT_FALSE(FSConfigWriter::writeUser(m_dir, "6001", "Ha\rll", "good"));
    EXPECT_FALSE(FSConfigWriter::writeUser(m_dir, "6001", "Hall", QString("nul") + QChar(0) + "x"));
    EXPECT_EQ(bytes("conf/directory/default/6001.xml"), before);

    // Ids become file names: nothing may leave the folder or hide in it.
    const QString outside = path("conf/directory/victim.xml");
    {
        QFile f(outside);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep");
    }
    for (const QString &id : {QString("../victim"), QString("../../conf/directory/victim"), QString(".hidden"),
                              QString("a/b"), QString(""), QString(65, 'x'), QString("60 01"), QString("..")}) {
        SCOPED_TRACE(id.toStdString());
        EXPECT_FALSE(FSConfigWriter::writeUser(m_dir, id, "n", "p"));
        EXPECT_FALSE(FSConfigWriter::removeUser(m_dir, id));
    }
    EXPECT_TRUE(QFileInfo::exists(outside));
    // Without a switch folder nothing is written or deleted anywhere.
    EXPECT_FALSE(FSConfigWriter::writeUser(QString(), "6001", "n", "p"));
    EXPECT_FALSE(FSConfigWriter::removeUser(QString(), "6001"));
    EXPECT_FALSE(FSConfigWriter::writeSwitchConf(QString(), 1000, 2000));
    const QStringList left = QDir(path("conf/directory/default")).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, QStringList{"6001.xml"});
}

TEST_F(SwitchTree, RemovingAUserDeletesItsFileAndToleratesAbsence)
{
    ASSERT_TRUE(FSConfigWriter::writeUser(m_dir, "6001", "a", "b"));
    EXPECT_TRUE(FSConfigWriter::removeUser(m_dir, "6001"));
    EXPECT_FALSE(exists("conf/directory/default/6001.xml"));
    EXPECT_TRUE(FSConfigWriter::removeUser(m_dir, "6001"));
}

TEST_F(SwitchTree, RtpOutputWritesUserDialplanAndGateway)
{
    ASSERT_TRUE(FSConfigWriter::writeRtpGroup(m_dir, "3001", "192.168.1.10", 5060, "239.0.0.1:5004"));

    const ConfigFile user = parse("conf/directory/default/rtp3001.xml");
    ASSERT_TRUE(user.ok);
    EXPECT_EQ(user.find("user")->attributes.value("id"), "rtp3001");
    EXPECT_EQ(user.param("password"), "rtp3001");
    EXPECT_EQ(user.param("effective_caller_id_name", "variable"), "rtp3001");

    const ConfigFile plan = parse("conf/dialplan/public/rtp3001.xml");
    ASSERT_TRUE(plan.ok);
    EXPECT_EQ(plan.find("extension")->attributes.value("name"), "rtp3001");
    const QString expr = plan.find("condition", "field", "destination_number")->attributes.value("expression");
    EXPECT_TRUE(fullMatch(expr, "rtp3001"));
    EXPECT_FALSE(fullMatch(expr, "rtp30011"));
    const QVector<ConfigElement> actions = plan.all("action");
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[0].attributes.value("application"), "answer");
    EXPECT_EQ(actions[1].attributes.value("application"), "esf_page_group");
    EXPECT_EQ(actions[1].attributes.value("data"), "239.0.0.1 5004");

    const ConfigFile gw = parse("conf/sip_profiles/internal/ingwrtp3001.xml");
    ASSERT_TRUE(gw.ok);
    EXPECT_EQ(gw.find("gateway")->attributes.value("name"), "ingwrtp3001");
    EXPECT_EQ(gw.param("realm"), "192.168.1.10:5060");
    EXPECT_EQ(gw.param("username"), "rtp3001");
    EXPECT_EQ(gw.param("password"), "rtp3001");
    EXPECT_EQ(gw.param("register"), "true");

    EXPECT_TRUE(FSConfigWriter::removeRtpGroup(m_dir, "3001"));
    EXPECT_FALSE(exists("conf/directory/default/rtp3001.xml"));
    EXPECT_FALSE(exists("conf/dialplan/public/rtp3001.xml"));
    EXPECT_FALSE(exists("conf/sip_profiles/internal/ingwrtp3001.xml"));
    EXPECT_TRUE(FSConfigWriter::removeRtpGroup(m_dir, "3001"));
}

TEST_F(SwitchTree, UnusableRtpAddressWritesNoRtpFileAtAll)
{
    for (const QString &url : {QString("239.0.0.1"), QString("a:1:2"), QString(":5004"), QString("239.0.0.1:0"),
                               QString("239.0.0.1:x"), QString("239.0.0.1:70000"), QString("ho st:5004"),
                               QString("")}) {
        SCOPED_TRACE(url.toStdString());
        EXPECT_FALSE(FSConfigWriter::checkRtpUrl(url).isEmpty());
        EXPECT_FALSE(FSConfigWriter::writeRtpGroup(m_dir, "3001", "192.168.1.10", 5060, url));
        EXPECT_FALSE(exists("conf/directory/default/rtp3001.xml"));
        EXPECT_FALSE(exists("conf/dialplan/public/rtp3001.xml"));
        EXPECT_FALSE(exists("conf/sip_profiles/internal/ingwrtp3001.xml"));
    }
    EXPECT_TRUE(FSConfigWriter::checkRtpUrl("239.0.0.1:5004").isEmpty());
}

TEST_F(SwitchTree, TrunkDialplanMatchesTheTrunkLiterallyAndGatewayCarriesItsValues)
{
    const QString password = "pa\"ss&<word>";
    ASSERT_TRUE(FSConfigWriter::writeTrunkGroup(m_dir, "3002", "10.0.0.5", 5060, "+4930123", password, "Trunk A",
                                                "3600"));
    const ConfigFile plan = parse("conf/dialplan/public/voip3002.xml");
    ASSERT_TRUE(plan.ok) << plan.error.toStdString();
    EXPECT_EQ(plan.find("extension")->attributes.value("name"), "3002voiptrunk10.0.0.5:5060");

    const QString addr = plan.find("condition", "field", "network_addr")->attributes.value("expression");
    EXPECT_TRUE(fullMatch(addr, "10.0.0.5"));
    EXPECT_FALSE(fullMatch(addr, "10a0b0c5")); // a dot is not "any character"
    EXPECT_FALSE(fullMatch(addr, "110.0.0.5"));

    const QString dest = plan.find("condition", "field", "destination_number")->attributes.value("expression");
    EXPECT_TRUE(fullMatch(dest, "+4930123"));
    EXPECT_FALSE(fullMatch(dest, "4930123"));
    EXPECT_FALSE(fullMatch(dest, "++4930123"));

    QStringList apps, data;
    for (const ConfigElement &a : plan.all("action")) {
        apps << a.attributes.value("application");
        data << a.attributes.value("data");
    }
    EXPECT_EQ(apps, (QStringList{"log", "answer", "set", "set", "lua", "conference"}));
    EXPECT_EQ(data.mid(2), (QStringList{"called_num=3002", "caller_num=${caller_id_number}",
                                        "voiptrunk_conference.lua", "3002@cdquality++flags{endconf}"}));

    const ConfigFile gw = parse("conf/sip_profiles/external/exgwrtp3002.xml");
    ASSERT_TRUE(gw.ok) << gw.error.toStdString();
    EXPECT_EQ(gw.find("gateway")->attributes.value("name"), "exgwrtp3002");
    EXPECT_EQ(gw.param("realm"), "10.0.0.5:5060");
    EXPECT_EQ(gw.param("username"), "+4930123");
    EXPECT_EQ(gw.param("password"), password);
    EXPECT_EQ(gw.param("register"), "true");
    EXPECT_EQ(gw.param("expire-seconds"), "3600");
    EXPECT_EQ(gw.all("param").size(), 5);

    // Turning the trunk off removes both files; a second removal is harmless.
    EXPECT_TRUE(FSConfigWriter::removeTrunkGroup(m_dir, "3002"));
    EXPECT_FALSE(exists("conf/dialplan/public/voip3002.xml"));
    EXPECT_FALSE(exists("conf/sip_profiles/external/exgwrtp3002.xml"));
    EXPECT_TRUE(FSConfigWriter::removeTrunkGroup(m_dir, "3002"));
}

TEST_F(SwitchTree, TrunkGivenByHostNameMatchesItsAddresses)
{
    ASSERT_TRUE(FSConfigWriter::writeTrunkGroup(m_dir, "3003", "localhost", 5070, "100", "pw", "", "60"));
    const ConfigFile plan = parse("conf/dialplan/public/voip3003.xml");
    ASSERT_TRUE(plan.ok);
    const QString addr = plan.find("condition", "field", "network_addr")->attributes.value("expression");
    EXPECT_TRUE(fullMatch(addr, "127.0.0.1")) << addr.toStdString();
    EXPECT_EQ(parse("conf/sip_profiles/external/exgwrtp3003.xml").param("realm"), "localhost:5070");
}

TEST_F(SwitchTree, UnusableTrunkValuesAreRefusedWithoutFiles)
{
    struct Case
    {
        const char *why;
        QString server;
        int port;
        QString number, password, expire;
    } cases[] = {
        {"port 0", "10.0.0.5", 0, "100", "pw", "60"},
        {"port too big", "10.0.0.5", 70000, "100", "pw", "60"},
        {"blank in server", "10.0.0 .5", 5060, "100", "pw", "60"},
        {"empty server", "", 5060, "100", "pw", "60"},
        {"server with quote", "a\"b", 5060, "100", "pw", "60"},
        {"empty number", "10.0.0.5", 5060, "", "pw", "60"},
        {"number with blank", "10.0.0.5", 5060, "1 00", "pw", "60"},
        {"password with line break", "10.0.0.5", 5060, "100", "p\nw", "60"},
        {"expiry not seconds", "10.0.0.5", 5060, "100", "pw", "1h"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_FALSE(FSConfigWriter::writeTrunkGroup(m_dir, "3002", c.server, c.port, c.number, c.password, "",
                                                     c.expire));
        EXPECT_FALSE(FSConfigWriter::checkTrunk(c.server, QString::number(c.port), c.number, c.password, c.expire)
                         .isEmpty());
        EXPECT_FALSE(exists("conf/dialplan/public/voip3002.xml"));
        EXPECT_FALSE(exists("conf/sip_profiles/external/exgwrtp3002.xml"));
    }
}

// The trunk state shown to the operator is found by comparing the gateway's
// realm with a key built from the stored texts: the key must be what the
// writer wrote, however the port text was typed.
TEST_F(SwitchTree, TrunkRealmKeyEqualsTheWrittenRealm)
{
    for (const QString &portText : {QString("5060"), QString("05060"), QString(" 5060"), QString("5060 ")}) {
        SCOPED_TRACE(portText.toStdString());
        const int port = FSConfigWriter::trunkPort(portText);
        ASSERT_TRUE(FSConfigWriter::writeTrunkGroup(m_dir, "3004", "10.1.2.3", port, "200", "pw", "", ""));
        EXPECT_EQ(parse("conf/sip_profiles/external/exgwrtp3004.xml").param("realm"),
                  FSConfigWriter::trunkRealm("10.1.2.3", portText));
    }
    EXPECT_EQ(FSConfigWriter::trunkPort("abc"), 0);
}

TEST_F(SwitchTree, AccessListPrefixFollowsTheNetmask)
{
    struct Case
    {
        QString mask, cidr;
    } cases[] = {
        {"255.255.255.0", "192.168.1.20/24"},  {"255.255.0.0", "192.168.1.20/16"},
        {"255.255.255.128", "192.168.1.20/25"}, {"255.255.255.255", "192.168.1.20/32"},
        {"128.0.0.0", "192.168.1.20/1"},        {"", "192.168.0.0/16"},
        {"0.0.0.0", "192.168.0.0/16"},          {"255.255.255", "192.168.0.0/16"},
        {"255.255.256.0", "192.168.0.0/16"},    {"junk", "192.168.0.0/16"},
        {"255.0.255.0", "192.168.1.20/8"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mask.toStdString());
        ASSERT_TRUE(FSConfigWriter::writeAcl(m_dir, "192.168.1.20", c.mask));
        const ConfigFile f = parse("conf/autoload_configs/acl.conf.xml");
        ASSERT_TRUE(f.ok);
        const ConfigElement *lan = f.find("list", "name", "lan");
        ASSERT_TRUE(lan);
        EXPECT_EQ(lan->attributes.value("default"), "deny");
        QStringList cidrs;
        for (const ConfigElement &n : f.all("node"))
            if (n.attributes.contains("cidr"))
                cidrs << n.attributes.value("cidr");
        EXPECT_EQ(cidrs, (QStringList{"10.0.0.0/8", "172.16.0.0/12", c.cidr}));
        EXPECT_EQ(f.find("node", "domain", "$${domain}")->attributes.value("type"), "allow");
    }
    EXPECT_FALSE(FSConfigWriter::writeAcl(m_dir, "192.168.1.20\"/><node type=\"allow\" cidr=\"0.0.0.0/0",
                                          "255.255.255.0"));
}

TEST_F(SwitchTree, SipSettingsHaveFourRootsAndFollowNat)
{
    struct Case
    {
        bool nat;
        QString codecs, external;
    } cases[] = {{false, "OPUS,G722", "192.168.1.20"}, {true, "PCMA", "autonat:203.0.113.7"}, {false, "", "192.168.1.20"}};
    for (const Case &c : cases) {
        ASSERT_TRUE(FSConfigWriter::writeSipConfigs(m_dir, "192.168.1.20", 5060, c.nat, "203.0.113.7", 5080, c.codecs));
        const ConfigFile f = parse("conf/custom_configs/sip_configs.xml");
        ASSERT_TRUE(f.ok);
        EXPECT_EQ(f.roots, 4);
        QMap<QString, QString> set, stun;
        for (const ConfigElement &e : f.all("X-PRE-PROCESS")) {
            const QString data = e.attributes.value("data");
            const int eq = data.indexOf('=');
            (e.attributes.value("cmd") == "set" ? set : stun).insert(data.left(eq), data.mid(eq + 1));
        }
        EXPECT_EQ(set.value("internal_sip_port"), "5060");
        EXPECT_EQ(set.value("external_sip_port"), "5080");
        EXPECT_EQ(set.value("global_codec_prefs"), c.codecs);
        EXPECT_EQ(set.value("outbound_codec_prefs"), c.codecs);
        EXPECT_EQ(set.value("local-network-acl"), "lan");
        EXPECT_EQ(set.value("apply-nat-acl"), "rfc1918.auto");
        EXPECT_EQ(stun.value("rtp_ip"), "192.168.1.20");
        EXPECT_EQ(stun.value("sip_ip"), "192.168.1.20");
        EXPECT_EQ(stun.value("external_rtp_ip"), c.external);
        EXPECT_EQ(stun.value("external_sip_ip"), c.external);
    }
    EXPECT_FALSE(FSConfigWriter::writeSipConfigs(m_dir, "not an ip", 5060, false, "", 5080, "PCMU"));
    EXPECT_FALSE(FSConfigWriter::writeSipConfigs(m_dir, "192.168.1.20", 5060, true, "", 5080, "PCMU"));
    EXPECT_FALSE(FSConfigWriter::writeSipConfigs(m_dir, "192.168.1.20", 0, false, "", 5080, "PCMU"));
}

TEST_F(SwitchTree, CoreSettingsCarryTheRtpRange)
{
    ASSERT_TRUE(FSConfigWriter::writeSwitchConf(m_dir, 16384, 32768));
    const ConfigFile f = parse("conf/autoload_configs/switch.conf.xml");
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.param("rtp-start-port"), "16384");
    EXPECT_EQ(f.param("rtp-end-port"), "32768");
    EXPECT_EQ(f.param("max-sessions"), "1000");
    EXPECT_EQ(f.param("rtp-enable-zrtp"), "false");
    EXPECT_FALSE(FSConfigWriter::writeSwitchConf(m_dir, 30000, 20000));
    EXPECT_FALSE(FSConfigWriter::writeSwitchConf(m_dir, 0, 20000));
    EXPECT_EQ(parse("conf/autoload_configs/switch.conf.xml").param("rtp-start-port"), "16384");
}

// What the scripts do is checked end to end against the switch (the
// manager's tests); here the port, the word per script and the filter that
// keeps caller text out of the command.
TEST_F(SwitchTree, CallScriptsCarryTheHttpPortAndTheirCallKind)
{
    ASSERT_TRUE(FSConfigWriter::writeCallConferenceScript(m_dir, 9391));
    ASSERT_TRUE(FSConfigWriter::writeTrunkConferenceScript(m_dir, 9391));
    for (const auto &p : {std::make_pair(QString("scripts/call_conference.lua"), QString("internal")),
                          std::make_pair(QString("scripts/voiptrunk_conference.lua"), QString("external"))}) {
        SCOPED_TRACE(p.first.toStdString());
        const QStringList lines = QString::fromUtf8(bytes(p.first)).split('\n');
        const QString cmd = lines.filter("local cmd =").value(0);
        EXPECT_TRUE(cmd.endsWith(QStringLiteral("' %1 9391\"").arg(p.second))) << cmd.toStdString();
        EXPECT_EQ(lines.filter("os.execute(cmd)").size(), 1);
        // Each value is filtered down to a SIP user part's characters, and
        // only the filtered values are put into the command.
        for (const char *name : {"caller", "number", "conference"}) {
            EXPECT_EQ(lines.filter(QStringLiteral("local safe_%1=(string.gsub(%1, \"[^0-9A-Za-z%+%*#%._%-]\", \"\"));")
                                       .arg(QLatin1String(name)))
                          .size(),
                      1)
                << name;
        }
        QRegularExpressionMatchIterator it = QRegularExpression(QStringLiteral("\\.\\.\\s*([A-Za-z_]\\w*)")).globalMatch(cmd);
        QStringList used;
        while (it.hasNext())
            used << it.next().captured(1);
        EXPECT_EQ(used, (QStringList{"safe_caller", "safe_number", "safe_conference"})) << cmd.toStdString();
    }
    EXPECT_FALSE(FSConfigWriter::writeCallConferenceScript(m_dir, 0));
    EXPECT_FALSE(FSConfigWriter::writeTrunkConferenceScript(m_dir, 65536));
}

TEST_F(SwitchTree, MissingParentFolderFailsWithoutCreatingIt)
{
    QDir(path("conf/dialplan")).removeRecursively();
    EXPECT_FALSE(FSConfigWriter::writeRtpDialplan(m_dir, "3001", "239.0.0.1", 5004));
    EXPECT_FALSE(exists("conf/dialplan"));
}

// A reload may read a file at any moment while the program rewrites it: it
// must always find the whole old or the whole new file.
TEST_F(SwitchTree, ConcurrentReaderNeverSeesAMissingOrPartialFile)
{
    ASSERT_TRUE(FSConfigWriter::writeUser(m_dir, "6001", "Hall", "first"));
    const QString file = path("conf/directory/default/6001.xml");
    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, bad{0};
    std::thread reader([&] {
        while (!done.load()) {
            const ConfigFile f = parseConfigFile(file);
            const QString pw = f.param("password");
            if (!f.ok || (pw != QString(2000, 'a') && pw != QString(3000, 'b') && pw != "first"))
                ++bad;
            ++reads;
        }
    });
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(FSConfigWriter::writeUser(m_dir, "6001", "Hall", i % 2 ? QString(2000, 'a') : QString(3000, 'b')));
    done = true;
    reader.join();
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(bad.load(), 0);
    // No temporary file is left behind.
    EXPECT_EQ(QDir(path("conf/directory/default")).entryList(QDir::Files | QDir::Hidden), QStringList{"6001.xml"});
}
