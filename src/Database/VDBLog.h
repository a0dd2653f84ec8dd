#pragma once

// The database layer's log call: one printf-style line at level 5 with the
// caller's source location and the function name shown in the log.

#include <QtGlobal>
#include <cstdarg>
#include <cstdio>

inline void vdbLogLine(const char *file, const char *function, int line, const char *format, ...)
    Q_ATTRIBUTE_FORMAT_PRINTF(4, 5);

inline void vdbLogLine(const char *file, const char *function, int line, const char *format, ...)
{
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    QMessageLogger(file, line, function).debug("%s(%s) %s", file, function, text);
}

#define VDB_LOG(function, ...) vdbLogLine(__FILE__, function, __LINE__, __VA_ARGS__)
