#pragma once

#include "RDThread.h"

class RDPlayerDecoder;

// Audio thread of the decoder stage.
class RDPlayerDecoderAudioThread : public RDThread
{
public:
    explicit RDPlayerDecoderAudioThread(RDPlayerDecoder *decoder);

protected:
    void run() override;

private:
    RDPlayerDecoder *m_decoder;
};
