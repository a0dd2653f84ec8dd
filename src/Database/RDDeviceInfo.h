#pragma once

#include <QString>

class QSqlQuery;

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
};
