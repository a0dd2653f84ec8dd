#include "PlatformPulseAudioStream.h"

#include <algorithm>
#include <cstring>
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/stream.h>

namespace {
constexpr int kRate = 48000;
constexpr int kChannels = 2;
constexpr int kConnectTimeoutMs = 3000;
// How many milliseconds of audio one capture fragment carries.
constexpr int kFragmentMs = 10;
} // namespace

PlatformPulseAudioStream::PlatformPulseAudioStream()
    : m_format(PlatformAudioFormat::make(kRate, kChannels, 32, PlatformAudioFormat::Float))
{
}

PlatformPulseAudioStream::~PlatformPulseAudioStream()
{
    if (m_stream) {
        if (m_peek)
            pa_stream_drop(m_stream);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
    }
}

std::unique_ptr<PlatformPulseAudioStream> PlatformPulseAudioStream::openRecord(const std::string &device,
                                                                               int bufferMs,
                                                                               PlatformAudioBackend::Error *error)
{
    std::unique_ptr<PlatformPulseAudioStream> s(new PlatformPulseAudioStream());
    if (!s->connectStream(true, device, bufferMs, kFragmentMs, error))
        return nullptr;
    return s;
}

std::unique_ptr<PlatformPulseAudioStream> PlatformPulseAudioStream::openPlayback(int bufferMs, int periodMs,
                                                                                 PlatformAudioBackend::Error *error)
{
    std::unique_ptr<PlatformPulseAudioStream> s(new PlatformPulseAudioStream());
    if (!s->connectStream(false, std::string(), bufferMs, periodMs, error))
        return nullptr;
    return s;
}

bool PlatformPulseAudioStream::connectStream(bool record, const std::string &device, int bufferMs, int periodMs,
                                             PlatformAudioBackend::Error *error)
{
    *error = PlatformAudioBackend::Error::Unavailable;
    if (!m_connection.connect(kConnectTimeoutMs))
        return false;

    pa_sample_spec sampleFormat;
    sampleFormat.format = PA_SAMPLE_FLOAT32LE;
    sampleFormat.rate = kRate;
    sampleFormat.channels = kChannels;
    m_stream = pa_stream_new(m_connection.context(), record ? "capture" : "playback", &sampleFormat, nullptr);
    if (!m_stream) {
        *error = PlatformAudioBackend::Error::Refused;
        return false;
    }
    m_bufferFrames = kRate * bufferMs / 1000;
    const uint32_t frameBytes = uint32_t(m_format.blockAlign);
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(-1);
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(-1);
    const pa_stream_flags_t flags = PA_STREAM_ADJUST_LATENCY;
    int ret;
    if (record) {
        attr.maxlength = uint32_t(m_bufferFrames) * frameBytes;
        attr.fragsize = uint32_t(kRate * periodMs / 1000) * frameBytes;
        ret = pa_stream_connect_record(m_stream, device.empty() ? nullptr : device.c_str(), &attr, flags);
    } else {
        attr.tlength = uint32_t(m_bufferFrames) * frameBytes;
        attr.minreq = uint32_t(kRate * periodMs / 1000) * frameBytes;
        ret = pa_stream_connect_playback(m_stream, nullptr, &attr, flags, nullptr, nullptr);
    }
    if (ret < 0) {
        *error = PlatformAudioBackend::Error::Refused;
        return false;
    }
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(m_stream);
        if (state == PA_STREAM_READY)
            break;
        if (!PA_STREAM_IS_GOOD(state)) {
            *error = pa_context_errno(m_connection.context()) == PA_ERR_NOENTITY
                         ? PlatformAudioBackend::Error::NoDevice
                         : PlatformAudioBackend::Error::Refused;
            return false;
        }
        if (!m_connection.iterate(kConnectTimeoutMs)) {
            *error = PlatformAudioBackend::Error::Unavailable;
            return false;
        }
    }
    *error = PlatformAudioBackend::Error::None;
    return true;
}

bool PlatformPulseAudioStream::streamReady() const
{
    return m_connection.isConnected() && pa_stream_get_state(m_stream) == PA_STREAM_READY;
}

int PlatformPulseAudioStream::read(void *data, int maxBytes)
{
    const int frame = m_format.blockAlign;
    const size_t want = size_t(maxBytes / frame) * size_t(frame);
    if (want == 0)
        return 0;
    for (;;) {
        if (m_interrupted.load())
            return 0;
        if (m_peek) {
            const size_t n = std::min(want, m_peekSize - m_peekOffset);
            std::memcpy(data, m_peek + m_peekOffset, n);
            m_peekOffset += n;
            if (m_peekOffset >= m_peekSize) {
                pa_stream_drop(m_stream);
                m_peek = nullptr;
            }
            return int(n);
        }
        if (!streamReady())
            return -1;
        const void *fragment = nullptr;
        size_t size = 0;
        if (pa_stream_peek(m_stream, &fragment, &size) < 0)
            return -1;
        if (size == 0) {
            // Nothing captured yet: sleep until the server sends some, the
            // stream fails or interrupt() wakes us.
            if (!m_connection.iterate(-1))
                return -1;
            continue;
        }
        if (!fragment) {
            // A hole in the capture: nothing to hand out for it.
            pa_stream_drop(m_stream);
            continue;
        }
        m_peek = static_cast<const unsigned char *>(fragment);
        m_peekSize = size;
        m_peekOffset = 0;
    }
}

int PlatformPulseAudioStream::write(const void *data, int bytes)
{
    const unsigned char *p = static_cast<const unsigned char *>(data);
    int done = 0;
    while (done < bytes) {
        if (m_interrupted.load())
            return 0;
        if (!streamReady())
            return -1;
        const size_t room = pa_stream_writable_size(m_stream);
        if (room == size_t(-1))
            return -1;
        if (room == 0) {
            if (!m_connection.iterate(-1))
                return -1;
            continue;
        }
        const size_t n = std::min(room, size_t(bytes - done));
        if (pa_stream_write(m_stream, p + done, n, nullptr, 0, PA_SEEK_RELATIVE) < 0)
            return -1;
        done += int(n);
        // Send it now rather than with the next wait.
        if (!m_connection.iterate(0))
            return -1;
    }
    return bytes;
}

void PlatformPulseAudioStream::interrupt()
{
    m_interrupted.store(true);
    m_connection.wakeup();
}
