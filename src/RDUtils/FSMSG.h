#pragma once

#include <QString>

// Payload of the switch manager's message queue: a conference to stop and why.
struct FSMSG
{
    QString conference;
    QString reason;
    // The run of the conference the stop is meant for (its record's serial);
    // 0 stops whichever run holds the conference.
    quint64 serial = 0;
};
