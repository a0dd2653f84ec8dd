#include "LoopbackBackEnd.h"

#include "FSManager.h"
#include "PALogDB.h"
#include "PASipManager.h"
#include "TestSupport.h"
#include "VDB.h"
#include "Velmar.h"
#include "VelmarDB.h"

#include <QFile>

namespace PaTest {

bool LoopbackBackEnd::fail(const QString &what)
{
    m_error = what;
    return false;
}

bool LoopbackBackEnd::setUp(const Options &options, const std::function<bool()> &configure)
{
    m_options = options;
    m_error.clear();
    if (!m_data.isValid())
        return fail(QStringLiteral("no data folder"));
    if (!m_switch.isValid())
        return fail(QStringLiteral("no copy of the switch package"));
    m_oldDataDir = VDB::dataDir();
    m_dataDirSet = true;
    VDB::setDataDir(m_data.path());
    {
        VelmarDB db(true);
        db.checkUpgrade();
        if (m_options.defaultGroup)
            db.createDefaultGroup();
        PALogDB log(true);
        log.checkUpgrade();
    }
    if (configure && !configure())
        return fail(QStringLiteral("the settings were not made"));
    PASipManager::createInstance(QStringLiteral("127.0.0.1"));
    m_fs = FSManager::createInstance();
    m_fs->setDirectory(m_switch.folder());
    m_fs->setHttpPort(m_options.switchReportPort);
    m_internalPort = freeUdpPort();
    m_fs->setNetwork(QStringLiteral("127.0.0.1"), QStringLiteral("255.0.0.0"), m_internalPort, false,
                     QStringLiteral("127.0.0.1"), freeUdpPort(), QStringLiteral("PCMU,PCMA"));
    m_fs->setRtpPortRange(m_options.rtpFirstPort, m_options.rtpFirstPort + m_options.rtpPorts);
    m_fs->setSwitchTimingForTesting(5000, 200);
    if (!Velmar::createInstance())
        return fail(QStringLiteral("the central object did not start"));
    m_velmar = Velmar::instance();
    return true;
}

bool LoopbackBackEnd::startSwitch()
{
    m_error.clear();
    // The switch inherits this from the environment.
    if (m_options.switchTestHooks)
        qputenv("RUVIDAZA_TEST_HOOKS", "1");
    if (!m_fs->start())
        return fail(QStringLiteral("the switch did not start"));
    if (!waitUntil([&] { return m_fs->isReady(); }, 60000))
        return fail(QStringLiteral("the switch did not get ready"));
    if (!waitUntil([&] { return m_velmar->servicesStartCount() >= 1 && !m_velmar->isRestartPending(); },
                   m_options.servicesStartMs))
        return fail(QStringLiteral("the central object did not start its services"));
    if (!m_velmar->api())
        return fail(QStringLiteral("the central object has no app API"));
    return true;
}

void LoopbackBackEnd::tearDown()
{
    Velmar::destroyInstance();
    m_velmar = nullptr;
    if (m_fs)
        m_fs->stop();
    PASipManager::destroyInstance();
    FSManager::destroyInstance();
    m_fs = nullptr;
    if (m_options.switchTestHooks)
        qunsetenv("RUVIDAZA_TEST_HOOKS");
    // The kept-open connections belong to this data folder.
    PALogDB::closeSharedLog();
    VelmarDB::closeIdleConnections();
    if (m_dataDirSet)
        VDB::setDataDir(m_oldDataDir);
    m_dataDirSet = false;
}

QString LoopbackBackEnd::consoleJournal() const
{
    QFile f(m_switch.path(QStringLiteral("log/console.log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace PaTest
