#pragma once

#include "PAPrayTime.h"

#include <QDate>
#include <QString>

// One day of a place's prayer timetable, entries by prayer index.
struct PAPrayDay
{
    static constexpr int kPrayerCount = 9;
    // The prayer names by index: "Fajr" .. "Midnight".
    static const char *const kNames[kPrayerCount];
    // Isha and Midnight may fall after 00:00; such an entry belongs to the
    // night that starts on the day's date.
    static bool mayFallAfterMidnight(int index) { return index == 6 || index == 8; }

    PAPrayTime times[kPrayerCount];
    QDate date;
    double latitude = 0;
    double longitude = 0;
    QString timeZone;

    bool isValid() const { return date.isValid(); }
    // The date on which entry `index` happens: the day's date, or the next
    // day for a night entry given before noon.
    QDate dateOf(int index) const;
};
