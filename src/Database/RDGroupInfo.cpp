#include "RDGroupInfo.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

RDGroupInfo::RDGroupInfo(const QSqlQuery &query)
    : RDGroupInfo(query, columnIndexes(query.record()))
{
}

RDGroupInfo::RDGroupInfo(const QSqlQuery &query, const QVector<int> &indexes)
{
    int next = 0;
    auto column = [&]() {
        const int index = indexes.value(next++, -1);
        return index < 0 ? QVariant() : query.value(index);
    };
    id = column().toInt();
#define RD_READ_Int(field) field = column().toInt();
#define RD_READ_Text(field) field = column().toString();
#define RD_READ(kind, field) RD_READ_##kind(field)
    RD_GROUP_COLUMNS(RD_READ)
#undef RD_READ
#undef RD_READ_Text
#undef RD_READ_Int
}

QVector<int> RDGroupInfo::columnIndexes(const QSqlRecord &record)
{
    QVector<int> indexes;
    for (const QString &name : columnNames())
        indexes.append(record.indexOf(name));
    return indexes;
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
