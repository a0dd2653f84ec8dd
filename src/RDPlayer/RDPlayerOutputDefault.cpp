#include "RDPlayerOutputDefault.h"

#include "RDPcmPlayer.h"

RDPlayerOutputDefault::RDPlayerOutputDefault(QObject *parent)
    : RDPlayerOutput(parent), m_player(new RDPcmPlayer(this))
{
    setPcmPlayer(m_player);
}

RDPlayerOutputDefault::~RDPlayerOutputDefault()
{
    stop();
}

int RDPlayerOutputDefault::start()
{
    // Without a sound device the video still plays; the audio is discarded.
    m_player->start();
    return RDPlayerOutput::start();
}

void RDPlayerOutputDefault::stop()
{
    m_player->abort();
    RDPlayerOutput::stop();
    m_player->stop();
}

void RDPlayerOutputDefault::setVolume(double volume)
{
    m_player->setVolume(float(volume));
}
