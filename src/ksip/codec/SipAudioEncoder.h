#pragma once

#include "SipPayload.h"

#include <cstdint>

// Base of the audio encoders: 16-bit native-endian PCM in, RTP payload out.
// Each object holds a copy of its payload (empty until init) and, for the
// stateful codecs, its own codec state, so encoders of different calls
// never share anything.
class SipAudioEncoder
{
public:
    SipAudioEncoder();
    virtual ~SipAudioEncoder();

    // Copies the payload and sets the codec up; 0 or a negative error.
    virtual int init(const SipPayload &payload);
    virtual void release();
    // Encodes `bytes` bytes of PCM into `out` (at most `capacity` bytes);
    // returns the bytes written, 0 or less when nothing was produced.
    virtual int encode(const int16_t *pcm, int bytes, uint8_t *out, int capacity) = 0;

    const SipPayload &payload() const { return m_payload; }

    // The encoder for the payload's codec ("opus", "PCMU", "PCMA", "GSM",
    // "G722", names compared case-insensitively), initialised; null for any
    // other name or when init fails. The caller owns it.
    static SipAudioEncoder *create(const SipPayload &payload);

protected:
    SipPayload m_payload;

private:
    SipAudioEncoder(const SipAudioEncoder &) = delete;
    SipAudioEncoder &operator=(const SipAudioEncoder &) = delete;
};
