#include "CoreAudioRender.h"

#include "CoreAudioRenderObserver.h"
#include "CoreAudioRenderThread.h"
#include "PlatformAudioBackend.h"
#include "RDLog.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {
constexpr int kRenderBufferMs = 200;
constexpr int kPeriodsPerBuffer = 10;
} // namespace

CoreAudioRender::CoreAudioRender() = default;

CoreAudioRender::~CoreAudioRender()
{
    stop();
}

void CoreAudioRender::setObserver(CoreAudioRenderObserver *observer)
{
    m_observer = observer;
}

bool CoreAudioRender::start()
{
    if (m_renderThread)
        return true;
    m_renderThread = new CoreAudioRenderThread(this);
    m_renderThread->setName("Audio Render");
    m_renderThread->start();
    return true;
}

void CoreAudioRender::stop()
{
    if (!m_renderThread)
        return;
    m_renderThread->stop();
    m_renderThread->wait();
    delete m_renderThread;
    m_renderThread = nullptr;
}

bool CoreAudioRender::open()
{
    PlatformAudioBackend::Error error = PlatformAudioBackend::Error::NoDevice;
    std::unique_ptr<PlatformAudioStream> stream = PlatformAudioBackend::instance()->openPlayback(
        kRenderBufferMs, kRenderBufferMs / kPeriodsPerBuffer, &error);
    if (!stream) {
        const char *message = "Initialize failure";
        if (error == PlatformAudioBackend::Error::Unavailable)
            message = "CoCreateInstance failure";
        else if (error == PlatformAudioBackend::Error::NoDevice)
            message = "GetDefaultAudioEndpoint failure";
        RDLogDetail("CoreAudio", __FUNCTION__, __LINE__, 5, "%s", message);
        return false;
    }
    m_format = stream->format();
    m_bufferFrames = stream->bufferFrames();
    RDLogDetail("CoreAudio", __FUNCTION__, __LINE__, 5,
                "render format samplerate = %d, channels = %d, bits = %d, blockAlign = %d, bytes = %d, format = %x",
                m_format.sampleRate, m_format.channels, m_format.bitsPerSample, m_format.blockAlign,
                m_format.bytesPerSecond, unsigned(m_format.formatTag));
    std::lock_guard<std::mutex> lock(m_streamLock);
    m_stream = std::move(stream);
    return true;
}

void CoreAudioRender::release()
{
    std::lock_guard<std::mutex> lock(m_streamLock);
    m_stream.reset();
}

void CoreAudioRender::interruptRender()
{
    std::lock_guard<std::mutex> lock(m_streamLock);
    if (m_stream)
        m_stream->interrupt();
}

void CoreAudioRender::renderLoop(CoreAudioRenderThread *thread)
{
    if (open()) {
        if (thread->isStopped())
            interruptRender();
        if (m_observer)
            m_observer->onRenderStarted(this);
        RDLogDetail("CoreAudio", __FUNCTION__, __LINE__, 5, "render buffer size = %d", m_bufferFrames);
        const int period = std::max(m_bufferFrames / kPeriodsPerBuffer, 1);
        const int bytes = period * m_format.blockAlign;
        std::vector<unsigned char> buffer(static_cast<size_t>(bytes));
        while (!thread->isStopped()) {
            // A period the observer leaves (partly) unwritten plays as
            // silence, not as what the buffer held before.
            std::memset(buffer.data(), 0, buffer.size());
            if (m_observer)
                m_observer->onRenderData(this, buffer.data(), period, bytes);
            const int written = m_stream->write(buffer.data(), bytes);
            if (written < 0) {
                RDLogDetail("CoreAudio", __FUNCTION__, __LINE__, 5, "playback device lost, rendering ends");
                break;
            }
        }
    }
    release();
    if (m_observer)
        m_observer->onRenderClosed(this);
}
