#pragma once

#include "PALogRecord.h"
#include "VDB.h"

#include <QString>
#include <QVector>

class QSqlQuery;

// The event log "palog.db". Records are written through one connection that
// stays open from the first record to shut-down and is shared by every
// thread (writeLog); readers and the start-up check build a temporary
// instance, run one operation and delete it.
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

    // Appends one record through the kept-open connection, opening it on the
    // first record (and again after the data folder changed or a write
    // failed). Writers take turns; each record is one short statement.
    // The new id; 0 when the record could not be written (logged).
    static int writeLog(const PALogRecord &record);
    // Closes the kept-open connection (shut-down, before the file is
    // replaced); the next record opens it again.
    static void closeSharedLog();

protected:
    void closeKeptConnections() override;

private:
    // Binds the record to a prepared insert and runs it; the new id or 0.
    int execInsert(QSqlQuery &query, const PALogRecord &record);
    static void bindFilter(QSqlQuery &query, const QString &conference, const QString &startTime,
                           const QString &endTime);
};
