#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A private PulseAudio server for one test: its own runtime folder and
// socket, one null sink, no default modules; this process's sound clients
// are pointed at it while it runs.
class PulseServerProcess
{
public:
    explicit PulseServerProcess(const QString &sinkName, const QString &sinkDescription);
    // Stops the server and points clients back where they were.
    ~PulseServerProcess();

    // Starts the server and waits until it takes clients; false with
    // errorText() after `timeoutMs`.
    bool start(int timeoutMs);
    // Ends the server at once, as a crash or a removed device would.
    void kill();
    QString errorText() const { return m_error; }

private:
    QString m_sink;
    QString m_description;
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_error;
    QByteArray m_previousServer;
    bool m_hadPreviousServer = false;
};
