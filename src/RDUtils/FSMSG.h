#pragma once

#include <QString>

// Payload of the switch manager's message queue: a conference to stop and why.
struct FSMSG
{
    QString conference;
    QString reason;
};
