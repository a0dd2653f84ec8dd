#pragma once

class VelmarDB;

// Scoped access to the application database from any thread: on the shared
// instance's own thread it hands out that instance (reopening it first when
// it is marked for it), on any other thread a kept-open connection lent to
// this thread alone for as long as the guard lives. A connection is never
// used by two threads at once.
class VelmarDBGuard
{
public:
    explicit VelmarDBGuard(VelmarDB *shared);
    ~VelmarDBGuard();

    VelmarDBGuard(const VelmarDBGuard &) = delete;
    VelmarDBGuard &operator=(const VelmarDBGuard &) = delete;

    VelmarDB *db() const { return m_db; }
    VelmarDB *operator->() const { return m_db; }
    // Whether the guard lent a kept connection instead of the shared instance.
    bool isPrivate() const { return m_lent != nullptr; }

private:
    VelmarDB *m_db = nullptr;
    VelmarDB *m_lent = nullptr;
};
