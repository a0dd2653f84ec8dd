#pragma once

#include "PAPrayDay.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// The prayer-times web service: where it is, the month query and the
// reading of its answer.
namespace PAPrayCalendar {

// Scheme and host (optionally port) of the service, without a trailing
// slash. Taken from PA_PRAY_SERVICE_URL when set, else the public service;
// setServiceUrl() overrides both (an empty text restores them).
QString serviceUrl();
void setServiceUrl(const QString &url);

// How long one request may take, 15 s unless set (tests shorten it).
int requestTimeoutMs();
void setRequestTimeoutMs(int ms);

// Largest answer body accepted; a month is a few tens of KiB.
constexpr qint64 kMaxAnswerBytes = 2 * 1024 * 1024;

// The query of one month for an address and its calculation settings.
QString calendarUrl(const QString &address, int method, int school, int latitudeMethod, int year, int month);

// The days of an answer in the order of its "data" array; empty when the
// bytes are not JSON or carry no "data". A time that does not read as a
// valid "HH:mm" leaves its entry without a name, so it never fires.
QVector<PAPrayDay> parseDays(const QByteArray &answer);

} // namespace PAPrayCalendar

// The names the rest of the program uses.
inline QString prayCalendarUrl(const QString &address, int method, int school, int latitudeMethod, int year,
                               int month)
{
    return PAPrayCalendar::calendarUrl(address, method, school, latitudeMethod, year, month);
}
inline QVector<PAPrayDay> parsePrayDays(const QByteArray &answer)
{
    return PAPrayCalendar::parseDays(answer);
}
