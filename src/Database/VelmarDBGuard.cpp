#include "VelmarDBGuard.h"

#include "VelmarDB.h"

#include <QThread>

VelmarDBGuard::VelmarDBGuard(VelmarDB *shared)
{
    if (!shared || shared->thread() != QThread::currentThread()) {
        // Left closed while an import runs; it reopens on a later loan.
        m_lent = VelmarDB::borrowConnection();
        m_db = m_lent;
        return;
    }
    shared->reopenCheck();
    m_db = shared;
}

VelmarDBGuard::~VelmarDBGuard()
{
    VelmarDB::returnConnection(m_lent);
}
