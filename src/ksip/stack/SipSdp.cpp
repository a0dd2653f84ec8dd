#include "SipSdp.h"

#include <osipparser2/osip_message.h>
#include <osipparser2/osip_parser.h>
#include <osipparser2/sdp_message.h>

#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

bool isSdpType(const osip_content_type_t *type)
{
    return type && type->type && type->subtype && strcasecmp(type->type, "application") == 0 &&
           strcasecmp(type->subtype, "sdp") == 0;
}

sdp_media *mediaOf(sdp_message *sdp, const char *kind, int *index)
{
    if (!sdp)
        return nullptr;
    const int count = osip_list_size(&sdp->m_medias);
    for (int i = 0; i < count; ++i) {
        auto *media = static_cast<sdp_media *>(osip_list_get(&sdp->m_medias, i));
        if (media && media->m_media && strcasecmp(media->m_media, kind) == 0) {
            if (index)
                *index = i;
            return media;
        }
    }
    return nullptr;
}

sdp_connection *connectionOf(sdp_message *sdp, const char *kind)
{
    sdp_media *media = mediaOf(sdp, kind, nullptr);
    if (!media)
        return nullptr;
    auto *own = static_cast<sdp_connection *>(osip_list_get(&media->c_connections, 0));
    if (own && own->c_addr)
        return own;
    return sdp->c_connection;
}

} // namespace

sdp_message *SipSdp::parse(const std::string &text)
{
    // Every line must be "<letter>=<value>" without control characters:
    // oSIP's SDP parser reads past the end of the text on some lines that
    // are not. Lines are rewritten with CR LF endings, the last one too.
    std::string clean;
    clean.reserve(text.size() + 2);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        size_t stop = end;
        if (stop > start && text[stop - 1] == '\r')
            --stop;
        if (stop > start) {
            if (stop - start < 2 || text[start] < 'a' || text[start] > 'z' || text[start + 1] != '=')
                return nullptr;
            for (size_t i = start; i < stop; ++i) {
                const unsigned char c = static_cast<unsigned char>(text[i]);
                if ((c < 0x20 && c != '\t') || c == 0x7f)
                    return nullptr;
            }
            clean.append(text, start, stop - start);
            clean += "\r\n";
        }
        start = end + 1;
    }
    if (clean.empty())
        return nullptr;
    // A few NULs past the end as well: the parser looks one byte ahead.
    clean.append(4, '\0');
    sdp_message *sdp = nullptr;
    if (sdp_message_init(&sdp) != 0)
        return nullptr;
    if (sdp_message_parse(sdp, clean.c_str()) != 0) {
        sdp_message_free(sdp);
        return nullptr;
    }
    return sdp;
}

sdp_message *SipSdp::fromMessage(const osip_message *message)
{
    if (!message)
        return nullptr;
    // The message's Content-Type covers a single body; a multipart body
    // carries its own type per part.
    const bool whole = isSdpType(message->content_type);
    const int count = osip_list_size(&message->bodies);
    for (int i = 0; i < count; ++i) {
        auto *body = static_cast<osip_body_t *>(osip_list_get(&message->bodies, i));
        if (!body || !body->body || body->length == 0)
            continue;
        if (!whole && !isSdpType(body->content_type))
            continue;
        sdp_message *sdp = parse(std::string(body->body, body->length));
        if (sdp)
            return sdp;
    }
    return nullptr;
}

sdp_media *SipSdp::audioMedia(sdp_message *sdp)
{
    return mediaOf(sdp, "audio", nullptr);
}

sdp_media *SipSdp::videoMedia(sdp_message *sdp)
{
    return mediaOf(sdp, "video", nullptr);
}

sdp_connection *SipSdp::audioConnection(sdp_message *sdp)
{
    return connectionOf(sdp, "audio");
}

sdp_connection *SipSdp::videoConnection(sdp_message *sdp)
{
    return connectionOf(sdp, "video");
}

int SipSdp::mediaPort(const sdp_media *media)
{
    if (!media || !media->m_port || !*media->m_port)
        return 0;
    char *end = nullptr;
    const long port = std::strtol(media->m_port, &end, 10);
    if (*end != '\0' || port < 0 || port > 65535)
        return 0;
    return static_cast<int>(port);
}
