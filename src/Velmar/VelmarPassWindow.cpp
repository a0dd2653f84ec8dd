#include "VelmarPassWindow.h"

qint64 VelmarPassWindow::minuteIndex(const QDate &date, int minuteOfDay)
{
    return date.toJulianDay() * 1440 + minuteOfDay;
}

qint64 VelmarPassWindow::minuteIndex(const QDateTime &local)
{
    const QTime time = local.time();
    return minuteIndex(local.date(), time.hour() * 60 + time.minute());
}

QDate VelmarPassWindow::dateOf(qint64 minuteIndex)
{
    return QDate::fromJulianDay(minuteIndex / 1440);
}

void VelmarPassWindow::begin(const QDateTime &now, qint64 steadyMs)
{
    m_last = minuteIndex(now);
    m_steadyMs = steadyMs;
    const bool recent = m_valid && steadyMs - m_lastSteadyMs >= 0 && steadyMs - m_lastSteadyMs < kMaxGapMs;
    m_first = recent && m_lastMinute < m_last ? m_lastMinute + 1 : m_last;
}

void VelmarPassWindow::commit()
{
    m_valid = true;
    m_lastMinute = m_last;
    m_lastSteadyMs = m_steadyMs;
}
