// The switch over real SIP, with sipp as devices, callers and an upstream
// registrar: registrations, dialled legs, inbound calls, gateways and the
// access list.
#include "HttpCaptureListener.h"
#include "SippDevices.h"
#include "SwitchStandIn.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>
#include <QUuid>
#include <QVariant>
#include <gtest/gtest.h>

#include <iostream>
#include <memory>

using PaTest::SwitchStandIn;

namespace {

using PaTest::writeFile;

QString scenario(const QString &name)
{
    return PaTest::sourceDir() + QStringLiteral("/tests/ruvidaza/sip/") + name;
}

// Rows of one state file as "a|b|c" texts.
QStringList rows(const QString &file, const QString &sql)
{
    const QString name = QUuid::createUuid().toString();
    QStringList out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql)) {
                while (q.next()) {
                    QStringList cols;
                    for (int i = 0; i < q.record().count(); ++i)
                        cols << q.value(i).toString();
                    out << cols.join(QLatin1Char('|'));
                }
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}

// A switch on free SIP ports with a few directory users, and the sipp runs
// of one test. Every process it starts it stops.
class SwitchSip : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("sipp")).isEmpty())
            GTEST_SKIP() << "sipp is not installed";
        ASSERT_TRUE(m_sw.isValid());
        m_internal = PaTest::freeUdpPort();
        m_external = PaTest::freeUdpPort();
        ASSERT_GT(m_internal, 0);
        ASSERT_GT(m_external, 0);
        ASSERT_TRUE(writeFile(m_sw.path(QStringLiteral("conf/custom_configs/sip_configs.xml")),
                              QStringLiteral("<include>\n"
                                             "  <X-PRE-PROCESS cmd=\"set\" data=\"internal_sip_port=%1\"/>\n"
                                             "  <X-PRE-PROCESS cmd=\"set\" data=\"external_sip_port=%2\"/>\n"
                                             "  <X-PRE-PROCESS cmd=\"set\" data=\"global_codec_prefs=PCMU,PCMA\"/>\n"
                                             "  <X-PRE-PROCESS cmd=\"stun-set\" data=\"sip_ip=127.0.0.1\"/>\n"
                                             "  <X-PRE-PROCESS cmd=\"stun-set\" data=\"rtp_ip=127.0.0.1\"/>\n"
                                             "  <X-PRE-PROCESS cmd=\"set\" data=\"local-network-acl=lan\"/>\n"
                                             "</include>")
                                  .arg(m_internal)
                                  .arg(m_external)
                                  .toUtf8()));
        // The LAN is this one address: 127.0.0.2 stands for a foreign host.
        ASSERT_TRUE(writeFile(m_sw.path(QStringLiteral("conf/autoload_configs/acl.conf.xml")),
                              "<configuration name=\"acl.conf\">\n  <network-lists>\n"
                              "    <list name=\"lan\" default=\"deny\">\n"
                              "      <node type=\"allow\" cidr=\"10.0.0.0/8\"/>\n"
                              "      <node type=\"allow\" cidr=\"127.0.0.1/32\"/>\n"
                              "    </list>\n  </network-lists>\n</configuration>"));
        for (const QString &id : {QStringLiteral("6001"), QStringLiteral("6002")})
            ASSERT_TRUE(addUser(id, QStringLiteral("pw") + id));
    }

    void TearDown() override
    {
        for (auto &p : m_sipps) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

    bool addUser(const QString &id, const QString &password)
    {
        return writeFile(m_sw.path(QStringLiteral("conf/directory/default/%1.xml").arg(id)),
                         QStringLiteral("<include>\n  <user id=\"%1\">\n    <params>\n"
                                        "      <param name=\"password\" value=\"%2\"/>\n    </params>\n"
                                        "    <variables>\n      <variable name=\"accountcode\" value=\"%1\"/>\n"
                                        "      <variable name=\"user_context\" value=\"default\"/>\n"
                                        "      <variable name=\"effective_caller_id_name\" value=\"Desk %1\"/>\n"
                                        "    </variables>\n  </user>\n</include>")
                             .arg(id, password)
                             .toUtf8());
    }

    // An injection file of "user;[authentication …];expires" lines.
    QString credentials(const QList<QPair<QString, QString>> &users, int expires = 120)
    {
        QByteArray text = "SEQUENTIAL\n";
        for (const auto &u : users)
            text += QStringLiteral("%1;[authentication username=%1 password=%2];%3\n")
                        .arg(u.first, u.second)
                        .arg(expires)
                        .toUtf8();
        const QString path = m_work.path() + QStringLiteral("/users-%1.csv").arg(++m_runs);
        return writeFile(path, text) ? path : QString();
    }

    // Starts sipp with the common options and `args`; the caller waits.
    QProcess *sipp(const QStringList &args, const QString &ip = QStringLiteral("127.0.0.1"))
    {
        auto p = std::make_unique<QProcess>();
        p->setWorkingDirectory(m_work.path());
        p->setProcessChannelMode(QProcess::MergedChannels);
        // Each run gets its own media ports: sipp's default one is shared.
        p->start(QStringLiteral("sipp"), QStringList{QStringLiteral("-i"), ip, QStringLiteral("-mi"), ip,
                                                     QStringLiteral("-mp"), QString::number(PaTest::freeSippMediaPort()),
                                                     QStringLiteral("-nostdin"), QStringLiteral("-timeout"),
                                                     QStringLiteral("15s"), QStringLiteral("-timeout_error")} +
                                             args);
        m_sipps.push_back(std::move(p));
        return m_sipps.back().get();
    }

    // Runs sipp to its end; its exit code (0 = scenario passed), -1 on time-out.
    int runSipp(const QStringList &args, const QString &ip = QStringLiteral("127.0.0.1"))
    {
        QProcess *p = sipp(args, ip);
        if (!p->waitForFinished(20000)) {
            p->kill();
            p->waitForFinished(5000);
            return -1;
        }
        if (p->exitCode() != 0)
            std::cerr << p->readAll().toStdString() << std::endl;
        return p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
    }

    QString target(int port) const { return QStringLiteral("127.0.0.1:%1").arg(port); }

    // Waits until a sipp started on `port` holds it (sipp binds after it starts).
    static bool listening(int port)
    {
        return PaTest::waitUntilUdpPortHeld(port);
    }

    // Registers `user` from localPort; `accepted` says which answer the
    // scenario expects (200, or 403 after the challenge).
    int registerDevice(const QString &user, int localPort, int expires, const QString &password, bool accepted)
    {
        return runSipp({target(m_internal), QStringLiteral("-sf"),
                        scenario(accepted ? QStringLiteral("register.xml") : QStringLiteral("register_refused.xml")),
                        QStringLiteral("-inf"), credentials({{user, password}}, expires), QStringLiteral("-p"),
                        QString::number(localPort), QStringLiteral("-m"), QStringLiteral("1")});
    }
    int registerDevice(const QString &user, int localPort, int expires = 120)
    {
        return registerDevice(user, localPort, expires, QStringLiteral("pw") + user, true);
    }

    QStringList registrations() const
    {
        return rows(m_sw.path(QStringLiteral("db/sofia_reg_internal.db")),
                    QStringLiteral("select sip_user,status,network_ip,network_port from sip_registrations"));
    }
    QStringList channels() const
    {
        return rows(m_sw.path(QStringLiteral("db/core.db")),
                    QStringLiteral("select accountcode,callstate,application_data,initial_cid_num,initial_dest from "
                                   "channels"));
    }
    QString gatewayState(const QString &name) const
    {
        const QString xml = m_sw.console(QStringLiteral("sofia xmlstatus gateway"));
        const int at = xml.indexOf(QStringLiteral("<name>%1</name>").arg(name));
        if (at < 0)
            return QString();
        const int s = xml.indexOf(QLatin1String("<state>"), at);
        const int e = xml.indexOf(QLatin1String("</state>"), s);
        return s < 0 || e < 0 ? QString() : xml.mid(s + 7, e - s - 7);
    }

    SwitchStandIn m_sw{false};
    QTemporaryDir m_work;
    int m_internal = 0;
    int m_external = 0;
    int m_runs = 0;
    std::vector<std::unique_ptr<QProcess>> m_sipps;
};

TEST_F(SwitchSip, RegistrarBindsRefusesAndRemoves)
{
    ASSERT_TRUE(m_sw.start());
    const int device = PaTest::freeUdpPort();

    // Wrong password: challenged, then refused, and nothing is bound.
    EXPECT_EQ(registerDevice(QStringLiteral("6002"), device, 120, QStringLiteral("guess"), false), 0);
    // A user the directory does not know fares the same.
    EXPECT_EQ(registerDevice(QStringLiteral("7777"), device, 120, QStringLiteral("pw7777"), false), 0);
    EXPECT_TRUE(registrations().isEmpty()) << registrations().join(QLatin1Char(' ')).toStdString();

    // Right password: one row with the packet's source as network address.
    ASSERT_EQ(registerDevice(QStringLiteral("6001"), device), 0);
    EXPECT_EQ(registrations(), QStringList{QStringLiteral("6001|Registered(UDP)|127.0.0.1|%1").arg(device)});

    // A refresh from a new port replaces the binding instead of adding one.
    const int moved = PaTest::freeUdpPort();
    ASSERT_EQ(registerDevice(QStringLiteral("6001"), moved), 0);
    EXPECT_EQ(registrations(), QStringList{QStringLiteral("6001|Registered(UDP)|127.0.0.1|%1").arg(moved)});

    // Expires: 0 removes it at once.
    ASSERT_EQ(registerDevice(QStringLiteral("6001"), moved, 0), 0);
    EXPECT_TRUE(registrations().isEmpty());

    // A short registration lapses by itself.
    ASSERT_EQ(registerDevice(QStringLiteral("6002"), device, 1), 0);
    EXPECT_EQ(registrations().size(), 1);
    EXPECT_TRUE(PaTest::waitUntil([&] { return registrations().isEmpty(); }, 10000));

    // Keep-alives are answered.
    EXPECT_EQ(runSipp({target(m_internal), QStringLiteral("-sf"), scenario(QStringLiteral("options.xml")),
                       QStringLiteral("-m"), QStringLiteral("1")}),
              0);
}

TEST_F(SwitchSip, AccessListRefusesForeignHosts)
{
    ASSERT_TRUE(m_sw.start());
    EXPECT_EQ(runSipp({target(m_internal), QStringLiteral("-sf"), scenario(QStringLiteral("refused.xml")),
                       QStringLiteral("-m"), QStringLiteral("1"), QStringLiteral("-p"),
                       QString::number(PaTest::freeUdpPort())},
                      QStringLiteral("127.0.0.2")),
              0);
    EXPECT_TRUE(registrations().isEmpty());
    EXPECT_TRUE(channels().isEmpty());
}

TEST_F(SwitchSip, DialledDeviceRingsAnswersAndIsHungUp)
{
    ASSERT_TRUE(m_sw.start());
    const int device = PaTest::freeUdpPort();
    ASSERT_EQ(registerDevice(QStringLiteral("6001"), device), 0);

    // The device's audio port belongs to the test: the switch's RTP must
    // reach it once the call is answered.
    QUdpSocket rtp;
    ASSERT_TRUE(rtp.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    QProcess *uas = sipp({QStringLiteral("-sf"), scenario(QStringLiteral("device_answers.xml")), QStringLiteral("-p"),
                          QString::number(device), QStringLiteral("-key"), QStringLiteral("rtpport"),
                          QString::number(rtp.localPort()), QStringLiteral("-m"), QStringLiteral("1")});
    ASSERT_TRUE(uas->waitForStarted(5000));
    ASSERT_TRUE(listening(device));
    EXPECT_TRUE(m_sw.console(QStringLiteral("conference 3001@cdquality++flags{mute|endconf} bgdial user/6001 3001 3001"))
                    .startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(PaTest::waitUntil(
        [&] { return channels() == QStringList{"6001|ACTIVE|3001@cdquality++flags{mute|endconf}|3001|6001"}; }, 10000))
        << channels().join(QLatin1Char(' ')).toStdString();
    // RTP in the device's first common codec (PCMU is first in our offer,
    // the device's answer puts PCMA first: the answer decides).
    int packets = 0;
    int payloadType = -1;
    while (packets < 10 && rtp.waitForReadyRead(3000)) {
        while (rtp.hasPendingDatagrams()) {
            QByteArray d(int(rtp.pendingDatagramSize()), 0);
            rtp.readDatagram(d.data(), d.size());
            if (d.size() > 12) {
                payloadType = quint8(d[1]) & 0x7f;
                ++packets;
            }
        }
    }
    EXPECT_GE(packets, 10);
    EXPECT_EQ(payloadType, 8);
    EXPECT_TRUE(m_sw.console(QStringLiteral("conference list")).contains(QLatin1String("3001 members=1")));

    EXPECT_TRUE(m_sw.console(QStringLiteral("conference 3001 hup all")).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(channels().isEmpty());
    // The callee's scenario completes only with our BYE answered.
    ASSERT_TRUE(uas->waitForFinished(25000));
    EXPECT_EQ(PaTest::sippCompletedCalls(uas->readAll()), 1);
}

TEST_F(SwitchSip, ShutdownHangsUpEveryCallBeforeItEnds)
{
    ASSERT_TRUE(m_sw.start());
    // Two devices in a conference: each scenario completes only with the
    // switch's BYE answered.
    std::vector<QProcess *> devices;
    std::vector<std::unique_ptr<QUdpSocket>> audio;
    QStringList dial;
    for (const QString &user : {QStringLiteral("6001"), QStringLiteral("6002")}) {
        const int port = PaTest::freeUdpPort();
        ASSERT_EQ(registerDevice(user, port), 0);
        audio.push_back(std::make_unique<QUdpSocket>());
        ASSERT_TRUE(audio.back()->bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
        devices.push_back(sipp({QStringLiteral("-sf"), scenario(QStringLiteral("device_answers.xml")),
                                QStringLiteral("-p"), QString::number(port), QStringLiteral("-key"),
                                QStringLiteral("rtpport"), QString::number(audio.back()->localPort()),
                                QStringLiteral("-m"), QStringLiteral("1")}));
        ASSERT_TRUE(listening(port));
        dial << QStringLiteral("user/") + user;
    }
    for (const QString &to : dial)
        EXPECT_TRUE(m_sw.console(QStringLiteral("conference 3001@cdquality++flags{mute|endconf} bgdial %1 3001 3001")
                                     .arg(to))
                        .startsWith(QLatin1String("+OK")));
    ASSERT_TRUE(PaTest::waitUntil([&] { return channels().size() == 2; }, 10000))
        << channels().join(QLatin1Char(' ')).toStdString();
    for (auto &socket : audio)
        ASSERT_TRUE(socket->waitForReadyRead(5000));

    EXPECT_EQ(m_sw.shutdown(), 0);
    for (QProcess *device : devices) {
        ASSERT_TRUE(device->waitForFinished(25000));
        EXPECT_EQ(PaTest::sippCompletedCalls(device->readAll()), 1);
    }
}

TEST_F(SwitchSip, DeviceEndingTheCallRemovesItsRow)
{
    ASSERT_TRUE(m_sw.start());
    const int device = PaTest::freeUdpPort();
    ASSERT_EQ(registerDevice(QStringLiteral("6001"), device), 0);

    struct Case
    {
        const char *scenario;
        bool answered;  // the row turns ACTIVE before it goes
    };
    for (const Case &c : {Case{"device_hangs_up.xml", true}, Case{"device_busy.xml", false}}) {
        SCOPED_TRACE(c.scenario);
        QProcess *uas = sipp({QStringLiteral("-sf"), scenario(QString::fromLatin1(c.scenario)), QStringLiteral("-p"),
                              QString::number(device), QStringLiteral("-m"), QStringLiteral("1")});
        ASSERT_TRUE(uas->waitForStarted(5000));
        ASSERT_TRUE(listening(device));
        ASSERT_TRUE(m_sw.console(QStringLiteral("conference 3002@cdquality++flags{mute|endconf} bgdial user/6001 3002 3002"))
                        .startsWith(QLatin1String("+OK")));
        bool sawActive = false;
        EXPECT_TRUE(PaTest::waitUntil(
            [&] {
                const QStringList now = channels();
                sawActive = sawActive || (now.size() == 1 && now[0].startsWith(QLatin1String("6001|ACTIVE")));
                return sawActive || !c.answered;
            },
            10000));
        EXPECT_TRUE(PaTest::waitUntil([&] { return channels().isEmpty(); }, 10000))
            << channels().join(QLatin1Char(' ')).toStdString();
        // The conference ended with its last member.
        EXPECT_TRUE(m_sw.console(QStringLiteral("conference list")).startsWith(QLatin1String("+OK 0 ")));
        // The device's own process is stopped with the fixture: its exit
        // says nothing here (a late retransmission can keep it waiting).
        uas->kill();
        uas->waitForFinished(5000);
    }
}

TEST_F(SwitchSip, CallToAZoneNumberRunsTheDialplanAndReportsIt)
{
    HttpCaptureListener http;
    ASSERT_GT(http.port(), 0);
    ASSERT_TRUE(writeFile(m_sw.path(QStringLiteral("scripts/call_conference.lua")),
                          QStringLiteral("local caller=session:getVariable(\"caller_num\");\n"
                                         "local number=session:getVariable(\"destination_number\");\n"
                                         "local conference=session:getVariable(\"called_num\");\n"
                                         "local os = require\"os\"\n"
                                         "os.execute(\"fshttp \"..caller..\" \"..number..\" \"..conference..\" "
                                         "internal %1\")\n")
                              .arg(http.port())
                              .toUtf8()));
    ASSERT_TRUE(m_sw.start());

    const QString csv = credentials({{QStringLiteral("6002"), QStringLiteral("pw6002")}});
    QProcess *caller = sipp({target(m_internal), QStringLiteral("-sf"), scenario(QStringLiteral("call_conference.xml")),
                             QStringLiteral("-inf"), csv, QStringLiteral("-s"), QStringLiteral("3005"),
                             QStringLiteral("-d"), QStringLiteral("1500"), QStringLiteral("-m"), QStringLiteral("1"),
                             QStringLiteral("-p"), QString::number(PaTest::freeUdpPort())});
    ASSERT_TRUE(caller->waitForStarted(5000));

    // While the call lasts it is a member of the zone's conference.
    EXPECT_TRUE(PaTest::waitUntil(
        [&] { return channels() == QStringList{"6002|ACTIVE|3005@cdquality++flags{endconf}|6002|3005"}; }, 10000))
        << channels().join(QLatin1Char(' ')).toStdString();
    ASSERT_EQ(http.forms().size(), 1);
    const QMap<QString, QString> form = http.forms().first();
    EXPECT_EQ(form.value(QStringLiteral("type")), QStringLiteral("internal"));
    EXPECT_EQ(form.value(QStringLiteral("caller")), QStringLiteral("6002"));
    EXPECT_EQ(form.value(QStringLiteral("number")), QStringLiteral("3005"));
    EXPECT_EQ(form.value(QStringLiteral("conference")), QStringLiteral("3005"));

    // The caller's BYE ends the leg.
    ASSERT_TRUE(caller->waitForFinished(15000));
    EXPECT_EQ(caller->exitCode(), 0) << caller->readAll().toStdString();
    EXPECT_TRUE(PaTest::waitUntil([&] { return channels().isEmpty(); }, 10000));
}

TEST_F(SwitchSip, DeviceCallsDeviceThroughABridge)
{
    ASSERT_TRUE(m_sw.start());
    const int device = PaTest::freeUdpPort();
    ASSERT_EQ(registerDevice(QStringLiteral("6001"), device), 0);
    QUdpSocket rtp;
    ASSERT_TRUE(rtp.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    QProcess *callee = sipp({QStringLiteral("-sf"), scenario(QStringLiteral("device_answers.xml")), QStringLiteral("-p"),
                             QString::number(device), QStringLiteral("-key"), QStringLiteral("rtpport"),
                             QString::number(rtp.localPort()), QStringLiteral("-m"), QStringLiteral("1")});
    ASSERT_TRUE(callee->waitForStarted(5000));
    ASSERT_TRUE(listening(device));
    // 6002 dials 6001: the caller is answered only when the callee is.
    QProcess *caller = sipp({target(m_internal), QStringLiteral("-sf"), scenario(QStringLiteral("call_conference.xml")),
                             QStringLiteral("-inf"), credentials({{QStringLiteral("6002"), QStringLiteral("pw6002")}}),
                             QStringLiteral("-s"), QStringLiteral("6001"), QStringLiteral("-d"), QStringLiteral("1500"),
                             QStringLiteral("-m"), QStringLiteral("1"), QStringLiteral("-p"),
                             QString::number(PaTest::freeUdpPort())});
    ASSERT_TRUE(caller->waitForStarted(5000));
    EXPECT_TRUE(PaTest::waitUntil(
        [&] {
            QStringList now = channels();
            now.sort();
            return now == QStringList{"6001|ACTIVE||6002|6001", "6002|ACTIVE|user/6001|6002|6001"};
        },
        10000))
        << channels().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(rtp.waitForReadyRead(3000));
    // The caller hangs up: the callee gets BYE and both rows go.
    ASSERT_TRUE(caller->waitForFinished(15000));
    EXPECT_EQ(caller->exitCode(), 0) << caller->readAll().toStdString();
    ASSERT_TRUE(callee->waitForFinished(25000));
    EXPECT_EQ(PaTest::sippCompletedCalls(callee->readAll()), 1);
    EXPECT_TRUE(PaTest::waitUntil([&] { return channels().isEmpty(); }, 10000));
}

TEST_F(SwitchSip, TrunkCallFollowsThePublicDialplan)
{
    HttpCaptureListener http;
    ASSERT_GT(http.port(), 0);
    ASSERT_TRUE(writeFile(m_sw.path(QStringLiteral("scripts/voiptrunk_conference.lua")),
                          QStringLiteral("local caller=session:getVariable(\"caller_num\");\n"
                                         "local number=session:getVariable(\"destination_number\");\n"
                                         "local conference=session:getVariable(\"called_num\");\n"
                                         "local os = require\"os\"\n"
                                         "os.execute(\"fshttp \"..caller..\" \"..number..\" \"..conference..\" "
                                         "external %1\")\n")
                              .arg(http.port())
                              .toUtf8()));
    // The trunk's server is this host; 127.0.0.2 stands for anyone else.
    ASSERT_TRUE(writeFile(m_sw.path(QStringLiteral("conf/dialplan/public/voip3007.xml")),
                          "<include>\n  <extension name=\"3007voiptrunk127.0.0.1:5060\">\n"
                          "    <condition field=\"network_addr\" expression=\"^(127\\.0\\.0\\.1)$\">\n"
                          "      <action application=\"log\" data=\"ipaddr=$1\"/>\n    </condition>\n"
                          "    <condition field=\"destination_number\" expression=\"^(0301234)$\">\n"
                          "      <action application=\"answer\"/>\n"
                          "      <action application=\"set\" data=\"called_num=3007\"/>\n"
                          "      <action application=\"set\" data=\"caller_num=${caller_id_number}\"/>\n"
                          "      <action application=\"lua\" data=\"voiptrunk_conference.lua\"/>\n"
                          "      <action application=\"conference\" data=\"3007@cdquality++flags{endconf}\"/>\n"
                          "    </condition>\n  </extension>\n</include>\n"));
    ASSERT_TRUE(m_sw.start());

    QProcess *caller = sipp({target(m_external), QStringLiteral("-sf"), scenario(QStringLiteral("trunk_call.xml")),
                             QStringLiteral("-s"), QStringLiteral("0301234"), QStringLiteral("-key"),
                             QStringLiteral("caller"), QStringLiteral("+4930555"), QStringLiteral("-d"),
                             QStringLiteral("1500"), QStringLiteral("-m"), QStringLiteral("1"), QStringLiteral("-p"),
                             QString::number(PaTest::freeUdpPort())});
    ASSERT_TRUE(caller->waitForStarted(5000));
    const QStringList expected{"|ACTIVE|3007@cdquality++flags{endconf}|+4930555|0301234|Outbound Call"};
    EXPECT_TRUE(PaTest::waitUntil(
        [&] {
            return rows(m_sw.path(QStringLiteral("db/core.db")),
                        QStringLiteral("select accountcode,callstate,application_data,initial_cid_num,initial_dest,"
                                       "cid_name from channels")) == expected;
        },
        10000))
        << channels().join(QLatin1Char(' ')).toStdString();
    ASSERT_EQ(http.forms().size(), 1);
    EXPECT_EQ(http.forms().first().value(QStringLiteral("type")), QStringLiteral("external"));
    EXPECT_EQ(http.forms().first().value(QStringLiteral("number")), QStringLiteral("0301234"));
    EXPECT_EQ(http.forms().first().value(QStringLiteral("caller")), QStringLiteral("+4930555"));
    EXPECT_EQ(http.forms().first().value(QStringLiteral("conference")), QStringLiteral("3007"));
    ASSERT_TRUE(caller->waitForFinished(15000));
    EXPECT_EQ(caller->exitCode(), 0) << caller->readAll().toStdString();
    EXPECT_TRUE(PaTest::waitUntil([&] { return channels().isEmpty(); }, 10000));

    // The same number from another host matches no route.
    EXPECT_EQ(runSipp({target(m_external), QStringLiteral("-sf"), scenario(QStringLiteral("unrouted.xml")),
                       QStringLiteral("-s"), QStringLiteral("0301234"), QStringLiteral("-m"), QStringLiteral("1"),
                       QStringLiteral("-p"), QString::number(PaTest::freeUdpPort())},
                      QStringLiteral("127.0.0.2")),
              0);
    EXPECT_EQ(http.forms().size(), 1);
}

TEST_F(SwitchSip, GatewaysRegisterUpstreamAndReportTheirState)
{
    const int good = PaTest::freeUdpPort();
    const int bad = PaTest::freeUdpPort();
    auto gateway = [&](const QString &name, int port, const QString &password) {
        return writeFile(m_sw.path(QStringLiteral("conf/sip_profiles/external/%1.xml").arg(name)),
                         QStringLiteral("<include>\n  <gateway name=\"%1\">\n"
                                        "    <param name=\"realm\" value=\"127.0.0.1:%2\"/>\n"
                                        "    <param name=\"username\" value=\"0301234\"/>\n"
                                        "    <param name=\"password\" value=\"%3\"/>\n"
                                        "    <param name=\"register\" value=\"true\"/>\n"
                                        "    <param name=\"expire-seconds\" value=\"600\"/>\n"
                                        "  </gateway>\n</include>")
                             .arg(name)
                             .arg(port)
                             .arg(password)
                             .toUtf8());
    };
    ASSERT_TRUE(gateway(QStringLiteral("exgwrtp3001"), good, QStringLiteral("trunkpw")));
    ASSERT_TRUE(gateway(QStringLiteral("exgwrtp3002"), bad, QStringLiteral("wrong")));
    // The zone's RTP gateway registers with this switch's own internal profile.
    ASSERT_TRUE(addUser(QStringLiteral("rtp3001"), QStringLiteral("rtp3001")));
    ASSERT_TRUE(writeFile(m_sw.path(QStringLiteral("conf/sip_profiles/internal/ingwrtp3001.xml")),
                          QStringLiteral("<include>\n  <gateway name=\"ingwrtp3001\">\n"
                                         "    <param name=\"realm\" value=\"127.0.0.1:%1\"/>\n"
                                         "    <param name=\"username\" value=\"rtp3001\"/>\n"
                                         "    <param name=\"password\" value=\"rtp3001\"/>\n"
                                         "    <param name=\"register\" value=\"true\"/>\n"
                                         "  </gateway>\n</include>")
                              .arg(m_internal)
                              .toUtf8()));

    const QStringList registrarArgs{QStringLiteral("-sf"), scenario(QStringLiteral("upstream_registrar.xml")),
                                    QStringLiteral("-m"), QStringLiteral("1")};
    QProcess *up = sipp(registrarArgs + QStringList{QStringLiteral("-p"), QString::number(good)});
    QProcess *down = sipp(registrarArgs + QStringList{QStringLiteral("-p"), QString::number(bad)});
    ASSERT_TRUE(up->waitForStarted(5000) && down->waitForStarted(5000));
    ASSERT_TRUE(listening(good) && listening(bad));
    ASSERT_TRUE(m_sw.start());

    EXPECT_TRUE(PaTest::waitUntil([&] { return gatewayState(QStringLiteral("exgwrtp3001")) == "REGED"; }, 10000))
        << gatewayState(QStringLiteral("exgwrtp3001")).toStdString();
    EXPECT_TRUE(PaTest::waitUntil([&] { return gatewayState(QStringLiteral("exgwrtp3002")) == "FAIL_WAIT"; }, 10000))
        << gatewayState(QStringLiteral("exgwrtp3002")).toStdString();
    EXPECT_TRUE(PaTest::waitUntil([&] { return gatewayState(QStringLiteral("ingwrtp3001")) == "REGED"; }, 10000));
    EXPECT_TRUE(PaTest::waitUntil(
        [&] { return registrations().join(QLatin1Char(' ')).startsWith(QLatin1String("rtp3001|Registered")); },
        10000))
        << registrations().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(up->waitForFinished(10000));
    EXPECT_EQ(up->exitCode(), 0) << up->readAll().toStdString();

    // killgw drops the profile's gateways; the rescan brings them back.
    m_sw.console(QStringLiteral("sofia profile external killgw _all_"));
    EXPECT_EQ(gatewayState(QStringLiteral("exgwrtp3001")), QString());
    EXPECT_EQ(gatewayState(QStringLiteral("ingwrtp3001")), QStringLiteral("REGED"));
    EXPECT_TRUE(m_sw.console(QStringLiteral("sofia profile external rescan")).startsWith(QLatin1String("Reload XML [Success]")));
    EXPECT_FALSE(gatewayState(QStringLiteral("exgwrtp3001")).isEmpty());
}

TEST_F(SwitchSip, HostileDatagramsGetAnAnswerOrADrop)
{
    ASSERT_TRUE(m_sw.start());
    QUdpSocket lan;
    ASSERT_TRUE(lan.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0));
    const QHostAddress sw(QStringLiteral("127.0.0.1"));
    auto head = [&](const QByteArray &method, int n) {
        return method + " sip:127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:" + QByteArray::number(lan.localPort()) +
               ";branch=z9hG4bKh" + QByteArray::number(n) + "\r\nFrom: <sip:6001@127.0.0.1>;tag=f" +
               QByteArray::number(n) + "\r\nTo: <sip:6001@127.0.0.1>\r\nCall-ID: hostile" + QByteArray::number(n) +
               "\r\nCSeq: 1 " + method + "\r\n";
    };
    const QList<QByteArray> junk{
        QByteArray("\x00\xff garbage", 11),
        "REGISTER sip:127.0.0.1 SIP/2.0\r\n\r\n",  // nothing to answer to
        head("REGISTER", 1) + "Contact: <sip:6001@127.0.0.1:1>\r\nContent-Length: 99\r\n\r\nshort",
        head("REGISTER", 2) + "Authorization: Digest username=\"6001\", realm=\"127.0.0.1\", nonce=\"0.0\", "
                              "uri=\"sip:127.0.0.1\", response=\"00\"\r\nContent-Length: 0\r\n\r\n",
        head("INVITE", 3) + "Content-Type: application/sdp\r\nContent-Length: 9\r\n\r\nv=0\r\nm=x",
        head("SUBSCRIBE", 4) + "Content-Length: 0\r\n\r\n",
        head("REGISTER", 5) + "X-Pad: " + QByteArray(20000, 'x') + "\r\nContent-Length: 0\r\n\r\n",
    };
    int answered = 0;
    QList<QByteArray> statuses;
    auto collect = [&](int waitMs) {
        while (lan.waitForReadyRead(waitMs)) {
            while (lan.hasPendingDatagrams()) {
                QByteArray d(int(lan.pendingDatagramSize()), 0);
                lan.readDatagram(d.data(), d.size());
                ++answered;
                const QByteArray status = d.mid(8, 3);
                if (!statuses.contains(status))
                    statuses << status;
            }
        }
    };
    for (const QByteArray &d : junk)
        lan.writeDatagram(d, sw, m_internal);
    // A flood of fresh REGISTERs, paced only by what the socket buffers hold:
    // each is challenged or turned away, none binds.
    for (int n = 100; n < 3100; ++n) {
        lan.writeDatagram(head("REGISTER", n) + "Contact: <sip:6001@127.0.0.1:1>\r\nContent-Length: 0\r\n\r\n", sw,
                          m_internal);
        if (n % 100 == 0)
            collect(20);
    }
    collect(2000);
    EXPECT_GT(answered, 300);
    for (const QByteArray &status : statuses)
        EXPECT_TRUE(status == "400" || status == "401" || status == "405" || status == "403" || status == "488" ||
                    status == "503" || status == "100")
            << status.toStdString();
    EXPECT_TRUE(registrations().isEmpty());
    // Still serving.
    EXPECT_EQ(runSipp({target(m_internal), QStringLiteral("-sf"), scenario(QStringLiteral("options.xml")),
                       QStringLiteral("-m"), QStringLiteral("1")}),
              0);
    EXPECT_TRUE(m_sw.console(QStringLiteral("conference list")).startsWith(QLatin1String("+OK")));
}

} // namespace
