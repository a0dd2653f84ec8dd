// A datagram from the network on the SIP port: the stack's parse, checks,
// transaction and dialog handling, then the SDP helpers on whatever body the
// resulting events carry, and the answers the application would send.
#include "SipDigest.h"
#include "SipSdp.h"
#include "SipStack.h"

#include <osipparser2/osip_parser.h>
#include <osipparser2/sdp_message.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void touchSdp(sdp_message_t *sdp)
{
    if (!sdp)
        return;
    SipSdp::mediaPort(SipSdp::audioMedia(sdp));
    SipSdp::mediaPort(SipSdp::videoMedia(sdp));
    if (sdp_connection_t *c = SipSdp::audioConnection(sdp))
        (void)c->c_addr;
    if (sdp_connection_t *c = SipSdp::videoConnection(sdp))
        (void)c->c_addr;
    sdp_message_free(sdp);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *text = reinterpret_cast<const char *>(data);
    {
        SipStackConfig config;
        config.t1Ms = 1;
        SipStack stack(config);
        if (stack.init() != 0)
            return 0;
        stack.setLocalAddress("127.0.0.1");
        stack.receiveDatagram(text, size, "127.0.0.1", 5070);
        while (SipStackEventPtr event = stack.eventWait(0, 0)) {
            touchSdp(SipSdp::fromMessage(event->request));
            touchSdp(stack.getRemoteSdp(event->tid));
            if (event->type == SipStackEventType::CallInvite || event->type == SipStackEventType::CallReinvite) {
                stack.callSendAnswer(event->tid, 180, nullptr);
                stack.callSendAnswer(event->tid, event->type == SipStackEventType::CallInvite ? 486 : 200, nullptr);
            } else if (event->type == SipStackEventType::MessageNew) {
                stack.messageSendAnswer(event->tid, 200, nullptr);
            }
        }
    }
    // The same bytes as a bare SDP body and as a digest header value.
    const std::string copy(text, size);
    touchSdp(SipSdp::parse(copy));
    SipDigest::Params params;
    if (SipDigest::parse(copy, params))
        SipDigest::authorization(params, "u", "p", "REGISTER", "sip:x", "c", 1);
    return 0;
}
