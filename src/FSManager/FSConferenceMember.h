#pragma once

#include <QString>

// One leg the switch dials into a group's conference: a device, or one of
// the group's own SIP accounts (only the input account speaks).
class FSConferenceMember
{
public:
    FSConferenceMember() = default;
    FSConferenceMember(const QString &number, bool speaks) : number(number), speaks(speaks) {}

    QString number;
    bool speaks = false;
};
