#include "FakeAudioBackend.h"

#include "FakeAudioStream.h"

FakeAudioBackend::FakeAudioBackend() : m_format(PlatformAudioFormat::make(48000, 2, 32, PlatformAudioFormat::Float))
{
    PlatformAudioBackend::setInstanceForTesting(this);
}

FakeAudioBackend::~FakeAudioBackend()
{
    PlatformAudioBackend::setInstanceForTesting(nullptr);
}

void FakeAudioBackend::addEndpoint(const std::string &id, const std::string &name, int type, double toneHz,
                                   double amplitude)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_endpoints.push_back(Endpoint{PlatformAudioEndpoint{id, name, type}, toneHz, amplitude});
}

void FakeAudioBackend::removeEndpoint(const std::string &id)
{
    std::lock_guard<std::mutex> lock(m_lock);
    for (auto it = m_endpoints.begin(); it != m_endpoints.end(); ++it) {
        if (it->info.id == id) {
            m_endpoints.erase(it);
            break;
        }
    }
    m_changed.notify_all();
}

void FakeAudioBackend::setFormat(const PlatformAudioFormat &format)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_format = format;
}

void FakeAudioBackend::setRealTime(bool realTime)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_realTime = realTime;
    m_changed.notify_all();
}

void FakeAudioBackend::setCaptureLimit(size_t frames)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_captureLimitFrames = frames;
    m_changed.notify_all();
}

void FakeAudioBackend::setStalled(bool stalled)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_stalled = stalled;
    m_changed.notify_all();
}

void FakeAudioBackend::setUnavailable(bool unavailable)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_unavailable = unavailable;
}

std::vector<float> FakeAudioBackend::played() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_played;
}

std::vector<int> FakeAudioBackend::writeSizes() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_writeSizes;
}

bool FakeAudioBackend::waitPlayedFrames(size_t frames, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return m_format.channels > 0 && m_played.size() / size_t(m_format.channels) >= frames;
    });
}

int FakeAudioBackend::lastCaptureBufferMs() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lastCaptureBufferMs;
}

int FakeAudioBackend::openStreams() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_openStreams;
}

bool FakeAudioBackend::waitInterrupted(int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_interrupts > 0; });
}

const FakeAudioBackend::Endpoint *FakeAudioBackend::findLocked(const std::string &id) const
{
    for (const Endpoint &e : m_endpoints) {
        if (e.info.id == id)
            return &e;
    }
    return nullptr;
}

bool FakeAudioBackend::listEndpoints(int type, std::vector<PlatformAudioEndpoint> *out)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_unavailable)
        return false;
    for (const Endpoint &e : m_endpoints) {
        if (e.info.type == type)
            out->push_back(e.info);
    }
    return true;
}

std::unique_ptr<PlatformAudioStream> FakeAudioBackend::openCapture(const std::string &id, bool loopback,
                                                                   int bufferMs, Error *error)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_unavailable) {
        *error = Error::Unavailable;
        return nullptr;
    }
    const Endpoint *e = findLocked(id);
    if (!e || e->info.type != (loopback ? 1 : 0)) {
        *error = Error::NoDevice;
        return nullptr;
    }
    m_lastCaptureBufferMs = bufferMs;
    ++m_openStreams;
    *error = Error::None;
    const size_t start = m_format.channels > 0 ? m_played.size() / size_t(m_format.channels) : 0;
    return std::make_unique<FakeAudioStream>(this, loopback ? FakeAudioStream::Loopback : FakeAudioStream::Tone, id,
                                             m_format, m_format.sampleRate * bufferMs / 1000, e->toneHz,
                                             e->amplitude, start);
}

std::unique_ptr<PlatformAudioStream> FakeAudioBackend::openPlayback(int bufferMs, int periodMs, Error *error)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_unavailable) {
        *error = Error::Unavailable;
        return nullptr;
    }
    for (const Endpoint &e : m_endpoints) {
        if (e.info.type == 1) {
            ++m_openStreams;
            *error = Error::None;
            return std::make_unique<FakeAudioStream>(this, FakeAudioStream::Playback, e.info.id, m_format,
                                                     m_format.sampleRate * bufferMs / 1000, 0.0, 0.0, 0);
        }
    }
    *error = Error::NoDevice;
    return nullptr;
}
