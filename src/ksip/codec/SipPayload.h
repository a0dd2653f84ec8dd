#pragma once

#include "RDList.h"

#include <cstdint>

class SipPayload;
// Payload lists own their payloads: deleting a list deletes them.
using SipPayloadList = RDList<SipPayload>;

// One codec payload of an SDP media description: what SDP writing and
// parsing, the offer/answer choice and codec creation share.
class SipPayload
{
public:
    SipPayload();
    SipPayload(const char *name, int32_t number, int32_t clockRate, int32_t channels, const char *fmtp = nullptr,
               int32_t ptime = 0);
    // Copies every field.
    SipPayload(const SipPayload &other);
    // Copies name, number, clock rate, channels and format parameters; the
    // frame duration stays as it was.
    SipPayload &operator=(const SipPayload &other);
    ~SipPayload();

    // Empty or null for an unnamed static payload.
    const char *name() const { return m_name; }
    void setName(const char *name);
    // -1 when unset.
    int32_t number() const { return m_number; }
    void setNumber(int32_t number) { m_number = number; }
    // Hz; 0 when unset.
    int32_t clockRate() const { return m_clockRate; }
    void setClockRate(int32_t rate) { m_clockRate = rate; }
    // 0 when unset.
    int32_t channels() const { return m_channels; }
    void setChannels(int32_t channels) { m_channels = channels; }
    // Text of the "a=fmtp" line after the number; may be null.
    const char *fmtp() const { return m_fmtp; }
    void setFmtp(const char *fmtp);
    // Frame duration in ms; 0 means the media's default (20 audio, 40 video).
    int32_t ptime() const { return m_ptime; }
    void setPtime(int32_t ms) { m_ptime = ms; }

    // The audio offer of this agent: opus/48000/2 (102), G722 (9), GSM (3),
    // PCMU (0), PCMA (8), in that order. The caller owns the list.
    static SipPayloadList *defaultAudioPayloads();
    // Copies, in the list's order and with their numbers, the entries this
    // agent can code: opus at 48000 Hz with 2 channels; PCMU, PCMA, G722 and
    // GSM at 8000 Hz mono. Unnamed entries are skipped. A missing or empty
    // list gives the default offer. The caller owns the result.
    static SipPayloadList *supportedPayloads(const SipPayloadList *list);
    // The local entry for the first named remote entry that the local list
    // has with the same name, clock rate and channels; null when either list
    // is missing or empty or nothing matches.
    static SipPayload *matchPayload(const SipPayloadList *local, const SipPayloadList *remote);
    // First entry whose name matches (case-insensitive, whole name); null for
    // an empty name or list.
    static SipPayload *findByName(const SipPayloadList *list, const char *name);
    // First entry with this payload number, or null.
    static SipPayload *findByNumber(const SipPayloadList *list, int32_t number);
    // Audio codecs this agent carries: opus, PCMU, PCMA, G722 and GSM.
    static bool isAudio(const SipPayload *payload);
    // H264.
    static bool isVideo(const SipPayload *payload);
    // True when `name` is one of the audio codec names above.
    static bool isAudioName(const char *name);

private:
    char *m_name = nullptr;
    int32_t m_number = -1;
    int32_t m_clockRate = 0;
    int32_t m_channels = 0;
    char *m_fmtp = nullptr;
    int32_t m_ptime = 0;
};
