#pragma once

#include <QString>

#include <QVector>

class QSqlQuery;
class QSqlRecord;

// The stored part of a device: one row of table RDDevice, in column order.
struct RDDeviceInfo
{
    int id = 0;          // row id; 0 while not stored
    QString name;
    QString number;      // SIP user number, unique in the table
    QString password;

    RDDeviceInfo() = default;
    // Reads the query's current row by column name.
    explicit RDDeviceInfo(const QSqlQuery &query);
    // The same with the positions of id, name, number and password worked
    // out once per result (see columnIndexes).
    RDDeviceInfo(const QSqlQuery &query, const QVector<int> &indexes);

    static QVector<int> columnIndexes(const QSqlRecord &record);
};
