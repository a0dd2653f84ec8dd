#pragma once

#include <cstdint>

class SipPayload;
class SipStreamFrame;

// The media end of a call: hands out the audio (and video) to send and
// takes what was received. The base sends nothing and drops everything;
// the application's devices override what they carry.
class SipStreamDevice
{
public:
    SipStreamDevice();
    virtual ~SipStreamDevice();

    // PCM handed out is in the send payload's format; 0 or a negative error.
    virtual int openAudioSource(const SipPayload &payload);
    virtual void closeAudioSource();
    // PCM taken in is in the receive payload's format.
    virtual int openAudioSink(const SipPayload &payload);
    virtual void closeAudioSink();
    // The next frame of about `milliseconds` (the caller owns it), or null.
    virtual SipStreamFrame *readAudio(int milliseconds);
    virtual int writeAudio(const int16_t *pcm, int bytes, uint32_t timestamp);

    virtual int openVideoSource(const SipPayload &payload);
    virtual void closeVideoSource();
    virtual int openVideoSink(const SipPayload &payload);
    virtual void closeVideoSink();
    virtual SipStreamFrame *readVideo(int milliseconds);
    virtual int writeVideo(const uint8_t *data, int bytes, uint32_t timestamp);

    // True once no more audio will come; the call then ends.
    virtual bool isSourceFinished();
    // Closes audio source, audio sink, video source and video sink.
    virtual void stop();
    virtual void setVolume(int volume);
    int volume() const { return m_volume; }

    // Scales 16-bit samples by volume/100 (0..200): 100 leaves them, 0
    // zeroes them, other values truncate toward zero and clamp.
    static void applyVolume(int16_t *pcm, int samples, int volume);

protected:
    int m_volume = 100;

private:
    SipStreamDevice(const SipStreamDevice &) = delete;
    SipStreamDevice &operator=(const SipStreamDevice &) = delete;
};
