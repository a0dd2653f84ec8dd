#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <cstddef>

class QFile;
class QMutex;
class QTextStream;

// The process-wide log file: one file per run, named by its start time, in
// the folder "log" beside the executable. Every Qt message of the program is
// written to it behind a time stamp and its source location.
class QLog
{
public:
    // Opens the log in "<application folder>/log".
    static void open();
    // Opens the log in `folder` (created when missing): prunes old files,
    // opens a new file and installs the message handler. When the folder or
    // the file cannot be made the program runs on without a log file.
    static void open(const QString &folder);
    // Flushes and closes the file. The handler stays installed and writes
    // nothing more until the next open().
    static void close();

    static void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);

    // Writes "[yyyy-MM-dd hh:mm:ss.zzz]  <base name>:<line>  " with the
    // current local time into `buffer`; returns its length, negative on a
    // formatting error.
    static int formatPrefix(const char *file, int line, char *buffer, size_t size);
    static int formatPrefix(const QDateTime &at, const char *file, int line, char *buffer, size_t size);

    // Deletes "*.log" files of `folder` whose base name parses as
    // "yyyyMMddHHmmss" and whose date lies 31 or more days before `today`.
    // Names that do not parse are never touched.
    static void pruneOldLogs(const QString &folder, const QDate &today);

    // Path of the file being written; empty while none is open.
    static QString currentFilePath();

    virtual ~QLog();

private:
    QLog();
    // Appends one line (prefix, text, line feed) under the lock and flushes.
    void writeLine(const QMessageLogContext &context, const QString &message);

    QFile *m_file;
    QTextStream *m_stream;
    QMutex *m_lock;
    std::atomic<QtMessageHandler> m_previous;
};

// The part of a source path after its last '/' or '\' (a separator in the
// last position is not taken); "?" for a null or empty path.
const char *rdLogBaseName(const char *path);
