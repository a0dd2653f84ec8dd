#include "SipAudioDecoder.h"

#include "AudioG722Decodec.h"
#include "AudioGSMDecodec.h"
#include "SipOpusDecoder.h"
#include "SipPCMADecoder.h"
#include "SipPCMUDecoder.h"
#include "SipString.h"

SipAudioDecoder::SipAudioDecoder() = default;

SipAudioDecoder::~SipAudioDecoder() = default;

int SipAudioDecoder::init(const SipPayload &payload)
{
    m_payload = payload;
    m_payload.setPtime(payload.ptime());
    return 0;
}

void SipAudioDecoder::release() {}

SipAudioDecoder *SipAudioDecoder::create(const SipPayload &payload)
{
    const char *name = payload.name();
    SipAudioDecoder *decoder = nullptr;
    if (SipString::caseEqual(name, "opus")) {
        decoder = new SipOpusDecoder;
    } else if (SipString::caseEqual(name, "pcmu")) {
        decoder = new SipPCMUDecoder;
    } else if (SipString::caseEqual(name, "pcma")) {
        decoder = new SipPCMADecoder;
    } else if (SipString::caseEqual(name, "gsm")) {
        decoder = new AudioGSMDecodec;
    } else if (SipString::caseEqual(name, "g722")) {
        decoder = new AudioG722Decodec;
    }
    if (decoder && decoder->init(payload) < 0) {
        decoder->release();
        delete decoder;
        decoder = nullptr;
    }
    return decoder;
}
