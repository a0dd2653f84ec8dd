#include "VelmarFixture.h"

#include "FSManager.h"
#include "PALogDB.h"
#include "PASipManager.h"
#include "PlatformProcess.h"
#include "TestSupport.h"
#include "VDB.h"
#include "Velmar.h"
#include "VelmarDB.h"

#include <QFile>

void VelmarFixture::SetUp()
{
    ASSERT_TRUE(m_data.isValid());
    ASSERT_TRUE(m_switch.isValid());
    m_oldDataDir = VDB::dataDir();
    m_dataDirSet = true;
    VDB::setDataDir(m_data.path());
    {
        VelmarDB db(true);
        db.checkUpgrade();
        if (m_withDefaultGroup)
            db.createDefaultGroup();
        PALogDB log(true);
        log.checkUpgrade();
    }
    configure();
    if (HasFatalFailure())
        return;
    PASipManager::createInstance(QStringLiteral("127.0.0.1"));
    m_fs = FSManager::createInstance();
    m_fs->setDirectory(m_switch.folder());
    m_fs->setHttpPort(m_switchReportPort);
    m_internalPort = PaTest::freeUdpPort();
    m_fs->setNetwork(QStringLiteral("127.0.0.1"), QStringLiteral("255.0.0.0"), m_internalPort, false,
                     QStringLiteral("127.0.0.1"), PaTest::freeUdpPort(), QStringLiteral("PCMU,PCMA"));
    m_fs->setRtpPortRange(m_rtpFirstPort, m_rtpFirstPort + 100);
    m_fs->setSwitchTimingForTesting(5000, 200);
    ASSERT_TRUE(Velmar::createInstance());
    m_velmar = Velmar::instance();
}

void VelmarFixture::TearDown()
{
    Velmar::destroyInstance();
    EXPECT_EQ(Velmar::instance(), nullptr);
    if (m_fs)
        m_fs->stop();
    PASipManager::destroyInstance();
    FSManager::destroyInstance();
    if (m_switchTestHooks)
        qunsetenv("RUVIDAZA_TEST_HOOKS");
    EXPECT_TRUE(Platform::findProcessesByExecutable(m_switch.folder(), FSManager::kSwitchProgram).isEmpty());
    // The kept-open connections belong to this test's data folder.
    PALogDB::closeSharedLog();
    VelmarDB::closeIdleConnections();
    if (m_dataDirSet)
        VDB::setDataDir(m_oldDataDir);
}

void VelmarFixture::startSwitch()
{
    // The switch inherits this from the environment.
    if (m_switchTestHooks)
        qputenv("RUVIDAZA_TEST_HOOKS", "1");
    ASSERT_TRUE(m_fs->start());
    ASSERT_TRUE(PaTest::waitUntil([&] { return m_fs->isReady(); }, 60000));
    ASSERT_TRUE(PaTest::waitUntil([&] {
        return m_velmar->servicesStartCount() >= 1 && !m_velmar->isRestartPending();
    }, 10000));
    ASSERT_TRUE(m_velmar->api());
}

QString VelmarFixture::consoleJournal() const
{
    QFile f(m_switch.path(QStringLiteral("log/console.log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
