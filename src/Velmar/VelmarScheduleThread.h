#pragma once

#include "RDGroup.h"
#include "RDThread.h"
#include "VelmarPassWindow.h"
#include "VelmarStopWait.h"

#include <QDateTime>
#include <QVector>

#include <functional>
#include <memory>

class VelmarRunRecord;

// Starts and stops zones at the "HH:mm" operations of their schedules, once
// a day, on chosen weekdays or days of the month, or on one date. A pass
// every 5 s runs every operation whose minute fell since the previous pass
// (VelmarPassWindow) and that has not run for that date (VelmarRunRecord).
class VelmarScheduleThread : public RDThread
{
public:
    // What a due operation does; by default the central object's schedule
    // start and its stop with type "schedule".
    struct Actions
    {
        std::function<void(const RDGroup &)> start;
        std::function<void(const RDGroup &)> stop;
    };
    // The clocks of the passes: local wall time and a steady millisecond
    // count; by default the PC's.
    struct Clock
    {
        std::function<QDateTime()> now;
        std::function<qint64()> steadyMs;
    };

    explicit VelmarScheduleThread(std::shared_ptr<VelmarRunRecord> record);

    void setActions(const Actions &actions) { m_actions = actions; }
    void setClock(const Clock &clock) { m_clock = clock; }
    void setPeriodMs(int ms) { m_periodMs = ms; }

    void stop() override;

    // One pass over `groups` (operation lists filled) at `now`.
    void runPass(const QVector<RDGroup> &groups, const QDateTime &now, qint64 steadyMs);

    // Whether the schedule of `group` lets its operations run on `date`.
    static bool runsOn(const RDGroup &group, const QDate &date);

protected:
    void run() override;

private:
    void runGroup(const RDGroup &group);

    std::shared_ptr<VelmarRunRecord> m_record;
    Actions m_actions;
    Clock m_clock;
    int m_periodMs = 5000;
    VelmarStopWait m_wait;
    VelmarPassWindow m_window;
};
