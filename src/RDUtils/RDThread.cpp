#include "RDThread.h"

#include "QBreakpadHandler.h"

#include <QDateTime>
#include <QString>
#include <QThread>

#include <chrono>

class RDThreadPrivate : public QThread
{
public:
    explicit RDThreadPrivate(RDThread *owner) : QThread(nullptr), m_owner(owner) {}

    QString m_name;

protected:
    void run() override
    {
        // A stack overflow on this thread can still be reported by the crash writer.
        QBreakpadHandler::installAlternateStack();
        m_owner->run();
    }

private:
    RDThread *m_owner;
};

RDThread::RDThread() : m_thread(new RDThreadPrivate(this)), m_stopped(false) {}

RDThread::~RDThread()
{
    delete m_thread;
}

void RDThread::stop()
{
    m_stopped.store(true);
}

void RDThread::setName(const char *name)
{
    m_thread->m_name = QString::fromLatin1(name ? name : "");
}

bool RDThread::start()
{
    // Cleared before the thread runs, so a run() that tests the flag first
    // always enters its loop.
    m_stopped.store(false);
    if (!m_thread->m_name.isEmpty())
        m_thread->setObjectName(m_thread->m_name);
    m_thread->start(QThread::InheritPriority);
    return true;
}

bool RDThread::isStopped() const
{
    return m_stopped.load();
}

bool RDThread::isRunning() const
{
    return m_thread->isRunning();
}

bool RDThread::wait()
{
    return m_thread->wait();
}

void RDThread::msleep(unsigned long ms)
{
    QThread::msleep(ms);
}

void RDThread::sleep(int ms)
{
    const double deadline = monotonicSeconds() + ms / 1000.0;
    if (isStopped())
        return;
    while (deadline > monotonicSeconds()) {
        QThread::msleep(1);
        if (isStopped())
            return;
    }
}

static std::atomic<qint64> s_wallClockOffset{0};

qint64 currentMilliseconds()
{
    return QDateTime::currentMSecsSinceEpoch() + s_wallClockOffset.load(std::memory_order_relaxed);
}

double currentSeconds()
{
    return currentMilliseconds() / 1000.0;
}

double monotonicSeconds()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(now).count() / 1000.0;
}

void setWallClockOffsetForTesting(qint64 offsetMs)
{
    s_wallClockOffset.store(offsetMs);
}
