#include "ZoneStoreFixture.h"

#include "PALogDB.h"
#include "VDB.h"
#include "Velmar.h"
#include "VelmarDB.h"

void ZoneStoreFixture::SetUp()
{
    ASSERT_TRUE(m_dir.isValid());
    m_oldDir = VDB::dataDir();
    VDB::setDataDir(m_dir.path());
    {
        VelmarDB db(true);
        ASSERT_TRUE(db.checkUpgrade());
    }
    ASSERT_TRUE(Velmar::createInstance());
    m_velmar = Velmar::instance();
}

void ZoneStoreFixture::TearDown()
{
    Velmar::destroyInstance();
    PALogDB::closeSharedLog();
    VelmarDB::closeIdleConnections();
    VDB::setDataDir(m_oldDir);
}

RDGroup ZoneStoreFixture::stored(RDGroup zone)
{
    zone.id = m_velmar->addGroup(zone);
    EXPECT_GT(zone.id, 0);
    return m_velmar->getGroupById(zone.id);
}
