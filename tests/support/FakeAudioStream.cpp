#include "FakeAudioStream.h"

#include "FakeAudioBackend.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

FakeAudioStream::FakeAudioStream(FakeAudioBackend *backend, Kind kind, const std::string &endpoint,
                                 const PlatformAudioFormat &format, int bufferFrames, double toneHz, double amplitude,
                                 size_t loopbackStart)
    : m_backend(backend), m_kind(kind), m_endpoint(endpoint), m_format(format), m_bufferFrames(bufferFrames),
      m_toneHz(toneHz), m_amplitude(amplitude), m_loopbackCursor(loopbackStart),
      m_start(std::chrono::steady_clock::now())
{
}

FakeAudioStream::~FakeAudioStream()
{
    std::lock_guard<std::mutex> lock(m_backend->m_lock);
    --m_backend->m_openStreams;
}

void FakeAudioStream::putSample(unsigned char *at, float value) const
{
    if (m_format.formatTag == PlatformAudioFormat::Float) {
        std::memcpy(at, &value, sizeof value);
    } else {
        const int16_t s = int16_t(std::lround(std::max(-1.0f, std::min(1.0f, value)) * 32767.0f));
        std::memcpy(at, &s, sizeof s);
    }
}

float FakeAudioStream::getSample(const unsigned char *at) const
{
    if (m_format.formatTag == PlatformAudioFormat::Float) {
        float v;
        std::memcpy(&v, at, sizeof v);
        return v;
    }
    int16_t s;
    std::memcpy(&s, at, sizeof s);
    return float(s) / 32767.0f;
}

int FakeAudioStream::read(void *data, int maxBytes)
{
    const int block = m_format.blockAlign;
    const int bytesPerSample = m_format.bitsPerSample / 8;
    unsigned char *out = static_cast<unsigned char *>(data);
    std::unique_lock<std::mutex> lock(m_backend->m_lock);
    auto gone = [&] { return m_backend->findLocked(m_endpoint) == nullptr; };

    if (m_kind == Loopback) {
        const size_t channels = size_t(m_format.channels);
        m_backend->m_changed.wait(lock, [&] {
            return m_interrupted || gone() || m_backend->m_played.size() / channels > m_loopbackCursor;
        });
        if (m_interrupted)
            return 0;
        if (gone())
            return -1;
        const size_t frames =
            std::min(m_backend->m_played.size() / channels - m_loopbackCursor, size_t(maxBytes / block));
        for (size_t i = 0; i < frames * channels; ++i)
            putSample(out + i * bytesPerSample, m_backend->m_played[m_loopbackCursor * channels + i]);
        m_loopbackCursor += frames;
        return int(frames) * block;
    }

    // A tone endpoint hands out 10 ms fragments, at the clock's pace.
    const int fragment = std::max(m_format.sampleRate / 100, 1);
    const int frames = std::min(fragment, maxBytes / block);
    if (frames <= 0)
        return 0;
    const auto due = m_start + std::chrono::microseconds(int64_t(m_frames + frames) * 1000000 / m_format.sampleRate);
    const int waited = waitForTurn(lock, due, true);
    if (waited <= 0)
        return waited;
    for (int i = 0; i < frames; ++i) {
        const float v = float(m_amplitude * std::sin(2.0 * M_PI * m_toneHz * double(m_frames + i) / m_format.sampleRate));
        for (int c = 0; c < m_format.channels; ++c)
            putSample(out + size_t(i) * block + size_t(c) * bytesPerSample, v);
    }
    m_frames += size_t(frames);
    return frames * block;
}

int FakeAudioStream::write(const void *data, int bytes)
{
    const int block = m_format.blockAlign;
    const int bytesPerSample = m_format.bitsPerSample / 8;
    const unsigned char *in = static_cast<const unsigned char *>(data);
    const int frames = bytes / block;
    std::unique_lock<std::mutex> lock(m_backend->m_lock);
    // The first buffer's worth goes in at once, as into a real device's
    // buffer; after that the clock drains it.
    const int64_t ahead = int64_t(m_frames) + frames - m_bufferFrames;
    const auto due = m_start + std::chrono::microseconds(std::max<int64_t>(ahead, 0) * 1000000 / m_format.sampleRate);
    const int waited = waitForTurn(lock, due, false);
    if (waited <= 0)
        return waited;
    for (int i = 0; i < frames * m_format.channels; ++i)
        m_backend->m_played.push_back(getSample(in + size_t(i) * bytesPerSample));
    m_backend->m_writeSizes.push_back(bytes);
    m_frames += size_t(frames);
    m_backend->m_changed.notify_all();
    return bytes;
}

int FakeAudioStream::waitForTurn(std::unique_lock<std::mutex> &lock, std::chrono::steady_clock::time_point due,
                                 bool capture)
{
    auto gone = [&] { return m_backend->findLocked(m_endpoint) == nullptr; };
    auto held = [&] {
        return m_backend->m_stalled || (capture && m_backend->m_captureLimitFrames > 0 &&
                                        m_frames >= m_backend->m_captureLimitFrames);
    };
    while (!m_interrupted && !gone() &&
           (held() || (m_backend->m_realTime && std::chrono::steady_clock::now() < due))) {
        if (held())
            m_backend->m_changed.wait(lock);
        else
            m_backend->m_changed.wait_until(lock, due);
    }
    if (m_interrupted)
        return 0;
    return gone() ? -1 : 1;
}

void FakeAudioStream::interrupt()
{
    std::lock_guard<std::mutex> lock(m_backend->m_lock);
    m_interrupted = true;
    ++m_backend->m_interrupts;
    m_backend->m_changed.notify_all();
}
