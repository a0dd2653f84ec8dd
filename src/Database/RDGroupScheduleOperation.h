#pragma once

#include <QString>

// One timed action of a zone's schedule.
struct RDGroupScheduleOperation
{
    QString time;     // "HH:mm"
    QString action;   // "start" or "stop"

    bool operator!=(const RDGroupScheduleOperation &other) const
    {
        return time != other.time || action != other.action;
    }
    bool operator==(const RDGroupScheduleOperation &other) const { return !(*this != other); }
};
