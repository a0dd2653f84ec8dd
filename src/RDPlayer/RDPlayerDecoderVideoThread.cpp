#include "RDPlayerDecoderVideoThread.h"

#include "RDPlayerDecoder.h"

RDPlayerDecoderVideoThread::RDPlayerDecoderVideoThread(RDPlayerDecoder *decoder) : m_decoder(decoder)
{
    setName("DecodeVideo");
}

void RDPlayerDecoderVideoThread::run()
{
    m_decoder->decodeVideo(this);
}
