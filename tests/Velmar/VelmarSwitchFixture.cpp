#include "VelmarSwitchFixture.h"

#include "FSManager.h"
#include "PALogDB.h"
#include "PASipManager.h"
#include "TestSupport.h"
#include "VDB.h"
#include "Velmar.h"
#include "VelmarDB.h"

#include <QFile>

void VelmarSwitchFixture::setUpData()
{
    ASSERT_TRUE(m_data.isValid());
    ASSERT_TRUE(m_switch.isValid());
    m_oldDataDir = VDB::dataDir();
    m_dataSet = true;
    VDB::setDataDir(m_data.path());
    VelmarDB db(true);
    db.checkUpgrade();
    db.createDefaultGroup();
    PALogDB log(true);
    log.checkUpgrade();
}

void VelmarSwitchFixture::setUpSwitch(int rtpFirst, int rtpLast)
{
    m_internalPort = PaTest::freeUdpPort();
    PASipManager::createInstance(QStringLiteral("127.0.0.1"));
    m_fs = FSManager::createInstance();
    m_fs->setDirectory(m_switch.folder());
    m_fs->setHttpPort(9391);
    m_fs->setNetwork(QStringLiteral("127.0.0.1"), QStringLiteral("255.0.0.0"), m_internalPort, false,
                     QStringLiteral("127.0.0.1"), PaTest::freeUdpPort(), QStringLiteral("PCMU,PCMA"));
    m_fs->setRtpPortRange(rtpFirst, rtpLast);
    m_fs->setSwitchTimingForTesting(5000, 200);
}

void VelmarSwitchFixture::createVelmar()
{
    ASSERT_TRUE(Velmar::createInstance());
    m_velmar = Velmar::instance();
}

void VelmarSwitchFixture::TearDown()
{
    Velmar::destroyInstance();
    if (m_fs)
        m_fs->stop();
    PASipManager::destroyInstance();
    FSManager::destroyInstance();
    qunsetenv("RUVIDAZA_TEST_HOOKS");
    if (m_dataSet)
        VDB::setDataDir(m_oldDataDir);
}

void VelmarSwitchFixture::startSwitch()
{
    // The switch inherits this; it lets the test sign devices in.
    qputenv("RUVIDAZA_TEST_HOOKS", "1");
    ASSERT_TRUE(m_fs->start());
    ASSERT_TRUE(PaTest::waitUntil([&] { return m_fs->isReady(); }, 60000));
    ASSERT_TRUE(PaTest::waitUntil([&] {
        return m_velmar->servicesStartCount() >= 1 && !m_velmar->isRestartPending();
    }, 10000));
    ASSERT_TRUE(m_velmar->api());
}

QString VelmarSwitchFixture::consoleJournal() const
{
    QFile f(m_switch.path(QStringLiteral("log/console.log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
