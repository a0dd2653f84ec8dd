#include "DatabaseTestSupport.h"
#include "TestSupport.h"
#include "PALogDB.h"
#include "RDConfigure.h"
#include "VDBHelper.h"
#include "VelmarDB.h"
#include "VelmarDBGuard.h"

#include <QDir>
#include <QFileInfo>
#include <QSemaphore>
#include <QSet>
#include <QThread>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

class ConnectionsTest : public DataDirTest
{
protected:
    void SetUp() override
    {
        DataDirTest::SetUp();
        VelmarDB db(true);
        db.checkUpgrade();
        ASSERT_TRUE(db.errorText().isEmpty());
        m_deviceId = db.insertDevice(QStringLiteral("x'); drop table RDDevice;--"), QStringLiteral("200"), QStringLiteral("pw"));
        ASSERT_GT(m_deviceId, 0);
        RDGroup group;
        group.conference = QStringLiteral("3004");
        group.name = QStringLiteral("hall");
        group.devices = QString::number(m_deviceId);
        ASSERT_GT(db.insertGroup(group), 0);
        db.setConfig(QStringLiteral("http server port"), QStringLiteral("8080"));
        m_reloaded = 0;
        m_reconfigured = 0;
        VelmarDB::setDataReloadedHandler([this] { ++m_reloaded; });
        VelmarDB::setConfigurationReloadHandler([this] { ++m_reconfigured; });
    }
    void TearDown() override
    {
        VelmarDB::setDataReloadedHandler({});
        VelmarDB::setConfigurationReloadHandler({});
        // Every lent connection came back: closing the idle ones closes all.
        VelmarDB::closeIdleConnections();
        EXPECT_EQ(VelmarDB::openConnectionCount(), 0);
        DataDirTest::TearDown();
    }

    static QVector<QStringList> devices(const QString &path)
    {
        return DbTest::exec(path, {QStringLiteral("select id, name, number, password from RDDevice order by id")});
    }
    QString live() const { return VelmarDB::dbFilePath(); }

    int m_deviceId = 0;
    std::atomic<int> m_reloaded{0};
    std::atomic<int> m_reconfigured{0};
};

} // namespace

// Away from the shared instance's thread the guard lends a kept-open
// connection that no other thread holds at that moment; threads that come
// later (one per HTTP connection) reuse the kept ones instead of opening more.
TEST_F(ConnectionsTest, GuardLendsForeignThreadsKeptConnectionsOneThreadAtATime)
{
    VelmarDB shared(true);
    const int baseline = VelmarDB::openConnectionCount();
    constexpr int threads = 8;
    constexpr int rounds = 15;
    std::mutex lock;
    QSet<VelmarDB *> inUse;
    std::atomic<int> sharedHandedOut{0};
    std::atomic<int> heldTwice{0};
    std::atomic<int> failures{0};
    auto work = [&](int t, int rounds) {
        for (int r = 0; r < rounds; ++r) {
            VelmarDBGuard guard(&shared);
            if (guard.db() == &shared || !guard.isPrivate())
                ++sharedHandedOut;
            {
                std::lock_guard<std::mutex> hold(lock);
                if (inUse.contains(guard.db()))
                    ++heldTwice;
                inUse.insert(guard.db());
            }
            if (guard->insertDevice(QStringLiteral("d"), QStringLiteral("t%1-%2").arg(t).arg(r), QString()) <= 0)
                ++failures;
            if (guard->selectDevicesWithStatus({}).isEmpty())
                ++failures;
            std::lock_guard<std::mutex> hold(lock);
            inUse.remove(guard.db());
        }
    };
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back(work, t, rounds);
    for (std::thread &worker : workers)
        worker.join();
    EXPECT_EQ(sharedHandedOut.load(), 0);
    EXPECT_EQ(heldTwice.load(), 0);
    EXPECT_EQ(failures.load(), 0);
    const int kept = VelmarDB::openConnectionCount() - baseline;
    EXPECT_GE(kept, 1);
    EXPECT_LE(kept, threads);

    // New threads one after another: no further connection opens.
    for (int t = threads; t < threads + 10; ++t)
        std::thread(work, t, 1).join();
    EXPECT_EQ(VelmarDB::openConnectionCount() - baseline, kept);
    EXPECT_EQ(DbTest::scalar(live(), QStringLiteral("select count(*) from RDDevice")),
              QString::number(1 + threads * rounds + 10));

    // On its own thread the guard hands out the shared instance.
    VelmarDBGuard own(&shared);
    EXPECT_EQ(own.db(), &shared);
    EXPECT_FALSE(own.isPrivate());
}

TEST_F(ConnectionsTest, ConnectionErrorMakesTheOwnerReopenOnItsNextGuardedUse)
{
    VelmarDB shared(true);
    const QString name = shared.connectionName();
    shared.close();   // as if the connection had been lost
    EXPECT_TRUE(shared.selectGroups().isEmpty());
    EXPECT_EQ(shared.connectionState(), VelmarDB::StateConnectionError);
    {
        VelmarDBGuard guard(&shared);
        EXPECT_EQ(guard.db(), &shared);
        EXPECT_TRUE(shared.isOpen());
        EXPECT_EQ(shared.connectionName(), name);
        EXPECT_EQ(shared.connectionState(), VelmarDB::StateNormal);
        EXPECT_EQ(guard->selectGroups().size(), 1);
    }
    // States 0 and 2 are left alone.
    shared.close();
    shared.setConnectionState(VelmarDB::StateNormal);
    EXPECT_FALSE(shared.reopenIfNeeded());
}

TEST_F(ConnectionsTest, RegistryHoldsAnInstanceOnce)
{
    VelmarDB db(false);
    VelmarDB::registerDB(&db);
    VelmarDB::registerDB(&db);
    VelmarDB::unregisterDB(&db);
    EXPECT_FALSE(VelmarDB::isRegistered(&db));
    VelmarDB::unregisterDB(&db);
    EXPECT_FALSE(VelmarDB::isRegistered(&db));
}

TEST_F(ConnectionsTest, ExportWritesACopyAndReplacesAnEarlierOne)
{
    const QString target = tempPath(QStringLiteral("backup.db"));
    ASSERT_TRUE(VelmarDB::exportDB(target));
    EXPECT_EQ(devices(target), devices(live()));
    EXPECT_EQ(devices(target).first().at(1), QStringLiteral("x'); drop table RDDevice;--"));
    EXPECT_EQ(DbTest::scalar(target, QStringLiteral("select version from vdb_version where name='velmar'")), QStringLiteral("1.0.0"));

    DbTest::exec(live(), {QStringLiteral("insert into RDDevice(name, number) values('late', '201')")});
    ASSERT_TRUE(VelmarDB::exportDB(target));
    EXPECT_EQ(devices(target).size(), 2);
    EXPECT_FALSE(QFileInfo::exists(target + QStringLiteral(".export")));
}

// Changes made a moment before an export, on connections that stay open,
// are in the export; and the export empties the write-ahead log, so that the
// live file copied alone (an operator's backup of the folder) holds them too.
TEST_F(ConnectionsTest, ChangesOnKeptConnectionsAreInAnExportMadeAtOnce)
{
    std::thread([] {
        VelmarDBGuard guard(nullptr);
        for (int i = 0; i < 20; ++i)
            ASSERT_GT(guard->insertDevice(QStringLiteral("late"), QStringLiteral("7%1").arg(i), QString()), 0);
    }).join();
    RDConfigure().setHttpServerPort(6060);
    const QString target = tempPath(QStringLiteral("export.db"));
    ASSERT_TRUE(VelmarDB::exportDB(target));
    ASSERT_GT(VelmarDB::openConnectionCount(), 0) << "the writers' connections are still open";

    const QString liveCopy = tempPath(QStringLiteral("live-copy.db"));
    ASSERT_TRUE(QFile::copy(live(), liveCopy));
    const QString exportCopy = tempPath(QStringLiteral("export-copy.db"));
    ASSERT_TRUE(QFile::copy(target, exportCopy));
    for (const QString &file : {target, liveCopy, exportCopy}) {
        EXPECT_EQ(devices(file).size(), 21) << file.toStdString();
        EXPECT_EQ(DbTest::scalar(file, QStringLiteral("select V from conf where K='http server port'")),
                  QStringLiteral("6060")) << file.toStdString();
    }
    // The export is one self-contained file, not a write-ahead database.
    EXPECT_EQ(DbTest::readAll(target).mid(18, 2), QByteArray("\x01\x01", 2));
}

TEST_F(ConnectionsTest, ExportNeverOverwritesTheLiveFile)
{
    const QByteArray before = DbTest::readAll(live());
    const ino_t inode = DbTest::inode(live());
    const QString link = tempPath(QStringLiteral("link.db"));
    ASSERT_TRUE(QFile::link(live(), link));
    for (const QString &target : {live(), link, dataPath(QStringLiteral("../database/velmar.db"))}) {
        EXPECT_FALSE(VelmarDB::exportDB(target)) << target.toStdString();
        EXPECT_EQ(DbTest::inode(live()), inode);
        EXPECT_EQ(DbTest::readAll(live()), before);
    }
}

TEST_F(ConnectionsTest, ExportToAnotherFilesystem)
{
    if (!QFileInfo(QStringLiteral("/dev/shm")).isDir())
        GTEST_SKIP() << "no tmpfs at /dev/shm";
    QTemporaryDir other(QStringLiteral("/dev/shm/velmar-export-XXXXXX"));
    ASSERT_TRUE(other.isValid());
    const QString target = other.path() + QStringLiteral("/velmar.db");
    ASSERT_TRUE(DbTest::writeAll(target, "an older export"));
    ASSERT_TRUE(VelmarDB::exportDB(target));
    EXPECT_EQ(devices(target), devices(live()));
    EXPECT_EQ(QDir(other.path()).entryList(QDir::Files), QStringList{"velmar.db"});

    // The move itself across filesystems: copied in, then renamed there.
    const QString local = tempPath(QStringLiteral("moved.db"));
    ASSERT_TRUE(DbTest::writeAll(local, "payload"));
    ASSERT_TRUE(VDBHelper::replaceFile(local, target));
    EXPECT_EQ(DbTest::readAll(target), QByteArray("payload"));
    EXPECT_FALSE(QFileInfo::exists(local));
    EXPECT_EQ(QDir(other.path()).entryList(QDir::Files), QStringList{"velmar.db"});
}

TEST_F(ConnectionsTest, ExportIntoAMissingFolderFailsCleanly)
{
    const QString target = tempPath(QStringLiteral("no/such/folder/velmar.db"));
    EXPECT_FALSE(VelmarDB::exportDB(target));
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_FALSE(QFileInfo::exists(target + QStringLiteral(".export")));
}

TEST_F(ConnectionsTest, ImportReplacesTheDataAndReopensRegisteredConnections)
{
    const QString saved = tempPath(QStringLiteral("saved.db"));
    ASSERT_TRUE(VelmarDB::exportDB(saved));
    const QVector<QStringList> original = devices(live());
    DbTest::exec(live(), {QStringLiteral("delete from RDDevice"), QStringLiteral("update conf set V='1' where K='http server port'"),
                          QStringLiteral("insert into RDDevice(name, number) values('new', '300')")});

    // A registered connection on the importing thread, and one on a worker
    // thread that stays alive through the import.
    RDConfigure configure;
    EXPECT_EQ(configure.httpServerPort(), 1);
    QSemaphore ready, go, done;
    std::atomic<VelmarDB *> workerDb{nullptr};
    std::atomic<int> workerDevices{-1};
    std::atomic<bool> workerReopened{false};
    std::thread worker([&] {
        VelmarDB db(true);
        VelmarDB::registerDB(&db);
        workerDb = &db;
        ready.release();
        go.acquire();
        workerReopened = db.reopenIfNeeded();
        workerDevices = db.selectDevicesWithStatus({}).size();
        VelmarDB::unregisterDB(&db);
        done.release();
    });
    ready.acquire();

    ASSERT_TRUE(VelmarDB::importDB(saved));
    EXPECT_EQ(workerDb.load()->connectionState(), VelmarDB::StateReopenAfterImport);
    EXPECT_FALSE(workerDb.load()->isOpen());
    go.release();
    done.acquire();
    worker.join();
    EXPECT_TRUE(workerReopened.load());
    EXPECT_EQ(workerDevices.load(), 1);

    EXPECT_EQ(devices(live()), original);
    EXPECT_EQ(configure.httpServerPort(), 8080);
    EXPECT_EQ(m_reloaded.load(), 1);
    EXPECT_EQ(m_reconfigured.load(), 1);
    // No side file of the replaced file is left once the last connection closes.
    VelmarDB::closeIdleConnections();
    EXPECT_EQ(QDir(dataPath(QString())).entryList(QDir::Files), QStringList{"velmar.db"});
}

TEST_F(ConnectionsTest, ImportRefusesBadSourcesAndLeavesTheLiveFile)
{
    const QString exported = tempPath(QStringLiteral("export.db"));
    ASSERT_TRUE(VelmarDB::exportDB(exported));
    // Enough rows that a cut file misses pages of them.
    DbTest::exec(exported, {QStringLiteral("with recursive n(i) as (select 1 union all select i+1 from n where i<300) "
                                           "insert into RDDevice(name, number) select hex(randomblob(100)), 5000+i from n")});
    const QByteArray whole = DbTest::readAll(exported);

    const QString missing = tempPath(QStringLiteral("missing.db"));
    const QString text = tempPath(QStringLiteral("notes.txt"));
    ASSERT_TRUE(DbTest::writeAll(text, "devices: none\n"));
    const QString truncated = tempPath(QStringLiteral("truncated.db"));
    ASSERT_TRUE(DbTest::writeAll(truncated, whole.left(whole.size() / 2)));
    const QString newer = tempPath(QStringLiteral("newer.db"));
    ASSERT_TRUE(DbTest::writeAll(newer, whole));
    DbTest::exec(newer, {QStringLiteral("alter table RDGroup add column zoneColour text"),
                         QStringLiteral("update vdb_version set version='2.0.0'")});
    const QString noTables = tempPath(QStringLiteral("notables.db"));
    ASSERT_TRUE(DbTest::writeAll(noTables, whole));
    DbTest::exec(noTables, {QStringLiteral("drop table RDGroup")});
    {
        PALogDB log(true);
        log.checkUpgrade();
    }

    const QByteArray before = DbTest::readAll(live());
    int reloads = 0;
    for (const QString &source : {missing, text, PALogDB::dbFilePath(), truncated, newer, noTables}) {
        RDConfigure configure;
        EXPECT_FALSE(VelmarDB::importDB(source)) << source.toStdString();
        EXPECT_EQ(DbTest::readAll(live()), before) << source.toStdString();
        EXPECT_FALSE(QFileInfo::exists(live() + QStringLiteral(".import")));
        // The failed import still reloads, and the settings are still there.
        EXPECT_EQ(m_reloaded.load(), ++reloads);
        EXPECT_EQ(configure.httpServerPort(), 8080);
    }
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST_F(ConnectionsTest, ImportOfAnOlderFileIsStampedWithTheCodeVersion)
{
    const QString older = tempPath(QStringLiteral("older.db"));
    DbTest::exec(older, {
        QStringLiteral("create table vdb_version(id integer primary key autoincrement, name text unique, version text)"),
        QStringLiteral("insert into vdb_version(name, version) values('velmar', '0.9.0')"),
        QStringLiteral("create table conf(id integer primary key autoincrement, K text, V text)"),
        QStringLiteral("create table RDDevice(id integer primary key autoincrement, name text, number text unique)"),
        QStringLiteral("insert into RDDevice(id, name, number) values(41, 'old', '410')"),
        QStringLiteral("create table RDGroup(id integer primary key autoincrement, name text, conference text unique)"),
    });
    ASSERT_TRUE(VelmarDB::importDB(older));
    EXPECT_EQ(devices(live()), (QVector<QStringList>{{"41", "old", "410", "<null>"}}));
    EXPECT_EQ(DbTest::scalar(live(), QStringLiteral("select version from vdb_version where name='velmar'")), QStringLiteral("1.0.0"));
    EXPECT_EQ(DbTest::scalar(live(), QStringLiteral("select count(*) from pragma_table_info('RDGroup')")), QStringLiteral("44"));
    VelmarDB db(true);
    EXPECT_FALSE(db.checkUpgrade());
    EXPECT_TRUE(db.errorText().isEmpty());
}

// A connection that the import cannot close (it belongs to another thread
// and is not registered) keeps the file from being replaced under it.
TEST_F(ConnectionsTest, ImportWaitsForOpenConnectionsAndFailsIfTheyStay)
{
    const QString saved = tempPath(QStringLiteral("saved.db"));
    ASSERT_TRUE(VelmarDB::exportDB(saved));
    DbTest::exec(live(), {QStringLiteral("delete from RDDevice")});
    const QByteArray before = DbTest::readAll(live());

    QSemaphore opened, release;
    std::thread holder([&] {
        VelmarDB db(true);
        opened.release();
        release.acquire();
    });
    opened.acquire();
    EXPECT_FALSE(VelmarDB::importDB(saved, 100));
    EXPECT_EQ(DbTest::readAll(live()), before);
    EXPECT_FALSE(VelmarDB::isImporting());

    // Released while the import waits: it goes ahead.
    std::thread releaser([&] {
        QThread::msleep(50);
        release.release();
    });
    EXPECT_TRUE(VelmarDB::importDB(saved, 5000));
    releaser.join();
    holder.join();
    EXPECT_EQ(devices(live()).size(), 1);
}

// While the file is being replaced no connection opens; a configuration
// object made meanwhile reads its defaults and, once the import is done,
// reopens on its next read and sees the imported values.
TEST_F(ConnectionsTest, ConnectionsMadeDuringAnImportOpenAfterIt)
{
    const QString saved = tempPath(QStringLiteral("saved.db"));
    ASSERT_TRUE(VelmarDB::exportDB(saved));
    DbTest::exec(saved, {QStringLiteral("update conf set V='7070' where K='http server port'")});

    // A private connection on another thread holds the import in its wait.
    QSemaphore opened, release;
    std::thread holder([&] {
        VelmarDB db(true);
        opened.release();
        release.acquire();
    });
    opened.acquire();
    std::atomic<bool> imported{false};
    std::thread importer([&] { imported = VelmarDB::importDB(saved, 10000); });
    ASSERT_TRUE(PaTest::waitUntil([] { return VelmarDB::isImporting(); }));

    RDConfigure configure;
    EXPECT_EQ(configure.httpServerPort(), 9391);
    VelmarDB unregistered(true);
    EXPECT_FALSE(unregistered.isOpen());

    release.release();
    holder.join();
    importer.join();
    ASSERT_TRUE(imported.load());
    EXPECT_EQ(configure.httpServerPort(), 7070);
    EXPECT_FALSE(unregistered.reopenIfNeeded());
}
