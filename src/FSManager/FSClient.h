#pragma once

#include <QString>

#include <mutex>

// Runs one console command on the switch through its console client:
// one client process per command, "-x" and the command as a single argument.
class FSClient
{
public:
    FSClient();
    explicit FSClient(const QString &path);
    virtual ~FSClient();

    void setPath(const QString &path);
    QString path() const;

    // The client's whole standard output, decoded with the system's local
    // encoding and returned untrimmed; empty when it printed nothing, could
    // not run, or the command was refused before running (see below).
    //
    // A command carrying a line break or NUL is refused with a log line and
    // never reaches the switch: a stored value must not be able to smuggle a
    // second command into one run.
    QString execute(const QString &command) const;
    // The same, answered only by the switch running as process `switchPid`:
    // the console of any other switch on the folder counts as no answer.
    QString execute(const QString &command, qint64 switchPid) const;

    // Time limits of one run: the client gets this long to start and this
    // long again to finish before it is killed.
    static constexpr int kStartTimeoutMs = 30000;
    static constexpr int kFinishTimeoutMs = 30000;

private:
    // A restart sets the path while other threads run commands.
    mutable std::mutex m_pathLock;
    QString m_path;
};
