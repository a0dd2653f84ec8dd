#include "RDPlayer.h"

#include "RDPlayerDecoder.h"
#include "RDPlayerInput.h"
#include "RDPlayerObserver.h"
#include "RDPlayerOutputDefault.h"

RDPlayer::RDPlayer(QObject *parent) : RDBasePlayer(parent)
{
    setBaseObserver(this);
}

RDPlayer::~RDPlayer()
{
    stop();
    setBaseObserver(nullptr);
}

int RDPlayer::play(const QString &url)
{
    stop();
    if (open() < 0) {
        stop();
        return -1;
    }
    m_input->setDropWhenFull(m_dropWhenFull);
    m_input->setTimeout(m_timeout);
    m_input->setUrl(url);
    m_output->setView(m_view);
    m_decoder->setDecodeAudio(m_volume > 0);
    m_output->setVolume(m_volume);
    return start() < 0 ? -1 : 0;
}

void RDPlayer::stop()
{
    RDBasePlayer::stop();
    close();
}

void RDPlayer::setObserver(RDPlayerObserver *observer)
{
    m_playerObserver = observer;
}

void RDPlayer::setTimeout(double seconds)
{
    m_timeout = seconds;
}

void RDPlayer::setVideoView(RDVideoSink *view)
{
    m_view = view;
    if (m_output)
        m_output->setView(view);
}

void RDPlayer::setVolume(double volume)
{
    m_volume = volume;
    if (m_decoder)
        m_decoder->setDecodeAudio(volume > 0);
    if (m_output)
        m_output->setVolume(volume);
}

void RDPlayer::setDropWhenFull(bool drop)
{
    m_dropWhenFull = drop;
}

void RDPlayer::onStageEvent(int event, double current, double total)
{
    if (m_playerObserver)
        m_playerObserver->onPlayerStatusChanged(event, current, total);
}

RDBasePlayerInput *RDPlayer::createInput()
{
    m_input = new RDPlayerInput(this);
    return m_input;
}

RDBasePlayerDecoder *RDPlayer::createDecoder()
{
    m_decoder = new RDPlayerDecoder(this);
    return m_decoder;
}

RDBasePlayerOutput *RDPlayer::createOutput()
{
    m_output = new RDPlayerOutputDefault(this);
    return m_output;
}

void RDPlayer::destroyInput()
{
    RDBasePlayer::destroyInput();
    m_input = nullptr;
}

void RDPlayer::destroyDecoder()
{
    RDBasePlayer::destroyDecoder();
    m_decoder = nullptr;
}

void RDPlayer::destroyOutput()
{
    RDBasePlayer::destroyOutput();
    m_output = nullptr;
}
