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

    // Upgrades the file when its stored version is older than the code's,
    // and puts a current file into write-ahead mode (see useWriteAheadLog).
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

    // Changes with every setDataDir: connections kept open for the
    // program's life compare it to know that their file is no longer the
    // current one.
    static int dataDirGeneration();

    // Switches the file to write-ahead logging and this connection to normal
    // syncing: a record costs one append and no sync, a program crash loses
    // no committed record, a power cut may undo the last few and leaves the
    // file consistent. False when the file keeps its rollback journal.
    bool useWriteAheadLog();

    // Moves every change that sits in the write-ahead log into the database
    // file itself and empties the log, so that a copy of the file alone holds
    // every committed record. False when a reader or writer kept it from
    // completing (or the connection is closed).
    bool checkpoint();

protected:
    void setErrorText(const QString &text);
    // Closes the connections to this database that the program keeps open
    // between uses, before its file is replaced; they reopen on their next use.
    virtual void closeKeptConnections() {}

    QSqlDatabase m_db;
    QString m_connectionName;
    QString m_dbPath;
    QString m_errorText;
};
