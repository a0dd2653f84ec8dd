#pragma once

#include "RDThread.h"

class KelDiscovery;

class KelDiscoveryThread : public RDThread
{
public:
    explicit KelDiscoveryThread(KelDiscovery *discovery) : m_discovery(discovery) {}

protected:
    void run() override;

private:
    KelDiscovery *m_discovery;
};
