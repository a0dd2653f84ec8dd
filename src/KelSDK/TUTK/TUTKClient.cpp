#include "TUTKClient.h"

#include "TUTKClientAudioThread.h"
#include "TUTKClientReadThread.h"
#include "TUTKClientSendThread.h"

#include "RDLog.h"

#include "av_api.h"
#include "iotc_api.h"

#include <vector>

namespace {

template <class T> void stopThread(T *&thread)
{
    if (!thread)
        return;
    thread->stop();
    thread->wait();
    delete thread;
    thread = nullptr;
}

int32_t acceptEveryClient(const char *, const char *)
{
    return 0;
}

void answerNoIdentity(int32_t handle, void (*respond)(int32_t, const char *, int32_t))
{
    if (respond)
        respond(handle, "NULL", 4);
}

int32_t requestNoIdentity(int32_t handle, void (*respond)(int32_t, const char *, int32_t))
{
    answerNoIdentity(handle, respond);
    return 0;
}

// Results of a receive that mean "nothing now" rather than "session gone".
bool isQuiet(int result)
{
    return result == 0 || result == AV_ERR_TIMEOUT || (result >= -20014 && result <= -20011);
}

} // namespace

const unsigned char TUTKClient::FrameInfo[16] = {137, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

TUTKClient::TUTKClient(int session) : m_session(session) {}

TUTKClient::~TUTKClient()
{
    TUTKClient::close();
    std::lock_guard<std::mutex> lock(m_audioMutex);
    m_audioQueue.clear();
}

void TUTKClient::open()
{
    stopThreads();
    const int session = m_session.load();
    if (session < 0)
        return;
    const int channel = IOTC_Session_Get_Free_Channel(session);
    m_channel = channel;
    AVServStartInConfig in{};
    in.size = sizeof in;
    in.session = session;
    in.channel = uint8_t(channel < 0 ? 0 : channel);
    in.timeoutSeconds = StartTimeoutSeconds;
    in.resend = 1;
    in.serverType = 1;
    in.passwordCheck = acceptEveryClient;
    in.identityRequest = requestNoIdentity;
    in.identityCheck = acceptEveryClient;
    AVServStartOutConfig out{};
    out.size = sizeof out;
    out.resend = 1;
    out.twoWayAudio = 1;
    int av = -1;
    if (channel >= 0) {
        m_starting = true;
        av = avServStartEx(&in, &out);
        m_starting = false;
    }
    if (av < 0) {
        close();
        return;
    }
    m_avIndex = av;
    m_sendThread = new TUTKClientSendThread(this);
    m_sendThread->setName("TUTK Send");
    m_sendThread->start();
    m_readThread = new TUTKClientReadThread(this);
    m_readThread->setName("TUTK Read");
    m_readThread->start();
    m_audioThread = new TUTKClientAudioThread(this);
    m_audioThread->setName("TUTK Read Audio");
    m_audioThread->start();
}

// Threads of a session that is still live block in their receive until
// something arrives or ReceiveWaitMs pass; close() ends the session first so
// that they return at once.
void TUTKClient::stopThreads()
{
    stopThread(m_audioThread);
    stopThread(m_sendThread);
    stopThread(m_readThread);
}

void TUTKClient::requestStop()
{
    for (RDThread *thread : {static_cast<RDThread *>(m_audioThread), static_cast<RDThread *>(m_sendThread),
                             static_cast<RDThread *>(m_readThread)}) {
        if (thread)
            thread->stop();
    }
}

void TUTKClient::close()
{
    // The read and audio threads sleep in the library until data comes or
    // the AV server or session ends: flag them, end both, then wait for
    // them. Ending the server and the session first wakes them at once.
    requestStop();
    notifyAudio(); // a talk reader waiting for audio finds the session closed
    const int session = m_session.load();
    const int channel = m_channel.load();
    if (m_starting.load() && session >= 0 && channel >= 0)
        avServExit(session, channel);
    endSession();
    stopThreads();
    std::lock_guard<std::mutex> lock(m_sendMutex);
    m_sendQueue.clear();
    m_queuedAudio = 0;
}

void TUTKClient::abortStart()
{
    const int session = m_session.load();
    const int channel = m_channel.load();
    if (m_starting.load() && session >= 0 && channel >= 0)
        avServExit(session, channel);
}

void TUTKClient::endSession()
{
    const int av = m_avIndex.exchange(-1);
    if (av >= 0)
        avServStop(av);
    const int session = m_session.exchange(-1);
    if (session >= 0)
        IOTC_Session_Close(session);
    wakeSender();
}

bool TUTKClient::isRunning() const
{
    return m_sendThread || m_readThread;
}

bool TUTKClient::isOpen() const
{
    return m_session.load() >= 0;
}

void TUTKClient::queueData(const KelPacket &packet)
{
    const uint8_t *bytes = packet.bytes();
    if (!bytes || packet.length <= 0)
        return;
    TUTKSendItem item;
    item.kind = TUTKSendItem::Message;
    item.payload.assign(bytes, bytes + packet.length);
    item.length = packet.length;
    {
        std::lock_guard<std::mutex> lock(m_sendMutex);
        m_sendQueue.push_back(std::move(item));
    }
    m_sendCond.notify_one();
}

void TUTKClient::queueAudio(const KelAudioFrame &frame)
{
    const int wire = frame.serialize(nullptr, 0, 0);
    if (wire < KelAudioFrame::HeaderSize || wire > AudioBufferSize)
        return;
    TUTKSendItem item;
    item.kind = TUTKSendItem::Audio;
    item.payload.resize(size_t(wire));
    frame.serialize(item.payload, 0, wire);
    item.length = wire;
    {
        std::lock_guard<std::mutex> lock(m_sendMutex);
        // Live audio is worthless late: past the cap the oldest goes.
        if (m_queuedAudio >= MaxQueuedAudio) {
            for (auto it = m_sendQueue.begin(); it != m_sendQueue.end(); ++it) {
                if (it->kind == TUTKSendItem::Audio) {
                    m_sendQueue.erase(it);
                    --m_queuedAudio;
                    break;
                }
            }
        }
        m_sendQueue.push_back(std::move(item));
        ++m_queuedAudio;
    }
    m_sendCond.notify_one();
}

void TUTKClient::takeAudio(KelAudioFrame &frame)
{
    std::lock_guard<std::mutex> lock(m_audioMutex);
    if (m_audioQueue.empty()) {
        frame.reset();
        return;
    }
    frame = std::move(m_audioQueue.front());
    m_audioQueue.pop_front();
}

size_t TUTKClient::receivedAudioCount()
{
    std::lock_guard<std::mutex> lock(m_audioMutex);
    return m_audioQueue.size();
}

void TUTKClient::wakeSender()
{
    { std::lock_guard<std::mutex> lock(m_sendMutex); }
    m_sendCond.notify_all();
}

void TUTKClient::doSend(TUTKClientSendThread *thread)
{
    while (!thread->isStopped() && isLive()) {
        TUTKSendItem item;
        {
            std::unique_lock<std::mutex> lock(m_sendMutex);
            m_sendCond.wait(lock, [&] { return thread->isStopped() || !isLive() || !m_sendQueue.empty(); });
            if (thread->isStopped() || !isLive())
                break;
            item = std::move(m_sendQueue.front());
            m_sendQueue.pop_front();
            if (item.kind == TUTKSendItem::Audio)
                --m_queuedAudio;
        }
        if (item.length < 1 || item.offset < 0 || size_t(item.offset) + size_t(item.length) > item.payload.size())
            continue;
        const int av = m_avIndex.load();
        const char *bytes = reinterpret_cast<const char *>(item.payload.data()) + item.offset;
        int result;
        if (item.kind == TUTKSendItem::Message)
            result = avSendIOCtrl(av, MessageType, bytes, item.length);
        else
            result = avSendAudioData(av, bytes, item.length, FrameInfo, sizeof FrameInfo);
        if (result == AV_ERR_QUEUE_FULL) {
            // The app has stopped taking messages: end the session instead
            // of buffering without bound; the server's sweep announces it.
            RDLogDetail(__FILE__, "TUTKClient::doSend", __LINE__, 5, "send queue full, closing session\n");
            endSession();
        }
    }
}

void TUTKClient::doRead(TUTKClientReadThread *thread)
{
    std::vector<char> buffer(MessageBufferSize);
    while (!thread->isStopped() && isLive()) {
        unsigned int type = 0;
        const int n = avRecvIOCtrl(m_avIndex.load(), &type, buffer.data(), MessageBufferSize, ReceiveWaitMs);
        if (n > 0) {
            if (type == MessageType)
                notifyMessage(KelPacket(std::vector<uint8_t>(buffer.begin(), buffer.begin() + n), 0, n));
            continue;
        }
        if (isQuiet(n))
            continue;
        endSession();
        break;
    }
}

void TUTKClient::doReadAudio(TUTKClientAudioThread *thread)
{
    std::vector<char> buffer(AudioBufferSize);
    char info[16];
    while (!thread->isStopped() && m_avIndex.load() >= 0) {
        unsigned int frameNo = 0;
        // The library blocks until a frame comes or the AV server or the
        // session ends (at most a second), so an idle session neither spins
        // nor wakes to look again.
        const int n = avRecvAudioData(m_avIndex.load(), buffer.data(), AudioBufferSize, info, sizeof info, &frameNo);
        if (n > 0) {
            KelAudioFrame frame;
            if (!frame.parse(reinterpret_cast<const uint8_t *>(buffer.data()), 0, n))
                continue;
            {
                std::lock_guard<std::mutex> lock(m_audioMutex);
                m_audioQueue.push_back(std::move(frame));
                if (m_audioQueue.size() > MaxReceivedAudio) {
                    m_audioQueue.pop_front();
                    RDLogDetail(__FILE__, "TUTKClient::doReadAudio", __LINE__, 5,
                                "remove first audio frame cause audio size over 100\n");
                }
            }
            notifyAudio();
            continue;
        }
        if (isQuiet(n))
            continue;
        endSession();
        break;
    }
}
