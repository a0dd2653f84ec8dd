#pragma once

// Marks a running instance of the program under a name. The mark is a lock
// that the system drops when the holding process ends, however it ends, so
// a crashed instance never blocks the next start.
class SingleInstanceMutex
{
public:
    explicit SingleInstanceMutex(const char *name);
    // Does not release: a held mark stays until release() or process exit.
    ~SingleInstanceMutex();

    // False when another instance (another process, or another holder in
    // this one) has the mark, or when the name is not valid UTF-8. When the
    // lock itself cannot be made the start is not refused: true, nothing held.
    bool acquire();
    // True when a held mark was dropped; false when none was held.
    bool release();

    bool isHeld() const { return m_handle >= 0; }

private:
    char m_name[4096];
    int m_handle;

    SingleInstanceMutex(const SingleInstanceMutex &) = delete;
    SingleInstanceMutex &operator=(const SingleInstanceMutex &) = delete;
};
