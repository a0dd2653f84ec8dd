#pragma once

#include <QSqlDatabase>
#include <QString>

#include <map>
#include <memory>

class QSqlQuery;

// One read-only view of a SQLite file the switch keeps: a named Qt SQL
// connection on it, opened, used and closed on one thread.
class FSDatabase
{
public:
    FSDatabase();
    ~FSDatabase();
    FSDatabase(const FSDatabase &) = delete;
    FSDatabase &operator=(const FSDatabase &) = delete;

    // Opens `path` under `connectionName`, replacing a connection of that
    // name left from an earlier run. False (and nothing kept) on failure.
    bool open(const QString &path, const QString &connectionName);
    void close();

    bool isOpen() const { return m_db.isOpen(); }
    QString path() const { return m_path; }
    QString connectionName() const { return m_connectionName; }

protected:
    // The statement `sql` prepared once on this connection and kept, so a
    // read made twice a second does not parse it again; null when it cannot
    // be prepared (it is tried again next time). Callers finish() it after
    // their read, which ends the read transaction.
    QSqlQuery *prepared(const QString &sql);

    QString m_path;
    QString m_connectionName;
    QSqlDatabase m_db;

private:
    std::map<QString, std::unique_ptr<QSqlQuery>> m_statements;
};
