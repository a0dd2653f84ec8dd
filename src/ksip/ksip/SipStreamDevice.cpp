#include "SipStreamDevice.h"

SipStreamDevice::SipStreamDevice() = default;

SipStreamDevice::~SipStreamDevice() = default;

int SipStreamDevice::openAudioSource(const SipPayload &)
{
    return 0;
}

void SipStreamDevice::closeAudioSource() {}

int SipStreamDevice::openAudioSink(const SipPayload &)
{
    return 0;
}

void SipStreamDevice::closeAudioSink() {}

SipStreamFrame *SipStreamDevice::readAudio(int)
{
    return nullptr;
}

int SipStreamDevice::writeAudio(const int16_t *, int, uint32_t)
{
    return 0;
}

int SipStreamDevice::openVideoSource(const SipPayload &)
{
    return 0;
}

void SipStreamDevice::closeVideoSource() {}

int SipStreamDevice::openVideoSink(const SipPayload &)
{
    return 0;
}

void SipStreamDevice::closeVideoSink() {}

SipStreamFrame *SipStreamDevice::readVideo(int)
{
    return nullptr;
}

int SipStreamDevice::writeVideo(const uint8_t *, int, uint32_t)
{
    return 0;
}

bool SipStreamDevice::isSourceFinished()
{
    return false;
}

void SipStreamDevice::stop()
{
    closeAudioSource();
    closeAudioSink();
    closeVideoSource();
    closeVideoSink();
}

void SipStreamDevice::setVolume(int volume)
{
    m_volume = volume;
}

void SipStreamDevice::applyVolume(int16_t *pcm, int samples, int volume)
{
    if (!pcm || samples <= 0 || volume == 100) {
        return;
    }
    for (int i = 0; i < samples; ++i) {
        if (volume == 0) {
            pcm[i] = 0;
            continue;
        }
        // Integer arithmetic truncates toward zero, as the scaling must.
        int v = pcm[i] * volume / 100;
        if (v > 32767) {
            v = 32767;
        } else if (v < -32768) {
            v = -32768;
        }
        pcm[i] = static_cast<int16_t>(v);
    }
}
