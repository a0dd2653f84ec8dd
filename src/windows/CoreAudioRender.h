#pragma once

#include "RDAudioFormat.h"

#include <memory>
#include <mutex>

class CoreAudioRenderObserver;
class CoreAudioRenderThread;
class PlatformAudioStream;

// Plays on the default playback endpoint: a render thread opens it with a
// 200 ms buffer and asks the observer to fill one period (a tenth of the
// buffer) at a time, as the endpoint makes room. Each period is handed over
// silent, so whatever the observer does not write plays as silence.
class CoreAudioRender
{
public:
    CoreAudioRender();
    // Stops first when still running.
    ~CoreAudioRender();

    CoreAudioRender(const CoreAudioRender &) = delete;
    CoreAudioRender &operator=(const CoreAudioRender &) = delete;

    void setObserver(CoreAudioRenderObserver *observer);
    // Starts the render thread. Always true.
    bool start();
    // Joins the render thread; onRenderClosed has then been called if the
    // thread ran. Not from a callback.
    void stop();
    // The endpoint's mix format, from onRenderStarted until onRenderClosed.
    const RDAudioFormat *format() const { return &m_format; }

private:
    friend class CoreAudioRenderThread;

    bool open();
    void release();
    void renderLoop(CoreAudioRenderThread *thread);
    void interruptRender();

    std::unique_ptr<PlatformAudioStream> m_stream;
    std::mutex m_streamLock;
    RDAudioFormat m_format;
    int m_bufferFrames = 0;
    CoreAudioRenderObserver *m_observer = nullptr;
    CoreAudioRenderThread *m_renderThread = nullptr;
};
