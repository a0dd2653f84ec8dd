#include "RDBasePlayerInput.h"

#include "RDThread.h"

RDBasePlayerInput::RDBasePlayerInput(QObject *parent) : RDPlayerStage(parent) {}

RDBasePlayerInput::~RDBasePlayerInput() = default;

void RDBasePlayerInput::setPacketListener(void *context, PacketListener listener)
{
    QMutexLocker guard(&m_mutex);
    m_listenerContext = context;
    m_listener = listener;
}

void RDBasePlayerInput::deliverPacket(RDBasePlayerInputPacket *packet)
{
    QMutexLocker guard(&m_mutex);
    if (m_listener)
        m_listener(m_listenerContext, packet);
}

int RDBasePlayerInput::createCodecContext(int, int, AVCodecContext **, const AVCodec **)
{
    return -1;
}

int RDBasePlayerInput::freeCodecContext(int, AVCodecContext **, const AVCodec **)
{
    return -1;
}

int RDBasePlayerInput::copyCodecParameters(int, AVCodecParameters *)
{
    return -1;
}

void RDBasePlayerInput::waitForPacket(int, int timeoutMs)
{
    RDThread::msleep(static_cast<unsigned long>(qMax(timeoutMs, 0)));
}
