#include "FSConsoleThread.h"

#include "FSClient.h"
#include "FSConsoleCancelThread.h"
#include "FSGroupConferences.h"
#include "FSManager.h"
#include "PlatformProcess.h"
#include "PlatformProcessExit.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>

namespace {
// A switch that ends by itself with code 0 sooner than this after its start
// is not started again at once: a broken installation would otherwise spin.
const double kQuickExitSeconds = 1.0;
const int kQuickExitWaitMs = 1000;
}

FSConsoleThread::FSConsoleThread(FSManager *manager)
    : m_manager(manager)
{
}

FSConsoleThread::~FSConsoleThread() = default;

int FSConsoleThread::runSwitch(const QString &directory)
{
    // A switch still running from this folder (left by a program that was
    // killed, or started by hand) would hold the folder's lock and console,
    // and the new one could not start. Only this user's switch of this very
    // folder is ended.
    const int ended = Platform::killProcessesByExecutable(directory, QLatin1String(FSManager::kSwitchProgram));
    if (ended > 0)
        qWarning().noquote() << QStringLiteral("ended %1 switch process(es) left running from %2")
                                    .arg(QString::number(ended), directory);
    QProcess process;
    process.setProgram(QStringLiteral("%1/%2").arg(directory, QLatin1String(FSManager::kSwitchProgram)));
    process.setArguments({QStringLiteral("-nc"), QStringLiteral("-nonat")});
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    // The switch's scripts call the helper programs of "internal_exe" by
    // name; the list separator on this platform is ':'.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString helpers = QDir::cleanPath(directory + QStringLiteral("/internal_exe"));
    QStringList path = env.value(QStringLiteral("PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (!path.contains(helpers)) {
        path << helpers;
        env.insert(QStringLiteral("PATH"), path.join(QLatin1Char(':')));
    }
    // The switch ends itself when this program ends, however it ends.
    env.insert(QStringLiteral("RUVIDAZA_PROGRAM_PID"), QString::number(QCoreApplication::applicationPid()));
    process.setProcessEnvironment(env);
    process.start();
    if (!process.waitForStarted(-1))
        return -2;
    m_pid.store(process.processId());
    // Until a stop comes the thread sleeps on the switch's end. A stop that
    // came while this switch was still starting may have found no console to
    // take its "shutdown": ask again, once a second, until the switch ends
    // (the cancel thread still ends it by force after its grace).
    const PlatformProcessExit exited(process.processId());
    double nextShutdown = 0;
    for (;;) {
        int finishWaitMs = 200;
        if (exited.isValid() && !isStopped()) {
            // Ended: the process is reaped at once. Woken by the stop: on
            // to the "shutdown" below without waiting.
            finishWaitMs = waitReadable(exited.handle(), -1) > 0 ? 1000 : 0;
        }
        if (process.waitForFinished(finishWaitMs))
            break;
        if (process.state() == QProcess::NotRunning)
            break;
        if (isStopped() && monotonicSeconds() >= nextShutdown) {
            if (nextShutdown > 0)
                FSClient(QStringLiteral("%1/%2").arg(directory, QLatin1String(FSManager::kConsoleProgram)))
                    .execute(QStringLiteral("shutdown"));
            nextShutdown = monotonicSeconds() + 1.0;
        }
    }
    m_pid.store(0);
    if (process.exitStatus() == QProcess::CrashExit)
        return -1;
    return process.exitCode();
}

void FSConsoleThread::run()
{
    m_manager->writeStartConfiguration();

    // The stop flag is tested before every start: a switch that ended after
    // "shutdown" is never started again.
    while (!isStopped()) {
        const QString dir = m_manager->directory();
        const double started = monotonicSeconds();
        const int code = runSwitch(dir);
        if (isStopped())
            break;
        m_manager->conferences()->switchEnded();
        if (code != 0) {
            const int waitMs = m_manager->failureWaitMs();
            qWarning().noquote() << QStringLiteral("switch ended with code %1; ending %2/%3 and starting it again in %4 ms")
                                        .arg(QString::number(code), dir, QLatin1String(FSManager::kSwitchProgram),
                                             QString::number(waitMs));
            Platform::killProcessesByExecutable(dir, QLatin1String(FSManager::kSwitchProgram));
            sleep(waitMs);
        } else if (monotonicSeconds() - started < kQuickExitSeconds) {
            qWarning().noquote() << QStringLiteral("switch ended by itself right after its start; starting it again in %1 ms")
                                        .arg(kQuickExitWaitMs);
            sleep(kQuickExitWaitMs);
        } else {
            qWarning().noquote() << QStringLiteral("switch ended by itself; starting it again");
        }
    }
}

void FSConsoleThread::stop()
{
    // The flag first: the switch ends with code 0 after "shutdown", and the
    // loop must see the stop before it would start a new one.
    RDThread::stop();
    FSClient client(QStringLiteral("%1/%2").arg(m_manager->directory(), QLatin1String(FSManager::kConsoleProgram)));
    client.execute(QStringLiteral("shutdown"));
    FSConsoleCancelThread *cancel = new FSConsoleCancelThread(this);
    cancel->setName("FSConsoleCancelThread");
    cancel->start();
    cancel->wait();
    delete cancel;
}
