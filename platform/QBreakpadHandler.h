#pragma once

#include <QString>

// Crash writer. Once a dump folder is set, a fatal signal (SIGSEGV, SIGBUS,
// SIGILL, SIGFPE, SIGABRT) or an uncaught C++ exception writes one file
// "<epoch>-<pid>.dmp" into that folder: a header with the signal, its code and
// the faulting address, the call stack, and the process's memory map. The
// process then dies by the same signal, so its exit status stays truthful.
// Nothing is uploaded.
class QBreakpadHandler
{
public:
    static QBreakpadHandler *instance();

    // Creates the folder when missing and installs the handlers. Returns false
    // when the folder cannot be created (no handler is installed then).
    bool setDumpPath(const QString &path);
    QString dumpPath() const;

    // Gives the calling thread its own signal stack, so that a stack overflow
    // can still be reported. Worker threads call it when they start.
    static void installAlternateStack();

private:
    QBreakpadHandler() = default;
    QString m_dumpPath;
};
