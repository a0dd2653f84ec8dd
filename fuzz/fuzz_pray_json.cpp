// Feeds arbitrary bytes to the prayer timetable reader, as an answer of the
// prayer-times service or a cache file would reach it. Every entry it keeps
// must hold a real time of day; an entry it drops must be wholly empty.
#include "PAPrayCalendar.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray answer = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const QVector<PAPrayDay> days = parsePrayDays(answer);
    // Each day comes from at least one byte of the "data" array.
    if (size_t(days.size()) > size)
        __builtin_trap();
    for (const PAPrayDay &day : days) {
        for (int i = 0; i < PAPrayDay::kPrayerCount; ++i) {
            const PAPrayTime &time = day.times[i];
            if (time.isGiven()) {
                if (time.name != QLatin1String(PAPrayDay::kNames[i]) || time.hour < 0 || time.hour > 23
                    || time.minute < 0 || time.minute > 59 || time.toString().size() != 5)
                    __builtin_trap();
            } else if (time.hour != 0 || time.minute != 0 || !time.suffix.isEmpty()) {
                __builtin_trap();
            }
            if (day.isValid() && day.dateOf(i) < day.date)
                __builtin_trap();
        }
    }
    return 0;
}
