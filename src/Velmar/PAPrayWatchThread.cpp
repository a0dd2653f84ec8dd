#include "PAPrayWatchThread.h"

#include "PAPrayCalendar.h"
#include "RDConfigure.h"
#include "RDLog.h"
#include "Velmar.h"
#include "VelmarDB.h"
#include "VelmarRunRecord.h"

#include <QFile>
#include <QSaveFile>
#include <QTimeZone>

#include <algorithm>

namespace {

bool hasNightFile(const RDGroup &group)
{
    for (int i = 0; i < PAPrayDay::kPrayerCount && i < group.prayFileList.size(); ++i) {
        if (PAPrayDay::mayFallAfterMidnight(i) && !group.prayFileList[i].isEmpty())
            return true;
    }
    return false;
}

QString cachePath(const RDGroup &group, const QDate &month)
{
    return Velmar::prayCacheFile(group.prayLocation, group.prayMethod, group.praySchool,
                                 group.prayLatitudeAdjustmentMethod, month.year(), month.month());
}

} // namespace

PAPrayWatchThread::PAPrayWatchThread(std::shared_ptr<VelmarRunRecord> record)
    : VelmarTimedThread(2000)
    , m_record(std::move(record))
{
    setName("PAPrayWatchThread");
    m_start = [](const RDGroup &group, int index) {
        if (Velmar *velmar = Velmar::instance())
            velmar->startPrayGroup(group, index);
    };
}

void PAPrayWatchThread::stop()
{
    VelmarTimedThread::stop();
    m_request.abort();
}

// -- The web request ------------------------------------------------------------

int PAPrayWatchThread::httpGet(const QString &url, QByteArray &out)
{
    return m_request.get(url, out);
}

// -- The timetable ----------------------------------------------------------------

QVector<PAPrayDay> PAPrayWatchThread::cachedMonth(const QString &path, bool *fresh)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly) && file.size() <= PAPrayCalendar::kMaxAnswerBytes) {
        const QVector<PAPrayDay> days = parsePrayDays(file.readAll());
        if (!days.isEmpty()) {
            m_lastGood.insert(path, days);
            *fresh = true;
            return days;
        }
    }
    *fresh = false;
    return m_lastGood.value(path);
}

bool PAPrayWatchThread::fetchMonth(const RDGroup &group, int year, int month, qint64 steadyMs)
{
    const QString path = cachePath(group, QDate(year, month, 1));
    // Another zone of the same place and settings may have fetched it.
    bool fresh = false;
    cachedMonth(path, &fresh);
    if (fresh)
        return true;
    const auto retry = m_retries.constFind(path);
    if (retry != m_retries.constEnd() && steadyMs < retry->notBeforeMs)
        return false;

    const QString url = prayCalendarUrl(group.prayLocation, group.prayMethod, group.praySchool,
                                        group.prayLatitudeAdjustmentMethod, year, month);
    QByteArray body;
    const int error = httpGet(url, body);
    const QVector<PAPrayDay> days = error == 0 ? parsePrayDays(body) : QVector<PAPrayDay>();
    if (!days.isEmpty()) {
        m_retries.remove(path);
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size() || !file.commit())
            RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "pray cache file %s not written\n",
                        qUtf8Printable(path));
        m_lastGood.insert(path, days);
        return true;
    }
    if (isStopped())
        return false;
    Retry &again = m_retries[path];
    again.pauseMs = again.pauseMs > 0 ? std::min(again.pauseMs * 2, kLastRetryMs) : kFirstRetryMs;
    again.notBeforeMs = steadyMs + again.pauseMs;
    RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5,
                "pray timetable of group %s for %04d-%02d not received (error %d, %d bytes), keeping the last one, "
                "next try in %lld s\n",
                qUtf8Printable(group.conference), year, month, error, int(body.size()),
                static_cast<long long>(again.pauseMs / 1000));
    return false;
}

PAPrayDay PAPrayWatchThread::getPrayDay(const RDGroup &group, int year, int month, int day)
{
    if (group.prayLocation.isEmpty())
        return PAPrayDay();
    const QDate wanted(year, month, day);
    const QString path = cachePath(group, QDate(year, month, 1));
    bool fresh = false;
    QVector<PAPrayDay> days = cachedMonth(path, &fresh);
    if (!fresh && fetchMonth(group, year, month, clock().steadyMs()))
        days = m_lastGood.value(path);
    for (const PAPrayDay &candidate : days) {
        if (candidate.date == wanted)
            return candidate;
    }
    return PAPrayDay();
}

QVector<PAPrayDay> PAPrayWatchThread::rowsFor(const RDGroup &group, bool *stale, QVector<QDate> *months)
{
    QDate from = VelmarPassWindow::dateOf(m_window.first());
    const QDate to = VelmarPassWindow::dateOf(m_window.last());
    // A night prayer given after midnight is in the previous day's row.
    if (hasNightFile(group))
        from = from.addDays(-1);

    QVector<PAPrayDay> rows;
    *stale = false;
    QHash<QString, QVector<PAPrayDay>> loaded;
    for (QDate date = from; date <= to; date = date.addDays(1)) {
        const QDate month(date.year(), date.month(), 1);
        const QString path = cachePath(group, month);
        if (!loaded.contains(path)) {
            bool fresh = false;
            loaded.insert(path, cachedMonth(path, &fresh));
            if (!fresh) {
                *stale = true;
                if (!months->contains(month))
                    months->append(month);
            }
        }
        for (const PAPrayDay &day : loaded.value(path)) {
            if (day.date == date) {
                rows.append(day);
                break;
            }
        }
    }
    return rows;
}

void PAPrayWatchThread::warnAboutZone(const PAPrayDay &day)
{
    if (day.timeZone.isEmpty() || m_zonesWarned.contains(day.timeZone))
        return;
    m_zonesWarned.insert(day.timeZone);
    const QByteArray here = QTimeZone::systemTimeZoneId();
    if (day.timeZone.toUtf8() != here)
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5,
                    "pray timetable is in time zone %s, this PC in %s: prayers follow the PC's clock\n",
                    qUtf8Printable(day.timeZone), here.constData());
}

// -- The passes --------------------------------------------------------------------

bool PAPrayWatchThread::runPrayEvent(const RDGroup &group, const QVector<PAPrayDay> &rows, bool *started)
{
    struct Due
    {
        qint64 minute;
        int index;
        QDate rowDate;
    };
    QVector<Due> due;
    const int count = std::min<int>(PAPrayDay::kPrayerCount, group.prayFileList.size());
    for (const PAPrayDay &row : rows) {
        warnAboutZone(row);
        for (int i = 0; i < count; ++i) {
            const PAPrayTime &time = row.times[i];
            if (group.prayFileList[i].isEmpty() || !time.isGiven())
                continue;
            const qint64 minute = VelmarPassWindow::minuteIndex(row.dateOf(i), time.hour * 60 + time.minute);
            if (m_window.contains(minute)
                && !m_record->ranOn(VelmarRunRecord::prayerKey(group.id, i), row.date))
                due.append({minute, i, row.date});
        }
    }
    if (due.isEmpty())
        return false;
    std::sort(due.begin(), due.end(), [](const Due &a, const Due &b) {
        return a.minute != b.minute ? a.minute < b.minute : a.index < b.index;
    });
    // One start per zone and pass: a second prayer of the same minute waits
    // for the next pass.
    const Due &first = due.first();
    RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "%s pray effect on %s, file = %s\n",
                qUtf8Printable(group.conference), qUtf8Printable(m_passTime.toString()),
                qUtf8Printable(group.prayFileList[first.index]));
    m_start(group, first.index);
    m_record->markRan(VelmarRunRecord::prayerKey(group.id, first.index), first.rowDate);
    *started = true;
    return due.size() > 1;
}

void PAPrayWatchThread::runPass(const QVector<RDGroup> &groups, const QDateTime &now, qint64 steadyMs)
{
    m_window.begin(now, steadyMs);
    m_passTime = now;
    bool moreDue = false;
    // Zones whose timetable is at hand first; requests only afterwards, so
    // that an unreachable service never delays a cached zone's prayer.
    QVector<std::pair<const RDGroup *, QVector<QDate>>> toFetch;
    QSet<int> startedZones;
    for (const RDGroup &group : groups) {
        if (!group.isPraySource() || !group.hasPrayFiles() || group.prayLocation.isEmpty())
            continue;
        bool stale = false;
        QVector<QDate> months;
        const QVector<PAPrayDay> rows = rowsFor(group, &stale, &months);
        bool started = false;
        moreDue |= runPrayEvent(group, rows, &started);
        if (started)
            startedZones.insert(group.id);
        if (stale)
            toFetch.append({&group, months});
    }
    for (const auto &entry : toFetch) {
        if (isStopped())
            break;
        bool received = false;
        for (const QDate &month : entry.second)
            received |= fetchMonth(*entry.first, month.year(), month.month(), steadyMs);
        if (!received || startedZones.contains(entry.first->id))
            continue;
        bool stale = false;
        QVector<QDate> months;
        bool started = false;
        moreDue |= runPrayEvent(*entry.first, rowsFor(*entry.first, &stale, &months), &started);
    }
    // Work left in the window stays in it for the next pass.
    if (!moreDue)
        m_window.commit();
}

void PAPrayWatchThread::pass(VelmarDB &database, QVector<RDGroup> &groups, const QDateTime &now, qint64 steadyMs)
{
    const bool anyPray = std::any_of(groups.cbegin(), groups.cend(),
                                     [](const RDGroup &group) { return group.isPraySource(); });
    if (!anyPray || RDConfigure().prayEnable() == 0)
        return;
    const QVector<RDDevice> devices = database.selectDevices();
    for (RDGroup &group : groups) {
        if (!group.isPraySource())
            continue;
        group.updatePrayFiles();
        if (!group.hasPrayFiles())
            continue;
        group.updateScheduleOperations();
        group.updateDevices(devices);
        group.updateMedia();
    }
    runPass(groups, now, steadyMs);
}
