#pragma once

#include <QByteArray>

// Process-wide "one instance" locks that the kernel drops when the holder
// exits, however it exits (flock(2) on a file in the user's runtime folder).
namespace Platform {

// Folder that holds the lock files: $XDG_RUNTIME_DIR when it is usable,
// otherwise the temporary folder.
QByteArray instanceLockFolder();

// Full path of the lock file for `name` (any UTF-8 text; characters that
// cannot appear in a file name are replaced).
QByteArray instanceLockPath(const QByteArray &name);

enum : int {
    InstanceLockBusy = -1,    // another open description holds the lock
    InstanceLockFailed = -2   // the lock file could not be created or opened
};

// Opens (creating when needed) the file at `path` and takes an exclusive
// non-blocking flock on it. Returns the descriptor that holds the lock, or
// InstanceLockBusy / InstanceLockFailed. Uses only open(2)/flock(2)/close(2),
// so it may be called in a freshly forked child.
int tryLockFile(const char *path);

// Drops a lock returned by tryLockFile (closing its descriptor).
void unlockFile(int handle);

} // namespace Platform
