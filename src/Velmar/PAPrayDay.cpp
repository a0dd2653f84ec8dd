#include "PAPrayDay.h"

const char *const PAPrayDay::kNames[PAPrayDay::kPrayerCount] = {
    "Fajr", "Sunrise", "Dhuhr", "Asr", "Sunset", "Maghrib", "Isha", "Imsak", "Midnight"};

QDate PAPrayDay::dateOf(int index) const
{
    if (mayFallAfterMidnight(index) && times[index].hour < 12)
        return date.addDays(1);
    return date;
}
