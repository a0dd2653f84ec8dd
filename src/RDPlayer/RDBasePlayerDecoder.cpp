#include "RDBasePlayerDecoder.h"

RDBasePlayerDecoder::RDBasePlayerDecoder(QObject *parent) : RDPlayerStage(parent) {}

RDBasePlayerDecoder::~RDBasePlayerDecoder() = default;

void RDBasePlayerDecoder::setSource(RDBasePlayerInput *source)
{
    m_source = source;
}

RDBasePlayerInput *RDBasePlayerDecoder::source() const
{
    return m_source;
}

int RDBasePlayerDecoder::copyCodecParameters(int, AVCodecParameters *)
{
    return -1;
}
