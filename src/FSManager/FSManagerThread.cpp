#include "FSManagerThread.h"

#include "FSClient.h"
#include "FSConsoleThread.h"
#include "FSChannelsManager.h"
#include "FSGateway.h"
#include "FSSipRegistrationsManager.h"
#include "FSManager.h"

namespace {
// How often the ready check looks whether the switch process has started.
const int kSwitchStartCheckMs = 50;
} // namespace

FSManagerThread::FSManagerThread(FSManager *manager)
    : m_manager(manager)
{
}

FSManagerThread::~FSManagerThread() = default;

void FSManagerThread::run()
{
    FSConsoleThread *console = new FSConsoleThread(m_manager);
    console->setName("FSConsoleThread");
    console->start();

    // Wait for the switch, without a time limit: the loading screen waits on
    // the ready flag for as long as it takes. Only the answer of the switch
    // the console thread started counts: one left running from an earlier
    // start may still answer on the folder's console until it is ended.
    while (!isStopped()) {
        const qint64 pid = console->switchPid();
        if (pid <= 0) {
            // The console thread is still writing the configuration or
            // ending a leftover switch: ask as soon as its own one runs.
            sleep(kSwitchStartCheckMs);
            continue;
        }
        if (m_manager->client()->execute(QStringLiteral("conference list"), pid).startsWith(QLatin1String("+OK"))) {
            m_manager->setReady(true);
            break;
        }
        sleep(1000);
    }
    m_manager->notifySwitchRestarted();

    const QString dir = m_manager->directory();
    FSChannelsManager channels;
    FSSipRegistrationsManager registrations;
    channels.open(QStringLiteral("%1/db/core.db").arg(dir), QStringLiteral("FSCore"));
    registrations.open(QStringLiteral("%1/db/sofia_reg_internal.db").arg(dir), QStringLiteral("FSSIPREG"));

    while (!isStopped()) {
        m_manager->supervisionPass(&channels, &registrations);
        sleep(500);
    }

    channels.close();
    registrations.close();
    console->stop();
    console->wait();
    delete console;
}
