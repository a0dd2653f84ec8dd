#pragma once

#include "RDThread.h"

class RDPlayerDecoder;

// Video thread of the decoder stage.
class RDPlayerDecoderVideoThread : public RDThread
{
public:
    explicit RDPlayerDecoderVideoThread(RDPlayerDecoder *decoder);

protected:
    void run() override;

private:
    RDPlayerDecoder *m_decoder;
};
