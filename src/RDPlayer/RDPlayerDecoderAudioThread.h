#pragma once

#include "RDPlayerStageThread.h"

class RDPlayerDecoder;

// Audio thread of the decoder stage.
class RDPlayerDecoderAudioThread : public RDPlayerStageThread
{
public:
    explicit RDPlayerDecoderAudioThread(RDPlayerDecoder *decoder);

protected:
    void run() override;

private:
    RDPlayerDecoder *m_decoder;
};
