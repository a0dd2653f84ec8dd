#pragma once

#include <QDate>
#include <QHash>
#include <QString>

#include <mutex>

class RDGroup;

// What the schedule and the prayer watcher have already run, kept by the
// central object so that it outlives their threads: a restart of the
// services or an edit of a zone within a minute never replays that minute.
// Schedule operations are keyed by (zone, "HH:mm", action), prayers by
// (zone, prayer index); each key holds the last date it ran for.
class VelmarRunRecord
{
public:
    static QString scheduleKey(int groupId, const QString &time, const QString &action);
    static QString prayerKey(int groupId, int prayIndex);

    // Whether `key` ran for `date` or a later date (a clock set back never
    // replays what already ran).
    bool ranOn(const QString &key, const QDate &date) const;
    // Whether `key` ran at all.
    bool ran(const QString &key) const;
    void markRan(const QString &key, const QDate &date);

    // After an edit: drops the zone's schedule keys whose operation is gone;
    // its prayer keys stay.
    void groupUpdated(const RDGroup &group);
    // After a removal: drops every key of the zone.
    void groupRemoved(int groupId);
    int size() const;

private:
    mutable std::mutex m_lock;
    QHash<QString, QDate> m_ran;
};
