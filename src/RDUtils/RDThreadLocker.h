#pragma once

class QMutex;

// The mutex that a thread shares with its owner. Not recursive: a thread
// that holds it must not lock it again.
class RDThreadLocker
{
public:
    RDThreadLocker();
    virtual ~RDThreadLocker();

    int lock();
    int unlock();

    // The underlying mutex, for waiting on a condition under this lock.
    QMutex *mutex() const { return m_mutex; }

private:
    QMutex *m_mutex;

    RDThreadLocker(const RDThreadLocker &) = delete;
    RDThreadLocker &operator=(const RDThreadLocker &) = delete;
};
