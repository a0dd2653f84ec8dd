#pragma once

#include "PlatformAudioBackend.h"
#include "PlatformAudioStream.h"
#include "PlatformPulseConnection.h"

#include <atomic>
#include <memory>
#include <string>

struct pa_stream;

// A PulseAudio record or playback stream on a connection of its own,
// 48 kHz stereo 32-bit float; the server converts from and to the device.
class PlatformPulseAudioStream : public PlatformAudioStream
{
public:
    // `device` empty: the server's default. Null with `error` set when
    // the server or the device cannot be had.
    static std::unique_ptr<PlatformPulseAudioStream> openRecord(const std::string &device, int bufferMs,
                                                                PlatformAudioBackend::Error *error);
    static std::unique_ptr<PlatformPulseAudioStream> openPlayback(int bufferMs, int periodMs,
                                                                  PlatformAudioBackend::Error *error);
    ~PlatformPulseAudioStream() override;

    PlatformAudioFormat format() const override { return m_format; }
    int bufferFrames() const override { return m_bufferFrames; }
    int read(void *data, int maxBytes) override;
    int write(const void *data, int bytes) override;
    void interrupt() override;

private:
    PlatformPulseAudioStream();
    bool connectStream(bool record, const std::string &device, int bufferMs, int periodMs,
                       PlatformAudioBackend::Error *error);
    bool streamReady() const;

    PlatformPulseConnection m_connection;
    pa_stream *m_stream = nullptr;
    PlatformAudioFormat m_format;
    int m_bufferFrames = 0;
    std::atomic<bool> m_interrupted{false};
    // A captured fragment not yet handed out in full.
    const unsigned char *m_peek = nullptr;
    size_t m_peekSize = 0;
    size_t m_peekOffset = 0;
};
