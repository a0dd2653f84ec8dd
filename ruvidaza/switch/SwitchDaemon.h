#pragma once

#include "InstanceLock.h"
#include "StateDb.h"

#include <QObject>
#include <QString>
#include <memory>

class SwitchEngine;
class TestHooks;
class CommandDispatcher;
class ConsoleServer;
class SignalWatcher;
class ProgramWatch;

// The switch process: finds its package folder from its own executable,
// takes the folder's instance lock, opens the state files, loads the
// configuration and opens the console last, so that a console answer means
// everything is ready. Ends with exit code 0 only after "shutdown", SIGTERM or
// the end of the program that started it.
class SwitchDaemon : public QObject
{
    Q_OBJECT
public:
    enum ExitCode {
        ExitOk = 0,
        ExitUsage = 2,
        ExitAlreadyRunning = 3,
        ExitStateDb = 4,
        ExitConfig = 5,
        ExitConsole = 6,
        ExitProgramGone = 7,
        ExitSip = 8,
    };

    explicit SwitchDaemon(const QString &packageFolder, QObject *parent = nullptr);
    ~SwitchDaemon() override;

    // Returns ExitOk when running; otherwise the exit code to end with.
    int start();

private:
    void finish();
    // A random per-installation value in run/<name>, made at the first start.
    bool ensureSecret(const QString &name, int bytes, QByteArray *secret, QString *error);
    bool writeRunFile(quint16 port, QString *error);

    QString m_folder;
    QString m_runFolder;
    InstanceLock m_lock;
    StateDb m_db;
    std::unique_ptr<SwitchEngine> m_engine;
    std::unique_ptr<TestHooks> m_hooks;
    std::unique_ptr<CommandDispatcher> m_dispatcher;
    std::unique_ptr<ConsoleServer> m_console;
    std::unique_ptr<SignalWatcher> m_signals;
    std::unique_ptr<ProgramWatch> m_programWatch;
    bool m_finishing = false;
};
