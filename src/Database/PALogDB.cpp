#include "PALogDB.h"

#include "VDBHelper.h"
#include "VDBLog.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <memory>
#include <mutex>

namespace {

const QString palogCreateSql = QStringLiteral(
    "create table if not exists palog(id integer primary key autoincrement, volume integer, groupId integer, "
    "groupPriority integer, groupName text, groupConference text, action text, source text, type text, "
    "codec text, dateTime text);");
const QString palogDropSql = QStringLiteral("drop table palog");
const QString insertSql = QStringLiteral(
    "insert into palog(volume,groupId,groupPriority,groupName,groupConference,action,source,type,dateTime) "
    "values(:volume,:groupId,:groupPriority,:groupName,:groupConference,:action,:source,:type,:dateTime);");

// The kept-open connection every writer shares. Left to SQLite's busy
// handler, writers on connections of their own back off unfairly and one that
// waits past the busy time-out loses its record; taking turns on one
// connection keeps every record and each turn lasts one insert.
struct SharedLog
{
    std::mutex turn;
    std::unique_ptr<PALogDB> db;
    // Prepared once per connection; always released before the connection.
    std::unique_ptr<QSqlQuery> insert;
    int dataDirGeneration = -1;

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
    return VDBHelper::upgradeTable(oldDb, newDb, palogDropSql, palogCreateSql, QStringLiteral("palog"));
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
    // Closed after the turn is over.
    std::unique_ptr<PALogDB> stale;
    std::lock_guard<std::mutex> turn(log.turn);
    const int generation = dataDirGeneration();
    if (log.db && (log.dataDirGeneration != generation || !log.db->isOpen()))
        stale = log.release();
    if (!log.db) {
        auto db = std::make_unique<PALogDB>(true);
        if (!db->isOpen())
            return 0;
        auto insert = std::make_unique<QSqlQuery>(db->database());
        if (!insert->prepare(insertSql)) {
            db->logSqlQueryError(*insert, insertSql);
            return 0;
        }
        log.db = std::move(db);
        log.insert = std::move(insert);
        log.dataDirGeneration = generation;
    }
    const int id = log.db->execInsert(*log.insert, record);
    // Whatever went wrong, the next record starts on a fresh connection.
    if (id == 0)
        stale = log.release();
    return id;
}

void PALogDB::closeSharedLog()
{
    SharedLog &log = sharedLog();
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

QVector<PALogRecord> PALogDB::selectLogs(int offset, int limit, const QString &conference,
                                         const QString &startTime, const QString &endTime)
{
    QVector<PALogRecord> records;
    const QString filter = buildFilter(conference, startTime, endTime);
    // offset and limit are ints, so their decimal text is safe in the statement.
    const QString sql = filter.isEmpty()
        ? QStringLiteral("select * from palog order by id desc limit %1 offset %2").arg(limit).arg(offset)
        : QStringLiteral("select * from palog where %1 order by id desc limit %2 offset %3")
              .arg(filter).arg(limit).arg(offset);
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
