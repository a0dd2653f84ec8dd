#include "RDBasePlayerOutput.h"

RDBasePlayerOutput::RDBasePlayerOutput(QObject *parent) : QObject(parent) {}

RDBasePlayerOutput::~RDBasePlayerOutput() = default;

void RDBasePlayerOutput::setSource(RDBasePlayerDecoder *source)
{
    m_source = source;
}

RDBasePlayerDecoder *RDBasePlayerOutput::source() const
{
    return m_source;
}

void RDBasePlayerOutput::setOwner(RDBasePlayer *owner, StateCallback callback)
{
    m_owner = owner;
    m_callback = callback;
}

void RDBasePlayerOutput::reportState(int state)
{
    if (m_callback)
        m_callback(m_owner, state);
}

double RDBasePlayerOutput::position()
{
    return 0.0;
}

void RDBasePlayerOutput::setVolume(double) {}
