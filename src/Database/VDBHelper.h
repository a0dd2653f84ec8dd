#pragma once

#include <QMap>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVector>

// One table row: column name to value.
using VDBRow = QMap<QString, QVariant>;

// Table statements shared by the versioned databases. Every operation runs on
// the connection it is given and logs each failed statement. Values always
// travel as bound parameters; table and column names are quoted identifiers.
class VDBHelper
{
public:
    static const QString versionTable;          // "vdb_version"
    static const QString versionCreateSql;
    static const QString versionDropSql;

    // 0 when the statement ran, -1 when it failed.
    static int execSql(QSqlDatabase db, const QString &sql);

    // The version stored under `name`; empty when there is no row or the read
    // failed. `ok` (optional) tells the two apart: false only on failure.
    static QString readVersion(QSqlDatabase db, const QString &name, bool *ok = nullptr);
    static int writeVersion(QSqlDatabase db, const QString &name, const QString &version);
    static int removeVersion(QSqlDatabase db, const QString &name);

    // Whether `table` exists; `ok` false when the schema could not be read,
    // and then `error` (optional) holds the driver's text.
    static bool hasTable(QSqlDatabase db, const QString &table, bool *ok = nullptr, QString *error = nullptr);

    static QVector<QString> readTableHeaders(QSqlDatabase db, const QString &table, bool *ok = nullptr);
    static QVector<VDBRow> readTableDatas(QSqlDatabase db, const QString &table, bool *ok = nullptr);

    // Copies every row of `table` from `fromDb` into the same table of `toDb`
    // by column name, inside one transaction. False when the source has no
    // such table. `complete` (optional) is true only when every source row
    // is now in the target: a failed read, a source column the target lacks,
    // a failed row or a failed commit make it false.
    static bool copyTable(QSqlDatabase fromDb, QSqlDatabase toDb, const QString &table,
                          bool *complete = nullptr);

    // Drops and recreates `table` in `newDb` and copies the rows of `oldDb`.
    // True only when the table was made and nothing of the old rows was lost.
    static bool upgradeTable(QSqlDatabase oldDb, QSqlDatabase newDb, const QString &dropSql,
                             const QString &createSql, const QString &table);

    // Negative when `a` is older than `b`, 0 when equal, positive when newer.
    static int compareVersion(const QString &a, const QString &b);

    // Copy a database file into a new file at the code's schema and version.
    // Both validate the source first (an SQLite file holding a `vdb_version`
    // row for `name` and every table of `tables`), build the copy in a
    // temporary file beside the destination, and move it over the destination
    // in one rename only when every table and row came across. On any failure
    // the destination is left as it was and the result is false.
    static bool exportDatabase(const QString &sourcePath, const QString &destinationPath,
                               const QVector<QString> &dropSqls, const QVector<QString> &createSqls,
                               const QVector<QString> &tables, const QString &name,
                               const QString &version);
    static bool importDatabase(const QString &sourcePath, const QString &destinationPath,
                               const QVector<QString> &dropSqls, const QVector<QString> &createSqls,
                               const QVector<QString> &tables, const QString &name,
                               const QString &version);

    static QVector<QString> makeList(const QString &a, const QString &b, const QString &c);

    // Whether the two paths name the same file (also through links).
    static bool isSameFile(const QString &a, const QString &b);
    // Moves `from` over `to` in one step; false leaves `to` as it was.
    static bool replaceFile(const QString &from, const QString &to);
    // Removes a file and SQLite's side files ("-journal", "-wal", "-shm").
    static bool removeDatabaseFile(const QString &path);

private:
    static bool copyDatabase(const QString &sourcePath, const QString &destinationPath,
                             const QString &tempPath, const QVector<QString> &createSqls,
                             const QVector<QString> &tables, const QString &name,
                             const QString &version, const char *function);
};
