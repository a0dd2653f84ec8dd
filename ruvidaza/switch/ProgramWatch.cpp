#include "ProgramWatch.h"

#include <QDebug>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/syscall.h>
#include <unistd.h>

namespace {
// Without process descriptors (older kernels) the parent is looked at this
// often instead.
const int kFallbackCheckMs = 1000;
} // namespace

ProgramWatch::ProgramWatch(QObject *parent) : QObject(parent) {}

ProgramWatch::~ProgramWatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ProgramWatch::start()
{
    const QByteArray value = qgetenv(kVariable).trimmed();
    if (value.isEmpty())
        return true;
    bool ok = false;
    m_pid = value.toLongLong(&ok);
    if (!ok || m_pid <= 1) {
        qWarning() << kVariable << "holds no process id:" << value << "- watching nothing";
        m_pid = 0;
        return true;
    }
    // The program starts this switch itself. A parent other than the program
    // means the program ended before this switch got here: its id may even
    // belong to another process by now, so it is never watched.
    if (qint64(::getppid()) != m_pid) {
        qWarning() << "the program" << m_pid << "that started this switch has already ended";
        return false;
    }
    m_fd = int(::syscall(SYS_pidfd_open, pid_t(m_pid), 0));
    if (m_fd >= 0) {
        // The descriptor becomes readable when the process ends.
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &ProgramWatch::onEnded);
    } else {
        m_timer = new QTimer(this);
        connect(m_timer, &QTimer::timeout, this, [this] {
            if (qint64(::getppid()) != m_pid)
                onEnded();
        });
        m_timer->start(kFallbackCheckMs);
    }
    // The program may have ended between the check above and the watch.
    if (qint64(::getppid()) != m_pid)
        QTimer::singleShot(0, this, &ProgramWatch::onEnded);
    qInfo() << "ending together with the program" << m_pid;
    return true;
}

void ProgramWatch::onEnded()
{
    if (m_told)
        return;
    m_told = true;
    if (m_notifier)
        m_notifier->setEnabled(false);
    if (m_timer)
        m_timer->stop();
    qWarning() << "the program" << m_pid << "that started this switch has ended";
    emit programEnded();
}
