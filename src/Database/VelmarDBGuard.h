#pragma once

#include <memory>

class VelmarDB;

// Scoped access to the application database from any thread: on the shared
// instance's own thread it hands out that instance (reopening it first when
// it is marked for it), on any other thread a private connection that lives
// as long as the guard. A connection is never used by two threads.
class VelmarDBGuard
{
public:
    explicit VelmarDBGuard(VelmarDB *shared);
    ~VelmarDBGuard();

    VelmarDBGuard(const VelmarDBGuard &) = delete;
    VelmarDBGuard &operator=(const VelmarDBGuard &) = delete;

    VelmarDB *db() const { return m_db; }
    VelmarDB *operator->() const { return m_db; }
    bool isPrivate() const { return m_private != nullptr; }

private:
    VelmarDB *m_db = nullptr;
    VelmarDB *m_shared = nullptr;
    std::unique_ptr<VelmarDB> m_private;
};
