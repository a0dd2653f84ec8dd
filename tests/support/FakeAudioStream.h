#pragma once

#include "PlatformAudioStream.h"

#include <chrono>
#include <mutex>
#include <string>

class FakeAudioBackend;

// A stream of FakeAudioBackend: a tone capture, a loopback capture of the
// default render endpoint, or playback onto it.
class FakeAudioStream : public PlatformAudioStream
{
public:
    enum Kind { Tone, Loopback, Playback };

    FakeAudioStream(FakeAudioBackend *backend, Kind kind, const std::string &endpoint, const PlatformAudioFormat &format,
                    int bufferFrames, double toneHz, double amplitude, size_t loopbackStart);
    ~FakeAudioStream() override;

    PlatformAudioFormat format() const override { return m_format; }
    int bufferFrames() const override { return m_bufferFrames; }
    int read(void *data, int maxBytes) override;
    int write(const void *data, int bytes) override;
    void interrupt() override;

private:
    // Waits, under the backend's lock, until the stream's turn at `due` (or
    // for a stall or capture limit to end): 1 then, 0 when interrupted, -1
    // when the endpoint is gone.
    int waitForTurn(std::unique_lock<std::mutex> &lock, std::chrono::steady_clock::time_point due, bool capture);
    void putSample(unsigned char *at, float value) const;
    float getSample(const unsigned char *at) const;

    FakeAudioBackend *m_backend;
    Kind m_kind;
    std::string m_endpoint;
    PlatformAudioFormat m_format;
    int m_bufferFrames;
    double m_toneHz;
    double m_amplitude;
    // Frames captured or played so far, and when the stream began.
    size_t m_frames = 0;
    size_t m_loopbackCursor;
    std::chrono::steady_clock::time_point m_start;
    bool m_interrupted = false; // under the backend's lock
};
