#include "SipSessionDescription.h"

#include "SipString.h"

#include <osipparser2/sdp_message.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// Appends formatted text to a fixed buffer and remembers when it ran out.
class BoundedWriter
{
public:
    BoundedWriter(char *buffer, int size) : m_buffer(buffer), m_size(size) {}

    void add(const char *format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
    {
        if (m_failed) {
            return;
        }
        va_list args;
        va_start(args, format);
        const int room = m_size - m_used;
        const int n = std::vsnprintf(m_buffer + m_used, size_t(room), format, args);
        va_end(args);
        if (n < 0 || n >= room) {
            m_failed = true;
            return;
        }
        m_used += n;
    }

    int finish()
    {
        if (m_failed) {
            m_buffer[0] = '\0';
            return -1;
        }
        return m_used;
    }

private:
    char *m_buffer;
    int m_size;
    int m_used = 0;
    bool m_failed = false;
};

void addMedia(BoundedWriter &out, const char *type, int port, const SipPayloadList *list, bool withChannels)
{
    out.add("m=%s %d RTP/AVP", type, port);
    for (SipPayload *p : *list) {
        out.add(" %d", p->number());
    }
    out.add("\r\n");
    for (SipPayload *p : *list) {
        // A static payload without a name is defined by its number alone.
        if (!SipString::isEmpty(p->name())) {
            if (withChannels && p->channels() > 1) {
                out.add("a=rtpmap:%d %s/%d/%d\r\n", p->number(), p->name(), p->clockRate(), p->channels());
            } else {
                out.add("a=rtpmap:%d %s/%d\r\n", p->number(), p->name(), p->clockRate());
            }
        }
        if (!SipString::isEmpty(p->fmtp())) {
            out.add("a=fmtp:%d %s\r\n", p->number(), p->fmtp());
        }
    }
}

// Reads an unsigned decimal of at most `maxValue` at *text and moves past
// it. False when there is no digit or the value is above the bound.
bool readNumber(const char **text, long maxValue, int *value)
{
    const char *p = *text;
    long v = 0;
    if (*p < '0' || *p > '9') {
        return false;
    }
    while (*p >= '0' && *p <= '9') {
        v = v * 10 + (*p - '0');
        if (v > maxValue) {
            return false;
        }
        ++p;
    }
    *value = int(v);
    *text = p;
    return true;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

void skipBlanks(const char **text)
{
    while (isBlank(**text)) {
        ++*text;
    }
}

constexpr long kMaxPayloadNumber = 127;

// The "<payload number> " that starts rtpmap and fmtp values; *text is left
// on what follows the blanks.
bool readPayloadPrefix(const char **text, int *number)
{
    if (!readNumber(text, kMaxPayloadNumber, number) || !isBlank(**text)) {
        return false;
    }
    skipBlanks(text);
    return true;
}
constexpr long kMaxClockRate = 10000000;
constexpr long kMaxChannels = 255;

} // namespace

int SipSessionDescription::write(char *buffer, int size, const char *localIp, int audioPort, int videoPort,
                  const SipPayloadList *audio, const SipPayloadList *video)
{
    if (!buffer || size <= 0) {
        return -1;
    }
    const char *ip = localIp ? localIp : "";
    BoundedWriter out(buffer, size);
    out.add("v=0\r\no=vorn 0 0 IN IP4 %s\r\ns=conversation\r\nc=IN IP4 %s\r\nt=0 0\r\n", ip, ip);
    if (audio && !audio->isEmpty()) {
        addMedia(out, "audio", audioPort, audio, true);
    }
    if (video && !video->isEmpty()) {
        addMedia(out, "video", videoPort, video, false);
    }
    return out.finish();
}

bool SipSessionDescription::parseRtpmap(const char *value, int *number, char *name, int nameSize, int *rate,
                                        int *channels)
{
    if (!value || !name || nameSize <= 0) {
        return false;
    }
    const char *p = value;
    int n = 0;
    if (!readPayloadPrefix(&p, &n)) {
        return false;
    }
    const char *nameStart = p;
    while (*p && *p != '/' && !isBlank(*p)) {
        ++p;
    }
    const int nameLength = int(p - nameStart);
    if (nameLength == 0 || nameLength > kMaxNameLength || nameLength >= nameSize || *p != '/') {
        return false;
    }
    ++p;
    int r = 0;
    if (!readNumber(&p, kMaxClockRate, &r)) {
        return false;
    }
    int c = 0;
    if (*p == '/') {
        ++p;
        if (!readNumber(&p, kMaxChannels, &c)) {
            return false;
        }
    }
    skipBlanks(&p);
    if (*p != '\0') {
        return false;
    }
    std::memcpy(name, nameStart, size_t(nameLength));
    name[nameLength] = '\0';
    *number = n;
    *rate = r;
    *channels = c;
    return true;
}

bool SipSessionDescription::parseFmtp(const char *value, int *number, char *params, int size)
{
    if (!value || !params || size <= 0) {
        return false;
    }
    const char *p = value;
    int n = 0;
    if (!readPayloadPrefix(&p, &n)) {
        return false;
    }
    const char *start = p;
    while (*p && !isBlank(*p)) {
        ++p;
    }
    const int length = int(p - start);
    if (length == 0 || length > kMaxFmtpLength || length >= size) {
        return false;
    }
    std::memcpy(params, start, size_t(length));
    params[length] = '\0';
    *number = n;
    return true;
}

SipPayloadList *SipSessionDescription::parsePayloads(const sdp_media *media)
{
    if (!media) {
        return nullptr;
    }
    auto *list = new SipPayloadList;
    for (int i = 0; !osip_list_eol(&media->m_payloads, i); ++i) {
        const char *text = static_cast<const char *>(osip_list_get(&media->m_payloads, i));
        int number = 0;
        if (!text || !readNumber(&text, kMaxPayloadNumber, &number) || *text != '\0') {
            continue;
        }
        list->append(new SipPayload(nullptr, number, 0, 0));
    }

    for (int i = 0; !osip_list_eol(&media->a_attributes, i); ++i) {
        auto *attr = static_cast<const sdp_attribute_t *>(osip_list_get(&media->a_attributes, i));
        if (!attr || !attr->a_att_field || !attr->a_att_value) {
            continue;
        }
        if (std::strcmp(attr->a_att_field, "rtpmap") == 0) {
            int number = 0, rate = 0, channels = 0;
            char name[kMaxNameLength + 1];
            if (!parseRtpmap(attr->a_att_value, &number, name, sizeof(name), &rate, &channels)) {
                continue;
            }
            SipPayload *p = SipPayload::findByNumber(list, number);
            if (!p) {
                continue;
            }
            p->setClockRate(rate);
            p->setName(name);
            if (SipPayload::isAudioName(name) && channels <= 0) {
                channels = 1;
            }
            p->setChannels(channels);
        } else if (std::strcmp(attr->a_att_field, "fmtp") == 0) {
            int number = 0;
            char params[kMaxFmtpLength + 1];
            if (!parseFmtp(attr->a_att_value, &number, params, sizeof(params))) {
                continue;
            }
            if (SipPayload *p = SipPayload::findByNumber(list, number)) {
                p->setFmtp(params);
            }
        }
    }

    // Static payloads that came without an rtpmap line.
    for (SipPayload *p : *list) {
        if (p->number() != 0 && p->number() != 8) {
            continue;
        }
        if (SipString::isEmpty(p->name())) {
            p->setName(p->number() == 0 ? "PCMU" : "PCMA");
        }
        if (p->clockRate() <= 0) {
            p->setClockRate(8000);
        }
        if (p->channels() <= 0) {
            p->setChannels(1);
        }
    }
    return list;
}
