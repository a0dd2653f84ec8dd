#pragma once

#include <QString>
#include <QVector>

// Forced end of processes by their executable, limited to one folder, so
// that ending "this installation's" helper never touches a program of the
// same name elsewhere on the machine or of another user.
namespace Platform {

// Ids of this user's live processes (zombies excluded) whose executable is
// the file `executableName` inside `folder` (symbolic links resolved).
QVector<qint64> findProcessesByExecutable(const QString &folder, const QString &executableName);

// Sends SIGKILL to every process findProcessesByExecutable lists (never to
// this process), then waits up to `waitMs` for them to be gone. Returns how
// many processes were signalled; -1 when the executable cannot be resolved.
int killProcessesByExecutable(const QString &folder, const QString &executableName, int waitMs = 2000);

// Whether the process `pid` exists and is not a zombie.
bool processAlive(qint64 pid);

} // namespace Platform
