#pragma once

#include "PALogRecord.h"
#include "VDB.h"

#include <QString>
#include <QVector>

#include <mutex>

class QSqlQuery;

// The event log "palog.db". Records are written through one connection that
// stays open from the first record to shut-down and is shared by every
// thread (writeLog, postLog); readers and the start-up check build a
// temporary instance, run one operation and delete it.
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
    // `matching`, when known (countLogs of the same filter), lets a time
    // range that holds most of the log be paged by walking the log newest
    // first, instead of sorting every record of the range.
    QVector<PALogRecord> selectLogs(int offset, int limit, const QString &conference,
                                    const QString &startTime, const QString &endTime, int matching = -1);
    int countLogs(const QString &conference, const QString &startTime, const QString &endTime);
    static QString buildFilter(const QString &conference, const QString &startTime, const QString &endTime);
    // The statement selectLogs runs for a filter made by buildFilter: the
    // ids of the page are taken from an index first, and only their rows are
    // read.
    static QString selectSql(const QString &filter, int offset, int limit, bool walk = false);
    // Whether a page of a time range is found sooner by walking the log
    // newest first than through the time index, where every record of the
    // range is sorted. `rows` is the size of the log.
    static bool walkIsCheaper(int offset, int limit, qint64 rows, int matching);
    // Binds the values of a filter made by buildFilter to a prepared query.
    static void bindFilter(QSqlQuery &query, const QString &conference, const QString &startTime,
                           const QString &endTime);
    // Makes the indexes the filtered reads search by, when the file lacks
    // them (a file from before they existed). False when they could not be
    // made (logged); reads still work, only slower.
    bool ensureIndexes();
    static PALogRecord readLog(const QSqlQuery &query);
    void logSqlQueryError(const QSqlQuery &query, const QString &statementText);

    static QString dbFilePath();

    // Appends one record through the kept-open connection, opening it on the
    // first record (and again after the data folder changed or a write
    // failed), and returns once it is committed. Records that arrive while
    // another batch is written go in together as the next one.
    // The new id; 0 when the record could not be written (logged).
    static int writeLog(const PALogRecord &record);
    // Queues one record for the log's own thread and returns at once (the
    // request paths): it is committed within a batch's time, in the order
    // posted. Failures are logged as for writeLog.
    static void postLog(const PALogRecord &record);
    // Returns once every record queued before the call is written (or has
    // failed). Every read of the log flushes first, so a reader never misses
    // a record posted before it began.
    static void flushLog();
    // Writes what is queued, then closes the kept-open connection
    // (shut-down, before the file is replaced); the next record opens it
    // again.
    static void closeSharedLog();

protected:
    void closeKeptConnections() override;

private:
    // Binds the record to a prepared insert and runs it; the new id or 0.
    int execInsert(QSqlQuery &query, const PALogRecord &record);
    // With the queue lock held and nobody writing: writes every record
    // waiting as one batch; the lock is released meanwhile.
    static void writeWaiting(std::unique_lock<std::mutex> &queued);
    // Before every read: writes what is queued and, once per connection,
    // makes sure the indexes exist.
    void prepareRead();

    bool m_indexesChecked = false;
};
