#include "PlatformProcess.h"
#include "RDConfigure.h"
#include "SwitchStandIn.h"
#include "TestSupport.h"
#include "VDB.h"
#include "VelmarDB.h"
#include "VelmarStartup.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>

#include <csignal>

namespace {

int freeUdpPort()
{
    return PaTest::freeUdpPort();
}

int freeTcpPort()
{
    return PaTest::freeTcpPort();
}

RDNetworkAdapter adapter(const char *ip, const char *netmask)
{
    RDNetworkAdapter a;
    a.ip = QLatin1String(ip);
    a.netmask = QLatin1String(netmask);
    return a;
}

} // namespace

TEST(AppendToPath, JoinsWithTheListSeparatorWithoutEmptyEntries)
{
    const struct { const char *path, *expected; } cases[] = {
        {"/usr/bin:/bin", "/usr/bin:/bin:/opt/sw/internal_exe"},
        {"/usr/bin:/bin:", "/usr/bin:/bin:/opt/sw/internal_exe"},
        {"", "/opt/sw/internal_exe"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(appendedPath(QLatin1String(c.path), QStringLiteral("/opt/sw/internal_exe")),
                  QLatin1String(c.expected)) << c.path;

    const QByteArray saved = qgetenv("PATH");
    qputenv("PATH", "/usr/bin:/bin");
    appendToPath(QStringLiteral("/opt/sw/internal_exe"));
    EXPECT_EQ(qgetenv("PATH"), QByteArray("/usr/bin:/bin:/opt/sw/internal_exe"));
    qputenv("PATH", saved);
}

TEST(NetworkWait, ConfiguredAddressesAreUsedWithoutAskingTheAdapters)
{
    QString ip = QStringLiteral("10.1.1.1"), mask = QStringLiteral("255.0.0.0"), ext = QStringLiteral("198.51.100.7");
    bool keepRunning = true;
    int asked = 0;
    EXPECT_TRUE(waitForNetwork(ip, mask, ext, &keepRunning, [&] { ++asked; return RDNetworkAdapter(); }));
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(ip, QStringLiteral("10.1.1.1"));
}

TEST(NetworkWait, MissingValuesComeFromTheDefaultAdapterAndConfiguredOnesStay)
{
    QString ip, mask, ext = QStringLiteral("198.51.100.7");
    bool keepRunning = true;
    EXPECT_TRUE(waitForNetwork(ip, mask, ext, &keepRunning, [] { return adapter("192.168.5.20", "255.255.255.0"); }));
    EXPECT_EQ(ip, QStringLiteral("192.168.5.20"));
    EXPECT_EQ(mask, QStringLiteral("255.255.255.0"));
    EXPECT_EQ(ext, QStringLiteral("198.51.100.7"));
}

TEST(NetworkWait, RetriesWhileTheWindowStaysResponsiveAndEndsWhenTheOperatorLeaves)
{
    QString ip, mask, ext;
    bool keepRunning = true;
    int asked = 0;
    // Delivered only when the wait lets the event loop run.
    QTimer::singleShot(300, [&] { keepRunning = false; });
    EXPECT_FALSE(waitForNetwork(ip, mask, ext, &keepRunning, [&] { ++asked; return RDNetworkAdapter(); }, 20));
    EXPECT_GE(asked, 2);
    EXPECT_TRUE(ip.isEmpty());

    // An adapter that turns up later ends the wait.
    keepRunning = true;
    asked = 0;
    EXPECT_TRUE(waitForNetwork(ip, mask, ext, &keepRunning, [&] {
        return ++asked < 3 ? RDNetworkAdapter() : adapter("10.0.0.9", "255.255.0.0");
    }, 20));
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(ext, QStringLiteral("10.0.0.9"));

    // Without the flag there is no wait at all.
    QString a, b, c;
    asked = 0;
    EXPECT_FALSE(waitForNetwork(a, b, c, nullptr, [&] { ++asked; return RDNetworkAdapter(); }));
    EXPECT_EQ(asked, 0);
}

namespace {

// The built program laid into a private folder beside a private copy of the
// switch package, with its own language file, database and instance locks.
class ProgramRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_switch.isValid());
        ASSERT_TRUE(m_runtime.isValid());
        QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_folder = QFileInfo(m_switch.folder()).path();
        m_program = m_folder + QStringLiteral("/Velmar");
        ASSERT_TRUE(QFile::copy(PaTest::binDir() + QStringLiteral("/Velmar"), m_program));
        QDir().mkpath(m_folder + QStringLiteral("/language"));
        ASSERT_TRUE(QFile::copy(PaTest::binDir() + QStringLiteral("/language/English.txt"),
                                m_folder + QStringLiteral("/language/English.txt")));

        // Settings of the run: loopback addresses and free ports.
        const QString saved = VDB::dataDir();
        VDB::setDataDir(m_folder + QStringLiteral("/database"));
        {
            VelmarDB db(true);
            db.checkUpgrade();
            db.createDefaultGroup();
            RDConfigure conf;
            conf.initDefaults();
            conf.setSipInternalIp(QStringLiteral("127.0.0.1"));
            conf.setSipInternalNetmask(QStringLiteral("255.0.0.0"));
            conf.setSipExternalIp(QStringLiteral("127.0.0.1"));
            conf.setSipInternalPort(freeUdpPort());
            conf.setSipExternalPort(freeUdpPort());
            conf.setHttpServerPort(freeTcpPort());
            const int rtp = 20000 + (QCoreApplication::applicationPid() % 200) * 100;
            conf.setRtpStartPort(rtp);
            conf.setRtpEndPort(rtp + 99);
        }
        VDB::setDataDir(saved);
    }

    void TearDown() override
    {
        for (QProcess *p : {&m_first, &m_second}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished();
            }
        }
        const QString dir = m_switch.folder();
        for (qint64 pid : Platform::findProcessesByExecutable(dir, QStringLiteral("RUVidazaConsole")))
            ::kill(static_cast<pid_t>(pid), SIGKILL);
    }

    void launch(QProcess &process)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(m_folder);
        process.start(m_program, QStringList());
        ASSERT_TRUE(process.waitForStarted());
    }

    QStringList logFiles() const
    {
        return QDir(m_folder + QStringLiteral("/log")).entryList({QStringLiteral("*.log")}, QDir::Files);
    }

    QString logText() const
    {
        const QStringList files = logFiles();
        if (files.isEmpty())
            return QString();
        QFile f(m_folder + QStringLiteral("/log/") + files.first());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    QString journal() const
    {
        QFile f(m_switch.path(QStringLiteral("log/console.log")));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    QVector<qint64> switchPids() const
    {
        return Platform::findProcessesByExecutable(m_switch.folder(), QStringLiteral("RUVidazaConsole"));
    }

    PaTest::SwitchStandIn m_switch{false};
    QTemporaryDir m_runtime;
    QString m_folder;
    QString m_program;
    QProcess m_first;
    QProcess m_second;
};

} // namespace

TEST_F(ProgramRun, StartsTheSwitchRefusesASecondStartAndShutsDownInOrder)
{
    launch(m_first);
    ASSERT_TRUE(PaTest::waitUntil([&] { return logText().contains(QLatin1String("switch ready")); }, 120000))
        << qPrintable(logText());
    EXPECT_EQ(switchPids().size(), 1);
    EXPECT_TRUE(QFileInfo(m_folder + QStringLiteral("/crash")).isDir());

    // A second start leaves the first instance's files alone.
    launch(m_second);
    ASSERT_TRUE(m_second.waitForFinished(60000));
    EXPECT_EQ(m_second.exitCode(), 255);
    EXPECT_TRUE(m_second.readAllStandardError().contains("Program already running"));
    EXPECT_EQ(logFiles().size(), 1);
    EXPECT_EQ(m_first.state(), QProcess::Running);

    ::kill(static_cast<pid_t>(m_first.processId()), SIGTERM);
    ASSERT_TRUE(m_first.waitForFinished(90000));
    EXPECT_EQ(m_first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_first.exitCode(), 0);
    EXPECT_TRUE(switchPids().isEmpty());
    EXPECT_TRUE(journal().contains(QLatin1String("shutdown"))) << qPrintable(journal());

    // Services go first, then the SIP manager's callers, then the rest.
    const QString log = logText();
    const char *order[] = {"switch ready", "termination requested", "stop services", "stop fs\n",
                           "uninit pa sip manager\n", "stop fs ended", "stop velmar\n", "uninit fs manager ended"};
    int at = 0;
    for (const char *line : order) {
        const int next = log.indexOf(QLatin1String(line), at);
        EXPECT_GE(next, 0) << line;
        if (next >= 0)
            at = next;
    }
}

namespace {

qint64 parentOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // "pid (comm) state ppid ...": comm may hold blanks and ')'.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return rest.size() > 1 ? rest.at(1).toLongLong() : 0;
}

} // namespace

TEST_F(ProgramRun, KilledProgramsSwitchEndsItselfAndTheNextStartRunsItsOwnSwitch)
{
    launch(m_first);
    ASSERT_TRUE(PaTest::waitUntil([&] { return logText().contains(QLatin1String("switch ready")); }, 120000))
        << qPrintable(logText());
    const QVector<qint64> orphan = switchPids();
    ASSERT_EQ(orphan.size(), 1);
    ::kill(static_cast<pid_t>(m_first.processId()), SIGKILL);
    ASSERT_TRUE(m_first.waitForFinished(10000));
    EXPECT_TRUE(PaTest::waitUntil([&] { return !Platform::processAlive(orphan.first()); }, 5000))
        << "the killed program's switch still runs";

    // A switch that does not end by itself (started by hand) still holds the
    // folder's lock and console when the program starts again.
    QProcess leftover;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("RUVIDAZA_PROGRAM_PID"));
    leftover.setProcessEnvironment(env);
    leftover.start(m_switch.path(QStringLiteral("RUVidazaConsole")), {QStringLiteral("-nc"), QStringLiteral("-nonat")});
    ASSERT_TRUE(leftover.waitForStarted(10000));
    ASSERT_TRUE(PaTest::waitUntil(
        [&] { return m_switch.console(QStringLiteral("conference list")).startsWith(QLatin1String("+OK")); }, 30000));
    for (const QString &f : logFiles())
        QFile::remove(m_folder + QStringLiteral("/log/") + f);

    launch(m_second);
    ASSERT_TRUE(PaTest::waitUntil([&] { return logText().contains(QLatin1String("switch ready")); }, 120000))
        << qPrintable(logText());
    // Ready means the program's own switch answered: the leftover was ended
    // before it started, and its own switch never failed on the held lock.
    leftover.waitForFinished(10000);
    EXPECT_EQ(leftover.state(), QProcess::NotRunning);
    const QVector<qint64> now = switchPids();
    ASSERT_EQ(now.size(), 1);
    EXPECT_EQ(parentOf(now.first()), m_second.processId());
    EXPECT_FALSE(logText().contains(QLatin1String("switch ended with code"))) << qPrintable(logText());
    EXPECT_TRUE(m_switch.console(QStringLiteral("conference list")).startsWith(QLatin1String("+OK")));

    ::kill(static_cast<pid_t>(m_second.processId()), SIGTERM);
    ASSERT_TRUE(m_second.waitForFinished(90000));
    EXPECT_EQ(m_second.exitCode(), 0);
    EXPECT_TRUE(switchPids().isEmpty());
}

TEST_F(ProgramRun, SwitchThatCannotStartKeepsTheLoadingDialogAndTheProgramCanStillEnd)
{
    ASSERT_TRUE(QFile::remove(m_switch.path(QStringLiteral("RUVidazaConsole"))));
    launch(m_first);
    // The log says why the switch does not come up, and start-up waits.
    ASSERT_TRUE(PaTest::waitUntil([&] { return logText().contains(QLatin1String("switch ended with code")); },
                                  120000))
        << qPrintable(logText());
    EXPECT_FALSE(logText().contains(QLatin1String("switch ready")));
    EXPECT_EQ(m_first.state(), QProcess::Running);

    ::kill(static_cast<pid_t>(m_first.processId()), SIGTERM);
    ASSERT_TRUE(m_first.waitForFinished(90000));
    EXPECT_EQ(m_first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_first.exitCode(), 0);
    EXPECT_TRUE(logText().contains(QLatin1String("uninit fs manager ended")));
}

TEST(ProgramPath, FolderOutsideAsciiIsReportedAndStartUpGoesOnWhenNobodyCanAnswer)
{
    QTemporaryDir root;
    QTemporaryDir runtime;
    ASSERT_TRUE(root.isValid() && runtime.isValid());
    const QString folder = root.path() + QStringLiteral("/Zon\u00e9");
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/language")));
    ASSERT_TRUE(QFile::copy(PaTest::binDir() + QStringLiteral("/Velmar"), folder + QStringLiteral("/Velmar")));
    ASSERT_TRUE(QFile::copy(PaTest::binDir() + QStringLiteral("/language/English.txt"),
                            folder + QStringLiteral("/language/English.txt")));
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(folder);
    program.start(folder + QStringLiteral("/Velmar"), QStringList());
    ASSERT_TRUE(program.waitForStarted());

    auto log = [&] {
        const QStringList files = QDir(folder + QStringLiteral("/log")).entryList({QStringLiteral("*.log")});
        QFile f(folder + QStringLiteral("/log/") + files.value(0));
        return !files.isEmpty() && f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    };
    // The log is opened after the path check: the alert stands before start-up.
    ASSERT_TRUE(PaTest::waitUntil([&] { return log().contains(QLatin1String("start fs ended")); }, 60000));
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(90000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(program.readAllStandardError().contains("The application can only run under the English path"));
}
