#include "PAPrayCalendar.h"

#include "RDJsonHelper.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <atomic>
#include <mutex>

namespace {

std::mutex g_urlLock;
QString g_url;
std::atomic<int> g_timeoutMs{15000};

PAPrayTime readTime(const QString &name, const QJsonValue &value)
{
    PAPrayTime time;
    const QStringList pieces = value.toString().split(QLatin1Char(' '));
    const QStringList clock = pieces.value(0).split(QLatin1Char(':'));
    if (clock.size() < 2)
        return time;
    bool hourOk = false;
    bool minuteOk = false;
    const int hour = clock[0].toInt(&hourOk, 10);
    const int minute = clock[1].toInt(&minuteOk, 10);
    if (!hourOk || !minuteOk || hour < 0 || hour > 23 || minute < 0 || minute > 59)
        return time;
    time.name = name;
    time.hour = hour;
    time.minute = minute;
    if (pieces.size() >= 2)
        time.suffix = pieces[1];
    return time;
}

PAPrayDay readDay(const QJsonObject &object)
{
    PAPrayDay day;
    if (object.contains(QLatin1String("timings"))) {
        const QJsonObject timings = object.value(QLatin1String("timings")).toObject();
        for (int i = 0; i < PAPrayDay::kPrayerCount; ++i) {
            const QString name = QLatin1String(PAPrayDay::kNames[i]);
            if (timings.contains(name))
                day.times[i] = readTime(name, timings.value(name));
        }
    }
    if (object.contains(QLatin1String("date"))) {
        const QJsonObject gregorian =
            object.value(QLatin1String("date")).toObject().value(QLatin1String("gregorian")).toObject();
        const int year = gregorian.value(QLatin1String("year")).toString().toInt(nullptr, 10);
        const int month = gregorian.value(QLatin1String("month")).toObject().value(QLatin1String("number")).toInt();
        const int dayOfMonth = gregorian.value(QLatin1String("day")).toString().toInt(nullptr, 10);
        day.date = QDate(year, month, dayOfMonth);
    }
    if (object.contains(QLatin1String("meta"))) {
        const QJsonObject meta = object.value(QLatin1String("meta")).toObject();
        day.latitude = meta.value(QLatin1String("latitude")).toDouble();
        day.longitude = meta.value(QLatin1String("longitude")).toDouble();
        day.timeZone = meta.value(QLatin1String("timezone")).toString();
    }
    return day;
}

} // namespace

namespace PAPrayCalendar {

QString serviceUrl()
{
    {
        std::lock_guard<std::mutex> guard(g_urlLock);
        if (!g_url.isEmpty())
            return g_url;
    }
    const QString fromEnvironment = qEnvironmentVariable("PA_PRAY_SERVICE_URL");
    return fromEnvironment.isEmpty() ? QStringLiteral("https://api.aladhan.com") : fromEnvironment;
}

void setServiceUrl(const QString &url)
{
    std::lock_guard<std::mutex> guard(g_urlLock);
    g_url = url;
    while (g_url.endsWith(QLatin1Char('/')))
        g_url.chop(1);
}

int requestTimeoutMs()
{
    return g_timeoutMs.load();
}

void setRequestTimeoutMs(int ms)
{
    g_timeoutMs.store(ms > 0 ? ms : 15000);
}

QString calendarUrl(const QString &address, int method, int school, int latitudeMethod, int year, int month)
{
    // Put together piece by piece: the encoded address holds "%" signs that
    // a QString::arg() chain would take for place markers.
    return serviceUrl() + QStringLiteral("/v1/calendarByAddress?address=")
           + QString::fromLatin1(address.toUtf8().toPercentEncoding()) + QStringLiteral("&method=")
           + QString::number(method) + QStringLiteral("&school=") + QString::number(school)
           + QStringLiteral("&latitudeAdjustmentMethod=") + QString::number(latitudeMethod)
           + QStringLiteral("&month=") + QString::number(month) + QStringLiteral("&year=") + QString::number(year);
}

QVector<PAPrayDay> parseDays(const QByteArray &answer)
{
    QVector<PAPrayDay> days;
    if (answer.isEmpty())
        return days;
    // The program's strict reader: it refuses repeated keys, which the
    // library's parser does not free on every error path.
    QJsonParseError error{};
    const QJsonDocument document = rdParseJson(answer, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return days;
    const QJsonValue data = document.object().value(QLatin1String("data"));
    if (!data.isArray())
        return days;
    const QJsonArray array = data.toArray();
    days.reserve(array.size());
    for (const QJsonValue &element : array)
        days.append(element.isObject() ? readDay(element.toObject()) : PAPrayDay());
    return days;
}

} // namespace PAPrayCalendar
