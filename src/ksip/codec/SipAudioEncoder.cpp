#include "SipAudioEncoder.h"

#include "AudioG722Encodec.h"
#include "AudioGSMEncodec.h"
#include "SipOpusEncoder.h"
#include "SipPCMAEncoder.h"
#include "SipPCMUEncoder.h"
#include "SipString.h"

SipAudioEncoder::SipAudioEncoder() = default;

SipAudioEncoder::~SipAudioEncoder() = default;

int SipAudioEncoder::init(const SipPayload &payload)
{
    m_payload = payload;
    m_payload.setPtime(payload.ptime());
    return 0;
}

void SipAudioEncoder::release() {}

SipAudioEncoder *SipAudioEncoder::create(const SipPayload &payload)
{
    const char *name = payload.name();
    SipAudioEncoder *encoder = nullptr;
    if (SipString::caseEqual(name, "opus")) {
        encoder = new SipOpusEncoder;
    } else if (SipString::caseEqual(name, "pcmu")) {
        encoder = new SipPCMUEncoder;
    } else if (SipString::caseEqual(name, "pcma")) {
        encoder = new SipPCMAEncoder;
    } else if (SipString::caseEqual(name, "gsm")) {
        encoder = new AudioGSMEncodec;
    } else if (SipString::caseEqual(name, "g722")) {
        encoder = new AudioG722Encodec;
    }
    if (encoder && encoder->init(payload) < 0) {
        encoder->release();
        delete encoder;
        encoder = nullptr;
    }
    return encoder;
}
