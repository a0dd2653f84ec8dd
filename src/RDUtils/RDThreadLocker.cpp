#include "RDThreadLocker.h"

#include <QMutex>

RDThreadLocker::RDThreadLocker() : m_mutex(new QMutex(QMutex::NonRecursive)) {}

RDThreadLocker::~RDThreadLocker()
{
    delete m_mutex;
}

int RDThreadLocker::lock()
{
    m_mutex->lock();
    return 0;
}

int RDThreadLocker::unlock()
{
    m_mutex->unlock();
    return 0;
}
