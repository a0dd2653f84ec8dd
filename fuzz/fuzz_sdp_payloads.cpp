// A peer's SDP body: the stack's SDP parser (as a call's remote SDP is
// read), then this agent's payload reader on each media description, the
// attribute parsers on the raw bytes, and the answer writer on what was read.
#include "SipPayload.h"
#include "SipSdp.h"
#include "SipSessionDescription.h"

#include <osipparser2/osip_port.h>
#include <osipparser2/sdp_message.h>

#include <cstdint>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);

    int number = 0, rate = 0, channels = 0;
    char name[SipSessionDescription::kMaxNameLength + 1];
    char params[SipSessionDescription::kMaxFmtpLength + 1];
    SipSessionDescription::parseRtpmap(text.c_str(), &number, name, sizeof(name), &rate, &channels);
    SipSessionDescription::parseFmtp(text.c_str(), &number, params, sizeof(params));

    sdp_message_t *sdp = SipSdp::parse(text);
    if (sdp) {
        for (int i = 0; !osip_list_eol(&sdp->m_medias, i); ++i) {
            auto *media = static_cast<sdp_media_t *>(osip_list_get(&sdp->m_medias, i));
            std::unique_ptr<SipPayloadList> list(SipSessionDescription::parsePayloads(media));
            std::unique_ptr<SipPayloadList> carried(SipPayload::supportedPayloads(list.get()));
            char body[SipSessionDescription::kBufferSize];
            SipSessionDescription::write(body, sizeof(body), "127.0.0.1", 35000, 35002, carried.get(), list.get());
        }
        sdp_message_free(sdp);
    }
    return 0;
}
