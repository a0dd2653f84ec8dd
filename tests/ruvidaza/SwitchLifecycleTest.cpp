// The switch process: start, readiness, single instance, exit codes, state
// kept across restarts.
#include "SwitchStandIn.h"
#include "TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>
#include <QVariant>
#include <gtest/gtest.h>
#include <sys/stat.h>

using PaTest::SwitchStandIn;

namespace {

// Reads one table of a state file the way an outside reader does.
QStringList column(const QString &file, const QString &sql)
{
    const QString name = QUuid::createUuid().toString();
    QStringList out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql)) {
                while (q.next())
                    out << q.value(0).toString();
            } else {
                out << QStringLiteral("<error>");
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}

ino_t inode(const QString &path)
{
    struct stat st {};
    return ::stat(path.toLocal8Bit().constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

TEST(SwitchLifecycle, StartsAnswersAndShutsDownWithExitZero)
{
    SwitchStandIn sw;
    ASSERT_TRUE(sw.isValid());
    ASSERT_TRUE(sw.start());
    EXPECT_TRUE(sw.console(QStringLiteral("conference list")).startsWith(QLatin1String("+OK")));

    // The console secret and run file are private to this user.
    EXPECT_EQ(QFileInfo(sw.path(QStringLiteral("run/secret"))).permissions() & 0x0077, 0);
    EXPECT_EQ(QFile::permissions(sw.path(QStringLiteral("run"))) & (QFile::ReadGroup | QFile::ReadOther), 0);
    EXPECT_TRUE(QFile::exists(sw.path(QStringLiteral("db/core.db"))));
    EXPECT_TRUE(QFile::exists(sw.path(QStringLiteral("db/sofia_reg_internal.db"))));

    int rc = -1;
    const QString answer = sw.console(QStringLiteral("shutdown"), &rc);
    EXPECT_TRUE(answer.startsWith(QLatin1String("+OK"))) << answer.toStdString();
    EXPECT_EQ(sw.waitForExit(), 0);
    EXPECT_FALSE(QFile::exists(sw.path(QStringLiteral("run/console"))));

    // With the switch gone, the client prints nothing and says so by exit code.
    EXPECT_EQ(sw.console(QStringLiteral("conference list"), &rc), QString());
    EXPECT_EQ(rc, 2);
}

TEST(SwitchLifecycle, SigtermIsAnOrderlyShutdown)
{
    SwitchStandIn sw;
    ASSERT_TRUE(sw.start());
    ASSERT_TRUE(sw.console(QStringLiteral("test reg add 6001")).startsWith(QLatin1String("+OK")));
    ASSERT_TRUE(sw.console(QStringLiteral("conference 3001@cdquality++flags{mute|endconf} bgdial user/6001 3001 3001"))
                    .startsWith(QLatin1String("+OK")));
    sw.terminate();
    EXPECT_EQ(sw.waitForExit(), 0);
    // Calls end with the switch; registrations stay.
    EXPECT_TRUE(column(sw.path(QStringLiteral("db/core.db")), QStringLiteral("select uuid from channels")).isEmpty());
    EXPECT_EQ(column(sw.path(QStringLiteral("db/sofia_reg_internal.db")), QStringLiteral("select sip_user from sip_registrations")),
              QStringList{QStringLiteral("6001")});
}

TEST(SwitchLifecycle, SecondInstanceOnTheSameFolderIsRefused)
{
    SwitchStandIn sw;
    ASSERT_TRUE(sw.start());
    QProcess second;
    second.start(sw.path(QStringLiteral("RUVidazaConsole")), {QStringLiteral("-nc"), QStringLiteral("-nonat")});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_NE(second.exitCode(), 0);
    // The first one is untouched and still reachable.
    EXPECT_TRUE(sw.console(QStringLiteral("conference list")).startsWith(QLatin1String("+OK")));
    EXPECT_EQ(sw.shutdown(), 0);
}

TEST(SwitchLifecycle, StartFailuresEndWithNonZeroExit)
{
    {
        SwitchStandIn sw;
        ASSERT_TRUE(QFile::remove(sw.path(QStringLiteral("conf/vars.xml"))));
        sw.launch();
        const int rc = sw.waitForExit();
        EXPECT_NE(rc, 0);
        EXPECT_NE(rc, -1);
    }
    {
        SwitchStandIn sw;
        // A state file that cannot be opened as a database.
        ASSERT_TRUE(QDir().mkpath(sw.path(QStringLiteral("db/core.db"))));
        sw.launch();
        const int rc = sw.waitForExit();
        EXPECT_NE(rc, 0);
        EXPECT_NE(rc, -1);
    }
    {
        SwitchStandIn sw;
        QFile bad(sw.path(QStringLiteral("conf/dialplan/default.xml")));
        ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
        bad.write("<include><context name=\"default\">");
        bad.close();
        sw.launch();
        EXPECT_GT(sw.waitForExit(), 0);
    }
}

TEST(SwitchLifecycle, RestartKeepsFilesAndUnexpiredRegistrations)
{
    SwitchStandIn sw;
    ASSERT_TRUE(sw.start());
    const QString regDb = sw.path(QStringLiteral("db/sofia_reg_internal.db"));
    const QString coreDb = sw.path(QStringLiteral("db/core.db"));
    const ino_t regInode = inode(regDb);
    const ino_t coreInode = inode(coreDb);
    ASSERT_TRUE(sw.console(QStringLiteral("test reg add 6001 expires=3600")).startsWith(QLatin1String("+OK")));
    ASSERT_TRUE(sw.console(QStringLiteral("test reg add 6002 expires=1")).startsWith(QLatin1String("+OK")));
    const qint64 shortExpiry = QDateTime::currentSecsSinceEpoch() + 1;
    ASSERT_TRUE(sw.console(QStringLiteral("test leg add 6001 conference=3001@cdquality++flags{endconf}"))
                    .startsWith(QLatin1String("+OK")));

    // A crash leaves stale rows and runtime files behind.
    sw.kill();
    EXPECT_EQ(column(coreDb, QStringLiteral("select accountcode from channels")), QStringList{QStringLiteral("6001")});
    // Let the short binding expire while the switch is down.
    ASSERT_TRUE(PaTest::waitUntil([&] { return QDateTime::currentSecsSinceEpoch() > shortExpiry; }, 5000));

    ASSERT_TRUE(sw.start());
    EXPECT_EQ(inode(regDb), regInode);
    EXPECT_EQ(inode(coreDb), coreInode);
    EXPECT_TRUE(column(coreDb, QStringLiteral("select uuid from channels")).isEmpty());
    EXPECT_EQ(column(regDb, QStringLiteral("select sip_user from sip_registrations")), QStringList{QStringLiteral("6001")});

    // The kept binding still behaves as a registered device.
    ASSERT_TRUE(sw.console(QStringLiteral("conference 3001@cdquality++flags{mute|endconf} bgdial user/6001 3001 3001"))
                    .startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(PaTest::waitUntil([&] {
        return column(coreDb, QStringLiteral("select callstate from channels")) == QStringList{QStringLiteral("ACTIVE")};
    }));
    EXPECT_EQ(sw.shutdown(), 0);
}

TEST(SwitchLifecycle, RegistrationsExpireWhileRunning)
{
    SwitchStandIn sw;
    ASSERT_TRUE(sw.start());
    // Long enough to be seen before it lapses on a busy machine (the console
    // client is a process of its own), short enough to watch it lapse.
    ASSERT_TRUE(sw.console(QStringLiteral("test reg add 6005 expires=4")).startsWith(QLatin1String("+OK")));
    const QString regDb = sw.path(QStringLiteral("db/sofia_reg_internal.db"));
    EXPECT_EQ(column(regDb, QStringLiteral("select sip_user from sip_registrations")), QStringList{QStringLiteral("6005")});
    EXPECT_TRUE(PaTest::waitUntil(
        [&] { return column(regDb, QStringLiteral("select sip_user from sip_registrations")).isEmpty(); }, 15000));
}

TEST(SwitchLifecycle, ACopyOfARunningFolderDoesNotTalkToTheOriginal)
{
    SwitchStandIn sw;
    ASSERT_TRUE(sw.start());
    QTemporaryDir other;
    const QString copy = other.path() + QStringLiteral("/RUVIDAZA");
    QProcess cp;
    cp.start(QStringLiteral("/bin/cp"), {QStringLiteral("-a"), sw.folder(), copy});
    ASSERT_TRUE(cp.waitForFinished(30000));
    ASSERT_TRUE(QFile::exists(copy + QStringLiteral("/run/console")));

    QProcess client;
    client.start(copy + QStringLiteral("/da_rid"), {QStringLiteral("-x"), QStringLiteral("shutdown")});
    ASSERT_TRUE(client.waitForFinished(30000));
    EXPECT_EQ(client.readAllStandardOutput(), QByteArray());
    EXPECT_EQ(client.exitCode(), 2);
    EXPECT_TRUE(sw.isRunning());
    EXPECT_TRUE(sw.console(QStringLiteral("conference list")).startsWith(QLatin1String("+OK")));
    EXPECT_EQ(sw.shutdown(), 0);
}

namespace {

// Whether `pid` still runs (a zombie waiting to be reaped has ended).
bool running(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    return close > 0 && close + 2 < line.size() && line.at(close + 2) != 'Z' && line.at(close + 2) != 'X';
}

} // namespace

// The program names itself in the switch's environment. A shell stands in for
// the program here: it starts one switch that names it and one that does not,
// then is killed outright.
TEST(SwitchLifecycle, SwitchEndsWithTheProgramThatStartedItAndOnlyThen)
{
    SwitchStandIn watched(false);
    SwitchStandIn byHand(false);
    ASSERT_TRUE(watched.isValid() && byHand.isValid());
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("RUVIDAZA_PROGRAM_PID"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral("/bin/sh"),
                  {QStringLiteral("-c"),
                   QStringLiteral("RUVIDAZA_PROGRAM_PID=$$ \"$1\" -nc -nonat & echo $!; \"$2\" -nc -nonat & echo $!; wait"),
                   QStringLiteral("sh"), watched.path(QStringLiteral("RUVidazaConsole")),
                   byHand.path(QStringLiteral("RUVidazaConsole"))});
    ASSERT_TRUE(program.waitForStarted(10000));
    ASSERT_TRUE(PaTest::waitUntil([&] { return program.peek(64).count('\n') >= 2; }, 10000));
    const qint64 watchedPid = program.readLine().trimmed().toLongLong();
    const qint64 byHandPid = program.readLine().trimmed().toLongLong();
    auto answers = [](const SwitchStandIn &sw) {
        return sw.console(QStringLiteral("conference list")).startsWith(QLatin1String("+OK"));
    };
    ASSERT_TRUE(PaTest::waitUntil([&] { return answers(watched) && answers(byHand); }, 30000));

    program.kill();
    ASSERT_TRUE(program.waitForFinished(10000));
    // Within a few seconds, and the orderly way: its console file is gone.
    EXPECT_TRUE(PaTest::waitUntil([&] { return !running(watchedPid); }, 5000));
    EXPECT_FALSE(QFile::exists(watched.path(QStringLiteral("run/console"))));
    EXPECT_TRUE(running(byHandPid));
    EXPECT_TRUE(answers(byHand));

    byHand.console(QStringLiteral("shutdown"));
    EXPECT_TRUE(PaTest::waitUntil([&] { return !running(byHandPid); }, 10000));
}

TEST(SwitchLifecycle, SwitchWhoseProgramHasAlreadyEndedDoesNotStart)
{
    QProcess gone;
    gone.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(gone.waitForStarted(10000));
    const qint64 gonePid = gone.processId();
    gone.kill();
    ASSERT_TRUE(gone.waitForFinished(10000));
    SwitchStandIn sw(false);
    ASSERT_TRUE(sw.isValid());
    qputenv("RUVIDAZA_PROGRAM_PID", QByteArray::number(gonePid));
    sw.launch();
    qunsetenv("RUVIDAZA_PROGRAM_PID");
    EXPECT_EQ(sw.waitForExit(10000), 7);
    EXPECT_FALSE(QFile::exists(sw.path(QStringLiteral("run/console"))));
}

// The program asks for the switch it started by process id; any other
// switch's console counts as no answer.
TEST(SwitchLifecycle, ConsoleClientAnswersOnlyForTheSwitchItIsToldOf)
{
    SwitchStandIn sw(false);
    ASSERT_TRUE(sw.start());
    const struct {
        QString pid;
        bool answered;
    } cases[] = {
        {QString(), true},
        {QString::number(sw.pid()), true},
        {QString::number(sw.pid() + 1), false},
        {QStringLiteral("junk"), false},
    };
    for (const auto &c : cases) {
        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!c.pid.isNull())
            env.insert(QStringLiteral("RUVIDAZA_SWITCH_PID"), c.pid);
        client.setProcessEnvironment(env);
        client.start(sw.path(QStringLiteral("da_rid")), {QStringLiteral("-x"), QStringLiteral("conference list")});
        ASSERT_TRUE(client.waitForFinished(30000));
        const QByteArray out = client.readAllStandardOutput();
        EXPECT_EQ(out.startsWith("+OK"), c.answered) << qPrintable(c.pid) << out.constData();
        EXPECT_EQ(client.exitCode() == 2, !c.answered) << qPrintable(c.pid);
    }
    EXPECT_EQ(sw.shutdown(), 0);
}

// The console journal gets a line for every command, several a second while
// zones play: a full file moves aside instead of growing without end.
TEST(SwitchLifecycle, FullJournalMovesAsideInsteadOfGrowing)
{
    SwitchStandIn sw;
    ASSERT_TRUE(sw.isValid());
    QDir().mkpath(sw.path(QStringLiteral("log")));
    const qint64 full = 8 * 1024 * 1024;
    {
        QFile journal(sw.path(QStringLiteral("log/console.log")));
        ASSERT_TRUE(journal.open(QIODevice::WriteOnly));
        ASSERT_TRUE(journal.resize(full));
    }
    ASSERT_TRUE(sw.start());
    EXPECT_TRUE(sw.console(QStringLiteral("conference list")).startsWith(QLatin1String("+OK")));
    EXPECT_EQ(QFileInfo(sw.path(QStringLiteral("log/console.log.1"))).size(), full);
    QFile journal(sw.path(QStringLiteral("log/console.log")));
    ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
    const QByteArray text = journal.readAll();
    EXPECT_LT(text.size(), 4096);
    EXPECT_TRUE(text.contains("conference list")) << text.toStdString();
    EXPECT_EQ(sw.shutdown(), 0);
}
