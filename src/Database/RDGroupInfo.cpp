#include "RDGroupInfo.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

RDGroupInfo::RDGroupInfo(const QSqlQuery &query)
{
    const QSqlRecord record = query.record();
    auto column = [&](const char *field) {
        const int index = record.indexOf(QLatin1String(field));
        return index < 0 ? QVariant() : record.value(index);
    };
    id = column("id").toInt();
#define RD_READ_Int(field) field = column(#field).toInt();
#define RD_READ_Text(field) field = column(#field).toString();
#define RD_READ(kind, field) RD_READ_##kind(field)
    RD_GROUP_COLUMNS(RD_READ)
#undef RD_READ
#undef RD_READ_Text
#undef RD_READ_Int
}

const QStringList &RDGroupInfo::columnNames()
{
    static const QStringList names = [] {
        QStringList list{QStringLiteral("id")};
#define RD_NAME(kind, field) list << QStringLiteral(#field);
        RD_GROUP_COLUMNS(RD_NAME)
#undef RD_NAME
        return list;
    }();
    return names;
}
