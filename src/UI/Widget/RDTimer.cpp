#include "RDTimer.h"

#include <QPointer>
#include <QVector>

#include <limits>

namespace {

struct ManualClock
{
    bool on = false;
    qint64 now = 0;
    QVector<RDTimer *> timers; // timers started under the manual clock
};

ManualClock &manualClock()
{
    static ManualClock c;
    return c;
}

} // namespace

RDTimer::RDTimer(QObject *parent)
    : QObject(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &RDTimer::timeout);
}

RDTimer::~RDTimer()
{
    manualClock().timers.removeAll(this);
}

void RDTimer::setSingleShot(bool singleShot)
{
    m_singleShot = singleShot;
    m_timer.setSingleShot(singleShot);
}

void RDTimer::setInterval(int ms)
{
    m_interval = ms < 0 ? 0 : ms;
    m_timer.setInterval(m_interval);
}

bool RDTimer::isActive() const
{
    return m_manual ? m_manualActive : m_timer.isActive();
}

void RDTimer::start(int ms)
{
    setInterval(ms);
    start();
}

void RDTimer::start()
{
    stop();
    if (manualClock().on) {
        m_manual = true;
        m_manualActive = true;
        m_due = manualClock().now + m_interval;
        manualClock().timers.append(this);
        return;
    }
    m_manual = false;
    m_timer.start();
}

void RDTimer::stop()
{
    m_timer.stop();
    if (m_manual) {
        m_manualActive = false;
        manualClock().timers.removeAll(this);
    }
}

void RDTimer::fireManual()
{
    if (m_singleShot) {
        m_manualActive = false;
        manualClock().timers.removeAll(this);
    } else {
        // A zero interval fires once per advance step rather than spinning.
        m_due += m_interval > 0 ? m_interval : 1;
    }
    emit timeout();
}

void RDTimer::singleShot(int ms, QObject *context, std::function<void()> fn)
{
    auto *timer = new RDTimer(context);
    timer->setSingleShot(true);
    connect(timer, &RDTimer::timeout, timer, [timer, fn = std::move(fn)] {
        timer->deleteLater();
        fn();
    });
    timer->start(ms);
}

void RDTimer::setManualClockForTesting(bool on)
{
    ManualClock &c = manualClock();
    if (c.on == on)
        return;
    c.on = on;
    if (on)
        return;
    // Timers still waiting on the manual clock go on with the real one.
    const QVector<RDTimer *> waiting = c.timers;
    c.timers.clear();
    for (RDTimer *t : waiting) {
        const qint64 left = t->m_due - c.now;
        t->m_manual = false;
        t->m_manualActive = false;
        t->m_timer.start(t->m_singleShot ? static_cast<int>(left > 0 ? left : 0) : t->m_interval);
    }
}

bool RDTimer::isManualClock()
{
    return manualClock().on;
}

void RDTimer::advanceForTesting(int ms)
{
    ManualClock &c = manualClock();
    const qint64 target = c.now + (ms > 0 ? ms : 0);
    for (;;) {
        RDTimer *next = nullptr;
        qint64 due = std::numeric_limits<qint64>::max();
        for (RDTimer *t : c.timers) {
            if (t->m_manualActive && t->m_due < due) {
                due = t->m_due;
                next = t;
            }
        }
        if (!next || due > target)
            break;
        c.now = due;
        next->fireManual();
    }
    c.now = target;
}
