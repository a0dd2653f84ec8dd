// A datagram from the network on a call's RTP port: the strict header
// parser, then the payload through every audio decoder and the H.264
// depacketiser, as the receive thread would hand it on.
#include "RtpPacket.h"
#include "SipAudioDecoder.h"
#include "SipRtpSession.h"
#include "SipRtspSessionObserver.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

class Sink : public SipRtspSessionObserver
{
public:
    double onRtpSend(SipRtpSession *) override { return 0; }
    void onRtpPacket(SipRtpSession *, const RtpPacket &, const uint8_t *payload, int length, uint32_t) override
    {
        // Touch every byte handed on, so a bad bound is seen at once.
        for (int i = 0; i < length; ++i) {
            sum += payload[i];
        }
    }
    void onRtpTimeout(SipRtpSession *) override {}
    unsigned sum = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static SipAudioDecoder *decoders[] = {
        SipAudioDecoder::create(SipPayload("opus", 102, 48000, 2)), SipAudioDecoder::create(SipPayload("G722", 9, 8000, 1)),
        SipAudioDecoder::create(SipPayload("GSM", 3, 8000, 1)), SipAudioDecoder::create(SipPayload("PCMU", 0, 8000, 1)),
        SipAudioDecoder::create(SipPayload("PCMA", 8, 8000, 1))};
    static SipRtpSession video;
    static Sink sink;
    video.setObserver(&sink);

    RtpPacket packet;
    if (!packet.parse(data, static_cast<int>(size))) {
        return 0;
    }
    if (packet.payload() < packet.data() || packet.payloadLength() < 0
        || packet.payload() + packet.payloadLength() > packet.data() + packet.length()) {
        std::abort();
    }
    int16_t pcm[3840];
    for (SipAudioDecoder *decoder : decoders) {
        const int n = decoder->decode(packet.payload(), packet.payloadLength(), pcm, sizeof(pcm));
        if (n > static_cast<int>(sizeof(pcm))) {
            std::abort();
        }
    }
    video.handleVideoPacket(packet);
    return 0;
}
