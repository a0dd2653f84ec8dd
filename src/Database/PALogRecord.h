#pragma once

#include <QString>

// One event-log row: a start or stop of a zone.
struct PALogRecord
{
    int id = 0;
    int volume = 0;
    int groupId = 0;
    int groupPriority = 0;
    QString groupName;
    QString groupConference;
    QString action;       // "start", "stop", "app talk", "app listen", ...
    QString source;       // "media", "device", "stream", "pray"
    QString type;         // the start type or the reason of a stop
    QString dateTime;     // local time, "yyyy-MM-dd HH:mm:ss"
};
