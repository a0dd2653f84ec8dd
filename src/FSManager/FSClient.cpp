#include "FSClient.h"

#include "ProcessRunner.h"
#include "RDLog.h"

#include <QTextCodec>

FSClient::FSClient() = default;

FSClient::FSClient(const QString &path) : m_path(path) {}

FSClient::~FSClient() = default;

void FSClient::setPath(const QString &path)
{
    std::lock_guard<std::mutex> g(m_pathLock);
    m_path = path;
}

QString FSClient::path() const
{
    std::lock_guard<std::mutex> g(m_pathLock);
    return m_path;
}

QString FSClient::execute(const QString &command) const
{
    return execute(command, 0);
}

QString FSClient::execute(const QString &command, qint64 switchPid) const
{
    for (const QChar c : command) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c.isNull()) {
            QString shown = command;
            shown.replace(QLatin1Char('\n'), QLatin1String("\\n")).replace(QLatin1Char('\r'), QLatin1String("\\r"));
            shown.replace(QChar(0), QLatin1String("\\0"));
            RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "refusing console command with a line break or NUL: %s",
                        shown.toUtf8().constData());
            return QString();
        }
    }
    const QString program = path();
    if (program.isEmpty())
        return QString();
    // posix_spawn reports a failed exec at once, so the start wait is never
    // used up; the whole run is bounded by both limits together.
    const ProcessRunner::Result r =
        ProcessRunner::run(program, {QStringLiteral("-x"), command}, kStartTimeoutMs + kFinishTimeoutMs,
                           switchPid > 0 ? QStringList{QStringLiteral("RUVIDAZA_SWITCH_PID=%1").arg(switchPid)}
                                         : QStringList());
    if (!r.started)
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "cannot run console client %s", program.toUtf8().constData());
    else if (!r.finished)
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "console client killed after %d ms: %s",
                    kStartTimeoutMs + kFinishTimeoutMs, command.toUtf8().constData());
    if (r.output.isEmpty())
        return QString();
    QTextCodec *codec = QTextCodec::codecForName("System");
    return codec ? codec->toUnicode(r.output) : QString::fromLocal8Bit(r.output);
}
