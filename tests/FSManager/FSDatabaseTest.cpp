// The state readers against real SQLite files.
#include "FSChannelsManager.h"
#include "FSSipRegistrationsManager.h"
#include "SwitchStandIn.h"
#include "TestSupport.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using PaTest::SwitchStandIn;

namespace {

// Runs statements on `file` through a private connection.
bool sql(const QString &file, const QStringList &statements)
{
    const QString name = QUuid::createUuid().toString();
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        ok = db.open();
        for (const QString &s : statements) {
            QSqlQuery q(db);
            ok = ok && q.exec(s);
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

const QString kRegSchema = QStringLiteral(
    "create table sip_registrations (sip_user text, sip_host text, contact text, status text, network_ip text, "
    "network_port text, expires integer)");
const QString kChanSchema = QStringLiteral(
    "create table channels (uuid text, callstate text, accountcode text, dest text, callee_num text, "
    "application_data text, cid_name text, ip_addr text, initial_cid_num text, initial_dest text)");

} // namespace

TEST(FSDatabase, ReadsRowsInTableOrderWithNullAsEmpty)
{
    QTemporaryDir dir;
    const QString regFile = dir.filePath(QStringLiteral("sofia_reg_internal.db"));
    const QString chanFile = dir.filePath(QStringLiteral("core.db"));
    ASSERT_TRUE(sql(regFile, {kRegSchema,
                              "insert into sip_registrations values ('6002','h','<sip:6002@a>','Registered(UDP)','10.0.0.2','5062',0)",
                              "insert into sip_registrations values ('6001','h','<sip:6001@a>','Registered(UDP)','10.0.0.1',NULL,0)",
                              "insert into sip_registrations values ('6001','h','<sip:6001@b>','Registered(UDP)','10.0.0.9','5099',0)"}));
    ASSERT_TRUE(sql(chanFile, {kChanSchema}));

    FSSipRegistrationsManager regs;
    ASSERT_TRUE(regs.open(regFile, QStringLiteral("FSSIPREG")));
    EXPECT_EQ(regs.connectionName(), QStringLiteral("FSSIPREG"));
    bool ok = false;
    const QVector<FSSipRegistration> r = regs.getRegistrations(&ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(r.size(), 3);
    EXPECT_EQ(r[0].sip_user, QStringLiteral("6002"));
    EXPECT_EQ(r[0].network_port, QStringLiteral("5062"));
    EXPECT_EQ(r[1].sip_user, QStringLiteral("6001"));
    EXPECT_EQ(r[1].contact, QStringLiteral("<sip:6001@a>"));
    EXPECT_TRUE(r[1].network_port.isEmpty());
    EXPECT_EQ(r[2].contact, QStringLiteral("<sip:6001@b>"));

    FSChannelsManager chans;
    ASSERT_TRUE(chans.open(chanFile, QStringLiteral("FSCore")));
    ok = false;
    EXPECT_TRUE(chans.getChannels(&ok).isEmpty());
    EXPECT_TRUE(ok);  // an empty table is a successful read
    ASSERT_TRUE(sql(chanFile, {"insert into channels values ('u1','ACTIVE','6001','3001','3001','3001@cdquality++flags{endconf}',"
                               "'Hall',NULL,'6001','3001')"}));
    const QVector<FSChannel> c = chans.getChannels(&ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(c.size(), 1);
    EXPECT_EQ(c[0].uuid, QStringLiteral("u1"));
    EXPECT_EQ(c[0].callstate, QStringLiteral("ACTIVE"));
    EXPECT_EQ(c[0].application_data, QStringLiteral("3001@cdquality++flags{endconf}"));
    EXPECT_EQ(c[0].cid_name, QStringLiteral("Hall"));
    EXPECT_TRUE(c[0].ip_addr.isEmpty());
    EXPECT_EQ(c[0].initial_cid_num, QStringLiteral("6001"));
    EXPECT_EQ(c[0].initial_dest, QStringLiteral("3001"));

    chans.close();
    regs.close();
    EXPECT_FALSE(QSqlDatabase::contains(QStringLiteral("FSCore")));
    EXPECT_FALSE(QSqlDatabase::contains(QStringLiteral("FSSIPREG")));
    ok = true;
    EXPECT_TRUE(chans.getChannels(&ok).isEmpty());
    EXPECT_FALSE(ok);
}

TEST(FSDatabase, AFailedReadIsNotAnEmptyTable)
{
    QTemporaryDir dir;
    // Missing file: created empty by the driver; the table is missing.
    FSChannelsManager missing;
    ASSERT_TRUE(missing.open(dir.filePath(QStringLiteral("absent.db")), QStringLiteral("FSCore")));
    bool ok = true;
    EXPECT_TRUE(missing.getChannels(&ok).isEmpty());
    EXPECT_FALSE(ok);
    FSSipRegistrationsManager missingReg;
    ASSERT_TRUE(missingReg.open(dir.filePath(QStringLiteral("absent2.db")), QStringLiteral("FSSIPREG")));
    ok = true;
    EXPECT_TRUE(missingReg.getRegistrations(&ok).isEmpty());
    EXPECT_FALSE(ok);

    // Unopenable path.
    FSChannelsManager bad;
    EXPECT_FALSE(bad.open(dir.filePath(QStringLiteral("no/such/folder/core.db")), QStringLiteral("FSCoreBad")));
    EXPECT_TRUE(bad.path().isEmpty());
    ok = true;
    EXPECT_TRUE(bad.getChannels(&ok).isEmpty());
    EXPECT_FALSE(ok);

    // Locked: a writer holds an exclusive lock on a rollback-journal file.
    const QString lockedFile = dir.filePath(QStringLiteral("locked.db"));
    ASSERT_TRUE(sql(lockedFile, {kRegSchema, "insert into sip_registrations values ('6001','h','c','Registered','ip','1',0)"}));
    const QString holder = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), holder);
        db.setDatabaseName(lockedFile);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("begin exclusive")));
        ASSERT_TRUE(q.exec(QStringLiteral("delete from sip_registrations")));

        FSSipRegistrationsManager reader;
        ASSERT_TRUE(reader.open(lockedFile, QStringLiteral("FSSIPREG")));
        ok = true;
        EXPECT_TRUE(reader.getRegistrations(&ok).isEmpty());
        EXPECT_FALSE(ok);
        ASSERT_TRUE(q.exec(QStringLiteral("rollback")));
        const QVector<FSSipRegistration> after = reader.getRegistrations(&ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(after.size(), 1);
    }
    QSqlDatabase::removeDatabase(holder);
}

TEST(FSDatabase, NeverSeesAHalfWrittenStateWhileTheFileIsWritten)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("core.db"));
    ASSERT_TRUE(sql(file, {"pragma journal_mode=WAL", kChanSchema}));

    // The writer changes the table in transactions of 10 rows, as the switch does.
    std::atomic<bool> stop{false};
    std::atomic<int> batches{0};
    std::thread writer([&] {
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(file);
            if (db.open()) {
                QSqlQuery q(db);
                for (int b = 0; b < 300 && !stop; ++b) {
                    db.transaction();
                    if (b % 3 == 2)
                        q.exec(QStringLiteral("delete from channels"));
                    for (int i = 0; i < 10; ++i)
                        q.exec(QStringLiteral("insert into channels (uuid, callstate) values ('%1-%2', 'ACTIVE')").arg(b).arg(i));
                    db.commit();
                    ++batches;
                }
            }
        }
        QSqlDatabase::removeDatabase(name);
    });

    FSChannelsManager reader;
    ASSERT_TRUE(reader.open(file, QStringLiteral("FSCore")));
    int reads = 0;
    int failed = 0;
    while (batches < 300 && reads < 5000) {
        bool ok = false;
        const int n = reader.getChannels(&ok).size();
        ++reads;
        if (!ok) {
            ++failed;
            continue;
        }
        EXPECT_EQ(n % 10, 0) << "torn read of " << n << " rows";
    }
    stop = true;
    writer.join();
    EXPECT_EQ(failed, 0);
    EXPECT_GT(reads, 0);
}

TEST(FSDatabase, KeepsReadingTheSwitchsFilesAcrossASwitchRestart)
{
    SwitchStandIn sw;
    ASSERT_TRUE(sw.start());
    FSChannelsManager chans;
    FSSipRegistrationsManager regs;
    ASSERT_TRUE(chans.open(sw.path(QStringLiteral("db/core.db")), QStringLiteral("FSCore")));
    ASSERT_TRUE(regs.open(sw.path(QStringLiteral("db/sofia_reg_internal.db")), QStringLiteral("FSSIPREG")));

    ASSERT_TRUE(sw.console(QStringLiteral("test reg add 6001")).startsWith(QLatin1String("+OK")));
    ASSERT_TRUE(sw.console(QStringLiteral("conference 3001@cdquality++flags{mute|endconf} bgdial user/6001 3001 3001"))
                    .startsWith(QLatin1String("+OK")));
    bool ok = false;
    QVector<FSSipRegistration> r = regs.getRegistrations(&ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(r.size(), 1);
    EXPECT_EQ(r[0].sip_user, QStringLiteral("6001"));
    EXPECT_TRUE(r[0].status.startsWith(QLatin1String("Registered")));
    EXPECT_TRUE(PaTest::waitUntil([&] {
        const QVector<FSChannel> c = chans.getChannels();
        return c.size() == 1 && c[0].callstate == QLatin1String("ACTIVE") && c[0].accountcode == QLatin1String("6001")
               && c[0].application_data.startsWith(QLatin1String("3001@"));
    }));

    // The reader keeps its connection while the switch restarts.
    ASSERT_EQ(sw.shutdown(), 0);
    EXPECT_TRUE(chans.getChannels(&ok).isEmpty());
    EXPECT_TRUE(ok);
    ASSERT_TRUE(sw.start());
    ASSERT_TRUE(sw.console(QStringLiteral("test reg add 6002")).startsWith(QLatin1String("+OK")));
    r = regs.getRegistrations(&ok);
    ASSERT_TRUE(ok);
    QStringList users;
    for (const FSSipRegistration &x : r)
        users << x.sip_user;
    EXPECT_EQ(users, (QStringList{QStringLiteral("6001"), QStringLiteral("6002")}));
    EXPECT_EQ(sw.shutdown(), 0);
}
