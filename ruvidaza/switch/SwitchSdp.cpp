#include "SwitchSdp.h"

#include "SipSdp.h"

#include <osipparser2/sdp_message.h>

#include <cstdlib>
#include <strings.h>

namespace {

// Static payload types a peer may list without an rtpmap line.
bool staticPayload(int pt, std::string *name, int *rate)
{
    switch (pt) {
    case 0: *name = "PCMU"; *rate = 8000; return true;
    case 8: *name = "PCMA"; *rate = 8000; return true;
    case 9: *name = "G722"; *rate = 8000; return true;
    default: return false;
    }
}

int number(const char *text, int fallback)
{
    if (!text || !*text)
        return fallback;
    char *end = nullptr;
    const long v = std::strtol(text, &end, 10);
    return (*end != '\0' || v < 0 || v > 1000000) ? fallback : int(v);
}

} // namespace

std::string SwitchSdp::describe(const std::string &ip, int port, const std::vector<MediaCodec> &codecs,
                                unsigned long sessionId)
{
    const std::string id = std::to_string(sessionId);
    std::string s = "v=0\r\no=RUVidaza " + id + " " + id + " IN IP4 " + ip + "\r\ns=RUVidaza\r\nc=IN IP4 " + ip +
                    "\r\nt=0 0\r\nm=audio " + std::to_string(port) + " RTP/AVP";
    for (const MediaCodec &c : codecs)
        s += " " + std::to_string(c.payloadType);
    s += "\r\n";
    for (const MediaCodec &c : codecs) {
        s += "a=rtpmap:" + std::to_string(c.payloadType) + " " + c.name + "/" + std::to_string(c.clockRate);
        if (c.channels > 1)
            s += "/" + std::to_string(c.channels);
        s += "\r\n";
        if (!c.fmtp.empty())
            s += "a=fmtp:" + std::to_string(c.payloadType) + " " + c.fmtp + "\r\n";
    }
    s += "a=ptime:20\r\na=sendrecv\r\n";
    return s;
}

bool SwitchSdp::pick(sdp_message *peer, const std::vector<MediaCodec> &ours, MediaCodec *chosen,
                     std::string *remoteIp, int *remotePort)
{
    sdp_media *media = SipSdp::audioMedia(peer);
    sdp_connection *conn = SipSdp::audioConnection(peer);
    const int port = SipSdp::mediaPort(media);
    if (!media || !conn || !conn->c_addr || port <= 0)
        return false;
    for (int i = 0; i < osip_list_size(&media->m_payloads); ++i) {
        const int pt = number(static_cast<const char *>(osip_list_get(&media->m_payloads, i)), -1);
        if (pt < 0 || pt > 127)
            continue;
        std::string name;
        int rate = 0;
        int channels = 1;
        bool mapped = false;
        std::string fmtp;
        for (int a = 0; a < osip_list_size(&media->a_attributes); ++a) {
            auto *attr = static_cast<sdp_attribute_t *>(osip_list_get(&media->a_attributes, a));
            if (!attr || !attr->a_att_field || !attr->a_att_value)
                continue;
            const std::string value = attr->a_att_value;
            const size_t sp = value.find(' ');
            if (sp == std::string::npos || number(value.substr(0, sp).c_str(), -1) != pt)
                continue;
            const std::string rest = value.substr(sp + 1);
            if (strcasecmp(attr->a_att_field, "rtpmap") == 0) {
                const size_t s1 = rest.find('/');
                if (s1 == std::string::npos)
                    continue;
                name = rest.substr(0, s1);
                const size_t s2 = rest.find('/', s1 + 1);
                rate = number(rest.substr(s1 + 1, s2 == std::string::npos ? std::string::npos : s2 - s1 - 1).c_str(), 0);
                channels = s2 == std::string::npos ? 1 : number(rest.substr(s2 + 1).c_str(), 0);
                mapped = true;
            } else if (strcasecmp(attr->a_att_field, "fmtp") == 0) {
                fmtp = rest;
            }
        }
        if (!mapped && !staticPayload(pt, &name, &rate))
            continue;
        for (const MediaCodec &c : ours) {
            if (strcasecmp(c.name.c_str(), name.c_str()) == 0 && c.clockRate == rate && c.channels == channels) {
                *chosen = c;
                chosen->payloadType = pt;
                if (!fmtp.empty())
                    chosen->fmtp = fmtp;
                *remoteIp = conn->c_addr;
                *remotePort = port;
                return true;
            }
        }
    }
    return false;
}
