#include "KelDiscoveryThread.h"

#include "KelDiscovery.h"

void KelDiscoveryThread::run()
{
    m_discovery->doRun(this);
}
