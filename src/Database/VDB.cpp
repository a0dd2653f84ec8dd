#include "VDB.h"

#include "VDBHelper.h"
#include "VDBLog.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <random>

namespace {

QMutex &dataDirMutex()
{
    static QMutex mutex;
    return mutex;
}

QString &dataDirOverride()
{
    static QString folder;
    return folder;
}

QAtomicInt &busyTimeout()
{
    static QAtomicInt milliseconds(5000);
    return milliseconds;
}

QAtomicInt s_dataDirGeneration;

QString connectOptions()
{
    return QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeout().loadAcquire());
}

// Write-ahead logging: a record costs one append to the "-wal" file, and
// readers never wait for the writer. synchronous=NORMAL syncs the log at
// checkpoints only: a crash of the program loses no committed record, a
// power cut may undo the last few, and the file stays consistent either way.
// journal_mode is stored in the file, synchronous belongs to the connection.
// In the old rollback mode NORMAL could damage the file on a power cut, so a
// connection keeps full syncing unless its file writes ahead.
bool applyDurability(QSqlDatabase db, bool switchToWal, QString &why)
{
    QSqlQuery query(db);
    const QString sql = switchToWal ? QStringLiteral("PRAGMA journal_mode=WAL") : QStringLiteral("PRAGMA journal_mode");
    if (!query.exec(sql) || !query.next()) {
        why = QStringLiteral("journal_mode: ") + query.lastError().text();
        return false;
    }
    const QString mode = query.value(0).toString();
    if (mode.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
        why = QStringLiteral("journal_mode stays %1").arg(mode);
        return false;
    }
    if (!query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"))) {
        why = QStringLiteral("synchronous: ") + query.lastError().text();
        return false;
    }
    return true;
}

} // namespace

VDB::VDB() = default;

VDB::~VDB() = default;

bool VDB::isOpen()
{
    return m_db.isOpen();
}

bool VDB::open(const QString &connectionName)
{
    if (isOpen())
        return true;
    m_dbPath = filePath();
    m_connectionName = connectionName.isEmpty() ? createConnectionName() : connectionName;

    // An SQLite file in a folder we cannot write would open, but every
    // change would fail; report it here instead of losing changes later.
    const QFileInfo file(m_dbPath);
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir() || !folder.isWritable() || (file.exists() && !file.isWritable())) {
        setErrorText(QStringLiteral("database %1 is not writable").arg(m_dbPath));
        VDB_LOG("VDB::open", "%s\n", m_errorText.toUtf8().constData());
        return false;
    }

    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    m_db.setDatabaseName(m_dbPath);
    m_db.setConnectOptions(connectOptions());
    // A file that exists is switched to the write-ahead log by the version
    // check only, once it is known to be ours and current: an unreadable or
    // newer file is left exactly as it is.
    const bool fresh = !file.exists() || file.size() == 0;
    if (m_db.open()) {
        m_errorText.clear();
        QString why;
        if (!applyDurability(m_db, fresh, why) && fresh)
            VDB_LOG("VDB::open", "%s: %s\n", m_dbPath.toUtf8().constData(), why.toUtf8().constData());
        return true;
    }
    setErrorText(QStringLiteral("cannot open %1: %2").arg(m_dbPath, m_db.lastError().text()));
    VDB_LOG("VDB::open", "%s\n", m_errorText.toUtf8().constData());
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
    return false;
}

void VDB::close()
{
    if (!m_db.isOpen())
        return;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QString VDB::name()
{
    return QStringLiteral("TABLE");
}

QString VDB::backupFilePath(const QString &oldVersion)
{
    const QString suffix = oldVersion.isEmpty() ? QStringLiteral("bak")
                                                : QStringLiteral("%1.bak").arg(oldVersion);
    return QStringLiteral("%1.%2").arg(filePath(), suffix);
}

bool VDB::checkUpgrade()
{
    m_errorText.clear();
    if (!isOpen()) {
        setErrorText(QStringLiteral("database %1 is not open").arg(filePath()));
        return false;
    }
    const QString code = version();
    // Only a file without the version table is new (or older than version
    // tracking). A busy lock or an unreadable file is not: it stops here and
    // the file is left alone.
    bool ok = false;
    QString why;
    const bool tracked = VDBHelper::hasTable(m_db, VDBHelper::versionTable, &ok, &why);
    QString stored;
    if (ok && tracked) {
        stored = VDBHelper::readVersion(m_db, name(), &ok);
        if (!ok)
            why = QStringLiteral("the version table cannot be read");
    }
    if (!ok) {
        setErrorText(QStringLiteral("cannot read the version of %1 (%2); the file is left as it is")
                         .arg(m_dbPath, why));
        VDB_LOG("VDB::checkUpgrade", "%s\n", m_errorText.toUtf8().constData());
        return false;
    }
    const int order = VDBHelper::compareVersion(stored, code);
    if (order < 0) {
        VDB_LOG("VDB::checkUpgrade", "Upgrade DB %s -> %s\n", stored.toUtf8().constData(),
                code.toUtf8().constData());
        const bool upgraded = upgrade(stored, code);
        if (upgraded)
            useWriteAheadLog();
        return upgraded;
    }
    if (order == 0)
        useWriteAheadLog();
    return false;
}

bool VDB::upgrade(const QString &oldVersion, const QString &newVersion)
{
    // The new file is built beside the live one from a copy of it and moved
    // over it in one rename. Until that rename the live file is not touched,
    // so a failure at any step leaves it as it was, and the copy stays as
    // the backup.
    const QString connection = m_connectionName;
    // The backup is a copy of the file: every record still in the
    // write-ahead log goes into the file first, and no connection kept open
    // elsewhere in the program may write on after the file is replaced.
    closeKeptConnections();
    if (!checkpoint()) {
        setErrorText(QStringLiteral("upgrade of %1 failed: the write-ahead log could not be emptied; "
                                    "the file is left as it is").arg(filePath()));
        VDB_LOG("VDB::upgrade", "%s\n", m_errorText.toUtf8().constData());
        return false;
    }
    close();
    const QString path = filePath();
    const QString backup = backupFilePath(oldVersion);
    const QString temp = path + QStringLiteral(".upgrade");

    auto fail = [&](const QString &why) {
        setErrorText(QStringLiteral("upgrade of %1 failed: %2").arg(path, why));
        VDB_LOG("VDB::upgrade", "%s\n", m_errorText.toUtf8().constData());
        VDBHelper::removeDatabaseFile(temp);
        const QString error = m_errorText;
        open(connection);
        m_errorText = error;
        return false;
    };

    if (!VDBHelper::removeDatabaseFile(backup) || !VDBHelper::removeDatabaseFile(temp))
        return fail(QStringLiteral("cannot remove an old backup or temporary file"));
    if (QFileInfo::exists(path) ? !QFile::copy(path, backup) : !QFile(backup).open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot copy the file to ") + backup);

    const QString oldName = createConnectionName() + QStringLiteral("-upgrade1");
    const QString newName = createConnectionName() + QStringLiteral("-upgrade2");
    QString failure;
    {
        QSqlDatabase oldDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), oldName);
        oldDb.setDatabaseName(backup);
        oldDb.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlDatabase newDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), newName);
        newDb.setDatabaseName(temp);
        if (!oldDb.open())
            failure = QStringLiteral("cannot open the backup: ") + oldDb.lastError().text();
        else if (!newDb.open())
            failure = QStringLiteral("cannot create ") + temp + QStringLiteral(": ") + newDb.lastError().text();
        else if (!VDBHelper::upgradeTable(oldDb, newDb, VDBHelper::versionDropSql,
                                          VDBHelper::versionCreateSql, VDBHelper::versionTable))
            failure = QStringLiteral("the version table could not be copied");
        else if (!upgradeTables(oldDb, newDb))
            failure = QStringLiteral("rows could not be copied");
        else if (VDBHelper::removeVersion(newDb, name()) != 0
                 || VDBHelper::writeVersion(newDb, name(), newVersion) != 0)
            failure = QStringLiteral("cannot stamp the version");
        newDb.close();
        oldDb.close();
    }
    QSqlDatabase::removeDatabase(newName);
    QSqlDatabase::removeDatabase(oldName);

    if (failure.isEmpty() && !VDBHelper::replaceFile(temp, path))
        failure = QStringLiteral("cannot move the new file into place");
    if (!failure.isEmpty())
        return fail(failure + QStringLiteral("; the old data is kept in ") + backup);

    VDBHelper::removeDatabaseFile(backup);
    if (!open(connection))
        return false;
    return true;
}

QString VDB::createConnectionName()
{
    const QString thread = QString::number(reinterpret_cast<quintptr>(QThread::currentThread()));
    if (!QSqlDatabase::contains(thread))
        return thread;
    thread_local std::minstd_rand generator(
        static_cast<unsigned>(QDateTime::currentMSecsSinceEpoch() & 0xffffffffu));
    std::uniform_int_distribution<int> tail(0, 999);
    for (int attempt = 1;; ++attempt) {
        const QString candidate = QStringLiteral("%1%2%3")
                                      .arg(thread,
                                           QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss")))
                                      .arg(tail(generator));
        if (attempt >= 100)
            QThread::msleep(1000);
        if (!QSqlDatabase::contains(candidate))
            return candidate;
    }
}

QString VDB::dataDir()
{
    QString folder;
    {
        QMutexLocker lock(&dataDirMutex());
        folder = dataDirOverride();
    }
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath() + QStringLiteral("/database");
    return folder;
}

void VDB::setDataDir(const QString &folder)
{
    QMutexLocker lock(&dataDirMutex());
    dataDirOverride() = folder;
    s_dataDirGeneration.fetchAndAddOrdered(1);
}

int VDB::dataDirGeneration()
{
    return s_dataDirGeneration.loadAcquire();
}

bool VDB::useWriteAheadLog()
{
    // A file system without shared memory keeps the old mode: slower, not wrong.
    QString why;
    if (applyDurability(m_db, true, why))
        return true;
    VDB_LOG("VDB::useWriteAheadLog", "%s: %s\n", m_dbPath.toUtf8().constData(), why.toUtf8().constData());
    return false;
}

bool VDB::checkpoint()
{
    if (!m_db.isOpen())
        return false;
    QSqlQuery query(m_db);
    // The answer row: busy flag, frames in the log, frames moved.
    if (!query.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) || !query.next()) {
        VDB_LOG("VDB::checkpoint", "%s -> %s\n", m_dbPath.toUtf8().constData(),
                query.lastError().text().toUtf8().constData());
        return false;
    }
    if (query.value(0).toInt() != 0) {
        VDB_LOG("VDB::checkpoint", "%s -> busy, %d of %d frames moved\n", m_dbPath.toUtf8().constData(),
                query.value(2).toInt(), query.value(1).toInt());
        return false;
    }
    return true;
}

QString VDB::dataFilePath(const QString &fileName)
{
    const QString folder = dataDir();
    if (!QFileInfo(folder).isDir())
        QDir().mkpath(folder);
    return QStringLiteral("%1/%2").arg(folder, fileName);
}

void VDB::setBusyTimeout(int milliseconds)
{
    busyTimeout().storeRelease(milliseconds);
}

void VDB::setErrorText(const QString &text)
{
    m_errorText = text;
}
