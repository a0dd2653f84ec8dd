#include "PlatformProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

static QString resolvedExecutable(const QString &folder, const QString &executableName)
{
    if (folder.isEmpty() || executableName.isEmpty() || executableName.contains('/'))
        return QString();
    return QFileInfo(QDir(folder).filePath(executableName)).canonicalFilePath();
}

bool processAlive(qint64 pid)
{
    if (pid <= 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    // "pid (comm) S ...": the state follows the last ')' (comm may hold ')').
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    if (close < 0 || close + 2 >= line.size())
        return false;
    const char state = line.at(close + 2);
    return state != 'Z' && state != 'X' && state != 'x';
}

// Waits until `pid` has ended (a zombie counts as ended) or `waitMs` is up.
// A process descriptor turns readable when the process ends; where there is
// none (old kernel), the process is looked at every 10 ms.
static void waitForEnd(qint64 pid, qint64 waitMs)
{
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
    if (fd >= 0) {
        QElapsedTimer timer;
        timer.start();
        while (processAlive(pid)) {
            const qint64 left = waitMs - timer.elapsed();
            if (left <= 0)
                break;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR)
                break;
        }
        ::close(fd);
        return;
    }
    QElapsedTimer timer;
    timer.start();
    while (processAlive(pid) && timer.elapsed() < waitMs)
        QThread::msleep(10);
}

QVector<qint64> findProcessesByExecutable(const QString &folder, const QString &executableName)
{
    QVector<qint64> pids;
    const QString target = resolvedExecutable(folder, executableName);
    if (target.isEmpty())
        return pids;
    const QByteArray targetBytes = QFile::encodeName(target);
    const uid_t me = ::getuid();

    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok || pid <= 0)
            continue;
        const QByteArray procDir = "/proc/" + entry.toLatin1();
        struct stat st;
        if (::stat(procDir.constData(), &st) != 0 || st.st_uid != me)
            continue;
        char buf[4096];
        const ssize_t n = ::readlink((procDir + "/exe").constData(), buf, sizeof buf - 1);
        if (n <= 0)
            continue;
        QByteArray exe(buf, static_cast<int>(n));
        // A binary replaced on disk while it runs reads as "<path> (deleted)".
        if (exe.endsWith(" (deleted)"))
            exe.chop(10);
        if (exe == targetBytes && processAlive(pid))
            pids.append(pid);
    }
    return pids;
}

int killProcessesByExecutable(const QString &folder, const QString &executableName, int waitMs)
{
    if (resolvedExecutable(folder, executableName).isEmpty())
        return -1;
    const QVector<qint64> pids = findProcessesByExecutable(folder, executableName);
    QVector<qint64> signalled;
    const qint64 self = ::getpid();
    for (qint64 pid : pids) {
        if (pid == self)
            continue;
        if (::kill(static_cast<pid_t>(pid), SIGKILL) == 0 || errno == ESRCH)
            signalled.append(pid);
    }
    QElapsedTimer timer;
    timer.start();
    for (qint64 pid : signalled)
        waitForEnd(pid, qMax<qint64>(0, waitMs - timer.elapsed()));
    return signalled.size();
}

} // namespace Platform
