#pragma once

#include "RDPlayerStageThread.h"

class RDPlayerDecoder;

// Video thread of the decoder stage.
class RDPlayerDecoderVideoThread : public RDPlayerStageThread
{
public:
    explicit RDPlayerDecoderVideoThread(RDPlayerDecoder *decoder);

protected:
    void run() override;

private:
    RDPlayerDecoder *m_decoder;
};
