#pragma once

#include "RDPlayerStageThread.h"

class RDPlayerRecorder;

// Thread of a recorder: writes the tapped packets into the output file.
class RDPlayerRecoderThread : public RDPlayerStageThread
{
public:
    explicit RDPlayerRecoderThread(RDPlayerRecorder *recorder);

protected:
    void run() override;

private:
    RDPlayerRecorder *m_recorder;
};
