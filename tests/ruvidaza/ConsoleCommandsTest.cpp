// The console grammar and the conference commands, through da_rid.
#include "SwitchStandIn.h"
#include "TestSupport.h"

#include <QDataStream>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QUuid>
#include <QVariant>
#include <gtest/gtest.h>

using PaTest::SwitchStandIn;

namespace {

class ConsoleCommands : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_switch = new SwitchStandIn();
        ASSERT_TRUE(s_switch->start());
    }
    static void TearDownTestSuite()
    {
        EXPECT_EQ(s_switch->shutdown(), 0);
        delete s_switch;
        s_switch = nullptr;
    }
    QString run(const QString &command) const { return s_switch->console(command); }

    // Every channel row as "accountcode:callstate:application_data".
    QStringList channels() const
    {
        const QString name = QUuid::createUuid().toString();
        QStringList out;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(s_switch->path(QStringLiteral("db/core.db")));
            if (db.open()) {
                QSqlQuery q(QStringLiteral("select accountcode,callstate,application_data,initial_cid_num,cid_name,"
                                           "initial_dest from channels"),
                            db);
                while (q.next())
                    out << QStringLiteral("%1:%2:%3:%4:%5:%6")
                               .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                    q.value(3).toString(), q.value(4).toString(), q.value(5).toString());
            }
        }
        QSqlDatabase::removeDatabase(name);
        return out;
    }

    static SwitchStandIn *s_switch;
};

SwitchStandIn *ConsoleCommands::s_switch = nullptr;

} // namespace

TEST_F(ConsoleCommands, RefusesMalformedAndUnknownCommandsWithErr)
{
    const QStringList refused = {
        QStringLiteral("bogus"),
        QStringLiteral(""),
        QStringLiteral("conference list\nshutdown"),         // a second command smuggled in
        QStringLiteral("reloadxml\rshutdown"),
        QStringLiteral("conference 3001 hup"),
        QStringLiteral("conference 3001 hup all extra"),
        QStringLiteral("conference 3001 file-vol 14"),
        QStringLiteral("conference 3001 file-vol -14"),
        QStringLiteral("conference 3001 file-vol 1 2"),
        QStringLiteral("conference 3001 file-vol loud"),
        QStringLiteral("conference 3001 frobnicate"),
        QStringLiteral("conference ../x hup all"),
        QStringLiteral("conference 3001@cdquality bgdial user/6001 3001 3001 extra"),
        QStringLiteral("conference 3001@cdquality bgdial user/60;01 3001 3001"),
        QStringLiteral("conference 3001@cdquality bgdial user/../x 3001 3001"),
        QStringLiteral("conference 3001@cdquality bgdial sofia/gateway/a/b/c 3001 3001"),
        QStringLiteral("conference 3001@cdquality bgdial loopback/x 3001 3001"),
        QStringLiteral("uuid_kill"),
        QStringLiteral("uuid_kill a b"),
        QStringLiteral("uuid_kill no-such-uuid"),
        QStringLiteral("sofia profile other rescan"),
        QStringLiteral("sofia status"),
        QStringLiteral("shutdown now"),
        QStringLiteral("test"),
        QStringLiteral("test reg add"),
        QStringLiteral("test reg add 6001 answer=sometimes"),
    };
    for (const QString &cmd : refused) {
        int rc = -1;
        const QString answer = s_switch->console(cmd, &rc);
        EXPECT_TRUE(answer.startsWith(QLatin1String("-ERR "))) << cmd.toStdString() << " -> " << answer.toStdString();
        EXPECT_TRUE(answer.endsWith(QLatin1Char('\n'))) << cmd.toStdString();
        EXPECT_EQ(rc, 1) << cmd.toStdString();
    }
    // Still alive and serving after all of that.
    EXPECT_TRUE(run(QStringLiteral("conference list")).startsWith(QLatin1String("+OK")));
}

TEST_F(ConsoleCommands, DialPlayAndHangUpAConference)
{
    ASSERT_TRUE(run(QStringLiteral("test reg add 6101")).startsWith(QLatin1String("+OK")));
    ASSERT_TRUE(run(QStringLiteral("test reg add 6102 answer=ring")).startsWith(QLatin1String("+OK")));

    EXPECT_TRUE(run(QStringLiteral("conference 3101@cdquality++flags{mute|endconf} bgdial user/6101 3101 3101"))
                    .startsWith(QLatin1String("+OK Job-UUID: ")));
    EXPECT_TRUE(run(QStringLiteral("conference 3101@cdquality++flags{hear|speak|endconf} bgdial user/6102 3101 3101"))
                    .startsWith(QLatin1String("+OK")));
    // Not registered: accepted, then the leg fails and leaves no row.
    EXPECT_TRUE(run(QStringLiteral("conference 3101@cdquality++flags{mute|endconf} bgdial user/6199 3101 3101"))
                    .startsWith(QLatin1String("+OK")));

    ASSERT_TRUE(PaTest::waitUntil([&] {
        return channels().contains(QStringLiteral("6101:ACTIVE:3101@cdquality++flags{mute|endconf}:3101:3101:6101"));
    }));
    EXPECT_TRUE(channels().contains(QStringLiteral("6102:RINGING:3101@cdquality++flags{hear|speak|endconf}:3101:3101:6102")));
    EXPECT_TRUE(PaTest::waitUntil([&] { return channels().size() == 2; }));
    EXPECT_TRUE(run(QStringLiteral("conference list")).contains(QLatin1String("3101 members=2")));

    // File play: a path with spaces and an apostrophe needs no escaping.
    const QString wav = s_switch->path(QStringLiteral("it's a test.wav"));
    ASSERT_TRUE(PaTest::writeWav(wav, 60000));
    EXPECT_TRUE(run(QStringLiteral("conference 3101 stop")).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(run(QStringLiteral("conference 3101 play_status")).startsWith(QLatin1String("-ERR")));
    EXPECT_TRUE(run(QStringLiteral("conference 3101 play '%1'").arg(wav)).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(run(QStringLiteral("conference 3101 play_status")).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(run(QStringLiteral("conference 3101 file-vol -13")).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(run(QStringLiteral("conference 3101 file-vol 13")).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(run(QStringLiteral("conference 3101 play '%1.missing'").arg(wav)).startsWith(QLatin1String("-ERR")));
    EXPECT_TRUE(run(QStringLiteral("conference 3101 stop")).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(run(QStringLiteral("conference 3101 play_status")).startsWith(QLatin1String("-ERR")));

    // A short file ends by itself.
    const QString shortWav = s_switch->path(QStringLiteral("short.wav"));
    ASSERT_TRUE(PaTest::writeWav(shortWav, 200));
    EXPECT_TRUE(run(QStringLiteral("conference 3101 play '%1'").arg(shortWav)).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(PaTest::waitUntil(
        [&] { return run(QStringLiteral("conference 3101 play_status")).startsWith(QLatin1String("-ERR")); }));

    // Not a media file at all.
    EXPECT_TRUE(run(QStringLiteral("conference 3101 play '%1'").arg(s_switch->path(QStringLiteral("conf/vars.xml"))))
                    .startsWith(QLatin1String("-ERR")));

    EXPECT_TRUE(run(QStringLiteral("conference 3101 hup all")).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(channels().isEmpty());
    EXPECT_TRUE(run(QStringLiteral("conference 3101 hup all")).startsWith(QLatin1String("-ERR")));
    EXPECT_TRUE(run(QStringLiteral("conference 3101 play_status")).startsWith(QLatin1String("-ERR")));
}

TEST_F(ConsoleCommands, UuidKillEndsOneLeg)
{
    ASSERT_TRUE(run(QStringLiteral("test reg add 6201")).startsWith(QLatin1String("+OK")));
    const QString answer = run(QStringLiteral("conference 3201@cdquality++flags{mute|endconf} bgdial user/6201 3201 3201"));
    ASSERT_TRUE(answer.startsWith(QLatin1String("+OK Job-UUID: ")));
    const QString uuid = answer.mid(14).trimmed();
    EXPECT_TRUE(run(QStringLiteral("uuid_kill ") + uuid).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(run(QStringLiteral("uuid_kill ") + uuid).startsWith(QLatin1String("-ERR")));
    EXPECT_FALSE(run(QStringLiteral("conference list")).contains(QLatin1String("3201")));
}

TEST_F(ConsoleCommands, InjectedLegsAndPlayStatus)
{
    const QString uuid =
        run(QStringLiteral("test leg add 6301 conference=3301@cdquality++flags{endconf} state=RINGING")).mid(4).trimmed();
    ASSERT_FALSE(uuid.isEmpty());
    EXPECT_TRUE(channels().contains(QStringLiteral("6301:RINGING:3301@cdquality++flags{endconf}:6301:6301:6301")));
    EXPECT_TRUE(run(QStringLiteral("test leg state %1 ACTIVE").arg(uuid)).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(channels().contains(QStringLiteral("6301:ACTIVE:3301@cdquality++flags{endconf}:6301:6301:6301")));

    EXPECT_TRUE(run(QStringLiteral("test play-status 3301 playing")).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(run(QStringLiteral("conference 3301 play_status")).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(run(QStringLiteral("test play-status 3301 ended")).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(run(QStringLiteral("conference 3301 play_status")).startsWith(QLatin1String("-ERR")));

    EXPECT_TRUE(run(QStringLiteral("test hangup 6301")).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(channels().isEmpty());
    EXPECT_TRUE(run(QStringLiteral("test reg del 6999")).startsWith(QLatin1String("-ERR")));
}

TEST_F(ConsoleCommands, WrongSecretGetsNoAnswer)
{
    QFile runFile(s_switch->path(QStringLiteral("run/console")));
    ASSERT_TRUE(runFile.open(QIODevice::ReadOnly));
    const QByteArray text = runFile.readAll();
    const int port = text.mid(text.indexOf("port=") + 5).split('\n').first().toInt();
    ASSERT_GT(port, 0);

    QTcpSocket sock;
    sock.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    ASSERT_TRUE(sock.waitForConnected(5000));
    auto frame = [](const QByteArray &payload) {
        QByteArray out(4, '\0');
        const quint32 n = quint32(payload.size());
        out[0] = char(n >> 24);
        out[1] = char(n >> 16);
        out[2] = char(n >> 8);
        out[3] = char(n);
        return out + payload;
    };
    QByteArray got;
    ASSERT_TRUE(PaTest::waitUntil([&] {
        got += sock.readAll();
        return got.size() >= 10;
    }));
    EXPECT_TRUE(got.mid(4).startsWith("hello ")) << got.toStdString();
    sock.write(frame("auth " + QByteArray(64, '0')) + frame("cmd shutdown"));
    sock.flush();
    // The switch closes the connection without an answer.
    EXPECT_TRUE(PaTest::waitUntil([&] {
        got += sock.readAll();
        return sock.state() == QAbstractSocket::UnconnectedState;
    }, 10000));
    got += sock.readAll();
    EXPECT_FALSE(got.contains("+OK"));
    EXPECT_FALSE(got.contains("-ERR"));
    EXPECT_TRUE(s_switch->isRunning());
    EXPECT_TRUE(run(QStringLiteral("conference list")).startsWith(QLatin1String("+OK")));
}

TEST(ConsoleTestHooks, AreRefusedUnlessEnabled)
{
    SwitchStandIn sw(false);
    ASSERT_TRUE(sw.start());
    EXPECT_EQ(sw.console(QStringLiteral("test reg add 6001")), QStringLiteral("-ERR test hooks disabled\n"));
    EXPECT_EQ(sw.shutdown(), 0);
}
