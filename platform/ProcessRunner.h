#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Runs a program to completion and captures its standard output.
//
// Children are started with posix_spawn (vfork-like on Linux), so the cost of
// a start does not grow with the size of the calling process the way a
// fork() does. Safe to call from several threads at once: every descriptor
// is close-on-exec, so concurrent children never inherit each other's pipes.
class ProcessRunner
{
public:
    struct Result
    {
        bool started = false;   // the program could be executed
        bool finished = false;  // it ended by itself within the time limit
        int exitCode = -1;      // exit status when finished normally, else -1
        QByteArray output;      // everything it wrote to stdout
    };

    // stdin and stderr are connected to /dev/null. A child still running
    // after `finishTimeoutMs` is killed (SIGKILL) and reaped; what it wrote
    // until then is returned. The child gets this process's environment with
    // the "NAME=value" entries of `environment` set on top of it.
    static Result run(const QString &program, const QStringList &arguments, int finishTimeoutMs,
                      const QStringList &environment = QStringList());
};
