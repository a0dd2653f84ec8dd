#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace PaTest {

// A private copy of the built switch package in a temporary folder, and the
// switch process running from it. Tests use it to talk to a real switch over
// its console client; every process it starts it also stops.
class SwitchStandIn
{
public:
    // `testHooks`: start the switch with its test-control commands enabled.
    explicit SwitchStandIn(bool testHooks = true);
    ~SwitchStandIn();
    SwitchStandIn(const SwitchStandIn &) = delete;
    SwitchStandIn &operator=(const SwitchStandIn &) = delete;

    // False when the package could not be copied.
    bool isValid() const { return m_valid; }
    QString folder() const;
    QString path(const QString &relative) const { return folder() + QLatin1Char('/') + relative; }

    // Starts the switch and waits until "conference list" answers "+OK".
    bool start(int timeoutMs = 30000);
    // Starts without waiting (for start-failure tests).
    void launch();
    bool isRunning() const;
    // Process id of the switch started last, 0 when none runs.
    qint64 pid() const { return isRunning() ? m_process->processId() : 0; }
    // Waits for the process to end; its exit code, or -1 when it did not end
    // normally in time.
    int waitForExit(int timeoutMs = 30000);
    // Sends "shutdown" and waits for the exit code.
    int shutdown(int timeoutMs = 30000);
    void terminate();  // SIGTERM
    void kill();       // SIGKILL

    // Runs da_rid -x <command> from the copy; its stdout.
    QString console(const QString &command, int *exitCode = nullptr) const;

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
    bool m_testHooks;
    std::unique_ptr<QProcess> m_process;
};

} // namespace PaTest
