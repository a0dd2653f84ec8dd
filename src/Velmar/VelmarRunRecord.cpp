#include "VelmarRunRecord.h"

#include "RDGroup.h"

#include <QSet>

QString VelmarRunRecord::scheduleKey(int groupId, const QString &time, const QString &action)
{
    return QStringLiteral("s|%1|%2|%3").arg(groupId).arg(time, action.toLower());
}

QString VelmarRunRecord::prayerKey(int groupId, int prayIndex)
{
    return QStringLiteral("p|%1|%2").arg(groupId).arg(prayIndex);
}

bool VelmarRunRecord::ranOn(const QString &key, const QDate &date) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    const auto it = m_ran.constFind(key);
    return it != m_ran.constEnd() && it.value() >= date;
}

bool VelmarRunRecord::ran(const QString &key) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_ran.contains(key);
}

void VelmarRunRecord::markRan(const QString &key, const QDate &date)
{
    std::lock_guard<std::mutex> guard(m_lock);
    QDate &stored = m_ran[key];
    if (!stored.isValid() || date > stored)
        stored = date;
}

void VelmarRunRecord::groupUpdated(const RDGroup &group)
{
    RDGroup copy = group;
    copy.updateScheduleOperations();
    QSet<QString> kept;
    for (const RDGroupScheduleOperation &operation : copy.scheduleOperationList)
        kept.insert(scheduleKey(group.id, operation.time, operation.action));
    const QString prefix = QStringLiteral("s|%1|").arg(group.id);
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto it = m_ran.begin(); it != m_ran.end();) {
        if (it.key().startsWith(prefix) && !kept.contains(it.key()))
            it = m_ran.erase(it);
        else
            ++it;
    }
}

void VelmarRunRecord::groupRemoved(int groupId)
{
    const QString schedule = QStringLiteral("s|%1|").arg(groupId);
    const QString prayer = QStringLiteral("p|%1|").arg(groupId);
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto it = m_ran.begin(); it != m_ran.end();) {
        if (it.key().startsWith(schedule) || it.key().startsWith(prayer))
            it = m_ran.erase(it);
        else
            ++it;
    }
}

int VelmarRunRecord::size() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_ran.size();
}
