#pragma once

#include <QString>

// Holds an advisory lock on a file for the life of the process, so that only
// one switch runs on a package folder. The kernel drops it when the process
// ends in any way, SIGKILL included.
class InstanceLock
{
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // False when another process holds it or the file cannot be opened.
    bool acquire(const QString &path, QString *error);

private:
    int m_fd = -1;
};
