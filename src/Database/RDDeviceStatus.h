#pragma once

#include <QString>

// The live part of a device, filled in from the switch's registrations and calls.
struct RDDeviceStatus
{
    QString status = QStringLiteral("none");   // "none", "online" or "calling"
};
