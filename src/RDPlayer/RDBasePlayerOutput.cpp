#include "RDBasePlayerOutput.h"

RDBasePlayerOutput::RDBasePlayerOutput(QObject *parent) : RDPlayerStage(parent) {}

RDBasePlayerOutput::~RDBasePlayerOutput() = default;

void RDBasePlayerOutput::setSource(RDBasePlayerDecoder *source)
{
    m_source = source;
}

RDBasePlayerDecoder *RDBasePlayerOutput::source() const
{
    return m_source;
}

double RDBasePlayerOutput::position()
{
    return 0.0;
}

void RDBasePlayerOutput::setVolume(double) {}
