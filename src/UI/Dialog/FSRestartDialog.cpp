#include "FSRestartDialog.h"

#include "FSManager.h"
#include "PASipManager.h"
#include "RDLog.h"

FSRestartDialog::FSRestartDialog(QWidget *parent, std::function<void()> restart)
    : RDLoadingDialog(parent)
    , m_restart(std::move(restart))
{
    setObjectName(QStringLiteral("FSRestartDialog"));
    if (!m_restart) {
        m_restart = [] {
            if (FSManager *manager = FSManager::instance())
                manager->restart();
        };
    }
    FSRestartDialog::languageChanged();
}

FSRestartDialog::~FSRestartDialog()
{
    endWork();
}

std::function<void()> FSRestartDialog::networkRestart(const Network &n)
{
    return [n] {
        FSManager *manager = FSManager::instance();
        if (!manager)
            return;
        manager->stop();
        PASipManager::destroyInstance();
        PASipManager::createInstance(n.internalIp);
        manager->setNetwork(n.internalIp, n.internalNetmask, n.internalPort, n.natEnabled, n.externalIp,
                            n.externalPort, n.sipCodecs);
        manager->setRtpPortRange(n.rtpStartPort, n.rtpEndPort);
        manager->start();
    };
}

void FSRestartDialog::languageChanged()
{
    RDLoadingDialog::languageChanged();
    setMessage(RDLocalize::text(QStringLiteral("Restarting Application")));
}

void FSRestartDialog::doWork()
{
    // The restart is not cut short: the switch and the SIP layer must not
    // be left half made.
    m_restart();
    onRestartEnded();
}

void FSRestartDialog::relayoutContents(int width, int height)
{
    RDLoadingDialog::relayoutContents(width, height);
    RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 1, "FSRestartDialog w = %d, h = %d\n", width, height);
}
