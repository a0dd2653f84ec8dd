#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QString>

// Base of the program's SQLite databases. Each instance owns one connection
// under a name unique in the process, keeps its schema version in the table
// `vdb_version` of its file, and brings an older file up to the code's
// version at start-up.
class VDB : public QObject
{
    Q_OBJECT
public:
    VDB();
    ~VDB() override;

    virtual bool isOpen();
    virtual bool open(const QString &connectionName);
    virtual void close();
    virtual QString version() = 0;
    virtual QString filePath() = 0;
    virtual bool upgradeTables(QSqlDatabase oldDb, QSqlDatabase newDb) = 0;
    virtual QString name();
    virtual QString backupFilePath(const QString &oldVersion);

    // Upgrades the file when its stored version is older than the code's.
    // True when an upgrade ran and succeeded. False when nothing was to do,
    // and also when the stored version could not be read or the upgrade
    // failed: then errorText() says why, and the file was left as it was.
    bool checkUpgrade();
    bool upgrade(const QString &oldVersion, const QString &newVersion);

    // Why the last open, version check or upgrade failed; empty when it did not.
    QString errorText() const { return m_errorText; }
    QString connectionName() const { return m_connectionName; }
    QSqlDatabase database() const { return m_db; }

    static QString createConnectionName();

    // The folder that holds the database files: "database" beside the
    // executable unless set otherwise. Created when it is missing.
    static QString dataDir();
    static void setDataDir(const QString &folder);
    // "<data folder>/<fileName>", creating the folder when it is missing.
    static QString dataFilePath(const QString &fileName);

    // How long a statement waits for another connection's lock, in ms.
    static void setBusyTimeout(int milliseconds);

protected:
    void setErrorText(const QString &text);

    QSqlDatabase m_db;
    QString m_connectionName;
    QString m_dbPath;
    QString m_errorText;
};
