#pragma once

#include "RDAudioFormat.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CoreAudioDeviceDispatchThread;
class CoreAudioDeviceObserver;
class CoreAudioDeviceReadThread;
class PlatformAudioStream;

// Captures one sound endpoint (a microphone or line in, or with loopback
// what a playback endpoint plays) and hands the packets, in the endpoint's
// mix format, to its observer. The endpoint is opened and read on a read
// thread; a dispatch thread delivers, so a slow observer never makes the
// capture drop data. A device that disappears ends the reading with a log
// line and onDeviceClosed; it is not reopened.
class CoreAudioDevice
{
public:
    CoreAudioDevice();
    // Stops first when still running.
    ~CoreAudioDevice();

    CoreAudioDevice(const CoreAudioDevice &) = delete;
    CoreAudioDevice &operator=(const CoreAudioDevice &) = delete;

    // Endpoint id as UTF-8 (the id of an RDCoreDevice); null clears it.
    // With `loopback` non-zero the id names a playback endpoint.
    void setDevice(const char *id, int loopback);
    void clearDevice();
    void setObserver(CoreAudioDeviceObserver *observer);
    // Starts the read and dispatch threads; the outcome of opening reaches
    // the observer. Always true.
    bool start();
    // Joins both threads and frees the packets still queued, undelivered.
    // No callback runs or is pending afterwards. Not from a callback.
    void stop();

    // The endpoint's mix format, from onDeviceOpened until onDeviceClosed.
    const RDAudioFormat *format() const { return &m_format; }
    // The endpoint buffer in frames (100 ms, or 2 s for loopback), once open.
    int bufferFrames() const { return m_bufferFrames; }

private:
    friend class CoreAudioDeviceReadThread;
    friend class CoreAudioDeviceDispatchThread;

    struct Packet {
        std::vector<unsigned char> data;
        int frames = 0;
    };

    bool open();
    void release();
    void captureLoop(CoreAudioDeviceReadThread *thread);
    void dispatchLoop(CoreAudioDeviceDispatchThread *thread);
    void interruptCapture();
    void wakeDispatch();

    std::unique_ptr<PlatformAudioStream> m_stream;
    // Guards m_stream against a stop() from another thread.
    std::mutex m_streamLock;
    RDAudioFormat m_format;
    int m_bufferFrames = 0;
    int m_loopback = 0;
    bool m_hasDeviceId = false;
    std::string m_deviceId;
    CoreAudioDeviceObserver *m_observer = nullptr;
    CoreAudioDeviceReadThread *m_readThread = nullptr;
    CoreAudioDeviceDispatchThread *m_dispatchThread = nullptr;
    std::mutex m_queueLock;
    std::condition_variable m_queueWake;
    std::deque<Packet> m_queue;
    bool m_dispatchDone = false;
};
