#include "RDThread.h"

#include "PlatformWakeEvent.h"
#include "QBreakpadHandler.h"

#include <QDateTime>
#include <QString>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

class RDThreadPrivate : public QThread
{
public:
    explicit RDThreadPrivate(RDThread *owner) : QThread(nullptr), m_owner(owner) {}

    QString m_name;

    // Guards the stop flag's changes against a sleeper that is about to
    // wait, so that no stop is lost between its test and its wait.
    std::mutex m_waitLock;
    std::condition_variable m_stopSignal;
    // Made on the first waitReadable(): most threads never wait on a socket.
    std::unique_ptr<PlatformWakeEvent> m_wakeup;

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
    std::lock_guard<std::mutex> lock(m_thread->m_waitLock);
    m_stopped.store(true);
    if (m_thread->m_wakeup)
        m_thread->m_wakeup->signal();
    m_thread->m_stopSignal.notify_all();
}

void RDThread::setName(const char *name)
{
    m_thread->m_name = QString::fromLatin1(name ? name : "");
}

bool RDThread::start()
{
    // Cleared before the thread runs, so a run() that tests the flag first
    // always enters its loop.
    {
        std::lock_guard<std::mutex> lock(m_thread->m_waitLock);
        m_stopped.store(false);
        if (m_thread->m_wakeup)
            m_thread->m_wakeup->clear();
    }
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
    if (ms <= 0)
        return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::unique_lock<std::mutex> lock(m_thread->m_waitLock);
    m_thread->m_stopSignal.wait_until(lock, deadline, [this] { return m_stopped.load(); });
}

int RDThread::waitReadable(int fd, int timeoutMs)
{
    PlatformWakeEvent *wakeup = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_thread->m_waitLock);
        if (m_stopped.load())
            return 0;
        if (!m_thread->m_wakeup)
            m_thread->m_wakeup = std::make_unique<PlatformWakeEvent>();
        // A stop from now on finds the descriptor and signals it.
        wakeup = m_thread->m_wakeup.get();
    }
    // Without a descriptor (none left to make) a stop is seen at the next
    // tenth of a second.
    if (!wakeup->isValid() && (timeoutMs < 0 || timeoutMs > 100))
        timeoutMs = 100;
    switch (wakeup->waitFor(fd, false, timeoutMs)) {
    case PlatformWakeEvent::Wait::Ready:
        return 1;
    case PlatformWakeEvent::Wait::Failed:
        return -1;
    default:
        return 0;
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
