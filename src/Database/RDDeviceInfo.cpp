#include "RDDeviceInfo.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

RDDeviceInfo::RDDeviceInfo(const QSqlQuery &query)
{
    const QSqlRecord record = query.record();
    auto column = [&](const char *field) {
        const int index = record.indexOf(QLatin1String(field));
        return index < 0 ? QVariant() : record.value(index);
    };
    id = column("id").toInt();
    name = column("name").toString();
    number = column("number").toString();
    password = column("password").toString();
}
