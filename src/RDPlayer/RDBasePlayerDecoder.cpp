#include "RDBasePlayerDecoder.h"

RDBasePlayerDecoder::RDBasePlayerDecoder(QObject *parent) : QObject(parent) {}

RDBasePlayerDecoder::~RDBasePlayerDecoder() = default;

void RDBasePlayerDecoder::setSource(RDBasePlayerInput *source)
{
    m_source = source;
}

RDBasePlayerInput *RDBasePlayerDecoder::source() const
{
    return m_source;
}

void RDBasePlayerDecoder::setOwner(RDBasePlayer *owner, StateCallback callback)
{
    m_owner = owner;
    m_callback = callback;
}

int RDBasePlayerDecoder::copyCodecParameters(int, AVCodecParameters *)
{
    return -1;
}

void RDBasePlayerDecoder::reportState(int state)
{
    if (m_callback)
        m_callback(m_owner, state);
}
