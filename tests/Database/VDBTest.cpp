#include "DatabaseTestSupport.h"
#include "PALogDB.h"
#include "VDBHelper.h"
#include "VelmarDB.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

namespace {

// A velmar.db as an older release wrote it: fewer columns, version 0.9.0.
void writeOlderVelmarFile(const QString &path, const QString &version = QStringLiteral("0.9.0"))
{
    DbTest::exec(path, {
        QStringLiteral("create table vdb_version(id integer primary key autoincrement, name text unique, version text)"),
        QStringLiteral("insert into vdb_version(name, version) values('velmar', '%1')").arg(version),
        QStringLiteral("create table conf(id integer primary key autoincrement, K text, V text)"),
        QStringLiteral("insert into conf(K, V) values('http server port', '8080')"),
        QStringLiteral("create table RDDevice(id integer primary key autoincrement, name text, number text unique)"),
        QStringLiteral("insert into RDDevice(id, name, number) values(7, 'lobby', '200')"),
        QStringLiteral("insert into RDDevice(id, name, number) values(9, 'hall', '201')"),
        QStringLiteral("create table RDGroup(id integer primary key autoincrement, name text, conference text unique, "
                       "devices text, volume integer)"),
        QStringLiteral("insert into RDGroup(id, name, conference, devices, volume) values(4, 'zone', '3004', '7;9', -3)"),
    });
}

QStringList tableNames(const QString &path)
{
    QStringList names;
    for (const QStringList &row :
         DbTest::exec(path, {QStringLiteral("select name from sqlite_master where type='table' and "
                                            "name not like 'sqlite_%' order by name")}))
        names << row.first();
    return names;
}

} // namespace

TEST(VDBHelperVersion, CompareVersion)
{
    struct Case {
        const char *a;
        const char *b;
        int sign;
    };
    const Case cases[] = {
        {"1.0.0", "1.0.0", 0}, {"0.9.9", "1.0.0", -1}, {"1.0.10", "1.0.9", 1},
        {"", "1.0.0", -1},     {"2.0", "1.0.0", -1},   {"1.x.0", "1.0.0", 0},
        {"-2147483648.0.0", "2147483647.0.0", -1},       {"2147483647.0.0", "-2147483648.0.0", 1},
    };
    for (const Case &c : cases) {
        const int result = VDBHelper::compareVersion(QString::fromUtf8(c.a), QString::fromUtf8(c.b));
        EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.a << " vs " << c.b;
    }
    EXPECT_EQ(VDBHelper::compareVersion(QString(), QStringLiteral("1.0.0")), -2);
    EXPECT_EQ(VDBHelper::compareVersion(QStringLiteral("2.0"), QStringLiteral("1.0.0")), -1);
}

TEST_F(DataDirTest, BackupPathAndConnectionNames)
{
    VelmarDB first(true);
    VelmarDB second(true);
    ASSERT_TRUE(first.isOpen());
    ASSERT_TRUE(second.isOpen());
    EXPECT_EQ(first.backupFilePath(QString()), VelmarDB::dbFilePath() + QStringLiteral(".bak"));
    EXPECT_EQ(first.backupFilePath(QStringLiteral("0.9.1")), VelmarDB::dbFilePath() + QStringLiteral(".0.9.1.bak"));
    EXPECT_EQ(first.connectionName(), QString::number(reinterpret_cast<quintptr>(QThread::currentThread())));
    EXPECT_NE(first.connectionName(), second.connectionName());
    EXPECT_TRUE(second.connectionName().startsWith(first.connectionName()));
    EXPECT_EQ(VelmarDB::dbFilePath(), dataPath(QStringLiteral("velmar.db")));
    EXPECT_TRUE(QFileInfo(dataPath(QString())).isDir());
}

TEST_F(DataDirTest, NewFileGetsEveryTableAndTheVersionWithoutBackup)
{
    {
        VelmarDB db(true);
        ASSERT_TRUE(db.isOpen());
        EXPECT_TRUE(db.checkUpgrade());
        EXPECT_TRUE(db.errorText().isEmpty());
        EXPECT_TRUE(db.isOpen());
        EXPECT_EQ(db.insertDevice(QStringLiteral("a"), QStringLiteral("100"), QStringLiteral("p")), 1);
        // Second start: nothing to do.
        EXPECT_FALSE(db.checkUpgrade());
        EXPECT_TRUE(db.errorText().isEmpty());
    }
    const QString path = dataPath(QStringLiteral("velmar.db"));
    EXPECT_EQ(tableNames(path), (QStringList{"RDDevice", "RDGroup", "conf", "vdb_version"}));
    EXPECT_EQ(DbTest::exec(path, {QStringLiteral("select name, version from vdb_version")}),
              (QVector<QStringList>{{"velmar", "1.0.0"}}));
    EXPECT_EQ(QDir(dataPath(QString())).entryList(QDir::Files), QStringList{"velmar.db"});

    PALogDB log(true);
    EXPECT_TRUE(log.checkUpgrade());
    EXPECT_EQ(tableNames(PALogDB::dbFilePath()), (QStringList{"palog", "vdb_version"}));
}

TEST_F(DataDirTest, OlderFileIsUpgradedKeepingRowsAndIds)
{
    const QString path = dataPath(QStringLiteral("velmar.db"));
    QDir().mkpath(dataPath(QString()));
    writeOlderVelmarFile(path);
    {
        VelmarDB db(true);
        EXPECT_TRUE(db.checkUpgrade());
        EXPECT_TRUE(db.errorText().isEmpty());
        const QVector<RDDevice> devices = db.selectDevicesWithStatus({});
        ASSERT_EQ(devices.size(), 2);
        EXPECT_EQ(devices[0].id, 7);
        EXPECT_EQ(devices[1].name, QStringLiteral("hall"));
        EXPECT_TRUE(devices[0].password.isEmpty());
        const RDGroup group = db.selectGroupById(4);
        EXPECT_EQ(group.conference, QStringLiteral("3004"));
        EXPECT_EQ(group.volume, -3);
        EXPECT_EQ(group.devices, QStringLiteral("7;9"));
        EXPECT_EQ(group.prayMethod, 0);   // NULL in the copied row reads as 0
        EXPECT_EQ(db.getConfig(QStringLiteral("http server port"), QString()), QStringLiteral("8080"));
    }
    EXPECT_EQ(DbTest::scalar(path, QStringLiteral("select version from vdb_version where name='velmar'")),
              QStringLiteral("1.0.0"));
    EXPECT_EQ(DbTest::scalar(path, QStringLiteral("select count(*) from pragma_table_info('RDGroup')")),
              QStringLiteral("44"));
    EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral(".0.9.0.bak")));
}

TEST_F(DataDirTest, NewerFileIsNeitherChangedNorBackedUp)
{
    const QString path = dataPath(QStringLiteral("velmar.db"));
    QDir().mkpath(dataPath(QString()));
    writeOlderVelmarFile(path, QStringLiteral("1.2.0"));
    const QByteArray before = DbTest::readAll(path);
    {
        VelmarDB db(true);
        EXPECT_FALSE(db.checkUpgrade());
        EXPECT_TRUE(db.errorText().isEmpty());
    }
    EXPECT_EQ(DbTest::readAll(path), before);
    EXPECT_EQ(QDir(dataPath(QString())).entryList(QDir::Files), QStringList{"velmar.db"});
}

// A row that the new table cannot take (here: a column the code no longer
// has) must not be lost: the upgrade stops, the file stays as it was and
// the backup is kept.
TEST_F(DataDirTest, UpgradeThatCannotCopyEveryRowLeavesTheFileAndKeepsTheBackup)
{
    const QString path = dataPath(QStringLiteral("velmar.db"));
    QDir().mkpath(dataPath(QString()));
    writeOlderVelmarFile(path);
    DbTest::exec(path, {QStringLiteral("alter table RDDevice add column mac text"),
                        QStringLiteral("update RDDevice set mac='00:11' where id=9")});
    const QByteArray before = DbTest::readAll(path);
    {
        VelmarDB db(true);
        EXPECT_FALSE(db.checkUpgrade());
        EXPECT_FALSE(db.errorText().isEmpty());
        EXPECT_TRUE(db.isOpen());
    }
    EXPECT_EQ(DbTest::readAll(path), before);
    EXPECT_EQ(DbTest::readAll(path + QStringLiteral(".0.9.0.bak")), before);
    EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral(".upgrade")));
}

// A version that cannot be read is not a new file: a busy lock, a foreign
// file or a damaged one stops the check and the file is left alone.
TEST_F(DataDirTest, UnreadableVersionNeverRebuildsTheFile)
{
    const QString path = dataPath(QStringLiteral("velmar.db"));
    QDir().mkpath(dataPath(QString()));
    VDB::setBusyTimeout(50);
    struct RestoreTimeout {
        ~RestoreTimeout() { VDB::setBusyTimeout(5000); }
    } restore;

    // Held by another connection.
    writeOlderVelmarFile(path);
    {
        const QByteArray before = DbTest::readAll(path);
        QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
        holder.setDatabaseName(path);
        ASSERT_TRUE(holder.open());
        QSqlQuery lock(holder);
        ASSERT_TRUE(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        {
            VelmarDB db(true);
            EXPECT_FALSE(db.checkUpgrade());
            EXPECT_FALSE(db.errorText().isEmpty());
        }
        ASSERT_TRUE(lock.exec(QStringLiteral("ROLLBACK")));
        lock.finish();
        holder.close();
        holder = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("holder"));
        EXPECT_EQ(DbTest::readAll(path), before);
        EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral(".0.9.0.bak")));
    }

    // Not SQLite at all, and an SQLite file cut short.
    QFile::remove(path);
    writeOlderVelmarFile(path);
    DbTest::exec(path, {QStringLiteral("with recursive n(i) as (select 1 union all select i+1 from n where i<400) "
                                       "insert into RDDevice(name, number) select hex(randomblob(200)), 1000+i from n")});
    const QByteArray whole = DbTest::readAll(path);
    const QByteArray fixtures[] = {QByteArray("plain text, not a database\n").repeated(100), whole.left(whole.size() / 3)};
    for (const QByteArray &bytes : fixtures) {
        ASSERT_TRUE(DbTest::writeAll(path, bytes));
        {
            VelmarDB db(true);
            EXPECT_FALSE(db.checkUpgrade());
            EXPECT_FALSE(db.errorText().isEmpty());
        }
        EXPECT_EQ(DbTest::readAll(path), bytes);
    }
}

TEST_F(DataDirTest, FolderThatCannotHoldTheFileIsReportedNotIgnored)
{
    // A regular file where the folder should be: nothing can be created
    // below it, whatever the rights of the user running the tests.
    ASSERT_TRUE(DbTest::writeAll(tempPath(QStringLiteral("blocker")), "x"));
    VDB::setDataDir(tempPath(QStringLiteral("blocker/database")));
    VelmarDB db(true);
    EXPECT_FALSE(db.isOpen());
    EXPECT_FALSE(db.errorText().isEmpty());
    EXPECT_FALSE(db.checkUpgrade());
    EXPECT_FALSE(db.errorText().isEmpty());
    EXPECT_EQ(db.insertDevice(QStringLiteral("a"), QStringLiteral("1"), QString()), 0);
    EXPECT_EQ(VelmarDB::openConnectionCount(), 0);
}

TEST_F(DataDirTest, CopyTableOfMissingAndEmptyTables)
{
    const QString from = tempPath(QStringLiteral("from.db"));
    const QString to = tempPath(QStringLiteral("to.db"));
    DbTest::exec(from, {QStringLiteral("create table t(id integer primary key, v text)")});
    DbTest::exec(to, {QStringLiteral("create table t(id integer primary key, v text)"),
                      QStringLiteral("create table u(id integer primary key, v text)")});
    QSqlDatabase a = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("a"));
    a.setDatabaseName(from);
    QSqlDatabase b = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("b"));
    b.setDatabaseName(to);
    ASSERT_TRUE(a.open() && b.open());
    bool complete = false;
    EXPECT_FALSE(VDBHelper::copyTable(a, b, QStringLiteral("u"), &complete));
    EXPECT_TRUE(complete);
    EXPECT_TRUE(VDBHelper::copyTable(a, b, QStringLiteral("t"), &complete));
    EXPECT_TRUE(complete);
    DbTest::exec(from, {QStringLiteral("insert into t values(5, NULL)"), QStringLiteral("insert into t values(6, 'x''y')")});
    EXPECT_TRUE(VDBHelper::copyTable(a, b, QStringLiteral("t"), &complete));
    EXPECT_TRUE(complete);
    a.close();
    b.close();
    a = b = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("a"));
    QSqlDatabase::removeDatabase(QStringLiteral("b"));
    EXPECT_EQ(DbTest::exec(to, {QStringLiteral("select id, v from t order by id")}),
              (QVector<QStringList>{{"5", "<null>"}, {"6", "x'y"}}));
    EXPECT_EQ(DbTest::scalar(to, QStringLiteral("select count(*) from u")), QStringLiteral("0"));
}
