// Zone lookups of the central object answer from memory, yet never from a
// copy older than the database: every way the zones or devices change is
// followed by the next lookup.
#include "FSManager.h"
#include "RDGroup.h"
#include "VDB.h"
#include "Velmar.h"
#include "VelmarDB.h"
#include "VelmarFixture.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <functional>

namespace {

class VelmarGroupCacheTest : public VelmarFixture
{
protected:
    VelmarGroupCacheTest() { m_withDefaultGroup = false; }

    void SetUp() override
    {
        VelmarFixture::SetUp();
        if (HasFatalFailure())
            return;
        RDDevice hall;
        hall.name = QStringLiteral("Hall");
        hall.number = QStringLiteral("6101");
        hall.password = QStringLiteral("pw");
        m_device = hall;
        m_device.id = m_velmar->addDevice(hall);
        ASSERT_GT(m_device.id, 0);
        RDGroup zone;
        zone.name = QStringLiteral("Yard");
        zone.conference = QStringLiteral("3001");
        zone.source = QStringLiteral("media");
        zone.setDevices({m_device});
        ASSERT_GT(m_velmar->addGroup(zone), 0);
        m_zone = m_velmar->getGroupByConference(QStringLiteral("3001"));
        ASSERT_TRUE(m_zone.isValid());
    }

    RDGroup lookup() { return m_velmar->getGroupByConference(QStringLiteral("3001")); }

    RDDevice m_device;
    RDGroup m_zone;
};

} // namespace

TEST_F(VelmarGroupCacheTest, EveryChangeToZonesOrDevicesReachesTheNextLookup)
{
    struct Case {
        const char *change;
        std::function<void(Velmar *, RDGroup &, RDDevice &)> apply;
        std::function<bool(const RDGroup &)> seen;
    };
    const Case cases[] = {
        {"zone updated",
         [](Velmar *v, RDGroup &zone, RDDevice &) {
             RDGroup changed = zone;
             changed.name = QStringLiteral("Front yard");
             changed.source = QStringLiteral("pray");
             ASSERT_TRUE(v->updateGroup(zone, changed));
             zone = changed;
         },
         [](const RDGroup &g) { return g.name == QStringLiteral("Front yard") && g.isPraySource(); }},
        {"volume changed",
         [](Velmar *v, RDGroup &zone, RDDevice &) {
             zone.volume = 7;
             ASSERT_TRUE(v->updateGroupVolume(zone));
         },
         [](const RDGroup &g) { return g.volume == 7; }},
        {"device renamed",
         [](Velmar *v, RDGroup &, RDDevice &device) {
             device.name = QStringLiteral("Main hall");
             ASSERT_TRUE(v->updateDevice(device));
         },
         [](const RDGroup &g) { return g.deviceList.size() == 1 && g.deviceList[0].name == QStringLiteral("Main hall"); }},
        // Writers that go to the database without the central object (the
        // settings screens, the app API) are followed as well.
        {"written through another connection",
         [](Velmar *, RDGroup &zone, RDDevice &) {
             VelmarDB other(true);
             zone.priority = 9;
             RDGroup stored = zone;
             ASSERT_TRUE(other.updateGroup(stored));
         },
         [](const RDGroup &g) { return g.priority == 9; }},
        {"device removed",
         [](Velmar *v, RDGroup &, RDDevice &device) { ASSERT_TRUE(v->removeDevice(device)); },
         [](const RDGroup &g) { return g.isValid() && g.deviceList.isEmpty(); }},
        {"zone removed",
         [](Velmar *v, RDGroup &zone, RDDevice &) { ASSERT_TRUE(v->removeGroup(zone)); },
         [](const RDGroup &g) { return !g.isValid(); }},
    };
    RDGroup zone = m_zone;
    RDDevice device = m_device;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.change);
        // Looked up (and so held in memory) right before the change.
        ASSERT_EQ(lookup().id, m_zone.id);
        c.apply(m_velmar, zone, device);
        EXPECT_TRUE(c.seen(lookup()));
        EXPECT_TRUE(c.seen(m_velmar->getGroupById(m_zone.id)));
    }

    RDGroup added;
    added.name = QStringLiteral("New");
    added.conference = QStringLiteral("3002");
    added.source = QStringLiteral("media");
    const int id = m_velmar->addGroup(added);
    ASSERT_GT(id, 0);
    EXPECT_EQ(m_velmar->getGroupByConference(QStringLiteral("3002")).id, id);
}

// Batch removal writes in one transaction of its own, past the single-row
// writers: the next lookup still sees it.
TEST_F(VelmarGroupCacheTest, BatchRemovalReachesTheNextLookup)
{
    ASSERT_EQ(lookup().deviceList.size(), 1);
    m_velmar->removeDevices({m_device});
    const RDGroup after = lookup();
    ASSERT_TRUE(after.isValid());
    EXPECT_TRUE(after.deviceList.isEmpty());
}

TEST_F(VelmarGroupCacheTest, ImportReplacesWhatLookupsAnswer)
{
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const QString copy = out.path() + QStringLiteral("/velmar.db");
    ASSERT_TRUE(VelmarDB::exportDB(copy));

    RDGroup renamed = m_zone;
    renamed.name = QStringLiteral("Renamed");
    ASSERT_TRUE(m_velmar->updateGroup(m_zone, renamed));
    ASSERT_EQ(lookup().name, QStringLiteral("Renamed"));

    ASSERT_TRUE(VelmarDB::importDB(copy));
    EXPECT_EQ(lookup().name, QStringLiteral("Yard"));
}

// Lookups without changes in between do not read the database again, and
// still carry the switch manager's run state of the moment.
TEST_F(VelmarGroupCacheTest, LookupsAnswerFromMemoryWithTheLiveRunState)
{
    ASSERT_EQ(lookup().started, 0);
    const int reads = m_velmar->groupCacheReads();

    ASSERT_TRUE(m_fs->startGroup(m_zone, QString(), QString(), 9, QStringLiteral("http"), QStringLiteral("test")));
    RDGroup running = lookup();
    EXPECT_EQ(running.started, 1);
    EXPECT_EQ(running.startType, QStringLiteral("http"));
    ASSERT_EQ(running.deviceList.size(), 1);
    EXPECT_EQ(running.deviceList[0].status, QStringLiteral("none"));

    m_fs->stopGroup(m_zone, QStringLiteral("http"), QStringLiteral("test"));
    EXPECT_EQ(m_velmar->getGroupById(m_zone.id).started, 0);
    EXPECT_EQ(m_velmar->groupCacheReads(), reads);
}
