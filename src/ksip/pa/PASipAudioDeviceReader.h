#pragma once

#include "CoreAudioDeviceObserver.h"
#include "PASipAudioFormat.h"
#include "SipFrameQueue.h"

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class CoreAudioDevice;
class RDAudioTranscoder;
class SipStreamFrame;

// Captures a PC sound endpoint (with loopback, what a playback endpoint
// plays) and queues its audio as 20 ms PCM frames of the call's format.
// An endpoint that cannot be opened or disappears stops the reader with a
// log line.
class PASipAudioDeviceReader : public CoreAudioDeviceObserver
{
public:
    // At most this many frames wait (200 ms); older ones give way, so a
    // call that does not take them never gathers delay.
    static constexpr int kMaxQueuedFrames = 10;

    PASipAudioDeviceReader(const QByteArray &endpointId, int loopback, const PASipAudioFormat &target);
    ~PASipAudioDeviceReader() override;

    // False (and nothing runs) without an endpoint id.
    bool start();
    void stop();
    SipStreamFrame *pop();
    bool isStopped() const { return m_stopped.load(); }

    // The FFmpeg sample format of an endpoint's mix format, or -1 when it is
    // not one this reader takes.
    static int sampleFormat(int formatTag, int bitsPerSample);

    void onDeviceOpened(CoreAudioDevice *device) override;
    void onDeviceClosed(CoreAudioDevice *device) override;
    void onDeviceData(CoreAudioDevice *device, unsigned char *data, int frames, int bytes) override;

private:
    PASipAudioDeviceReader(const PASipAudioDeviceReader &) = delete;
    PASipAudioDeviceReader &operator=(const PASipAudioDeviceReader &) = delete;

    const QByteArray m_endpointId;
    const int m_loopback;
    const PASipAudioFormat m_target;
    std::atomic<bool> m_stopped{false};
    std::unique_ptr<CoreAudioDevice> m_device;
    // Used on the device's dispatch thread only.
    RDAudioTranscoder *m_transcoder = nullptr;
    std::vector<uint8_t> m_carry;
    SipFrameQueue m_queue;
};
