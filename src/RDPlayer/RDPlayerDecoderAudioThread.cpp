#include "RDPlayerDecoderAudioThread.h"

#include "RDPlayerDecoder.h"

RDPlayerDecoderAudioThread::RDPlayerDecoderAudioThread(RDPlayerDecoder *decoder) : m_decoder(decoder)
{
    setName("DecodeAudio");
}

void RDPlayerDecoderAudioThread::run()
{
    m_decoder->decodeAudio(this);
}
