#include "ProcessCpu.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <unistd.h>

namespace PaBench {

double processCpuSeconds(pid_t pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    const int close = stat.lastIndexOf(')');
    if (close < 0)
        return -1;
    // After "pid (comm) ": state is field 3, utime 14 and stime 15.
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(::sysconf(_SC_CLK_TCK));
}

} // namespace PaBench
