#include "RDDeviceInfo.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

RDDeviceInfo::RDDeviceInfo(const QSqlQuery &query)
    : RDDeviceInfo(query, columnIndexes(query.record()))
{
}

RDDeviceInfo::RDDeviceInfo(const QSqlQuery &query, const QVector<int> &indexes)
{
    auto column = [&](int position) {
        const int index = indexes.value(position, -1);
        return index < 0 ? QVariant() : query.value(index);
    };
    id = column(0).toInt();
    name = column(1).toString();
    number = column(2).toString();
    password = column(3).toString();
}

QVector<int> RDDeviceInfo::columnIndexes(const QSqlRecord &record)
{
    return {record.indexOf(QStringLiteral("id")), record.indexOf(QStringLiteral("name")),
            record.indexOf(QStringLiteral("number")), record.indexOf(QStringLiteral("password"))};
}
