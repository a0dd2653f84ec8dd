#include "QLog.h"

#include "RDUtils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QTextCodec>
#include <QTextStream>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/time.h>

// The log object lives from the first open() to the end of the process:
// Qt's own threads may still log while the program shuts down, and the
// handler must never meet a deleted mutex. close() only drops the file.
static std::atomic<QLog *> s_log{nullptr};

const char *rdLogBaseName(const char *path)
{
    if (!path || !*path)
        return "?";
    const size_t len = std::strlen(path);
    // The search starts at the second-to-last character: a trailing
    // separator does not make the name empty.
    for (size_t i = len >= 2 ? len - 1 : 0; i > 0; --i) {
        const char c = path[i - 1];
        if (c == '/' || c == '\\')
            return path + i;
    }
    return path;
}

static int formatFields(int year, int month, int day, int hour, int minute, int second, int msec, const char *file,
                        int line, char *buffer, size_t size)
{
    return std::snprintf(buffer, size, "[%d-%02d-%02d %02d:%02d:%02d.%03d]  %s:%d  ", year, month, day, hour, minute,
                         second, msec, rdLogBaseName(file), line);
}

int QLog::formatPrefix(const char *file, int line, char *buffer, size_t size)
{
    struct timeval tv;
    ::gettimeofday(&tv, nullptr);
    const std::tm &tm = localTimeOf(tv.tv_sec);
    return formatFields(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                        static_cast<int>(tv.tv_usec / 1000), file, line, buffer, size);
}

int QLog::formatPrefix(const QDateTime &at, const char *file, int line, char *buffer, size_t size)
{
    const QDate d = at.date();
    const QTime t = at.time();
    return formatFields(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec(), file, line, buffer,
                        size);
}

QLog::QLog() : m_file(nullptr), m_stream(nullptr), m_lock(new QMutex(QMutex::NonRecursive)), m_previous(nullptr) {}

QLog::~QLog()
{
    delete m_lock;
}

void QLog::pruneOldLogs(const QString &folder, const QDate &today)
{
    QDir dir(folder);
    const QStringList entries = dir.entryList(QStringList() << QStringLiteral("*.log"), QDir::Files);
    for (const QString &entry : entries) {
        const int dot = entry.lastIndexOf('.');
        const QString base = dot >= 0 ? entry.left(dot) : entry;
        const QDateTime stamp = QDateTime::fromString(base, QStringLiteral("yyyyMMddHHmmss"));
        if (!stamp.isValid())
            continue;
        if (stamp.date().daysTo(today) > 30)
            QFile::remove(dir.filePath(entry));
    }
}

void QLog::open()
{
    open(QStringLiteral("%1/log").arg(QCoreApplication::applicationDirPath()));
}

void QLog::open(const QString &folder)
{
    QDir dir(folder);
    if (!dir.exists())
        QDir().mkpath(folder);
    if (dir.exists())
        pruneOldLogs(folder, QDate::currentDate());

    const QString name = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"));
    const QString path = QStringLiteral("%1/%2.log").arg(folder, name);

    QLog *log = s_log.load();
    if (!log) {
        log = new QLog;
        s_log.store(log);
    }

    auto *file = new QFile(path);
    QTextStream *stream = nullptr;
    if (dir.exists() && file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        stream = new QTextStream(file);
        // Log lines carry any language; write them as UTF-8 whatever the locale.
        stream->setCodec("UTF-8");
    } else {
        delete file;
        file = nullptr;
    }

    {
        QMutexLocker locker(log->m_lock);
        if (log->m_stream) {
            log->m_stream->flush();
            delete log->m_stream;
            log->m_file->close();
            delete log->m_file;
        }
        log->m_file = file;
        log->m_stream = stream;
    }

    const QtMessageHandler previous = qInstallMessageHandler(&QLog::messageHandler);
    // A second open() must not chain the handler to itself.
    if (previous != &QLog::messageHandler)
        log->m_previous.store(previous);
}

void QLog::close()
{
    QLog *log = s_log.load();
    if (!log)
        return;
    QMutexLocker locker(log->m_lock);
    if (log->m_stream) {
        log->m_stream->flush();
        delete log->m_stream;
        log->m_stream = nullptr;
    }
    if (log->m_file) {
        log->m_file->close();
        delete log->m_file;
        log->m_file = nullptr;
    }
}

QString QLog::currentFilePath()
{
    QLog *log = s_log.load();
    if (!log)
        return QString();
    QMutexLocker locker(log->m_lock);
    return log->m_file ? log->m_file->fileName() : QString();
}

void QLog::messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QLog *log = s_log.load();
    const QtMessageHandler previous = log ? log->m_previous.load() : nullptr;
    // Qt's default handler ends the process on a fatal message: that line is
    // written to the file before the previous handler gets it, or it is lost.
    const bool fatal = type == QtFatalMsg;
    if (previous && !fatal)
        previous(type, context, message);
    if (log)
        log->writeLine(context, message);
    if (previous && fatal)
        previous(type, context, message);
}

void QLog::writeLine(const QMessageLogContext &context, const QString &message)
{
    // A message raised while this thread writes a line (by the stream, say)
    // must not take the non-recursive lock a second time.
    static thread_local bool writing = false;
    if (writing)
        return;

    char prefix[4096] = {0};
    const int len = formatPrefix(context.file, context.line, prefix, sizeof prefix);
    if (len <= 0)
        return;

    QMutexLocker locker(m_lock);
    if (!m_stream)
        return;
    writing = true;
    QTextStream &out = *m_stream;
    out << QLatin1String(prefix, qMin<int>(len, sizeof prefix - 1)) << message << '\n';
    out.flush();
    writing = false;
}
