#include "InstanceLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool InstanceLock::acquire(const QString &path, QString *error)
{
    const QByteArray p = path.toLocal8Bit();
    const int fd = ::open(p.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *error = errno == EWOULDBLOCK ? QStringLiteral("another switch already runs on this folder")
                                      : QStringLiteral("cannot lock %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}
