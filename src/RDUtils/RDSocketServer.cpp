#include "RDSocketServer.h"

RDSocketServer::RDSocketServer()
    : m_handle(-1)
{
}

RDSocketServer::~RDSocketServer() = default;

bool RDSocketServer::isValid()
{
    return m_handle.load() != -1;
}
