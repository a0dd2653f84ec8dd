#include "RDLog.h"

#include "RDUtils.h"

#include <QDebug>

#include <cstdio>
#include <ctime>
#include <sys/time.h>

// Lines below this level are dropped.
static const int kMinimumLevel = 2;

int RDLogDetailV(const char *file, const char *function, int line, int level, const char *format, va_list args)
{
    if (level < kMinimumLevel)
        return 0;

    char buffer[4096] = {0};
    struct timeval tv;
    ::gettimeofday(&tv, nullptr);
    const std::tm &tm = localTimeOf(tv.tv_sec);
    int len = std::snprintf(buffer, sizeof buffer, "[%d-%02d-%02d %02d:%02d:%02d.%03d]  %s:%d(%s) ",
                            tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                            static_cast<int>(tv.tv_usec / 1000), rdLogBaseName(file), line,
                            function ? function : "?");
    if (len < 0)
        return 0;
    if (len < static_cast<int>(sizeof buffer) - 1 && format)
        std::vsnprintf(buffer + len, sizeof buffer - len, format, args);

    QMessageLogger(__FILE__, __LINE__, Q_FUNC_INFO).debug("%s", buffer);
    return 0;
}

int RDLogDetail(const char *file, const char *function, int line, int level, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    RDLogDetailV(file, function, line, level, format, args);
    va_end(args);
    return 0;
}
