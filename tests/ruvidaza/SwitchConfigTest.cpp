// What the switch reads from the files the program writes, and the inbound
// call path (dialplan, call script, fshttp) those files set up.
#include "HttpCaptureListener.h"
#include "SwitchStandIn.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <gtest/gtest.h>

using PaTest::SwitchStandIn;

namespace {

using PaTest::writeFile;

// Directory user as the program writes it: no line feed after the last line.
QByteArray userXml(const QString &id, const QString &name, const QString &password)
{
    return QStringLiteral("<include>\n  <user id=\"%1\">\n    <params>\n      <param name=\"password\" value=\"%3\"/>\n"
                          "      <param name=\"vm-password\" value=\"%3\"/>\n    </params>\n    <variables>\n"
                          "      <variable name=\"toll_allow\" value=\"domestic,international,local\"/>\n"
                          "      <variable name=\"accountcode\" value=\"%1\"/>\n"
                          "      <variable name=\"user_context\" value=\"default\"/>\n"
                          "      <variable name=\"effective_caller_id_name\" value=\"%2\"/>\n"
                          "      <variable name=\"effective_caller_id_number\" value=\"%1\"/>\n"
                          "      <variable name=\"outbound_caller_id_name\" value=\"$${outbound_caller_name}\"/>\n"
                          "      <variable name=\"outbound_caller_id_number\" value=\"$${outbound_caller_id}\"/>\n"
                          "      <variable name=\"callgroup\" value=\"techsupport\"/>\n    </variables>\n  </user>\n"
                          "</include>")
        .arg(id, name, password)
        .toUtf8();
}

QByteArray callScript(const QString &kind, int port)
{
    return QStringLiteral("local caller=session:getVariable(\"caller_num\");\n"
                          "local number=session:getVariable(\"destination_number\");\n"
                          "local conference=session:getVariable(\"called_num\");\n\n"
                          "local os = require\"os\"\n"
                          "local cmd = \"fshttp.exe \"..caller..\" \"..number..\" \"..conference..\" %1 %2\"\n"
                          "os.execute(cmd)\n")
        .arg(kind)
        .arg(port)
        .toUtf8();
}

class SwitchConfigFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sw.isValid());
        // The network file as the program writes it: four roots in one file.
        ASSERT_TRUE(writeFile(m_sw.path(QStringLiteral("conf/custom_configs/sip_configs.xml")),
                              "<include>\n  <X-PRE-PROCESS cmd=\"set\" data=\"internal_sip_port=5070\"/>\n"
                              "  <X-PRE-PROCESS cmd=\"set\" data=\"external_sip_port=5090\"/>\n</include>\n"
                              "<include>\n  <X-PRE-PROCESS cmd=\"set\" data=\"global_codec_prefs=\"/>\n"
                              "  <X-PRE-PROCESS cmd=\"set\" data=\"outbound_codec_prefs=\"/>\n</include>\n"
                              "<include>\n  <X-PRE-PROCESS cmd=\"stun-set\" data=\"rtp_ip=127.0.0.1\"/>\n"
                              "  <X-PRE-PROCESS cmd=\"stun-set\" data=\"sip_ip=127.0.0.1\"/>\n"
                              "  <X-PRE-PROCESS cmd=\"stun-set\" data=\"external_rtp_ip=autonat:203.0.113.7\"/>\n"
                              "  <X-PRE-PROCESS cmd=\"stun-set\" data=\"external_sip_ip=autonat:203.0.113.7\"/>\n"
                              "</include>\n<include>\n"
                              "  <X-PRE-PROCESS cmd=\"set\" data=\"local-network-acl=lan\"/>\n"
                              "  <X-PRE-PROCESS cmd=\"set\" data=\"apply-nat-acl=rfc1918.auto\"/>\n</include>\n"));
        ASSERT_TRUE(writeFile(m_sw.path(QStringLiteral("conf/directory/default/6001.xml")),
                              userXml(QStringLiteral("6001"), QStringLiteral("Hall A &amp; B"), QStringLiteral("pw1"))));
        ASSERT_TRUE(m_sw.start());
    }
    void TearDown() override { EXPECT_EQ(m_sw.shutdown(), 0); }

    QJsonObject config() const
    {
        const QString answer = m_sw.console(QStringLiteral("test config"));
        EXPECT_TRUE(answer.startsWith(QLatin1String("+OK "))) << answer.toStdString();
        return QJsonDocument::fromJson(answer.mid(4).toUtf8()).object();
    }
    QStringList userIds() const
    {
        QStringList ids;
        for (const QJsonValue &v : config().value(QStringLiteral("users")).toArray())
            ids << v.toObject().value(QStringLiteral("id")).toString();
        return ids;
    }
    QStringList column(const QString &file, const QString &sql) const
    {
        const QString name = QUuid::createUuid().toString();
        QStringList out;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(m_sw.path(file));
            if (db.open()) {
                QSqlQuery q(sql, db);
                while (q.next())
                    out << q.value(0).toString();
            }
        }
        QSqlDatabase::removeDatabase(name);
        return out;
    }

    SwitchStandIn m_sw;
};

} // namespace

TEST_F(SwitchConfigFiles, ReadsTheProgramsFilesAtStartAndOnReload)
{
    const QJsonObject cfg = config();
    EXPECT_EQ(cfg.value(QStringLiteral("vars")).toObject().value(QStringLiteral("internal_sip_port")).toString(),
              QStringLiteral("5070"));
    EXPECT_EQ(cfg.value(QStringLiteral("vars")).toObject().value(QStringLiteral("external_sip_ip")).toString(),
              QStringLiteral("203.0.113.7"));
    // An empty codec list never becomes an empty offer.
    EXPECT_EQ(cfg.value(QStringLiteral("codecs")).toArray().size(), 2);
    EXPECT_TRUE(userIds().contains(QStringLiteral("6001")));
    EXPECT_TRUE(userIds().contains(QStringLiteral("2000")));

    // Added after start: known only after a reload. A malformed file (as if
    // caught half-written) is skipped and the reload still succeeds.
    ASSERT_TRUE(writeFile(m_sw.path(QStringLiteral("conf/directory/default/6002.xml")),
                          userXml(QStringLiteral("6002"), QString(), QStringLiteral("$${default_password}"))));
    ASSERT_TRUE(writeFile(m_sw.path(QStringLiteral("conf/directory/default/6003.xml")), "<include>\n  <user id=\"60"));
    EXPECT_FALSE(userIds().contains(QStringLiteral("6002")));
    EXPECT_EQ(m_sw.console(QStringLiteral("reloadxml")).left(3), QStringLiteral("+OK"));
    EXPECT_TRUE(userIds().contains(QStringLiteral("6002")));
    EXPECT_FALSE(userIds().contains(QStringLiteral("6003")));
    EXPECT_EQ(config().value(QStringLiteral("skipped")).toArray().size(), 1);

    // Removed files are forgotten by a rescan too (it reloads everything).
    ASSERT_TRUE(QFile::remove(m_sw.path(QStringLiteral("conf/directory/default/6001.xml"))));
    EXPECT_TRUE(m_sw.console(QStringLiteral("sofia profile internal rescan")).startsWith(QLatin1String("Reload XML [Success]")));
    EXPECT_FALSE(userIds().contains(QStringLiteral("6001")));

    // The per-installation default password is not a well-known text.
    QFile pw(m_sw.path(QStringLiteral("run/default_password")));
    ASSERT_TRUE(pw.open(QIODevice::ReadOnly));
    EXPECT_GE(pw.readAll().trimmed().size(), 16);

    // A broken root file fails the reload, and the switch keeps what it had.
    ASSERT_TRUE(writeFile(m_sw.path(QStringLiteral("conf/vars.xml")), "<include"));
    EXPECT_TRUE(m_sw.console(QStringLiteral("reloadxml")).startsWith(QLatin1String("-ERR")));
    EXPECT_TRUE(m_sw.console(QStringLiteral("sofia profile external rescan")).startsWith(QLatin1String("-ERR")));
    EXPECT_TRUE(userIds().contains(QStringLiteral("6002")));
}

TEST_F(SwitchConfigFiles, GatewaysFollowRescanAndKillgw)
{
    ASSERT_TRUE(writeFile(m_sw.path(QStringLiteral("conf/directory/default/rtp3001.xml")),
                          userXml(QStringLiteral("rtp3001"), QStringLiteral("rtp3001"), QStringLiteral("rtp3001"))));
    ASSERT_TRUE(writeFile(m_sw.path(QStringLiteral("conf/sip_profiles/internal/ingwrtp3001.xml")),
                          "<include>\n  <gateway name=\"ingwrtp3001\">\n    <param name=\"realm\" value=\"127.0.0.1:5070\"/>\n"
                          "    <param name=\"username\" value=\"rtp3001\"/>\n    <param name=\"password\" value=\"rtp3001\"/>\n"
                          "    <param name=\"register\" value=\"true\"/>\n  </gateway>\n</include>\n"));
    ASSERT_TRUE(writeFile(m_sw.path(QStringLiteral("conf/sip_profiles/external/exgwrtp3001.xml")),
                          "<include>\n  <gateway name=\"exgwrtp3001\">\n    <param name=\"realm\" value=\"10.0.0.5:5060\"/>\n"
                          "    <param name=\"username\" value=\"0301234\"/>\n    <param name=\"password\" value=\"s&lt;c\"/>\n"
                          "    <param name=\"register\" value=\"true\"/>\n    <param name=\"expire-seconds\" value=\"600\"/>\n"
                          "  </gateway>\n</include>\n"));
    ASSERT_TRUE(writeFile(m_sw.path(QStringLiteral("conf/dialplan/public/rtp3001.xml")),
                          "<include>\n  <extension name=\"rtp3001\">\n"
                          "    <condition field=\"destination_number\" expression=\"^(rtp3001)$\">\n"
                          "    <action application=\"answer\"/>\n"
                          "    <action application=\"esf_page_group\" data=\"239.0.0.1 5004\"/>\n"
                          "    </condition>\n  </extension>\n</include>\n"));
    const QString regDb = QStringLiteral("db/sofia_reg_internal.db");
    const QString listSql = QStringLiteral("select sip_user from sip_registrations");

    // reloadxml alone starts no gateway.
    EXPECT_TRUE(m_sw.console(QStringLiteral("reloadxml")).startsWith(QLatin1String("+OK")));
    EXPECT_FALSE(m_sw.console(QStringLiteral("sofia xmlstatus gateway")).contains(QLatin1String("ingwrtp3001")));

    m_sw.console(QStringLiteral("sofia profile internal killgw _all_"));
    EXPECT_TRUE(m_sw.console(QStringLiteral("sofia profile internal rescan")).startsWith(QLatin1String("Reload XML [Success]")));
    m_sw.console(QStringLiteral("sofia profile external killgw _all_"));
    EXPECT_TRUE(m_sw.console(QStringLiteral("sofia profile external rescan")).startsWith(QLatin1String("Reload XML [Success]")));

    const QString xml = m_sw.console(QStringLiteral("sofia xmlstatus gateway"));
    EXPECT_TRUE(xml.startsWith(QLatin1String("<?xml"))) << xml.toStdString();
    EXPECT_TRUE(xml.contains(QLatin1String("<name>ingwrtp3001</name>")));
    EXPECT_TRUE(xml.contains(QLatin1String("<state>REGED</state>")));
    // The realm exactly as written; the extension is the trunk's user name.
    EXPECT_TRUE(xml.contains(QLatin1String("<realm>10.0.0.5:5060</realm>")));
    EXPECT_TRUE(xml.contains(QLatin1String("<exten>0301234</exten>")));
    // The internal gateway registers with the switch itself.
    EXPECT_EQ(column(regDb, listSql), QStringList{QStringLiteral("rtp3001")});

    // Its leg loops back into the internal profile and is answered by the
    // RTP dialplan; the dialled leg's row comes first.
    const QString legSql =
        QStringLiteral("select accountcode||':'||callstate||':'||application_data from channels");
    EXPECT_TRUE(m_sw.console(QStringLiteral("conference 3001@cdquality++flags{mute|endconf} bgdial "
                                            "sofia/gateway/ingwrtp3001/rtp3001 3001 3001"))
                    .startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(PaTest::waitUntil([&] {
        return column(QStringLiteral("db/core.db"), legSql)
               == QStringList{QStringLiteral("rtp3001:ACTIVE:3001@cdquality++flags{mute|endconf}"),
                              QStringLiteral("rtp3001:ACTIVE:239.0.0.1 5004")};
    })) << column(QStringLiteral("db/core.db"), legSql).join(QLatin1Char(',')).toStdString();
    // Ending the conference ends both legs.
    EXPECT_TRUE(m_sw.console(QStringLiteral("conference 3001 hup all")).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(column(QStringLiteral("db/core.db"), legSql).isEmpty());

    m_sw.console(QStringLiteral("sofia profile internal killgw _all_"));
    EXPECT_FALSE(m_sw.console(QStringLiteral("sofia xmlstatus gateway")).contains(QLatin1String("ingwrtp3001")));
    EXPECT_TRUE(column(regDb, listSql).isEmpty());
    EXPECT_TRUE(m_sw.console(QStringLiteral("sofia xmlstatus gateway")).contains(QLatin1String("exgwrtp3001")));

    EXPECT_TRUE(m_sw.console(QStringLiteral("test gw exgwrtp3001 FAIL_WAIT")).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(m_sw.console(QStringLiteral("sofia xmlstatus gateway")).contains(QLatin1String("<state>FAIL_WAIT</state>")));
}

TEST_F(SwitchConfigFiles, InboundCallsRunTheDialplanScriptAndReportOverHttp)
{
    HttpCaptureListener http;
    ASSERT_GT(http.port(), 0);
    ASSERT_TRUE(writeFile(m_sw.path(QStringLiteral("scripts/call_conference.lua")), callScript(QStringLiteral("internal"), http.port())));
    ASSERT_TRUE(writeFile(m_sw.path(QStringLiteral("scripts/voiptrunk_conference.lua")),
                          callScript(QStringLiteral("external"), http.port())));
    ASSERT_TRUE(writeFile(m_sw.path(QStringLiteral("conf/dialplan/public/voip3001.xml")),
                          "<include>\n  <extension name=\"3001voiptrunk10.0.0.5:5060\">\n"
                          "    <condition field=\"network_addr\" expression=\"^(10.0.0.5)$\">\n"
                          "      <action application=\"log\" data=\"ipaddr=$1\"/>\n    </condition>\n"
                          "    <condition field=\"destination_number\" expression=\"^(0301234)$\">\n"
                          "      <action application=\"answer\"/>\n"
                          "      <action application=\"set\" data=\"called_num=3001\"/>\n"
                          "      <action application=\"set\" data=\"caller_num=${caller_id_number}\"/>\n"
                          "      <action application=\"lua\" data=\"voiptrunk_conference.lua\"/>\n"
                          "      <action application=\"conference\" data=\"3001@cdquality++flags{endconf}\"/>\n"
                          "    </condition>\n  </extension>\n</include>\n"));
    ASSERT_TRUE(m_sw.console(QStringLiteral("reloadxml")).startsWith(QLatin1String("+OK")));

    // A device calls its zone's number.
    EXPECT_TRUE(m_sw.console(QStringLiteral("test call 6001 3001")).startsWith(QLatin1String("+OK")));
    ASSERT_TRUE(PaTest::waitUntil([&] { return http.requests().size() == 1; }));
    QByteArray req = http.requests().at(0);
    EXPECT_TRUE(req.startsWith("POST /fs/conference HTTP/1.1\r\n")) << req.toStdString();
    EXPECT_TRUE(req.contains("Content-Type: application/x-www-form-urlencoded\r\n"));
    EXPECT_TRUE(req.endsWith("\r\n\r\ntype=internal&number=3001&caller=6001&conference=3001")) << req.toStdString();
    EXPECT_EQ(column(QStringLiteral("db/core.db"),
                     QStringLiteral("select accountcode||'|'||callstate||'|'||application_data||'|'||initial_cid_num||'|'||"
                                    "initial_dest||'|'||cid_name from channels")),
              QStringList{QStringLiteral("6001|ACTIVE|3001@cdquality++flags{endconf}|6001|3001|Hall A & B")});

    // A trunk call with a hostile caller number: no shell ever sees it.
    EXPECT_TRUE(m_sw.console(QStringLiteral("test call +49;touch>pwned 0301234 profile=external src=10.0.0.5"))
                    .startsWith(QLatin1String("+OK")));
    ASSERT_TRUE(PaTest::waitUntil([&] { return http.requests().size() == 2; }));
    req = http.requests().at(1);
    EXPECT_TRUE(req.endsWith("type=external&number=0301234&caller=%2B49%3Btouch%3Epwned&conference=3001"))
        << req.toStdString();
    EXPECT_FALSE(QFile::exists(m_sw.path(QStringLiteral("../pwned"))));
    EXPECT_FALSE(QFile::exists(m_sw.path(QStringLiteral("pwned"))));
    EXPECT_TRUE(column(QStringLiteral("db/core.db"), QStringLiteral("select cid_name||'|'||initial_dest from channels"))
                    .contains(QStringLiteral("Outbound Call|0301234")));

    // From the wrong address the trunk plan does not match.
    EXPECT_TRUE(m_sw.console(QStringLiteral("test call 555 0301234 profile=external src=10.0.0.6")).startsWith(QLatin1String("-ERR")));
    EXPECT_TRUE(m_sw.console(QStringLiteral("test call 9999 3001")).startsWith(QLatin1String("-ERR")));
    EXPECT_EQ(http.requests().size(), 2);
}

// The script reader runs the character filter exactly as Lua would, and
// refuses, with a log line, every construct it does not know instead of
// running it differently: the call then goes on unreported.
TEST_F(SwitchConfigFiles, CallScriptReaderFiltersLikeLuaAndRefusesWhatItDoesNotKnow)
{
    HttpCaptureListener http;
    ASSERT_GT(http.port(), 0);
    const QString head = QStringLiteral("local caller=session:getVariable(\"caller_num\") or \"\";\n");
    const QString tail = QStringLiteral("local cmd = \"fshttp '\"..c..\"' 3001 3001 internal %1\"\nos.execute(cmd)\n").arg(http.port());
    auto runScript = [&](const QString &middle) {
        EXPECT_TRUE(writeFile(m_sw.path(QStringLiteral("scripts/call_conference.lua")), (head + middle + tail).toUtf8()));
        const int before = http.requests().size();
        const QString answer = m_sw.console(QStringLiteral("test call 6001 3001"));
        EXPECT_TRUE(answer.startsWith(QLatin1String("+OK"))) << answer.toStdString();
        return http.requests().size() > before ? http.requests().last() : QByteArray();
    };

    // Accepted: sets with ranges, classes and escaped punctuation, nested
    // in parentheses and concatenations; the answer comes after the script ran.
    struct Accepted { const char *middle; const char *caller; };
    const Accepted accepted[] = {
        {"local c=(string.gsub(caller, \"[^0-9A-Za-z%+%*#%._%-]\", \"\"));\n", "6001"},
        {"local c=string.gsub(caller, \"[%d]\", \"\")..\"x\";\n", "x"},
        {"local c=(string.gsub(\"a b'c;d\", \"[^%w]\", \"\"));\n", "abcd"},
        {"local c=(string.gsub(\"a-b_c\", \"[%-_]\", \"\"));\n", "abc"},
    };
    for (const Accepted &a : accepted) {
        SCOPED_TRACE(a.middle);
        const QByteArray req = runScript(QString::fromUtf8(a.middle));
        EXPECT_TRUE(req.contains(QByteArray("&caller=") + a.caller + "&conference=")) << req.toStdString();
    }

    // Refused: function definitions, patterns beyond one set, replacements,
    // a nil subject, assignments without "local", method calls.
    const char *refused[] = {
        "local function q(v) return v end\nlocal c=q(caller);\n",
        "local c=(string.gsub(caller, \"%D\", \"\"));\n",
        "local c=(string.gsub(caller, \"[^%d]+\", \"\"));\n",
        "local c=(string.gsub(caller, \"[%Z]\", \"\"));\n",
        "local c=(string.gsub(caller, \"[^%d]\", \"x\"));\n",
        "local c=(string.gsub(caller, \"[^%d]\"));\n",
        "local c=(string.gsub(caller, \"[^\\\\q%d]\", \"\"));\n",
        "local c=(string.gsub(nothing, \"[^%d]\", \"\"));\n",
        "c=caller;\n",
        "local c=caller:gsub(\"[^%d]\", \"\");\n",
    };
    for (const char *middle : refused) {
        SCOPED_TRACE(middle);
        EXPECT_TRUE(runScript(QString::fromUtf8(middle)).isEmpty());
    }
    QFile log(m_sw.path(QStringLiteral("log/switch.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> failures = log.readAll().split('\n');
    int logged = 0;
    for (const QByteArray &line : failures)
        logged += line.contains("call_conference.lua") && line.contains("failed:") ? 1 : 0;
    EXPECT_EQ(logged, int(sizeof(refused) / sizeof(refused[0])));
}

TEST_F(SwitchConfigFiles, IntercomCallsBridgeToARegisteredDevice)
{
    const QString sql = QStringLiteral("select accountcode||':'||callstate||':'||initial_cid_num||':'||initial_dest from channels");
    // Not registered: the call fails and leaves nothing behind.
    EXPECT_TRUE(m_sw.console(QStringLiteral("test call 2000 6001")).startsWith(QLatin1String("-ERR")));
    EXPECT_TRUE(column(QStringLiteral("db/core.db"), sql).isEmpty());

    ASSERT_TRUE(m_sw.console(QStringLiteral("test reg add 6001")).startsWith(QLatin1String("+OK")));
    const QString answer = m_sw.console(QStringLiteral("test call 2000 6001"));
    ASSERT_TRUE(answer.startsWith(QLatin1String("+OK "))) << answer.toStdString();
    EXPECT_TRUE(PaTest::waitUntil([&] {
        return column(QStringLiteral("db/core.db"), sql)
               == QStringList{QStringLiteral("2000:ACTIVE:2000:6001"), QStringLiteral("6001:ACTIVE:2000:6001")};
    })) << column(QStringLiteral("db/core.db"), sql).join(QLatin1Char(',')).toStdString();
    // Either side hanging up ends the call.
    EXPECT_TRUE(m_sw.console(QStringLiteral("test hangup 6001")).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(column(QStringLiteral("db/core.db"), sql).isEmpty());
}

TEST(Fshttp, ChecksItsArguments)
{
    const QString fshttp = PaTest::switchDir() + QStringLiteral("/internal_exe/fshttp");
    const QList<QStringList> bad = {
        {},
        {QStringLiteral("6001"), QStringLiteral("3001"), QStringLiteral("3001"), QStringLiteral("internal")},
        {QStringLiteral("6001"), QStringLiteral("3001"), QStringLiteral("3001"), QStringLiteral("sideways"), QStringLiteral("80")},
        {QStringLiteral("6001"), QStringLiteral("3001"), QStringLiteral("3001"), QStringLiteral("internal"), QStringLiteral("80x")},
        {QStringLiteral("6001"), QStringLiteral("3001"), QStringLiteral("3001"), QStringLiteral("internal"), QStringLiteral("70000")},
    };
    for (const QStringList &args : bad) {
        QProcess p;
        p.start(fshttp, args);
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 2) << args.join(' ').toStdString();
    }
}
