#include "PlatformInstanceLock.h"

#include <QDir>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

static bool usableFolder(const QByteArray &dir)
{
    struct stat st;
    return !dir.isEmpty() && ::stat(dir.constData(), &st) == 0 && S_ISDIR(st.st_mode)
        && ::access(dir.constData(), W_OK | X_OK) == 0;
}

QByteArray instanceLockFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (usableFolder(runtime))
        return runtime;
    return QFile::encodeName(QDir::tempPath());
}

QByteArray instanceLockPath(const QByteArray &name)
{
    QByteArray safe;
    safe.reserve(name.size());
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        safe.append((u < 0x20 || c == '/' || u == 0x7f) ? '_' : c);
    }
    if (safe.isEmpty() || safe == "." || safe == "..")
        safe.prepend("instance");
    // The temporary folder is shared between users: keep their locks apart.
    const QByteArray folder = instanceLockFolder();
    const QByteArray suffix = folder != qgetenv("XDG_RUNTIME_DIR")
        ? "-" + QByteArray::number(static_cast<qulonglong>(::getuid())) + ".lock"
        : QByteArray(".lock");
    return folder + '/' + safe + suffix;
}

int tryLockFile(const char *path)
{
    // O_CLOEXEC: a child process (the switch, a helper) must not inherit the
    // descriptor, or the lock would outlive this process.
    const int fd = ::open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return InstanceLockFailed;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0)
        return fd;
    const int err = errno;
    ::close(fd);
    return err == EWOULDBLOCK ? InstanceLockBusy : InstanceLockFailed;
}

void unlockFile(int handle)
{
    if (handle >= 0)
        ::close(handle);
}

} // namespace Platform
