#pragma once

#include <cstdint>
#include <vector>

struct AVCodecParameters;
class RDAudioTranscoder;
class SipFrameQueue;
class SipPayload;

// Interleaved 16-bit PCM at one rate and channel count: the format a call
// sends and receives, and the helpers that move such audio in and out of an
// RDAudioTranscoder.
class PASipAudioFormat
{
public:
    PASipAudioFormat() = default;
    PASipAudioFormat(int rate, int channels) : m_rate(rate), m_channels(channels) {}

    // Opus: 48000 Hz stereo; the 8000 Hz codecs (G.722's RTP clock
    // included): 8000 Hz mono.
    static PASipAudioFormat forPayload(const SipPayload &payload);

    int rate() const { return m_rate; }
    int channels() const { return m_channels; }
    bool isValid() const { return m_rate > 0 && m_channels > 0; }
    int bytesPerFrame() const { return m_channels * 2; }
    // Bytes of `ms` milliseconds; seconds of `bytes` bytes.
    int bytesFor(int ms) const;
    double secondsFor(int bytes) const;

    // Codec parameters of this PCM (frame size: 20 ms); the caller frees
    // them with avcodec_parameters_free.
    AVCodecParameters *parameters() const;
    // Fills `par` with a mono or stereo layout of `channels`.
    static void setLayout(AVCodecParameters *par, int channels);

    // A transcoder from `src` to `dst`, or null when it cannot open; both
    // parameter sets are freed here. close() closes and deletes one.
    static RDAudioTranscoder *openTranscoder(AVCodecParameters *src, AVCodecParameters *dst);
    static void close(RDAudioTranscoder *&transcoder);
    // Parameters of an audio stream of `codec` (sample format unset: -1).
    static AVCodecParameters *codecParameters(int codec, int rate, int channels, int sampleFormat = -1);

    // Hands `bytes` bytes to the transcoder as one packet.
    static int push(RDAudioTranscoder &transcoder, const uint8_t *data, int bytes);
    // Moves the transcoder's PCM output, in this format, into `queue` as
    // 20 ms frames; the part of a frame not yet complete waits in `carry`.
    // Returns the number of frames queued.
    int drain(RDAudioTranscoder &transcoder, std::vector<uint8_t> &carry, SipFrameQueue &queue) const;

private:
    int m_rate = 0;
    int m_channels = 0;
};
