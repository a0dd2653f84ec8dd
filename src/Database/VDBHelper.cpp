#include "VDBHelper.h"

#include "VDBLog.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

#include <climits>
#include <filesystem>
#include <system_error>

const QString VDBHelper::versionTable = QStringLiteral("vdb_version");
const QString VDBHelper::versionCreateSql = QStringLiteral(
    "create table if not exists vdb_version(id integer primary key autoincrement, name text unique, version text)");
const QString VDBHelper::versionDropSql = QStringLiteral("drop table vdb_version");

namespace {

QByteArray utf8(const QString &text)
{
    return text.toUtf8();
}

QString quoted(const QString &identifier)
{
    QString escaped = identifier;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

std::filesystem::path fsPath(const QString &path)
{
    return std::filesystem::path(path.toStdString());
}

// Connection names for the copy routines: unique, so that two copies on two
// threads can never meet on one connection.
QString uniqueConnectionName(const char *prefix)
{
    static QAtomicInt counter;
    return QStringLiteral("%1-%2").arg(QLatin1String(prefix)).arg(counter.fetchAndAddOrdered(1));
}

} // namespace

int VDBHelper::execSql(QSqlDatabase db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql)) {
        VDB_LOG("VDBHelper::execSql", "%s -> %s\n", utf8(sql).constData(),
                utf8(query.lastError().text()).constData());
        return -1;
    }
    return 0;
}

QString VDBHelper::readVersion(QSqlDatabase db, const QString &name, bool *ok)
{
    const QString sql = QStringLiteral("select * from %1 where name = :name").arg(versionTable);
    QSqlQuery query(db);
    if (!query.prepare(sql) || (query.bindValue(QStringLiteral(":name"), name), !query.exec())) {
        VDB_LOG("VDBHelper::readVersion", "%s -> %s\n", utf8(sql).constData(),
                utf8(query.lastError().text()).constData());
        if (ok)
            *ok = false;
        return QString();
    }
    QString version;
    if (query.next())
        version = query.value(QStringLiteral("version")).toString();
    if (ok)
        *ok = !query.lastError().isValid();
    return version;
}

int VDBHelper::writeVersion(QSqlDatabase db, const QString &name, const QString &version)
{
    const QString sql = QStringLiteral("insert into %1(name, version) values(:name, :version);").arg(versionTable);
    QSqlQuery query(db);
    bool done = query.prepare(sql);
    if (done) {
        query.bindValue(QStringLiteral(":name"), name);
        query.bindValue(QStringLiteral(":version"), version);
        done = query.exec();
    }
    if (!done) {
        VDB_LOG("VDBHelper::writeVersion", "%s -> %s\n", utf8(sql).constData(),
                utf8(query.lastError().text()).constData());
        return -1;
    }
    return 0;
}

int VDBHelper::removeVersion(QSqlDatabase db, const QString &name)
{
    const QString sql = QStringLiteral("delete from %1 where name=:name").arg(versionTable);
    QSqlQuery query(db);
    if (!query.prepare(sql)) {
        VDB_LOG("VDBHelper::removeVersion", "%s -> %s\n", utf8(sql).constData(),
                utf8(query.lastError().text()).constData());
        return -1;
    }
    query.bindValue(QStringLiteral(":name"), name);
    if (!query.exec()) {
        VDB_LOG("VDBHelper::removeVersion", "%s -> %s\n", utf8(sql).constData(),
                utf8(query.lastError().text()).constData());
        return -1;
    }
    return 0;
}

bool VDBHelper::hasTable(QSqlDatabase db, const QString &table, bool *ok, QString *error)
{
    const QString sql = QStringLiteral("select count(*) from sqlite_master where type='table' and name=:name");
    QSqlQuery query(db);
    bool done = query.prepare(sql);
    if (done) {
        query.bindValue(QStringLiteral(":name"), table);
        done = query.exec() && query.next();
    }
    if (!done) {
        VDB_LOG("VDBHelper::hasTable", "%s -> %s\n", utf8(sql).constData(),
                utf8(query.lastError().text()).constData());
        if (ok)
            *ok = false;
        if (error)
            *error = query.lastError().text();
        return false;
    }
    if (ok)
        *ok = true;
    return query.value(0).toInt() > 0;
}

QVector<QString> VDBHelper::readTableHeaders(QSqlDatabase db, const QString &table, bool *ok)
{
    QVector<QString> headers;
    const QString sql = QStringLiteral("PRAGMA table_info(%1);").arg(quoted(table));
    QSqlQuery query(db);
    if (!query.exec(sql)) {
        VDB_LOG("VDBHelper::readTableHeaders", "%s -> %s\n", utf8(sql).constData(),
                utf8(query.lastError().text()).constData());
        if (ok)
            *ok = false;
        return headers;
    }
    while (query.next())
        headers.append(query.value(QStringLiteral("name")).toString());
    const bool read = !query.lastError().isValid();
    if (!read) {
        VDB_LOG("VDBHelper::readTableHeaders", "%s -> %s\n", utf8(sql).constData(),
                utf8(query.lastError().text()).constData());
        headers.clear();
    }
    if (ok)
        *ok = read;
    return headers;
}

QVector<VDBRow> VDBHelper::readTableDatas(QSqlDatabase db, const QString &table, bool *ok)
{
    QVector<VDBRow> rows;
    bool headersRead = true;
    const QVector<QString> headers = readTableHeaders(db, table, &headersRead);
    if (headers.isEmpty()) {
        if (ok)
            *ok = headersRead;
        return rows;
    }
    const QString sql = QStringLiteral("select * from %1").arg(quoted(table));
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(sql)) {
        VDB_LOG("VDBHelper::readTableDatas", "%s -> %s\n", utf8(sql).constData(),
                utf8(query.lastError().text()).constData());
        if (ok)
            *ok = false;
        return rows;
    }
    while (query.next()) {
        VDBRow row;
        for (int i = 0; i < headers.size(); ++i)
            row.insert(headers.at(i), query.value(i));
        rows.append(row);
    }
    // A page that cannot be read ends the loop early with an error set.
    if (query.lastError().isValid()) {
        VDB_LOG("VDBHelper::readTableDatas", "%s -> %s\n", utf8(sql).constData(),
                utf8(query.lastError().text()).constData());
        if (ok)
            *ok = false;
        return QVector<VDBRow>();
    }
    if (ok)
        *ok = true;
    return rows;
}

bool VDBHelper::copyTable(QSqlDatabase fromDb, QSqlDatabase toDb, const QString &table, bool *complete)
{
    if (complete)
        *complete = false;
    bool read = true;
    const QVector<QString> columns = readTableHeaders(fromDb, table, &read);
    if (columns.isEmpty()) {
        // A table missing in the source stays empty in the target.
        if (complete)
            *complete = read;
        return false;
    }
    const QVector<VDBRow> rows = readTableDatas(fromDb, table, &read);
    if (!read)
        return true;
    if (rows.isEmpty()) {
        if (complete)
            *complete = true;
        return true;
    }

    // Insert under the target's own spelling of each column; the source's
    // names never reach the statement text.
    const QVector<QString> targetColumns = readTableHeaders(toDb, table);
    QStringList names;
    QStringList placeholders;
    QString unknown;
    for (const QString &column : columns) {
        QString match;
        for (const QString &target : targetColumns) {
            if (target.compare(column, Qt::CaseInsensitive) == 0) {
                match = target;
                break;
            }
        }
        if (match.isEmpty()) {
            unknown = column;
            break;
        }
        names << quoted(match);
        placeholders << QStringLiteral("?");
    }
    const QString sql = QStringLiteral("insert into %1(%2) values(%3);")
                            .arg(quoted(table), names.join(QLatin1Char(',')),
                                 placeholders.join(QLatin1Char(',')));
    VDB_LOG("VDBHelper::copyTable", "%s\n", utf8(sql).constData());
    if (!unknown.isEmpty()) {
        VDB_LOG("VDBHelper::copyTable", "%s -> %s\n", utf8(sql).constData(),
                utf8(QStringLiteral("the target table %1 has no column %2; %3 rows not copied")
                         .arg(table, unknown).arg(rows.size()))
                    .constData());
        return true;
    }

    const bool inTransaction = toDb.transaction();
    QSqlQuery query(toDb);
    int failed = 0;
    if (!query.prepare(sql)) {
        VDB_LOG("VDBHelper::copyTable", "%s -> %s\n", utf8(sql).constData(),
                utf8(query.lastError().text()).constData());
        failed = rows.size();
    } else {
        for (const VDBRow &row : rows) {
            for (int i = 0; i < columns.size(); ++i)
                query.bindValue(i, row.value(columns.at(i)));
            if (!query.exec()) {
                ++failed;
                VDB_LOG("VDBHelper::copyTable", "%s -> %s\n", utf8(sql).constData(),
                        utf8(query.lastError().text()).constData());
            }
        }
    }
    query.finish();
    if (inTransaction && !toDb.commit()) {
        VDB_LOG("VDBHelper::copyTable", "%s -> %s\n", "commit",
                utf8(toDb.lastError().text()).constData());
        toDb.rollback();
        failed = rows.size();
    }
    if (complete)
        *complete = failed == 0;
    return true;
}

bool VDBHelper::upgradeTable(QSqlDatabase oldDb, QSqlDatabase newDb, const QString &dropSql,
                             const QString &createSql, const QString &table)
{
    // The new file is built from scratch, so a drop only runs when it holds
    // the table already.
    bool ok = true;
    if (hasTable(newDb, table, &ok) && execSql(newDb, dropSql) != 0)
        return false;
    if (!ok || execSql(newDb, createSql) != 0)
        return false;
    bool complete = false;
    copyTable(oldDb, newDb, table, &complete);
    return complete;
}

int VDBHelper::compareVersion(const QString &a, const QString &b)
{
    const QStringList partsA = a.split(QLatin1Char('.'));
    const QStringList partsB = b.split(QLatin1Char('.'));
    if (partsA.size() != partsB.size())
        return partsA.size() - partsB.size();
    for (int i = 0; i < partsA.size(); ++i) {
        // Version texts come from files; a wide type keeps any two parts
        // from overflowing the difference.
        const qint64 difference = qint64(partsA.at(i).toInt(nullptr, 10)) - partsB.at(i).toInt(nullptr, 10);
        if (difference != 0)
            return int(qBound<qint64>(INT_MIN, difference, INT_MAX));
    }
    return 0;
}

bool VDBHelper::exportDatabase(const QString &sourcePath, const QString &destinationPath,
                               const QVector<QString> &dropSqls, const QVector<QString> &createSqls,
                               const QVector<QString> &tables, const QString &name,
                               const QString &version)
{
    Q_UNUSED(dropSqls)
    if (isSameFile(sourcePath, destinationPath)) {
        VDB_LOG("VDBHelper::exportDatabase", "%s -> %s\n", utf8(destinationPath).constData(),
                "refused: the destination is the database itself");
        return false;
    }
    // Built beside the destination, so that the final move is one rename on
    // one filesystem (a removable stick is another filesystem).
    return copyDatabase(sourcePath, destinationPath, destinationPath + QStringLiteral(".export"),
                        createSqls, tables, name, version, "VDBHelper::exportDatabase");
}

bool VDBHelper::importDatabase(const QString &sourcePath, const QString &destinationPath,
                               const QVector<QString> &dropSqls, const QVector<QString> &createSqls,
                               const QVector<QString> &tables, const QString &name,
                               const QString &version)
{
    Q_UNUSED(dropSqls)
    return copyDatabase(sourcePath, destinationPath, destinationPath + QStringLiteral(".import"),
                        createSqls, tables, name, version, "VDBHelper::importDatabase");
}

bool VDBHelper::copyDatabase(const QString &sourcePath, const QString &destinationPath,
                             const QString &tempPath, const QVector<QString> &createSqls,
                             const QVector<QString> &tables, const QString &name,
                             const QString &version, const char *function)
{
    auto refuse = [&](const QString &why) {
        VDB_LOG(function, "%s -> %s\n", utf8(sourcePath).constData(), utf8(why).constData());
        return false;
    };
    if (!QFileInfo(sourcePath).isFile())
        return refuse(QStringLiteral("refused: no such file"));
    if (createSqls.size() != tables.size())
        return refuse(QStringLiteral("refused: table lists differ in length"));
    if (!removeDatabaseFile(tempPath))
        return refuse(QStringLiteral("refused: cannot remove the old temporary file ") + tempPath);

    const QString sourceName = uniqueConnectionName("copy-source");
    const QString targetName = uniqueConnectionName("copy-target");
    QString failure;
    {
        QSqlDatabase source = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), sourceName);
        source.setDatabaseName(sourcePath);
        // Read-only and without create: a missing or foreign file stays as it is.
        source.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlDatabase target = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), targetName);
        target.setDatabaseName(tempPath);

        bool ok = false;
        QString why;
        if (!source.open()) {
            failure = QStringLiteral("refused: cannot open: ") + source.lastError().text();
        } else if (hasTable(source, versionTable, &ok, &why), !ok) {
            failure = QStringLiteral("refused: not a readable SQLite database (%1)").arg(why);
        } else if (readVersion(source, name, &ok).isEmpty() || !ok) {
            failure = QStringLiteral("refused: no version row \"%1\"").arg(name);
        } else {
            for (const QString &table : tables) {
                if (!hasTable(source, table, &ok) || !ok) {
                    failure = QStringLiteral("refused: no table %1").arg(table);
                    break;
                }
            }
        }
        // One read transaction over all tables: a writer on another
        // connection cannot change the data half-way through the copy.
        const bool snapshot = failure.isEmpty() && source.transaction();
        if (failure.isEmpty() && !target.open())
            failure = QStringLiteral("cannot create ") + tempPath + QStringLiteral(": ") + target.lastError().text();
        for (int i = 0; failure.isEmpty() && i < tables.size(); ++i) {
            bool complete = false;
            if (execSql(target, createSqls.at(i)) != 0)
                failure = QStringLiteral("cannot create table ") + tables.at(i);
            else if (copyTable(source, target, tables.at(i), &complete), !complete)
                failure = QStringLiteral("refused: rows of table %1 could not be copied").arg(tables.at(i));
        }
        if (failure.isEmpty() && !tables.contains(versionTable)) {
            bool complete = false;
            if (execSql(target, versionCreateSql) != 0)
                failure = QStringLiteral("cannot create table ") + versionTable;
            else if (copyTable(source, target, versionTable, &complete), !complete)
                failure = QStringLiteral("refused: rows of table %1 could not be copied").arg(versionTable);
        }
        if (failure.isEmpty()
            && (removeVersion(target, name) != 0 || writeVersion(target, name, version) != 0))
            failure = QStringLiteral("cannot stamp the version");
        target.close();
        if (snapshot)
            source.rollback();
        source.close();
    }
    QSqlDatabase::removeDatabase(targetName);
    QSqlDatabase::removeDatabase(sourceName);

    if (failure.isEmpty() && !replaceFile(tempPath, destinationPath))
        failure = QStringLiteral("cannot move the new file to ") + destinationPath;
    if (!failure.isEmpty()) {
        removeDatabaseFile(tempPath);
        return refuse(failure);
    }
    return true;
}

QVector<QString> VDBHelper::makeList(const QString &a, const QString &b, const QString &c)
{
    return QVector<QString>{a, b, c};
}

bool VDBHelper::isSameFile(const QString &a, const QString &b)
{
    std::error_code error;
    if (std::filesystem::equivalent(fsPath(a), fsPath(b), error))
        return true;
    return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
}

bool VDBHelper::replaceFile(const QString &from, const QString &to)
{
    std::error_code error;
    // rename(2) replaces the target atomically: at every instant `to` is
    // either the old file or the new one.
    std::filesystem::rename(fsPath(from), fsPath(to), error);
    if (!error) {
        // Side files of the file just replaced must never be applied to the new one.
        for (const char *suffix : {"-journal", "-wal", "-shm"})
            QFile::remove(to + QLatin1String(suffix));
        return true;
    }
    if (error != std::errc::cross_device_link) {
        VDB_LOG("VDBHelper::replaceFile", "%s -> %s\n", utf8(to).constData(), error.message().c_str());
        return false;
    }
    // Another filesystem: copy into the target's folder first, then rename there.
    const QString part = to + QStringLiteral(".part");
    std::filesystem::copy_file(fsPath(from), fsPath(part), std::filesystem::copy_options::overwrite_existing, error);
    if (!error)
        std::filesystem::rename(fsPath(part), fsPath(to), error);
    if (error) {
        VDB_LOG("VDBHelper::replaceFile", "%s -> %s\n", utf8(to).constData(), error.message().c_str());
        QFile::remove(part);
        return false;
    }
    QFile::remove(from);
    for (const char *suffix : {"-journal", "-wal", "-shm"})
        QFile::remove(to + QLatin1String(suffix));
    return true;
}

bool VDBHelper::removeDatabaseFile(const QString &path)
{
    for (const char *suffix : {"-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        return QFile::remove(path);
    return true;
}
