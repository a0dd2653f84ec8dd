#include "CoreAudioDevice.h"

#include "CoreAudioDeviceDispatchThread.h"
#include "CoreAudioDeviceObserver.h"
#include "CoreAudioDeviceReadThread.h"
#include "PlatformAudioBackend.h"
#include "RDLog.h"

#include <algorithm>

namespace {
constexpr int kCaptureBufferMs = 100;
constexpr int kLoopbackBufferMs = 2000;
} // namespace

CoreAudioDevice::CoreAudioDevice() = default;

CoreAudioDevice::~CoreAudioDevice()
{
    stop();
}

void CoreAudioDevice::setDevice(const char *id, int loopback)
{
    m_loopback = loopback;
    m_hasDeviceId = id != nullptr;
    m_deviceId = id ? id : "";
}

void CoreAudioDevice::clearDevice()
{
    m_loopback = 0;
    m_hasDeviceId = false;
    m_deviceId.clear();
}

void CoreAudioDevice::setObserver(CoreAudioDeviceObserver *observer)
{
    m_observer = observer;
}

bool CoreAudioDevice::start()
{
    if (m_readThread)
        return true;
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_dispatchDone = false;
    }
    m_readThread = new CoreAudioDeviceReadThread(this);
    m_readThread->setName("Audio Capture");
    m_readThread->start();
    m_dispatchThread = new CoreAudioDeviceDispatchThread(this);
    m_dispatchThread->setName("Audio Dispatch");
    m_dispatchThread->start();
    return true;
}

void CoreAudioDevice::stop()
{
    // Both threads are told first: the dispatch thread delivers no further
    // packet, and the reader leaves a read that waits for the endpoint. The
    // reader reports onDeviceClosed only after the last delivery.
    if (m_dispatchThread)
        m_dispatchThread->stop();
    if (m_readThread)
        m_readThread->stop();
    if (m_dispatchThread) {
        m_dispatchThread->wait();
        delete m_dispatchThread;
        m_dispatchThread = nullptr;
    }
    if (m_readThread) {
        m_readThread->wait();
        delete m_readThread;
        m_readThread = nullptr;
    }
    std::lock_guard<std::mutex> lock(m_queueLock);
    m_queue.clear();
}

bool CoreAudioDevice::open()
{
    PlatformAudioBackend::Error error = PlatformAudioBackend::Error::NoDevice;
    std::unique_ptr<PlatformAudioStream> stream;
    if (m_hasDeviceId) {
        stream = PlatformAudioBackend::instance()->openCapture(
            m_deviceId, m_loopback != 0, m_loopback ? kLoopbackBufferMs : kCaptureBufferMs, &error);
    }
    if (!stream) {
        const char *message = "Initialize failure";
        if (error == PlatformAudioBackend::Error::Unavailable)
            message = "CoCreateInstance failure";
        else if (error == PlatformAudioBackend::Error::NoDevice)
            message = "GetDevice failure";
        RDLogDetail("CoreAudio", __FUNCTION__, __LINE__, 5, "%s", message);
        return false;
    }
    m_format = stream->format();
    m_bufferFrames = stream->bufferFrames();
    RDLogDetail("CoreAudio", __FUNCTION__, __LINE__, 5,
                "device format samplerate = %d, channels = %d, bits = %d, blockAlign = %d, bytes = %d, format = %x",
                m_format.sampleRate, m_format.channels, m_format.bitsPerSample, m_format.blockAlign,
                m_format.bytesPerSecond, unsigned(m_format.formatTag));
    RDLogDetail("CoreAudio", __FUNCTION__, __LINE__, 5, "audio client buffer frame = %d", m_bufferFrames);
    std::lock_guard<std::mutex> lock(m_streamLock);
    m_stream = std::move(stream);
    return true;
}

void CoreAudioDevice::release()
{
    std::lock_guard<std::mutex> lock(m_streamLock);
    m_stream.reset();
}

void CoreAudioDevice::interruptCapture()
{
    std::lock_guard<std::mutex> lock(m_streamLock);
    if (m_stream)
        m_stream->interrupt();
}

void CoreAudioDevice::wakeDispatch()
{
    std::lock_guard<std::mutex> lock(m_queueLock);
    m_queueWake.notify_all();
}

void CoreAudioDevice::captureLoop(CoreAudioDeviceReadThread *thread)
{
    if (open()) {
        // A stop that came while opening found no stream to interrupt;
        // interrupt it now so the first read returns at once.
        if (thread->isStopped())
            interruptCapture();
        if (m_observer)
            m_observer->onDeviceOpened(this);
        const int block = m_format.blockAlign;
        // Room for the whole endpoint buffer: a read returns what has
        // been captured so far, usually one 10 ms fragment.
        std::vector<unsigned char> buffer(size_t(std::max(m_bufferFrames, 1)) * size_t(block));
        while (!thread->isStopped()) {
            const int n = m_stream->read(buffer.data(), int(buffer.size()));
            if (n < 0) {
                RDLogDetail("CoreAudio", __FUNCTION__, __LINE__, 5, "capture device %s lost, reading ends",
                            m_deviceId.c_str());
                break;
            }
            if (n == 0)
                continue;
            Packet packet;
            packet.data.assign(buffer.begin(), buffer.begin() + n);
            packet.frames = n / block;
            std::lock_guard<std::mutex> lock(m_queueLock);
            m_queue.push_back(std::move(packet));
            m_queueWake.notify_one();
        }
    }
    release();
    if (thread->isStopped()) {
        // stop() ends the dispatch thread first; wait for its last delivery.
        std::unique_lock<std::mutex> lock(m_queueLock);
        m_queueWake.wait(lock, [&] { return m_dispatchDone; });
    }
    if (m_observer)
        m_observer->onDeviceClosed(this);
}

void CoreAudioDevice::dispatchLoop(CoreAudioDeviceDispatchThread *thread)
{
    for (;;) {
        Packet packet;
        {
            std::unique_lock<std::mutex> lock(m_queueLock);
            m_queueWake.wait(lock, [&] { return thread->isStopped() || !m_queue.empty(); });
            if (thread->isStopped()) {
                m_dispatchDone = true;
                m_queueWake.notify_all();
                return;
            }
            packet = std::move(m_queue.front());
            m_queue.pop_front();
        }
        if (m_observer)
            m_observer->onDeviceData(this, packet.data.data(), packet.frames, int(packet.data.size()));
    }
}
