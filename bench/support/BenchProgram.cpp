#include "BenchProgram.h"

#include "RDConfigure.h"
#include "VDB.h"
#include "VelmarDB.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QThread>
#include <QUdpSocket>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace PaBench {

namespace {

bool copyTree(const QString &from, const QString &to)
{
    QDir source(from);
    if (!QDir().mkpath(to))
        return false;
    for (const QFileInfo &entry : source.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString target = to + QLatin1Char('/') + entry.fileName();
        if (entry.isDir()) {
            if (!copyTree(entry.absoluteFilePath(), target))
                return false;
        } else if (!QFile::copy(entry.absoluteFilePath(), target)) {
            return false;
        }
    }
    return true;
}

int freePort(bool udp)
{
    if (udp) {
        QUdpSocket s;
        s.bind(QHostAddress(QHostAddress::LocalHost), 0);
        return s.localPort();
    }
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

} // namespace

QString binDir()
{
    // bin/bench/<this> -> bin
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).dir().absolutePath()
        + QStringLiteral("/..");
}

bool prepareProgramFolder(const QString &folder, bool wsEnable)
{
    const QString bin = binDir();
    if (!QFile::copy(bin + QStringLiteral("/Velmar"), folder + QStringLiteral("/Velmar"))
        || !copyTree(bin + QStringLiteral("/language"), folder + QStringLiteral("/language"))
        || !copyTree(bin + QStringLiteral("/RUVIDAZA"), folder + QStringLiteral("/RUVIDAZA")))
        return false;
    for (const char *runtime : {"/RUVIDAZA/db", "/RUVIDAZA/log", "/RUVIDAZA/run"})
        QDir(folder + QLatin1String(runtime)).removeRecursively();
    QDir().mkpath(folder + QStringLiteral("/RUVIDAZA/db"));
    QDir().mkpath(folder + QStringLiteral("/RUVIDAZA/log"));
    const QString saved = VDB::dataDir();
    VDB::setDataDir(folder + QStringLiteral("/database"));
    {
        VelmarDB db(true);
        db.checkUpgrade();
        db.createDefaultGroup();
        RDConfigure conf;
        conf.initDefaults();
        conf.setSipInternalIp(QStringLiteral("127.0.0.1"));
        conf.setSipInternalNetmask(QStringLiteral("255.0.0.0"));
        conf.setSipExternalIp(QStringLiteral("127.0.0.1"));
        conf.setSipInternalPort(freePort(true));
        conf.setSipExternalPort(freePort(true));
        conf.setHttpServerPort(freePort(false));
        conf.setWsPort(freePort(false));
        if (wsEnable)
            conf.setWsEnable(1);
    }
    VDB::setDataDir(saved);
    return true;
}

pid_t startProgram(const QString &folder, const QString &runtimeDir)
{
    const QByteArray program = (folder + QStringLiteral("/Velmar")).toLocal8Bit();
    const QByteArray dir = folder.toLocal8Bit();
    const QByteArray runtime = runtimeDir.toLocal8Bit();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("XDG_RUNTIME_DIR", runtime.constData(), 1);
        if (::chdir(dir.constData()) != 0)
            ::_exit(127);
        ::execl(program.constData(), program.constData(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    return pid;
}

bool logContains(const QString &folder, const char *text)
{
    const QStringList files = QDir(folder + QStringLiteral("/log")).entryList({QStringLiteral("*.log")});
    if (files.isEmpty())
        return false;
    QFile f(folder + QStringLiteral("/log/") + files.first());
    return f.open(QIODevice::ReadOnly) && f.readAll().contains(text);
}

bool waitForLog(const QString &folder, const char *text, int seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!logContains(folder, text)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QThread::msleep(5);
    }
    return true;
}

double stopProgram(pid_t pid)
{
    const auto stopping = std::chrono::steady_clock::now();
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - stopping).count();
}

} // namespace PaBench
