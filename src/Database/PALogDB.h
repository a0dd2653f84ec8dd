#pragma once

#include "PALogRecord.h"
#include "VDB.h"

#include <QString>
#include <QVector>

class QSqlQuery;

// The event log "palog.db". Every user builds a temporary instance on its own
// thread, runs one operation and deletes it.
class PALogDB : public VDB
{
    Q_OBJECT
public:
    explicit PALogDB(bool open);
    ~PALogDB() override;

    QString version() override;
    QString filePath() override;
    bool upgradeTables(QSqlDatabase oldDb, QSqlDatabase newDb) override;
    QString name() override;

    int insertLog(const PALogRecord &record);
    // One page, newest first. Empty filter values set no condition.
    QVector<PALogRecord> selectLogs(int offset, int limit, const QString &conference,
                                    const QString &startTime, const QString &endTime);
    int countLogs(const QString &conference, const QString &startTime, const QString &endTime);
    static QString buildFilter(const QString &conference, const QString &startTime, const QString &endTime);
    static PALogRecord readLog(const QSqlQuery &query);
    void logSqlQueryError(const QSqlQuery &query, const QString &statementText);

    static QString dbFilePath();

private:
    static void bindFilter(QSqlQuery &query, const QString &conference, const QString &startTime,
                           const QString &endTime);
};
