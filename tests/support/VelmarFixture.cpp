#include "VelmarFixture.h"

#include "FSManager.h"
#include "PlatformProcess.h"
#include "Velmar.h"

void VelmarFixture::SetUp()
{
    PaTest::LoopbackBackEnd::Options options;
    options.defaultGroup = m_withDefaultGroup;
    options.switchReportPort = m_switchReportPort;
    options.rtpFirstPort = m_rtpFirstPort;
    options.switchTestHooks = m_switchTestHooks;
    const bool ready = m_backEnd.setUp(options, [this] {
        configure();
        return !HasFatalFailure();
    });
    m_fs = m_backEnd.fs();
    m_velmar = m_backEnd.velmar();
    m_internalPort = m_backEnd.internalPort();
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(ready) << m_backEnd.error().toStdString();
}

void VelmarFixture::TearDown()
{
    m_backEnd.tearDown();
    m_fs = nullptr;
    m_velmar = nullptr;
    EXPECT_EQ(Velmar::instance(), nullptr);
    EXPECT_TRUE(Platform::findProcessesByExecutable(m_switch.folder(), FSManager::kSwitchProgram).isEmpty());
}

void VelmarFixture::startSwitch()
{
    ASSERT_TRUE(m_backEnd.startSwitch()) << m_backEnd.error().toStdString();
}
