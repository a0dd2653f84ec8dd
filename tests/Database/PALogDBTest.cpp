#include "DatabaseTestSupport.h"
#include "PALogDB.h"
#include "TestSupport.h"
#include "VDBHelper.h"
#include "VelmarDB.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <atomic>
#include <csignal>
#include <unistd.h>
#include <thread>
#include <vector>

namespace {

class PALogDBTest : public DataDirTest
{
protected:
    void SetUp() override
    {
        DataDirTest::SetUp();
        m_log = std::make_unique<PALogDB>(true);
        ASSERT_TRUE(m_log->isOpen());
        m_log->checkUpgrade();
        ASSERT_TRUE(m_log->errorText().isEmpty());
    }
    void TearDown() override
    {
        m_log.reset();
        DataDirTest::TearDown();
    }

    // Records 1..n: conference "3000" for odd ids, "3001" for even ones; one per minute.
    void fill(int n)
    {
        QSqlDatabase db = m_log->database();
        ASSERT_TRUE(db.transaction());
        for (int i = 1; i <= n; ++i) {
            PALogRecord record;
            record.groupConference = i % 2 ? QStringLiteral("3000") : QStringLiteral("3001");
            record.dateTime = QStringLiteral("2024-03-02 %1:%2:00")
                                  .arg(i / 60, 2, 10, QLatin1Char('0'))
                                  .arg(i % 60, 2, 10, QLatin1Char('0'));
            ASSERT_EQ(m_log->insertLog(record), i);
        }
        ASSERT_TRUE(db.commit());
    }

    std::unique_ptr<PALogDB> m_log;
};

} // namespace

TEST(PALogDBFilter, ConditionsInOrderWithTheirSeparators)
{
    EXPECT_EQ(PALogDB::buildFilter(QString(), QString(), QString()), QString());
    EXPECT_EQ(PALogDB::buildFilter(QString(), QString(), QStringLiteral("e")), QStringLiteral(" dateTime <= :endTime"));
    EXPECT_EQ(PALogDB::buildFilter(QStringLiteral("3000"), QStringLiteral("s"), QString()),
              QStringLiteral(" groupConference = :conference and dateTime >= :startTime"));
    EXPECT_EQ(PALogDB::buildFilter(QStringLiteral("3000"), QStringLiteral("s"), QStringLiteral("e")),
              QStringLiteral(" groupConference = :conference and dateTime >= :startTime and dateTime <= :endTime"));
}

TEST_F(PALogDBTest, RecordRoundTripsAndCodecStaysNull)
{
    PALogRecord record;
    record.id = 99;
    record.volume = -4;
    record.groupId = 12;
    record.groupPriority = 3;
    record.groupName = QStringLiteral("hall'); drop table palog;--");
    record.groupConference = QStringLiteral("3004");
    record.action = QStringLiteral("app talk");
    record.source = QStringLiteral("stream");
    record.type = QStringLiteral("call conference");
    record.dateTime = QStringLiteral("2024-03-02 09:05:03");
    const int id = m_log->insertLog(record);
    ASSERT_EQ(id, 1);
    const QVector<PALogRecord> page = m_log->selectLogs(0, 50, QString(), QString(), QString());
    ASSERT_EQ(page.size(), 1);
    const PALogRecord &read = page.first();
    EXPECT_EQ(read.id, 1);
    EXPECT_EQ(read.volume, -4);
    EXPECT_EQ(read.groupId, 12);
    EXPECT_EQ(read.groupPriority, 3);
    EXPECT_EQ(read.groupName, record.groupName);
    EXPECT_EQ(read.groupConference, record.groupConference);
    EXPECT_EQ(read.action, record.action);
    EXPECT_EQ(read.source, record.source);
    EXPECT_EQ(read.type, record.type);
    EXPECT_EQ(read.dateTime, record.dateTime);
    EXPECT_EQ(DbTest::scalar(PALogDB::dbFilePath(), QStringLiteral("select codec from palog")), QStringLiteral("<null>"));
}

TEST_F(PALogDBTest, PagesAreNewestFirstAndAgreeWithTheCount)
{
    fill(120);
    EXPECT_EQ(m_log->countLogs(QString(), QString(), QString()), 120);
    QVector<PALogRecord> page = m_log->selectLogs(0, 50, QString(), QString(), QString());
    ASSERT_EQ(page.size(), 50);
    EXPECT_EQ(page.first().id, 120);
    EXPECT_EQ(page.last().id, 71);
    page = m_log->selectLogs(100, 50, QString(), QString(), QString());
    ASSERT_EQ(page.size(), 20);
    EXPECT_EQ(page.first().id, 20);
    EXPECT_EQ(page.last().id, 1);

    EXPECT_EQ(m_log->countLogs(QStringLiteral("3001"), QString(), QString()), 60);
    int shown = 0;
    for (int offset = 0; offset < 120; offset += 50) {
        for (const PALogRecord &record : m_log->selectLogs(offset, 50, QStringLiteral("3001"), QString(), QString())) {
            EXPECT_EQ(record.groupConference, QStringLiteral("3001"));
            ++shown;
        }
    }
    EXPECT_EQ(shown, 60);
    // A conference text that tries to widen the filter matches nothing.
    EXPECT_EQ(m_log->countLogs(QStringLiteral("3000' or '1'='1"), QString(), QString()), 0);
}

TEST_F(PALogDBTest, TimeBoundsAreInclusiveToTheSecond)
{
    PALogRecord record;
    record.groupConference = QStringLiteral("3000");
    record.dateTime = QStringLiteral("2024-03-02 23:59:59");
    ASSERT_GT(m_log->insertLog(record), 0);
    record.dateTime = QStringLiteral("2024-03-03 00:00:00");
    ASSERT_GT(m_log->insertLog(record), 0);

    EXPECT_EQ(m_log->countLogs(QString(), QString(), QStringLiteral("2024-03-02 23:59:59")), 1);
    EXPECT_EQ(m_log->countLogs(QString(), QString(), QStringLiteral("2024-03-02 23:59:58")), 0);
    EXPECT_EQ(m_log->countLogs(QString(), QStringLiteral("2024-03-03 00:00:00"), QString()), 1);
    const QVector<PALogRecord> day = m_log->selectLogs(0, 50, QStringLiteral("3000"), QStringLiteral("2024-03-02 00:00:00"),
                                                       QStringLiteral("2024-03-02 23:59:59"));
    ASSERT_EQ(day.size(), 1);
    EXPECT_EQ(day.first().dateTime, QStringLiteral("2024-03-02 23:59:59"));
}

TEST_F(DataDirTest, EventLogOnAClosedConnectionFailsQuietly)
{
    PALogDB log(false);
    PALogRecord record;
    EXPECT_EQ(log.insertLog(record), 0);
    EXPECT_TRUE(log.selectLogs(0, 50, QString(), QString(), QString()).isEmpty());
    EXPECT_EQ(log.countLogs(QString(), QString(), QString()), 0);
}

namespace {

QString pragma(QSqlDatabase db, const char *name)
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral("PRAGMA %1").arg(QLatin1String(name))) && query.next()
        ? query.value(0).toString()
        : QStringLiteral("<failed>");
}

PALogRecord record(const QString &name)
{
    PALogRecord r;
    r.groupName = name;
    r.groupConference = QStringLiteral("3001");
    r.action = QStringLiteral("start");
    r.dateTime = QStringLiteral("2024-03-02 10:00:00");
    return r;
}

} // namespace

// Both databases write ahead into a log with normal syncing on every
// connection: new files at once, the application database's own connection,
// a lent one, the event log's; an existing file once the version check found
// it current. A file from a newer release keeps its mode and full syncing.
TEST_F(DataDirTest, EveryConnectionWritesAheadWithNormalSync)
{
    {
        VelmarDB app(true);
        PALogDB log(true);
        VelmarDB *lent = VelmarDB::borrowConnection();
        const struct { const char *what; VDB *db; } connections[] = {
            {"application database", &app},
            {"lent connection", lent},
            {"event log", &log},
        };
        for (const auto &c : connections) {
            EXPECT_EQ(pragma(c.db->database(), "journal_mode"), QStringLiteral("wal")) << c.what;
            EXPECT_EQ(pragma(c.db->database(), "synchronous"), QStringLiteral("1")) << c.what;   // NORMAL
        }
        VelmarDB::returnConnection(lent);
    }
    VelmarDB::closeIdleConnections();

    // Files written in rollback mode by an older release, at the code's
    // version and at a newer one.
    const struct { const char *version; const char *mode; const char *sync; } files[] = {
        {"1.0.0", "wal", "1"},
        {"1.2.0", "delete", "2"},
    };
    for (const auto &f : files) {
        const QString path = PALogDB::dbFilePath();
        ASSERT_TRUE(VDBHelper::removeDatabaseFile(path));
        DbTest::exec(path, {VDBHelper::versionCreateSql,
                            QStringLiteral("insert into vdb_version(name, version) values('palog', '%1')").arg(f.version),
                            QStringLiteral("create table palog(id integer primary key autoincrement, groupName text)")});
        {
            PALogDB check(true);
            EXPECT_FALSE(check.checkUpgrade());
        }
        PALogDB later(true);
        EXPECT_EQ(pragma(later.database(), "journal_mode"), QLatin1String(f.mode)) << f.version;
        EXPECT_EQ(pragma(later.database(), "synchronous"), QLatin1String(f.sync)) << f.version;
    }
}

// Records from many threads go through the one kept-open connection: none is
// lost, each gets its own id, and the file is opened once, not per record.
TEST_F(PALogDBTest, KeptLogTakesRecordsFromManyThreadsAtOnce)
{
    constexpr int threads = 8;
    constexpr int perThread = 25;
    std::atomic<int> failed{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) {
                if (PALogDB::writeLog(record(QStringLiteral("t%1-%2").arg(t).arg(i))) <= 0)
                    ++failed;
            }
        });
    }
    for (std::thread &writer : writers)
        writer.join();
    EXPECT_EQ(failed.load(), 0);
    EXPECT_EQ(m_log->countLogs(QString(), QString(), QString()), threads * perThread);
    EXPECT_EQ(DbTest::scalar(PALogDB::dbFilePath(), QStringLiteral("select count(distinct groupName) from palog")),
              QString::number(threads * perThread));
}

// A new data folder is a new log: the kept connection follows it.
TEST_F(PALogDBTest, KeptLogFollowsTheDataFolder)
{
    ASSERT_GT(PALogDB::writeLog(record(QStringLiteral("here"))), 0);
    QTemporaryDir other;
    ASSERT_TRUE(other.isValid());
    VDB::setDataDir(other.path());
    {
        PALogDB check(true);
        check.checkUpgrade();
    }
    EXPECT_GT(PALogDB::writeLog(record(QStringLiteral("there"))), 0);
    EXPECT_EQ(DbTest::scalar(other.path() + QStringLiteral("/palog.db"), QStringLiteral("select groupName from palog")),
              QStringLiteral("there"));
    PALogDB::closeSharedLog();
    VDB::setDataDir(m_dir.path() + QStringLiteral("/database"));
    EXPECT_EQ(m_log->countLogs(QString(), QString(), QString()), 1);
}

// An upgrade rebuilds the file from a copy of it: records that the kept-open
// connection wrote a moment before, still in the write-ahead log, are in the
// rebuilt file, and records written after it land in the new file.
TEST_F(PALogDBTest, UpgradeKeepsRecordsOfTheKeptLogAndItWritesOnIntoTheNewFile)
{
    for (int i = 0; i < 30; ++i)
        ASSERT_GT(PALogDB::writeLog(record(QStringLiteral("before %1").arg(i))), 0);
    m_log.reset();
    DbTest::exec(PALogDB::dbFilePath(), {QStringLiteral("update vdb_version set version='0.9.0' where name='palog'")});
    {
        PALogDB upgrading(true);
        EXPECT_TRUE(upgrading.checkUpgrade());
        EXPECT_TRUE(upgrading.errorText().isEmpty()) << upgrading.errorText().toStdString();
    }
    ASSERT_GT(PALogDB::writeLog(record(QStringLiteral("after"))), 0);
    PALogDB::closeSharedLog();
    const QString path = PALogDB::dbFilePath();
    EXPECT_EQ(DbTest::scalar(path, QStringLiteral("select count(*) from palog")), QStringLiteral("31"));
    EXPECT_EQ(DbTest::scalar(path, QStringLiteral("select groupName from palog order by id desc limit 1")),
              QStringLiteral("after"));
    EXPECT_EQ(DbTest::scalar(path, QStringLiteral("select version from vdb_version where name='palog'")),
              QStringLiteral("1.0.0"));
}

// Run only as the child of the test below: writes records through the
// kept-open log, then dies at once, closing nothing.
TEST(PALogDBKilledWriter, DISABLED_WritesRecordsThenDies)
{
    const QString folder = qEnvironmentVariable("PALOG_KILLED_WRITER_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "runs as a child of RecordsSurviveAKilledProgram";
    VDB::setDataDir(folder);
    for (int i = 0; i < 200; ++i) {
        if (PALogDB::writeLog(record(QStringLiteral("r%1").arg(i))) <= 0)
            ::_exit(3);
    }
    ::kill(::getpid(), SIGKILL);
}

// A program killed right after writing loses none of its records, and the
// file it leaves is whole.
TEST_F(PALogDBTest, RecordsSurviveAKilledProgram)
{
    m_log.reset();
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PALOG_KILLED_WRITER_DIR"), m_dir.path() + QStringLiteral("/database"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_also_run_disabled_tests"),
                 QStringLiteral("--gtest_filter=PALogDBKilledWriter.DISABLED_WritesRecordsThenDies")});
    ASSERT_TRUE(child.waitForFinished(60000));
    ASSERT_EQ(child.exitStatus(), QProcess::CrashExit) << "exit code " << child.exitCode();
    const QString path = PALogDB::dbFilePath();
    EXPECT_EQ(DbTest::scalar(path, QStringLiteral("select count(*) from palog")), QStringLiteral("200"));
    EXPECT_EQ(DbTest::scalar(path, QStringLiteral("select groupName from palog order by id desc limit 1")),
              QStringLiteral("r199"));
    EXPECT_EQ(DbTest::scalar(path, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
}

// Records posted from many threads at once (the request paths) are all
// written, each thread's in the order it posted them: a read of the log
// right after sees them all, and shut-down leaves them all in the file.
TEST_F(PALogDBTest, PostedRecordsAreAllWrittenInOrderAfterABurstAndAtShutDown)
{
    constexpr int threads = 8;
    constexpr int perThread = 40;
    auto burst = [](const QString &tag) {
        std::vector<std::thread> posters;
        for (int t = 0; t < threads; ++t) {
            posters.emplace_back([t, tag] {
                for (int i = 0; i < perThread; ++i) {
                    PALogRecord r = record(QStringLiteral("%1 t%2").arg(tag).arg(t));
                    r.volume = i;
                    PALogDB::postLog(r);
                }
            });
        }
        for (std::thread &poster : posters)
            poster.join();
    };

    burst(QStringLiteral("read"));
    EXPECT_EQ(m_log->countLogs(QString(), QString(), QString()), threads * perThread);

    burst(QStringLiteral("shut"));
    PALogDB::closeSharedLog();
    m_log.reset();
    const QString path = PALogDB::dbFilePath();
    EXPECT_EQ(DbTest::scalar(path, QStringLiteral("select count(*) from palog")),
              QString::number(2 * threads * perThread));
    // Within each thread's records the ids rise with the posting order.
    EXPECT_EQ(DbTest::scalar(path, QStringLiteral("select count(*) from palog a join palog b on a.groupName = "
                                                  "b.groupName and a.volume < b.volume and a.id > b.id")),
              QStringLiteral("0"));
}

// The writer thread takes posted records on its own: nobody reads the log
// here (a read writes what waits first), yet every record of a burst from
// many threads reaches the file.
TEST_F(PALogDBTest, PostedRecordsReachTheFileWithoutARead)
{
    constexpr int threads = 8;
    constexpr int perThread = 50;
    std::vector<std::thread> posters;
    for (int t = 0; t < threads; ++t) {
        posters.emplace_back([t] {
            for (int i = 0; i < perThread; ++i)
                PALogDB::postLog(record(QStringLiteral("t%1").arg(t)));
        });
    }
    for (std::thread &poster : posters)
        poster.join();
    const QString path = PALogDB::dbFilePath();
    const QString all = QString::number(threads * perThread);
    EXPECT_TRUE(PaTest::waitUntil(
        [&] { return DbTest::scalar(path, QStringLiteral("select count(*) from palog")) == all; }, 10000))
        << DbTest::scalar(path, QStringLiteral("select count(*) from palog")).toStdString() << " of " << all.toStdString();
}

namespace {

// `count` records, one every five minutes from 2024-01-01 00:05:00 on, in
// twenty zones "3000".."3019" by id (id 20 is in "3000").
void fillLargeLog(QSqlDatabase db, int count = 100000)
{
    QSqlQuery query(db);
    // Indexes made once over the full table cost a fraction of keeping
    // them up to date through 100 000 inserts.
    for (const char *index : {"palog_groupConference", "palog_dateTime", "palog_groupConference_dateTime"})
        ASSERT_TRUE(query.exec(QStringLiteral("drop index %1").arg(QLatin1String(index))));
    ASSERT_TRUE(query.exec(QStringLiteral(
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < %1) "
        "insert into palog(volume, groupId, groupPriority, groupName, groupConference, action, source, type, "
        "dateTime) select 50, i % 20, 1, 'Zone', cast(3000 + i % 20 as text), 'start', 'media', 'user', "
        "strftime('%Y-%m-%d %H:%M:%S', '2024-01-01 00:00:00', '+' || (i * 5) || ' minutes') from n")
                               .arg(count)))
        << query.lastError().text().toStdString();
}

// The plan SQLite chooses for a page read with this filter, one step a line.
QStringList pagePlan(QSqlDatabase db, const QString &conference, const QString &startTime,
                     const QString &endTime)
{
    QSqlQuery query(db);
    const QString filter = PALogDB::buildFilter(conference, startTime, endTime);
    EXPECT_TRUE(query.prepare(QStringLiteral("explain query plan ") + PALogDB::selectSql(filter, 50000, 50)));
    PALogDB::bindFilter(query, conference, startTime, endTime);
    EXPECT_TRUE(query.exec()) << query.lastError().text().toStdString();
    QStringList steps;
    while (query.next())
        steps << query.value(3).toString();
    return steps;
}

} // namespace

// A filtered page is found through an index, never by reading the whole
// table, and a deep page of a large log still holds just its own 50 records.
TEST_F(PALogDBTest, LargeLogPagesByZoneAndDateThroughIndexes)
{
    fillLargeLog(m_log->database());
    ASSERT_TRUE(m_log->ensureIndexes());
    const QString jan = QStringLiteral("2024-01-01 00:00:00");
    const QString decEnd = QStringLiteral("2024-12-31 23:59:59");
    const struct {
        const char *conference;
        QString start;
        QString end;
    } filters[] = {{"3007", QString(), QString()},
                   {"", jan, decEnd},
                   {"", QStringLiteral("2024-03-01 00:00:00"), QStringLiteral("2024-03-01 23:59:59")},
                   {"3007", jan, decEnd},
                   {"3007", QString(), decEnd}};
    for (const auto &f : filters) {
        const QString conference = QLatin1String(f.conference);
        SCOPED_TRACE(std::string(f.conference) + " " + f.start.toStdString() + " " + f.end.toStdString());
        const QStringList plan = pagePlan(m_log->database(), conference, f.start, f.end);
        ASSERT_FALSE(plan.isEmpty());
        for (const QString &step : plan) {
            EXPECT_FALSE(step.startsWith(QLatin1String("SCAN"))) << step.toStdString();
        }
        EXPECT_TRUE(plan.join(QLatin1Char('\n')).contains(QLatin1String("INDEX palog_"))) << plan.join(QLatin1Char('\n')).toStdString();
    }

    // Zone "3007": ids 99987, 99967, ... down to 7, a hundred pages.
    EXPECT_EQ(m_log->countLogs(QStringLiteral("3007"), QString(), QString()), 5000);
    QVector<PALogRecord> page = m_log->selectLogs(99 * 50, 50, QStringLiteral("3007"), QString(), QString());
    ASSERT_EQ(page.size(), 50);
    EXPECT_EQ(page.first().id, 99987 - 20 * 99 * 50);
    EXPECT_EQ(page.last().id, 7);

    // One day: 288 records of five minutes, the last page holds the rest.
    const QString day = QStringLiteral("2024-03-01 00:00:00");
    const QString dayEnd = QStringLiteral("2024-03-01 23:59:59");
    EXPECT_EQ(m_log->countLogs(QString(), day, dayEnd), 288);
    page = m_log->selectLogs(250, 50, QString(), day, dayEnd);
    ASSERT_EQ(page.size(), 38);
    EXPECT_EQ(page.last().dateTime, day);
    EXPECT_EQ(page.first().id, page.last().id + 37);

    // A zone on that day, newest first.
    page = m_log->selectLogs(0, 50, QStringLiteral("3007"), day, dayEnd);
    ASSERT_EQ(page.size(), 288 / 20 + 1);
    for (int i = 1; i < page.size(); ++i)
        EXPECT_EQ(page.at(i - 1).id, page.at(i).id + 20);
}

// With the count of a time range known, a page may be read by walking the
// log newest first: every page holds the same records either way, for a
// range holding most of the log and for one at its old end.
TEST_F(PALogDBTest, WalkedPagesEqualIndexedPages)
{
    // Five weeks of records, from 2024-01-01 to 2024-02-04.
    fillLargeLog(m_log->database(), 10000);
    ASSERT_TRUE(m_log->ensureIndexes());
    const QStringList ranges[] = {{"2024-01-01 00:00:00", "2024-12-31 23:59:59"},
                                  {"2024-01-01 00:00:00", "2024-01-17 23:59:59"},
                                  {"2024-01-20 00:00:00", ""}};
    for (const QStringList &range : ranges) {
        SCOPED_TRACE(range.join(QLatin1String(" .. ")).toStdString());
        const int total = m_log->countLogs(QString(), range.at(0), range.at(1));
        ASSERT_GT(total, 1000);
        const int lastPage = (total - 1) / 50 * 50;
        for (int offset : {0, 50, total / 2, lastPage}) {
            const QVector<PALogRecord> walked = m_log->selectLogs(offset, 50, QString(), range.at(0), range.at(1), total);
            const QVector<PALogRecord> indexed = m_log->selectLogs(offset, 50, QString(), range.at(0), range.at(1));
            ASSERT_FALSE(walked.isEmpty());
            ASSERT_EQ(walked.size(), indexed.size()) << offset;
            EXPECT_EQ(walked.first().id, indexed.first().id) << offset;
            EXPECT_EQ(walked.last().id, indexed.last().id) << offset;
        }
    }
    // A wide range walks to any page; a small one, or a deep page of a
    // middling one, is sorted from the index.
    EXPECT_TRUE(PALogDB::walkIsCheaper(0, 50, 100000, 90000));
    EXPECT_TRUE(PALogDB::walkIsCheaper(99950, 50, 100000, 100000));
    EXPECT_FALSE(PALogDB::walkIsCheaper(0, 50, 100000, 288));
    EXPECT_FALSE(PALogDB::walkIsCheaper(4950, 50, 100000, 5000));
    EXPECT_FALSE(PALogDB::walkIsCheaper(0, 50, 100000, 0));
}

// A log kept from before the indexes existed gets them on its first read.
TEST_F(PALogDBTest, OlderFileGetsItsIndexesOnFirstRead)
{
    fill(3);
    m_log.reset();
    const QString indexQuery = QStringLiteral("select name from sqlite_master where type = 'index' and "
                                              "name like 'palog_%' order by name");
    DbTest::exec(PALogDB::dbFilePath(), {QStringLiteral("drop index palog_groupConference"),
                                         QStringLiteral("drop index palog_dateTime"),
                                         QStringLiteral("drop index palog_groupConference_dateTime")});
    ASSERT_TRUE(DbTest::exec(PALogDB::dbFilePath(), {indexQuery}).isEmpty());

    PALogDB reader(true);
    EXPECT_EQ(reader.countLogs(QStringLiteral("3000"), QString(), QString()), 2);
    EXPECT_EQ(DbTest::exec(PALogDB::dbFilePath(), {indexQuery}),
              (QVector<QStringList>{{"palog_dateTime"}, {"palog_groupConference"},
                                    {"palog_groupConference_dateTime"}}));
}
