#pragma once

#include "VelmarTimedThread.h"

#include <QDateTime>
#include <QVector>

#include <functional>
#include <memory>

class VelmarRunRecord;

// Starts and stops zones at the "HH:mm" operations of their schedules, once
// a day, on chosen weekdays or days of the month, or on one date. A pass
// every 5 s runs every operation whose minute fell since the previous pass
// (VelmarPassWindow) and that has not run for that date (VelmarRunRecord).
class VelmarScheduleThread : public VelmarTimedThread
{
public:
    // What a due operation does; by default the central object's schedule
    // start and its stop with type "schedule".
    struct Actions
    {
        std::function<void(const RDGroup &)> start;
        std::function<void(const RDGroup &)> stop;
    };
    explicit VelmarScheduleThread(std::shared_ptr<VelmarRunRecord> record);

    void setActions(const Actions &actions) { m_actions = actions; }

    // One pass over `groups` (operation lists filled) at `now`.
    void runPass(const QVector<RDGroup> &groups, const QDateTime &now, qint64 steadyMs);

    // Whether the schedule of `group` lets its operations run on `date`.
    static bool runsOn(const RDGroup &group, const QDate &date);

protected:
    void pass(VelmarDB &database, QVector<RDGroup> &groups, const QDateTime &now, qint64 steadyMs) override;

private:
    void runGroup(const RDGroup &group);

    std::shared_ptr<VelmarRunRecord> m_record;
    Actions m_actions;
};
