#include "VelmarScheduleThread.h"

#include "RDLog.h"
#include "Velmar.h"
#include "VelmarDB.h"
#include "VelmarRunRecord.h"

#include <QTime>

#include <algorithm>

namespace {

// Whether one of the ";"-separated numbers of `value` is `number`.
bool listsNumber(const QString &value, int number)
{
    const QStringList pieces = value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &piece : pieces) {
        bool ok = false;
        if (piece.toInt(&ok, 10) == number && ok)
            return true;
    }
    return false;
}

bool isOnceOnly(const RDGroup &group)
{
    return group.scheduleRepeatType.compare(QLatin1String("onceonly"), Qt::CaseInsensitive) == 0;
}

} // namespace

VelmarScheduleThread::VelmarScheduleThread(std::shared_ptr<VelmarRunRecord> record)
    : VelmarTimedThread(5000)
    , m_record(std::move(record))
{
    setName("VelmarScheduleThread");
    m_actions.start = [](const RDGroup &group) {
        if (Velmar *velmar = Velmar::instance())
            velmar->startScheduleGroup(group);
    };
    m_actions.stop = [](const RDGroup &group) {
        if (Velmar *velmar = Velmar::instance())
            velmar->stopGroup(group, QStringLiteral("schedule"));
    };
}

bool VelmarScheduleThread::runsOn(const RDGroup &group, const QDate &date)
{
    const QString &type = group.scheduleRepeatType;
    if (isOnceOnly(group)) {
        // A date that does not read names no day: such a schedule never runs.
        const QDate once = QDate::fromString(group.scheduleTime, QStringLiteral("yyyyMMdd"));
        return once.isValid() && once == date;
    }
    if (type.compare(QLatin1String("daily"), Qt::CaseInsensitive) == 0)
        return true;
    if (type.compare(QLatin1String("weekly"), Qt::CaseInsensitive) == 0)
        return listsNumber(group.scheduleRepeatValue, date.dayOfWeek() % 7);
    if (type.compare(QLatin1String("monthly"), Qt::CaseInsensitive) == 0)
        return listsNumber(group.scheduleRepeatValue, date.day());
    return false;
}

void VelmarScheduleThread::runPass(const QVector<RDGroup> &groups, const QDateTime &now, qint64 steadyMs)
{
    m_window.begin(now, steadyMs);
    for (const RDGroup &group : groups) {
        if (group.scheduleEnable != 0 && !group.scheduleOperationList.isEmpty())
            runGroup(group);
    }
    m_window.commit();
}

void VelmarScheduleThread::runGroup(const RDGroup &group)
{
    struct Due
    {
        qint64 minute;
        int position;
        QDate date;
    };
    QVector<Due> due;
    const QDate lastDate = VelmarPassWindow::dateOf(m_window.last());
    for (QDate date = VelmarPassWindow::dateOf(m_window.first()); date <= lastDate; date = date.addDays(1)) {
        if (!runsOn(group, date))
            continue;
        for (int i = 0; i < group.scheduleOperationList.size(); ++i) {
            const QTime time = QTime::fromString(group.scheduleOperationList[i].time, QStringLiteral("HH:mm"));
            if (!time.isValid())
                continue;
            const qint64 minute = VelmarPassWindow::minuteIndex(date, time.hour() * 60 + time.minute());
            if (m_window.contains(minute))
                due.append({minute, i, date});
        }
    }
    // In the order they fell due; one minute's operations in list order.
    std::stable_sort(due.begin(), due.end(), [](const Due &a, const Due &b) { return a.minute < b.minute; });

    for (const Due &item : due) {
        const RDGroupScheduleOperation &operation = group.scheduleOperationList[item.position];
        const QString key = VelmarRunRecord::scheduleKey(group.id, operation.time, operation.action);
        if (isOnceOnly(group) ? m_record->ran(key) : m_record->ranOn(key, item.date))
            continue;
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "start schedule event group %s, type = %s\n",
                    qUtf8Printable(group.conference), qUtf8Printable(operation.action));
        if (operation.action.compare(QLatin1String("start"), Qt::CaseInsensitive) == 0)
            m_actions.start(group);
        else if (operation.action.compare(QLatin1String("stop"), Qt::CaseInsensitive) == 0)
            m_actions.stop(group);
        m_record->markRan(key, item.date);
    }
}

void VelmarScheduleThread::pass(VelmarDB &database, QVector<RDGroup> &groups, const QDateTime &now,
                                qint64 steadyMs)
{
    const bool anyOn = std::any_of(groups.cbegin(), groups.cend(),
                                   [](const RDGroup &group) { return group.scheduleEnable != 0; });
    if (anyOn) {
        const QVector<RDDevice> devices = database.selectDevices();
        for (RDGroup &group : groups) {
            if (group.scheduleEnable == 0)
                continue;
            group.updateScheduleOperations();
            if (group.scheduleOperationList.isEmpty())
                continue;
            group.updateDevices(devices);
            group.updateMedia();
        }
    }
    runPass(groups, now, steadyMs);
}
