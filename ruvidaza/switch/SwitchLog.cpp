#include "SwitchLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QTextStream>

namespace {

QMutex g_mutex;
QFile *g_log = nullptr;
QFile *g_journal = nullptr;

// The program asks for the play status of every playing zone twice a
// second, so a journal without a limit would fill the disk of a PC that runs
// for months. Past the limit the file moves to "<name>.1" (replacing the
// previous one) and a new file starts.
const qint64 kMaxLogBytes = 8 * 1024 * 1024;

void rotateIfFull(QFile *file, qint64 adding)
{
    if (file->size() + adding <= kMaxLogBytes)
        return;
    const QString path = file->fileName();
    const QString old = path + QStringLiteral(".1");
    file->close();
    QFile::remove(old);
    QFile::rename(path, old);
    file->open(QIODevice::Append | QIODevice::WriteOnly);
}

void writeLine(QFile *file, const QString &text)
{
    if (!file || !file->isOpen())
        return;
    const QByteArray line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")).toUtf8()
                            + text.toUtf8() + '\n';
    rotateIfFull(file, line.size());
    if (!file->isOpen())
        return;
    file->write(line);
    file->flush();
}

void handler(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    static const char *const names[] = {"DEBUG", "WARN", "CRIT", "FATAL", "INFO"};
    const int idx = int(type) >= 0 && int(type) < 5 ? int(type) : 0;
    QMutexLocker lock(&g_mutex);
    writeLine(g_log, QStringLiteral("[%1] %2").arg(QLatin1String(names[idx]), msg));
}

} // namespace

void SwitchLog::install(const QString &logFolder)
{
    QDir().mkpath(logFolder);
    QMutexLocker lock(&g_mutex);
    static QFile log(logFolder + QStringLiteral("/switch.log"));
    static QFile journal(logFolder + QStringLiteral("/console.log"));
    if (log.open(QIODevice::Append | QIODevice::WriteOnly))
        g_log = &log;
    if (journal.open(QIODevice::Append | QIODevice::WriteOnly))
        g_journal = &journal;
    qInstallMessageHandler(handler);
}

void SwitchLog::journal(const QString &command, const QString &answer)
{
    QString shown = answer;
    shown.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    QString cmd = command;
    cmd.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    QMutexLocker lock(&g_mutex);
    writeLine(g_journal, cmd + QStringLiteral(" => ") + shown);
}
