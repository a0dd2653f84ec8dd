#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>

void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }
void PrintTo(const QByteArray &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace PaTest {

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() >= timeoutMs)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

static QString envPath(const char *name, const QString &fallback)
{
    const QByteArray v = qgetenv(name);
    return v.isEmpty() ? fallback : QString::fromLocal8Bit(v);
}

QString binDir() { return envPath("PA_BIN_DIR", QCoreApplication::applicationDirPath() + "/.."); }
QString switchDir() { return envPath("PA_SWITCH_DIR", binDir() + "/RUVIDAZA"); }
QString sourceDir() { return envPath("PA_SOURCE_DIR", QDir::currentPath()); }

int openFdCount()
{
    return QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size();
}

} // namespace PaTest
