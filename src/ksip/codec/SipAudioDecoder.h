#pragma once

#include "SipPayload.h"

#include <cstdint>

// Base of the audio decoders: RTP payload in, 16-bit native-endian PCM out
// at the payload's clock rate and channel count.
class SipAudioDecoder
{
public:
    SipAudioDecoder();
    virtual ~SipAudioDecoder();

    // Copies the payload and sets the codec up; 0 or a negative error.
    virtual int init(const SipPayload &payload);
    virtual void release();
    // Decodes `bytes` bytes of payload into `out` (at most `capacity`
    // bytes); returns the PCM bytes written, 0 or less for nothing.
    virtual int decode(const uint8_t *data, int bytes, int16_t *out, int capacity) = 0;

    const SipPayload &payload() const { return m_payload; }

    // The decoder for the payload's codec, as SipAudioEncoder::create.
    static SipAudioDecoder *create(const SipPayload &payload);

protected:
    SipPayload m_payload;

private:
    SipAudioDecoder(const SipAudioDecoder &) = delete;
    SipAudioDecoder &operator=(const SipAudioDecoder &) = delete;
};
