#pragma once

#include <QString>

// One time of a prayer day: the prayer's name (empty when the timetable did
// not give it), the local hour and minute, and what followed the time in the
// service's answer (a zone marker such as "(EET)"), if anything.
struct PAPrayTime
{
    QString name;
    int hour = 0;
    int minute = 0;
    QString suffix;

    bool isGiven() const { return !name.isEmpty(); }
    // "HH:mm".
    QString toString() const { return QString::asprintf("%02d:%02d", hour, minute); }
};
