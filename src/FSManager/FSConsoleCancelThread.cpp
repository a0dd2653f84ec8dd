#include "FSConsoleCancelThread.h"

#include "FSConsoleThread.h"
#include "FSManager.h"
#include "PlatformProcess.h"

#include <QDebug>

FSConsoleCancelThread::FSConsoleCancelThread(FSConsoleThread *console)
    : m_console(console)
{
}

FSConsoleCancelThread::~FSConsoleCancelThread() = default;

void FSConsoleCancelThread::run()
{
    FSManager *manager = m_console->manager();
    const double grace = manager->shutdownGraceMs() / 1000.0;
    // The steady clock: setting the PC's clock must not delay or hurry the
    // forced end.
    double deadline = monotonicSeconds() + grace;
    while (m_console->isRunning()) {
        if (monotonicSeconds() >= deadline) {
            const QString dir = manager->directory();
            const int n = Platform::killProcessesByExecutable(dir, QLatin1String(FSManager::kSwitchProgram));
            qWarning().noquote() << QStringLiteral("switch did not end after shutdown, ended %1 process(es) of %2/%3")
                                        .arg(QString::number(n), dir, QLatin1String(FSManager::kSwitchProgram));
            deadline = monotonicSeconds() + grace;
        } else {
            RDThread::msleep(100);
        }
    }
}
