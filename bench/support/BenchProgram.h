#pragma once

#include <QString>

#include <sys/types.h>

// Runs a private copy of the built program, with its switch package and a
// fresh database, for benchmarks that measure the whole program.
namespace PaBench {

// Folder of the built executables (bin/).
QString binDir();

// Copies the program, its languages and its switch package into `folder`
// and writes a database there with loopback addresses and free ports.
// `wsEnable` also turns on the phone-app WebSocket server.
bool prepareProgramFolder(const QString &folder, bool wsEnable = false);

// Starts the copy in `folder` (offscreen, with `runtimeDir` as its
// XDG_RUNTIME_DIR). Returns its pid, or -1.
pid_t startProgram(const QString &folder, const QString &runtimeDir);

// True once the program's log in `folder` holds `text`.
bool logContains(const QString &folder, const char *text);

// Waits up to `seconds` for `text` in the program's log.
bool waitForLog(const QString &folder, const char *text, int seconds);

// Ends the program with SIGTERM and reaps it; returns the milliseconds it took.
double stopProgram(pid_t pid);

} // namespace PaBench
