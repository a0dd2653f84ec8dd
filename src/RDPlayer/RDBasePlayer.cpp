#include "RDBasePlayer.h"

#include "RDBasePlayerDecoder.h"
#include "RDBasePlayerInput.h"
#include "RDBasePlayerObserver.h"
#include "RDBasePlayerOutput.h"
#include "RDPlayerRecorder.h"

RDBasePlayer::RDBasePlayer(QObject *parent) : QObject(parent) {}

RDBasePlayer::~RDBasePlayer()
{
    // Subclasses stop and close in their own destructors, while their
    // factories still exist; this only catches what is left.
    stopRecord();
    haltStages(false);
    delete m_output;
    delete m_decoder;
    delete m_input;
}

void RDBasePlayer::setBaseObserver(RDBasePlayerObserver *observer)
{
    m_observer = observer;
}

void RDBasePlayer::setRecorderObserver(RDPlayerRecorderObserver *observer)
{
    m_recorderObserver = observer;
}

int RDBasePlayer::inputStatus()
{
    return m_input ? m_input->status() : 0;
}

int RDBasePlayer::start()
{
    if (!m_input || !m_decoder || !m_output)
        return -1;
    int result = m_input->start();
    if (result < 0)
        return result;
    result = m_decoder->start();
    if (result < 0)
        return result;
    result = m_output->start();
    return result < 0 ? result : 0;
}

void RDBasePlayer::stop()
{
    stopRecord();
    haltStages(false);
}

void RDBasePlayer::haltStages(bool pauseInput)
{
    if (m_output)
        m_output->stop();
    if (m_decoder)
        m_decoder->stop();
    if (!m_input)
        return;
    if (pauseInput)
        m_input->pause();
    else
        m_input->stop();
}

void RDBasePlayer::resume()
{
    if (m_input)
        m_input->resume();
    if (m_decoder && !m_decoder->isRunning())
        m_decoder->start();
    if (m_output && !m_output->isRunning())
        m_output->start();
}

void RDBasePlayer::pause()
{
    haltStages(true);
}

void RDBasePlayer::seek(double seconds)
{
    if (m_input)
        m_input->seek(seconds);
}

void RDBasePlayer::flush()
{
    if (m_input)
        m_input->flush();
    if (m_decoder)
        m_decoder->requestFlush();
    if (m_output)
        m_output->flush();
}

int RDBasePlayer::open()
{
    const int input = openInput();
    const int decoder = openDecoder();
    const int output = openOutput();
    if (input < 0 || decoder < 0 || output < 0) {
        stop();
        return -1;
    }
    m_input->setOwner(this, &RDBasePlayer::onInputState);
    m_decoder->setOwner(this, &RDBasePlayer::onDecoderState);
    m_output->setOwner(this, &RDBasePlayer::onOutputState);
    m_decoder->setSource(m_input);
    m_output->setSource(m_decoder);
    return 0;
}

void RDBasePlayer::close()
{
    closeOutput();
    closeDecoder();
    closeInput();
}

int RDBasePlayer::startRecord(const QString &path, const QString &formatName, double seconds)
{
    stopRecord();
    if (!m_input || !m_decoder)
        return -1;
    m_recorder = new RDPlayerRecorder(m_input, m_decoder);
    m_recorder->setObserver(m_recorderObserver);
    m_recorder->setParams(path, formatName, seconds);
    m_recorder->start();
    return 0;
}

void RDBasePlayer::stopRecord()
{
    if (!m_recorder)
        return;
    m_recorder->stop();
    delete m_recorder;
    m_recorder = nullptr;
}

bool RDBasePlayer::isRecording()
{
    return m_recorder && m_recorder->isRecording();
}

bool RDBasePlayer::isInputRunning()
{
    return m_input && m_input->isRunning();
}

bool RDBasePlayer::isPlaying()
{
    return m_decoder && m_output && m_decoder->isRunning() && m_output->isRunning();
}

double RDBasePlayer::position()
{
    return m_output ? m_output->position() : -1.0;
}

double RDBasePlayer::duration()
{
    return m_input ? m_input->duration() : -1.0;
}

int RDBasePlayer::openInput()
{
    m_input = createInput();
    return m_input ? 0 : -1;
}

int RDBasePlayer::openDecoder()
{
    m_decoder = createDecoder();
    return m_decoder ? 0 : -1;
}

int RDBasePlayer::openOutput()
{
    m_output = createOutput();
    return m_output ? 0 : -1;
}

void RDBasePlayer::closeInput()
{
    destroyInput();
}

void RDBasePlayer::closeDecoder()
{
    destroyDecoder();
}

void RDBasePlayer::closeOutput()
{
    destroyOutput();
}

void RDBasePlayer::destroyInput()
{
    delete m_input;
    m_input = nullptr;
}

void RDBasePlayer::destroyDecoder()
{
    delete m_decoder;
    m_decoder = nullptr;
}

void RDBasePlayer::destroyOutput()
{
    delete m_output;
    m_output = nullptr;
}

void RDBasePlayer::sendEvent(int event, double current, double total)
{
    if (m_observer)
        m_observer->onStageEvent(event, current, total);
}

void RDBasePlayer::onInputState(RDBasePlayer *player, int state)
{
    if (!player)
        return;
    switch (state) {
    case 1:
    case 3:
        player->sendEvent(1, 0.0, 0.0);
        break;
    case 4:
    case 5:
        if (player->m_decoder)
            player->m_decoder->requestFlush();
        if (player->m_output)
            player->m_output->flush();
        break;
    case 16:
        if (player->m_decoder)
            player->m_decoder->requestFlush();
        break;
    default:
        break;
    }
}

void RDBasePlayer::onDecoderState(RDBasePlayer *, int) {}

void RDBasePlayer::onOutputState(RDBasePlayer *player, int state)
{
    if (!player)
        return;
    switch (state) {
    case 0:
        player->sendEvent(2, 0.0, 0.0);
        break;
    case 1:
        player->sendEvent(3, 0.0, 0.0);
        break;
    case 2:
        player->sendEvent(4, 0.0, 0.0);
        break;
    case 3: {
        const double total = player->duration();
        const double current = player->position();
        player->sendEvent(5, current, total);
        break;
    }
    default:
        break;
    }
}
