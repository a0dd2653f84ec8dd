#pragma once

#include <QDate>
#include <QDateTime>
#include <QtGlobal>

// The wall-clock minutes one pass of a timed thread answers for. A pass
// covers every local minute after the one the previous pass covered up to
// its own, so a late pass, a forward clock jump or the hour skipped when
// daylight saving starts loses nothing. After a long real pause (more than
// 10 minutes: the PC slept, the thread was stopped) or when the clock went
// back, only the current minute counts. Minutes are counted on the local
// wall clock (date and "HH:mm"), so the hour repeated when daylight saving
// ends holds the same minutes twice and what ran in the first is not run
// again in the second.
class VelmarPassWindow
{
public:
    static constexpr qint64 kMaxGapMs = 10 * 60 * 1000;

    // A local wall-clock minute as one number: days * 1440 + minute of day.
    static qint64 minuteIndex(const QDate &date, int minuteOfDay);
    static qint64 minuteIndex(const QDateTime &local);
    static QDate dateOf(qint64 minuteIndex);

    // The minutes [first, last] of a pass at `now` (local time), `steadyMs`
    // on a clock that never goes back. The window moves on only at commit(),
    // so a pass that left work in it may hand it to the next pass.
    void begin(const QDateTime &now, qint64 steadyMs);
    void commit();
    qint64 first() const { return m_first; }
    qint64 last() const { return m_last; }
    bool contains(qint64 minute) const { return minute >= m_first && minute <= m_last; }

private:
    bool m_valid = false;
    qint64 m_lastMinute = 0;
    qint64 m_lastSteadyMs = 0;
    qint64 m_first = 0;
    qint64 m_last = 0;
    qint64 m_steadyMs = 0;
};
