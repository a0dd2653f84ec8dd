#pragma once

class CoreAudioRender;

// What fills a playback endpoint. Every callback comes from the render
// thread; the bodies do nothing unless overridden.
class CoreAudioRenderObserver
{
public:
    // The endpoint is open; CoreAudioRender::format() is valid from here.
    virtual void onRenderStarted(CoreAudioRender *render) {}
    // The endpoint is closed, or could not be opened.
    virtual void onRenderClosed(CoreAudioRender *render) {}
    // Fill up to `frames` frames (`bytes` bytes) of `buffer` in the mix
    // format; the buffer arrives silent, so what is left unwritten plays
    // as silence.
    virtual void onRenderData(CoreAudioRender *render, unsigned char *buffer, int frames, int bytes) {}

protected:
    ~CoreAudioRenderObserver() = default;
};
