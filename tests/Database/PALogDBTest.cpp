#include "DatabaseTestSupport.h"
#include "PALogDB.h"

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
