#pragma once

// Logging entry points of the program: the log file (QLog) and the
// printf-style detailed line.
#include "QLog.h"

#include <cstdarg>

// Formats "[time]  <base name>:<line>(<function>) " and the caller's message
// into one line of at most 4095 bytes and hands it to Qt's message logging.
// Calls below the minimum level (2) are dropped. Returns 0.
int RDLogDetail(const char *file, const char *function, int line, int level, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 5, 6)))
#endif
    ;
int RDLogDetailV(const char *file, const char *function, int line, int level, const char *format, va_list args);
