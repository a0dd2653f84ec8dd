#pragma once

#include "CoreAudioRenderObserver.h"
#include "PASipAudioFormat.h"

#include <cstdint>
#include <memory>
#include <mutex>

class CoreAudioRender;
class RDAudioResampler;

// Plays a call's received audio on the PC's default playback endpoint: the
// call's PCM is converted to the endpoint's format as it comes and the
// render thread takes whole periods of it; what is missing plays as silence.
class PASipAudioDeviceWriter : public CoreAudioRenderObserver
{
public:
    explicit PASipAudioDeviceWriter(const PASipAudioFormat &receive);
    ~PASipAudioDeviceWriter();

    bool start();
    void stop();
    // Call audio (RTP receive thread); dropped until the endpoint is open.
    void write(const int16_t *pcm, int bytes);

    void onRenderStarted(CoreAudioRender *render) override;
    void onRenderClosed(CoreAudioRender *render) override;
    void onRenderData(CoreAudioRender *render, unsigned char *buffer, int frames, int bytes) override;

private:
    PASipAudioDeviceWriter(const PASipAudioDeviceWriter &) = delete;
    PASipAudioDeviceWriter &operator=(const PASipAudioDeviceWriter &) = delete;

    const PASipAudioFormat m_receive;
    std::unique_ptr<CoreAudioRender> m_render;
    std::mutex m_lock; // guards the resampler between the two threads
    RDAudioResampler *m_resampler = nullptr;
};
