#include "PALogDB.h"

#include "VDBHelper.h"
#include "VDBLog.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

const QString palogCreateSql = QStringLiteral(
    "create table if not exists palog(id integer primary key autoincrement, volume integer, groupId integer, "
    "groupPriority integer, groupName text, groupConference text, action text, source text, type text, "
    "codec text, dateTime text);");
// A zone's records are found through the first index in id order, a date
// range through the second, both together through the third.
const char *const palogIndexSqls[] = {
    "create index if not exists palog_groupConference on palog(groupConference)",
    "create index if not exists palog_dateTime on palog(dateTime)",
    "create index if not exists palog_groupConference_dateTime on palog(groupConference, dateTime)",
};
const QString palogDropSql = QStringLiteral("drop table palog");
const QString insertSql = QStringLiteral(
    "insert into palog(volume,groupId,groupPriority,groupName,groupConference,action,source,type,dateTime) "
    "values(:volume,:groupId,:groupPriority,:groupName,:groupConference,:action,:source,:type,:dateTime);");

// The kept-open connection every writer shares. Left to SQLite's busy
// handler, writers on connections of their own back off unfairly and one that
// waits past the busy time-out loses its record; taking turns on one
// connection keeps every record.
//
// Records wait, oldest first, in the posted list and in the queue of writers
// waiting for their record's id. Whoever finds nobody writing (a writer
// waiting for its own record, a flush, or the log's own thread for posted
// records) takes every record waiting and writes them as one batch in one
// transaction: a burst costs one commit per batch, not one per record.
struct SharedLog
{
    // One record waiting to be written.
    struct Pending
    {
        PALogRecord record;
        int id = 0;
        bool done = false;
    };

    // Held while a batch is written, and to change the connection.
    std::mutex turn;
    std::unique_ptr<PALogDB> db;
    // Prepared once per connection; always released before the connection.
    std::unique_ptr<QSqlQuery> insert;
    int dataDirGeneration = -1;

    // Posted records, newest first. Posting pushes onto this list without
    // a lock: the request threads that post never wait for one another or
    // for the writer. Whoever writes a batch takes the whole list.
    struct Posted
    {
        PALogRecord record;
        Posted *next = nullptr;
    };
    std::atomic<Posted *> posted{nullptr};
    // Clear while the writer thread works through posted records, or lets
    // them gather for a moment between batches: posts made meanwhile wake
    // nobody. Set while it sleeps with nothing to write, or has not started
    // (or has ended): then the post that makes the list non-empty sees to it.
    std::atomic<bool> writerIdle{true};
    static constexpr std::chrono::milliseconds kGather{20};

    std::mutex queueLock; // guards everything below
    // Signalled when a record is queued, when the posted list stops being
    // empty, and when a batch is done.
    std::condition_variable changed;
    std::vector<std::shared_ptr<Pending>> queue;
    bool writing = false;
    // Writes the posted records; started by the first one, ended by
    // closeSharedLog (which sets stopWriter while it waits for the end).
    std::thread writer;
    bool stopWriter = false;

    bool hasWork() const { return !queue.empty() || posted.load() != nullptr; }

    // The posted list, oldest first; empty afterwards.
    std::vector<std::unique_ptr<Posted>> takePosted()
    {
        std::vector<std::unique_ptr<Posted>> taken;
        for (Posted *p = posted.exchange(nullptr, std::memory_order_acquire); p;) {
            Posted *next = p->next;
            taken.emplace_back(p);
            p = next;
        }
        std::reverse(taken.begin(), taken.end());
        return taken;
    }

    std::unique_ptr<PALogDB> release()
    {
        insert.reset();
        return std::move(db);
    }
};

SharedLog &sharedLog()
{
    // Never destroyed: the connection must not close after Qt's SQL registry
    // has gone at exit; shut-down closes it in order.
    static SharedLog *log = new SharedLog;
    return *log;
}

} // namespace

PALogDB::PALogDB(bool openNow)
{
    if (openNow)
        open(QString());
}

PALogDB::~PALogDB()
{
    close();
}

QString PALogDB::version()
{
    return QStringLiteral("1.0.0");
}

QString PALogDB::filePath()
{
    return dbFilePath();
}

QString PALogDB::dbFilePath()
{
    return dataFilePath(QStringLiteral("palog.db"));
}

bool PALogDB::upgradeTables(QSqlDatabase oldDb, QSqlDatabase newDb)
{
    if (!VDBHelper::upgradeTable(oldDb, newDb, palogDropSql, palogCreateSql, QStringLiteral("palog")))
        return false;
    for (const char *sql : palogIndexSqls) {
        if (VDBHelper::execSql(newDb, QLatin1String(sql)) != 0)
            return false;
    }
    return true;
}

bool PALogDB::ensureIndexes()
{
    for (const char *sql : palogIndexSqls) {
        QSqlQuery query(m_db);
        // A no-op read of the schema when the index is there already.
        if (!query.exec(QLatin1String(sql))) {
            logSqlQueryError(query, QLatin1String(sql));
            return false;
        }
    }
    return true;
}

void PALogDB::prepareRead()
{
    flushLog();
    if (!m_indexesChecked)
        m_indexesChecked = ensureIndexes();
}

QString PALogDB::name()
{
    return QStringLiteral("palog");
}

void PALogDB::logSqlQueryError(const QSqlQuery &query, const QString &statementText)
{
    const QSqlError error = query.lastError();
    VDB_LOG("PALogDB::logSqlQueryError", "query error %d, %s -> %s\n", int(error.type()),
            statementText.toUtf8().constData(), error.text().toUtf8().constData());
}

int PALogDB::writeLog(const PALogRecord &record)
{
    SharedLog &log = sharedLog();
    auto mine = std::make_shared<SharedLog::Pending>();
    mine->record = record;
    std::unique_lock<std::mutex> queued(log.queueLock);
    log.queue.push_back(mine);
    while (!mine->done) {
        if (log.writing)
            log.changed.wait(queued);
        else
            writeWaiting(queued);
    }
    return mine->id;
}

void PALogDB::postLog(const PALogRecord &record)
{
    SharedLog &log = sharedLog();
    auto *posted = new SharedLog::Posted{record, nullptr};
    SharedLog::Posted *head = log.posted.load(std::memory_order_relaxed);
    do {
        posted->next = head;
    } while (!log.posted.compare_exchange_weak(head, posted));
    // Onto a list that already held records: whoever made it non-empty has
    // seen to the writer, which takes the whole list at once. A writer that
    // is not idle comes to the list by itself.
    if (head || !log.writerIdle.load())
        return;
    {
        std::lock_guard<std::mutex> queued(log.queueLock);
        // While the log closes, the closing flush takes the record.
        if (!log.writer.joinable() && !log.stopWriter) {
            log.writer = std::thread([&log] {
                std::unique_lock<std::mutex> waiting(log.queueLock);
                for (;;) {
                    // Idle before the list is looked at: a record posted
                    // after the look sees the flag and wakes the thread.
                    log.writerIdle.store(true);
                    log.changed.wait(waiting, [&log] {
                        return (log.stopWriter && !log.hasWork()) || (log.hasWork() && !log.writing);
                    });
                    if (!log.hasWork())
                        return;
                    log.writerIdle.store(false);
                    writeWaiting(waiting);
                    // Records posted meanwhile gather into the next batch.
                    log.changed.wait_for(waiting, SharedLog::kGather, [&log] { return log.stopWriter; });
                }
            });
        }
    }
    log.changed.notify_all();
}

void PALogDB::flushLog()
{
    SharedLog &log = sharedLog();
    std::unique_lock<std::mutex> queued(log.queueLock);
    while (log.hasWork() || log.writing) {
        if (log.writing)
            log.changed.wait(queued);
        else
            writeWaiting(queued);
    }
}

void PALogDB::writeWaiting(std::unique_lock<std::mutex> &queued)
{
    SharedLog &log = sharedLog();
    log.writing = true;
    // Posted records first: a thread that posts and then writes a record
    // of its own finds them in that order.
    const std::vector<std::unique_ptr<SharedLog::Posted>> posted = log.takePosted();
    std::vector<std::shared_ptr<SharedLog::Pending>> batch;
    batch.swap(log.queue);
    queued.unlock();
    {
        // Closed after the turn is over.
        std::unique_ptr<PALogDB> stale;
        std::lock_guard<std::mutex> turn(log.turn);
        const int generation = dataDirGeneration();
        if (log.db && (log.dataDirGeneration != generation || !log.db->isOpen()))
            stale = log.release();
        if (!log.db) {
            auto db = std::make_unique<PALogDB>(true);
            auto insert = db->isOpen() ? std::make_unique<QSqlQuery>(db->database()) : nullptr;
            if (insert && insert->prepare(insertSql)) {
                log.db = std::move(db);
                log.insert = std::move(insert);
                log.dataDirGeneration = generation;
            } else if (insert) {
                db->logSqlQueryError(*insert, insertSql);
            }
        }
        if (log.db) {
            QSqlDatabase database = log.db->database();
            const bool inTransaction = posted.size() + batch.size() > 1 && database.transaction();
            bool failed = false;
            for (const std::unique_ptr<SharedLog::Posted> &record : posted)
                failed = log.db->execInsert(*log.insert, record->record) == 0 || failed;
            for (const std::shared_ptr<SharedLog::Pending> &pending : batch) {
                pending->id = log.db->execInsert(*log.insert, pending->record);
                failed = failed || pending->id == 0;
            }
            if (inTransaction && !database.commit()) {
                VDB_LOG("PALogDB::writeLog", "%d records lost, the commit failed: %s\n",
                        int(posted.size() + batch.size()),
                        database.lastError().text().toUtf8().constData());
                database.rollback();
                for (const std::shared_ptr<SharedLog::Pending> &pending : batch)
                    pending->id = 0;
                failed = true;
            }
            // Whatever went wrong, the next record starts on a fresh connection.
            if (failed)
                stale = log.release();
        } else {
            VDB_LOG("PALogDB::writeLog", "%d records lost, the log does not open\n",
                    int(posted.size() + batch.size()));
        }
    }
    queued.lock();
    for (const std::shared_ptr<SharedLog::Pending> &pending : batch)
        pending->done = true;
    log.writing = false;
    log.changed.notify_all();
}

void PALogDB::closeSharedLog()
{
    SharedLog &log = sharedLog();
    // The writer thread writes what is queued and ends; posted records go in
    // first, so shut-down loses none and leaves no thread behind.
    std::thread writer;
    {
        std::lock_guard<std::mutex> queued(log.queueLock);
        log.stopWriter = true;
        writer = std::move(log.writer);
    }
    log.changed.notify_all();
    if (writer.joinable())
        writer.join();
    {
        std::lock_guard<std::mutex> queued(log.queueLock);
        log.stopWriter = false;
    }
    // Posted while the writer ended.
    flushLog();
    std::unique_ptr<PALogDB> db;
    std::lock_guard<std::mutex> turn(log.turn);
    db = log.release();
}

void PALogDB::closeKeptConnections()
{
    closeSharedLog();
}

int PALogDB::insertLog(const PALogRecord &record)
{
    QSqlQuery query(m_db);
    if (!query.prepare(insertSql)) {
        logSqlQueryError(query, insertSql);
        return 0;
    }
    return execInsert(query, record);
}

int PALogDB::execInsert(QSqlQuery &query, const PALogRecord &record)
{
    query.bindValue(QStringLiteral(":volume"), record.volume);
    query.bindValue(QStringLiteral(":groupId"), record.groupId);
    query.bindValue(QStringLiteral(":groupPriority"), record.groupPriority);
    query.bindValue(QStringLiteral(":groupName"), record.groupName);
    query.bindValue(QStringLiteral(":groupConference"), record.groupConference);
    query.bindValue(QStringLiteral(":action"), record.action);
    query.bindValue(QStringLiteral(":source"), record.source);
    query.bindValue(QStringLiteral(":type"), record.type);
    query.bindValue(QStringLiteral(":dateTime"), record.dateTime);
    if (!query.exec()) {
        logSqlQueryError(query, insertSql);
        return 0;
    }
    const int id = query.lastInsertId().toInt();
    // Ends the statement at once, so that a kept statement holds no lock.
    query.finish();
    return id;
}

QString PALogDB::buildFilter(const QString &conference, const QString &startTime, const QString &endTime)
{
    QString filter;
    auto append = [&filter](const QString &condition) {
        filter += filter.isEmpty() ? QStringLiteral(" ") : QStringLiteral(" and ");
        filter += condition;
    };
    if (!conference.isEmpty())
        append(QStringLiteral("groupConference = :conference"));
    if (!startTime.isEmpty())
        append(QStringLiteral("dateTime >= :startTime"));
    if (!endTime.isEmpty())
        append(QStringLiteral("dateTime <= :endTime"));
    return filter;
}

void PALogDB::bindFilter(QSqlQuery &query, const QString &conference, const QString &startTime,
                         const QString &endTime)
{
    if (!conference.isEmpty())
        query.bindValue(QStringLiteral(":conference"), conference);
    if (!startTime.isEmpty())
        query.bindValue(QStringLiteral(":startTime"), startTime);
    if (!endTime.isEmpty())
        query.bindValue(QStringLiteral(":endTime"), endTime);
}

QString PALogDB::selectSql(const QString &filter, int offset, int limit, bool walk)
{
    // offset and limit are ints, so their decimal text is safe in the statement.
    if (filter.isEmpty())
        return QStringLiteral("select * from palog order by id desc limit %1 offset %2").arg(limit).arg(offset);
    if (walk) {
        return QStringLiteral("select * from palog not indexed where %1 order by id desc limit %2 offset %3")
            .arg(filter).arg(limit).arg(offset);
    }
    // Sorting the matching ids alone (from a covering index) costs far less
    // than sorting whole rows; only the page's rows are then read.
    return QStringLiteral("select * from palog where id in (select id from palog where %1 "
                          "order by id desc limit %2 offset %3) order by id desc")
        .arg(filter).arg(limit).arg(offset);
}

bool PALogDB::walkIsCheaper(int offset, int limit, qint64 rows, int matching)
{
    if (matching <= 0 || rows <= 0)
        return false;
    // Matching records are spread over the log: reaching the end of the page
    // passes about (offset + limit) * rows / matching records. Passing a
    // record costs about an eighth of sorting one (measured), and a walk
    // never passes more than the whole log.
    const qint64 passed = (qint64(qMax(0, offset)) + qMax(0, limit)) * rows / matching;
    return passed < qint64(matching) * 8;
}

QVector<PALogRecord> PALogDB::selectLogs(int offset, int limit, const QString &conference,
                                         const QString &startTime, const QString &endTime, int matching)
{
    prepareRead();
    QVector<PALogRecord> records;
    bool walk = false;
    if (matching > 0 && (!startTime.isEmpty() || !endTime.isEmpty())) {
        // Ids only grow, so the newest one tells the size of the log.
        QSqlQuery newest(m_db);
        if (newest.exec(QStringLiteral("select max(id) from palog")) && newest.next())
            walk = walkIsCheaper(offset, limit, newest.value(0).toLongLong(), matching);
    }
    const QString sql = selectSql(buildFilter(conference, startTime, endTime), offset, limit, walk);
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(sql)) {
        logSqlQueryError(query, sql);
        return records;
    }
    bindFilter(query, conference, startTime, endTime);
    if (!query.exec()) {
        logSqlQueryError(query, sql);
        return records;
    }
    while (query.next()) {
        const PALogRecord record = readLog(query);
        if (record.id > 0)
            records.append(record);
    }
    if (query.lastError().isValid()) {
        logSqlQueryError(query, sql);
        return QVector<PALogRecord>();
    }
    return records;
}

int PALogDB::countLogs(const QString &conference, const QString &startTime, const QString &endTime)
{
    prepareRead();
    const QString filter = buildFilter(conference, startTime, endTime);
    QString sql = QStringLiteral("select count(id) from palog");
    if (!filter.isEmpty())
        sql += QStringLiteral(" where ") + filter;
    QSqlQuery query(m_db);
    if (!query.prepare(sql)) {
        logSqlQueryError(query, sql);
        return 0;
    }
    bindFilter(query, conference, startTime, endTime);
    if (!query.exec()) {
        logSqlQueryError(query, sql);
        return 0;
    }
    return query.next() ? query.value(0).toInt() : 0;
}

PALogRecord PALogDB::readLog(const QSqlQuery &query)
{
    const QSqlRecord row = query.record();
    auto column = [&](const char *field) {
        const int index = row.indexOf(QLatin1String(field));
        return index < 0 ? QVariant() : row.value(index);
    };
    PALogRecord record;
    record.id = column("id").toInt();
    record.volume = column("volume").toInt();
    record.groupId = column("groupId").toInt();
    record.groupPriority = column("groupPriority").toInt();
    record.groupName = column("groupName").toString();
    record.groupConference = column("groupConference").toString();
    record.action = column("action").toString();
    record.source = column("source").toString();
    record.type = column("type").toString();
    record.dateTime = column("dateTime").toString();
    return record;
}
