// A datagram from the LAN on one of the switch's SIP ports, through what the
// switch does with a request: the registrar's digest check and binding (with
// a nonce that is fresh, so the credentials are really verified), the access
// list on the claimed addresses, and the codec choice on the offered SDP.
#include "AccessList.h"
#include "SipSdp.h"
#include "SwitchRegistrar.h"
#include "SwitchSdp.h"

#include <osipparser2/osip_parser.h>
#include <osipparser2/sdp_message.h>

#include <cstdint>
#include <string>

namespace {

constexpr qint64 kNow = 1800000000;

const AccessList &lan()
{
    static const AccessList acl = [] {
        AccessList a;
        a.parse("<r><network-lists><list name=\"lan\" default=\"deny\">"
                "<node type=\"allow\" cidr=\"192.168.0.0/16\"/><node type=\"deny\" cidr=\"192.168.9.9/32\"/>"
                "</list></network-lists></r>");
        return a;
    }();
    return acl;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = parser_init() == 0;
    if (!ready)
        return 0;
    // Seeds use "@NONCE@" where a fresh nonce of ours belongs.
    static const SwitchRegistrar registrar("fuzz key", QStringLiteral("192.168.1.2"));
    std::string text(reinterpret_cast<const char *>(data), size);
    const std::string nonce = registrar.makeNonce(kNow).toStdString();
    for (size_t at = text.find("@NONCE@"); at != std::string::npos; at = text.find("@NONCE@", at + nonce.size()))
        text.replace(at, 7, nonce);

    osip_message_t *m = nullptr;
    if (osip_message_init(&m) != 0)
        return 0;
    if (osip_message_parse(m, text.data(), text.size()) == 0 && MSG_IS_REQUEST(m)) {
        const auto directory = [](const QString &user, QString *password) {
            *password = QStringLiteral("pw") + user;
            return user.size() < 8;
        };
        const SwitchRegistrar::Result r =
            registrar.handle(m, QStringLiteral("192.168.1.50"), 5060, kNow, directory);
        (void)r.registration.contact.size();
        if (m->from && m->from->url && m->from->url->host)
            lan().allows(QStringLiteral("lan"), QString::fromUtf8(m->from->url->host));
        if (sdp_message_t *sdp = SipSdp::fromMessage(m)) {
            MediaCodec chosen;
            std::string ip;
            int port = 0;
            SwitchSdp::pick(sdp, {{"PCMU", 0, 8000, 1, ""}, {"opus", 102, 48000, 2, ""}}, &chosen, &ip, &port);
            sdp_message_free(sdp);
        }
    }
    osip_message_free(m);
    return 0;
}
