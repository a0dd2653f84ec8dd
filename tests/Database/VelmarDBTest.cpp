#include "DatabaseTestSupport.h"
#include "VelmarDB.h"

#include <QFileInfo>

namespace {

// A group with a distinct value in every column.
RDGroup fullGroup(const QString &conference)
{
    RDGroup group;
    int number = 1;
#define FILL_Int(field) group.field = number++;
#define FILL_Text(field) group.field = QStringLiteral(#field "-%1 ' \" ; --").arg(number++);
#define FILL(kind, field) FILL_##kind(field)
    RD_GROUP_COLUMNS(FILL)
#undef FILL
#undef FILL_Text
#undef FILL_Int
    group.conference = conference;
    return group;
}

void expectSameColumns(const RDGroupInfo &a, const RDGroupInfo &b)
{
    EXPECT_EQ(a.id, b.id);
#define SAME(kind, field) EXPECT_EQ(a.field, b.field) << #field;
    RD_GROUP_COLUMNS(SAME)
#undef SAME
}

class VelmarDBTest : public DataDirTest
{
protected:
    void SetUp() override
    {
        DataDirTest::SetUp();
        m_db = std::make_unique<VelmarDB>(true);
        ASSERT_TRUE(m_db->isOpen());
        m_db->checkUpgrade();
        ASSERT_TRUE(m_db->errorText().isEmpty());
    }
    void TearDown() override
    {
        m_db.reset();
        VelmarDB::setGroupStatusSource({});
        VelmarDB::setDeviceStatusSource({});
        DataDirTest::TearDown();
    }
    std::unique_ptr<VelmarDB> m_db;
};

} // namespace

TEST_F(VelmarDBTest, SchemaMatchesTheRecordColumnOrder)
{
    QStringList columns;
    for (const QStringList &row : DbTest::exec(VelmarDB::dbFilePath(), {QStringLiteral("select name, type from pragma_table_info('RDGroup')")}))
        columns << row.first();
    EXPECT_EQ(columns, RDGroupInfo::columnNames());
    EXPECT_EQ(DbTest::scalar(VelmarDB::dbFilePath(), QStringLiteral("select type from pragma_table_info('RDGroup') where name='priority'")),
              QStringLiteral("interger"));
}

TEST_F(VelmarDBTest, ConfigReadsStoredTextEvenWhenEmptyAndUpserts)
{
    EXPECT_FALSE(m_db->hasConfig(QStringLiteral("k")));
    EXPECT_EQ(m_db->getConfig(QStringLiteral("k"), QStringLiteral("dflt")), QStringLiteral("dflt"));
    m_db->setConfig(QStringLiteral("k"), QString(""));
    EXPECT_TRUE(m_db->hasConfig(QStringLiteral("k")));
    EXPECT_EQ(m_db->getConfig(QStringLiteral("k"), QStringLiteral("dflt")), QString(""));
    m_db->setConfig(QStringLiteral("k"), QStringLiteral("v2"));
    EXPECT_EQ(m_db->getConfig(QStringLiteral("k"), QString()), QStringLiteral("v2"));
    EXPECT_EQ(DbTest::scalar(VelmarDB::dbFilePath(), QStringLiteral("select count(*) from conf")), QStringLiteral("1"));
    EXPECT_FALSE(m_db->hasConfig(QStringLiteral("K")));   // keys are case-sensitive
}

TEST_F(VelmarDBTest, HostileTextIsStoredAsDataNotRunAsSql)
{
    const QString hostile = QStringLiteral("x'); drop table RDDevice;--");
    const QString quote = QStringLiteral("a\"b' or '1'='1");
    const int id = m_db->insertDevice(hostile, QStringLiteral("100"), quote);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(m_db->updateDevice(id, hostile + hostile, quote));
    m_db->setConfig(hostile, quote);
    RDGroup group = fullGroup(QStringLiteral("3001"));
    group.name = hostile;
    const int groupId = m_db->insertGroup(group);
    ASSERT_GT(groupId, 0);

    const QVector<RDDevice> devices = m_db->selectDevicesWithStatus({});
    ASSERT_EQ(devices.size(), 1);
    EXPECT_EQ(devices[0].name, hostile + hostile);
    EXPECT_EQ(devices[0].password, quote);
    EXPECT_EQ(m_db->getConfig(hostile, QString()), quote);
    EXPECT_EQ(m_db->selectGroupById(groupId).name, hostile);
    EXPECT_EQ(m_db->selectGroupByConference(QStringLiteral("3001' or '1'='1")).id, 0);
}

TEST_F(VelmarDBTest, DevicesInsertUpdateDeleteAndUniqueNumber)
{
    const int a = m_db->insertDevice(QStringLiteral("a"), QStringLiteral("200"), QStringLiteral("pa"));
    const int b = m_db->insertDevice(QStringLiteral("b"), QStringLiteral("1000"), QStringLiteral("pb"));
    const int c = m_db->insertDevice(QStringLiteral("c"), QStringLiteral("31"), QStringLiteral("pc"));
    ASSERT_TRUE(a > 0 && b > a && c > b);
    EXPECT_EQ(m_db->insertDevice(QStringLiteral("dup"), QStringLiteral("200"), QString()), 0);

    QVector<RDDevice> devices = m_db->selectDevicesWithStatus({{QStringLiteral("1000"), QStringLiteral("online")}});
    ASSERT_EQ(devices.size(), 3);
    EXPECT_EQ(devices[0].number, QStringLiteral("1000"));
    EXPECT_EQ(devices[1].number, QStringLiteral("200"));
    EXPECT_EQ(devices[2].number, QStringLiteral("31"));
    EXPECT_EQ(devices[0].status, QStringLiteral("online"));
    EXPECT_EQ(devices[1].status, QStringLiteral("none"));
    EXPECT_EQ(devices[1].name, QStringLiteral("a"));

    EXPECT_TRUE(m_db->updateDevice(a, QStringLiteral("renamed"), QStringLiteral("new")));
    EXPECT_TRUE(m_db->updateDevice(9999, QStringLiteral("nobody"), QString()));
    EXPECT_TRUE(m_db->deleteDevice(c));
    devices = m_db->selectDevices();
    ASSERT_EQ(devices.size(), 2);
    EXPECT_EQ(devices[1].name, QStringLiteral("renamed"));
    EXPECT_EQ(devices[1].password, QStringLiteral("new"));
    EXPECT_EQ(devices[1].number, QStringLiteral("200"));

    VelmarDB::setDeviceStatusSource([] { return QMap<QString, QString>{{QStringLiteral("200"), QStringLiteral("calling")}}; });
    EXPECT_TRUE(m_db->selectDevices()[1].isCalling());
}

TEST_F(VelmarDBTest, GroupsKeepAll44ColumnsAndMergeRunState)
{
    RDGroup group = fullGroup(QStringLiteral("3005"));
    group.id = 77;   // ignored by the insert
    const int id = m_db->insertGroup(group);
    ASSERT_GT(id, 0);
    group.id = id;
    RDGroup stored = m_db->selectGroupById(id);
    expectSameColumns(stored, group);
    EXPECT_EQ(stored.startType, QStringLiteral("none"));
    EXPECT_EQ(stored.playIndex, -1);
    EXPECT_TRUE(stored.mediaList.isEmpty());

    RDGroup changed = fullGroup(QStringLiteral("3006"));
    changed.id = id;
    changed.prayMethod = 2;
    changed.medium = QStringLiteral("a.mp3\nb.mp3");
    ASSERT_TRUE(m_db->updateGroup(changed));
    expectSameColumns(m_db->selectGroupByConference(QStringLiteral("3006")), changed);
    EXPECT_EQ(m_db->selectGroupByConference(QStringLiteral("3005")).id, 0);

    RDGroupStatus running;
    running.started = 1;
    running.startType = QStringLiteral("schedule");
    running.playIndex = 1;
    VelmarDB::setGroupStatusSource([running] { return QMap<QString, RDGroupStatus>{{QStringLiteral("3006"), running}}; });
    stored = m_db->selectGroups().first();
    EXPECT_EQ(stored.started, 1);
    EXPECT_EQ(stored.startType, QStringLiteral("schedule"));
    EXPECT_EQ(stored.playIndex, 1);

    RDGroup partial = changed;
    partial.volume = -7;
    partial.sortIndex = 40;
    partial.backgroundType = QStringLiteral("video");
    partial.backgroundImage = QStringLiteral("img.png");
    partial.backgroundMainStream = QStringLiteral("rtsp://m");
    partial.backgroundSubStream = QString();
    partial.name = QStringLiteral("not written by the partial updates");
    EXPECT_TRUE(m_db->updateGroupVolume(partial));
    EXPECT_TRUE(m_db->updateGroupSortIndex(partial));
    EXPECT_TRUE(m_db->updateGroupBackground(partial));
    stored = m_db->selectGroupById(id);
    EXPECT_EQ(stored.volume, -7);
    EXPECT_EQ(stored.sortIndex, 40);
    EXPECT_EQ(stored.backgroundType, QStringLiteral("video"));
    EXPECT_EQ(stored.backgroundMainStream, QStringLiteral("rtsp://m"));
    EXPECT_TRUE(stored.backgroundSubStream.isEmpty());
    EXPECT_EQ(stored.name, changed.name);

    // A repeated conference is an ordinary failure.
    EXPECT_EQ(m_db->insertGroup(fullGroup(QStringLiteral("3006"))), 0);
    RDGroup other = fullGroup(QStringLiteral("3007"));
    other.id = m_db->insertGroup(other);
    ASSERT_GT(other.id, 0);
    other.conference = QStringLiteral("3006");
    EXPECT_FALSE(m_db->updateGroup(other));
    EXPECT_EQ(m_db->selectGroupById(other.id).conference, QStringLiteral("3007"));
    EXPECT_TRUE(m_db->deleteGroup(other));

    EXPECT_TRUE(m_db->deleteGroup(stored));
    EXPECT_TRUE(m_db->selectGroups().isEmpty());
    EXPECT_FALSE(m_db->selectGroupById(id).isValid());
}

TEST_F(VelmarDBTest, NullColumnsReadAsZeroNotDefault)
{
    DbTest::exec(VelmarDB::dbFilePath(), {QStringLiteral("insert into RDGroup(id, conference) values(3, '3003')")});
    const RDGroup group = m_db->selectGroupById(3);
    EXPECT_EQ(group.prayMethod, 0);
    EXPECT_EQ(group.prayLatitudeAdjustmentMethod, 0);
    EXPECT_TRUE(group.name.isEmpty());
}

TEST_F(VelmarDBTest, GroupOrderIsSortIndexDescendingThenId)
{
    DbTest::exec(VelmarDB::dbFilePath(), {QStringLiteral("insert into RDGroup(id, sortIndex, conference) values(1, 0, '3000')"),
                                         QStringLiteral("insert into RDGroup(id, sortIndex, conference) values(2, 5, '3001')"),
                                         QStringLiteral("insert into RDGroup(id, sortIndex, conference) values(3, 5, '3002')")});
    QVector<int> ids;
    for (const RDGroup &group : m_db->selectGroups())
        ids << group.id;
    EXPECT_EQ(ids, (QVector<int>{2, 3, 1}));
}

TEST_F(VelmarDBTest, NextConferenceAndDefaultGroup)
{
    EXPECT_EQ(m_db->nextConference(), QStringLiteral("3000"));
    m_db->createDefaultGroup();
    QVector<RDGroup> groups = m_db->selectGroups();
    ASSERT_EQ(groups.size(), 1);
    EXPECT_EQ(groups[0].conference, QStringLiteral("3000"));
    EXPECT_EQ(groups[0].source, QStringLiteral("media"));
    EXPECT_EQ(groups[0].mediumLoopType, QStringLiteral("list"));
    EXPECT_EQ(groups[0].volume, 0);
    EXPECT_TRUE(groups[0].name.isEmpty());
    EXPECT_EQ(groups[0].inputSipNumber, QStringLiteral("4000"));
    EXPECT_EQ(groups[0].inputSipPassword, QStringLiteral("4000"));
    EXPECT_EQ(groups[0].outputSipNumber, QStringLiteral("5000"));
    EXPECT_EQ(groups[0].outputSipPassword, QStringLiteral("5000"));
    m_db->createDefaultGroup();
    EXPECT_EQ(m_db->selectGroups().size(), 1);

    DbTest::exec(VelmarDB::dbFilePath(), {QStringLiteral("insert into RDGroup(conference) values('3002')"),
                                         QStringLiteral("insert into RDGroup(conference) values('03001')")});
    EXPECT_EQ(m_db->nextConference(), QStringLiteral("3001"));
    DbTest::exec(VelmarDB::dbFilePath(), {QStringLiteral("delete from RDGroup"),
                                         QStringLiteral("with recursive n(i) as (select 3000 union all select i+1 from n where i<3999) "
                                                        "insert into RDGroup(conference) select cast(i as text) from n")});
    EXPECT_EQ(m_db->nextConference(), QString());
}

TEST(VelmarDBRules, ConferenceValidityAndSipAccounts)
{
    const std::pair<const char *, bool> cases[] = {{"3999", true}, {"3000", true}, {"4000", false}, {"2999", false},
                                                   {"300", false}, {"30000", false}, {"30a0", false}, {"", false}};
    for (const auto &c : cases)
        EXPECT_EQ(VelmarDB::isValidConference(QString::fromUtf8(c.first)), c.second) << c.first;

    RDGroup group;
    group.conference = QStringLiteral("3005");
    VelmarDB::fillSipNumbers(group);
    EXPECT_EQ(group.inputSipNumber, QStringLiteral("4005"));
    EXPECT_EQ(group.inputSipPassword, QStringLiteral("4005"));
    EXPECT_EQ(group.outputSipNumber, QStringLiteral("5005"));
    EXPECT_EQ(group.outputSipPassword, QStringLiteral("5005"));
    for (const char *bad : {"4000", ""}) {
        RDGroup other;
        other.conference = QString::fromUtf8(bad);
        other.inputSipNumber = QStringLiteral("keep");
        VelmarDB::fillSipNumbers(other);
        EXPECT_EQ(other.inputSipNumber, QStringLiteral("keep"));
        EXPECT_TRUE(other.outputSipNumber.isEmpty());
    }
}
