#include "RDAudioPlayerThread.h"

#include "RDAudioPlayer.h"

RDAudioPlayerThread::RDAudioPlayerThread(RDAudioPlayer *player) : m_player(player)
{
    setName("AudioPlayer");
}

void RDAudioPlayerThread::run()
{
    m_player->play(this);
}
