#pragma once

// The database layer's log call: one detailed line at level 5 with the
// caller's source location and the function name shown in the log.

#include "RDLog.h"

#define VDB_LOG(function, ...) RDLogDetail(__FILE__, function, __LINE__, 5, __VA_ARGS__)
