#pragma once

#include "PlatformAudioBackend.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

class FakeAudioStream;

// An in-process sound server for tests, put in place of the system's for
// its lifetime. Capture endpoints play a sine tone; the first render
// endpoint is the default one, and everything written to it is kept (as
// float samples) for the test to read, and can be captured back through a
// loopback stream of that endpoint. Streams run at the clock's pace unless
// told otherwise. Streams must be closed before the backend goes.
class FakeAudioBackend : public PlatformAudioBackend
{
public:
    FakeAudioBackend();
    ~FakeAudioBackend() override;

    void addEndpoint(const std::string &id, const std::string &name, int type, double toneHz = 1000.0,
                     double amplitude = 0.5);
    // Streams open on the endpoint fail from their next read or write.
    void removeEndpoint(const std::string &id);
    // Format of every stream opened from now on (default 48 kHz stereo float).
    void setFormat(const PlatformAudioFormat &format);
    // false: reads and writes return as fast as they are called.
    void setRealTime(bool realTime);
    // A tone capture stream gives at most `frames` frames, then waits
    // (0: no limit).
    void setCaptureLimit(size_t frames);
    // A stalled endpoint neither captures nor takes audio: reads and
    // writes wait until interrupted, the endpoint goes, or the stall ends.
    void setStalled(bool stalled);
    // No server: listing and opening fail.
    void setUnavailable(bool unavailable);

    // Interleaved samples played on the default render endpoint so far.
    std::vector<float> played() const;
    // Byte counts of every write to a render stream, in order.
    std::vector<int> writeSizes() const;
    // Waits until `frames` sample frames have been played; false after
    // `timeoutMs`.
    bool waitPlayedFrames(size_t frames, int timeoutMs) const;
    // Buffer asked for by the last capture open, in ms.
    int lastCaptureBufferMs() const;
    int openStreams() const;
    // Waits until some stream has been interrupted; false after `timeoutMs`.
    bool waitInterrupted(int timeoutMs) const;

    bool listEndpoints(int type, std::vector<PlatformAudioEndpoint> *out) override;
    std::unique_ptr<PlatformAudioStream> openCapture(const std::string &id, bool loopback, int bufferMs,
                                                     Error *error) override;
    std::unique_ptr<PlatformAudioStream> openPlayback(int bufferMs, int periodMs, Error *error) override;

private:
    friend class FakeAudioStream;

    struct Endpoint {
        PlatformAudioEndpoint info;
        double toneHz;
        double amplitude;
    };
    const Endpoint *findLocked(const std::string &id) const;

    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::vector<Endpoint> m_endpoints;
    PlatformAudioFormat m_format;
    bool m_realTime = true;
    bool m_unavailable = false;
    size_t m_captureLimitFrames = 0;
    bool m_stalled = false;
    std::vector<float> m_played;
    std::vector<int> m_writeSizes;
    int m_lastCaptureBufferMs = 0;
    int m_openStreams = 0;
    int m_interrupts = 0;
};
