#include "VelmarDBGuard.h"

#include "VelmarDB.h"

#include <QThread>

VelmarDBGuard::VelmarDBGuard(VelmarDB *shared)
    : m_shared(shared)
{
    if (!shared || shared->thread() != QThread::currentThread()) {
        // The constructor leaves it closed while an import runs.
        m_private = std::make_unique<VelmarDB>(true);
        m_db = m_private.get();
        return;
    }
    shared->reopenCheck();
    m_db = shared;
}

VelmarDBGuard::~VelmarDBGuard()
{
    if (m_private)
        m_private->close();
}
