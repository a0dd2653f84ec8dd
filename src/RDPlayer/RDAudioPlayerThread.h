#pragma once

#include "RDThread.h"

class RDAudioPlayer;

// Thread of an audio player: opens the input, reads it and drains it.
class RDAudioPlayerThread : public RDThread
{
public:
    explicit RDAudioPlayerThread(RDAudioPlayer *player);

protected:
    void run() override;

private:
    RDAudioPlayer *m_player;
};
