#include "SipPayload.h"

#include "SipString.h"

namespace {

const char kOpusFmtp[] = "useinbandfec=1; cbr=1; maxaveragebitrate=48000; maxplaybackrate=48000; ptime=20; "
                         "minptime=10; maxptime=40; stereo=1";

bool isCarried(const SipPayload *p)
{
    const char *n = p->name();
    if (SipString::isEmpty(n)) {
        return false;
    }
    if (SipString::caseEqual(n, "opus")) {
        return p->clockRate() == 48000 && p->channels() == 2;
    }
    if (SipString::caseEqual(n, "PCMU") || SipString::caseEqual(n, "PCMA") || SipString::caseEqual(n, "G722")
        || SipString::caseEqual(n, "GSM")) {
        return p->clockRate() == 8000 && p->channels() == 1;
    }
    return false;
}

} // namespace

SipPayload::SipPayload() = default;

SipPayload::SipPayload(const char *name, int32_t number, int32_t clockRate, int32_t channels, const char *fmtp,
                       int32_t ptime)
    : m_name(SipString::duplicate(name)),
      m_number(number),
      m_clockRate(clockRate),
      m_channels(channels),
      m_fmtp(SipString::duplicate(fmtp)),
      m_ptime(ptime)
{
}

SipPayload::SipPayload(const SipPayload &other)
    : m_name(SipString::duplicate(other.m_name)),
      m_number(other.m_number),
      m_clockRate(other.m_clockRate),
      m_channels(other.m_channels),
      m_fmtp(SipString::duplicate(other.m_fmtp)),
      m_ptime(other.m_ptime)
{
}

SipPayload &SipPayload::operator=(const SipPayload &other)
{
    if (this != &other) {
        SipString::assign(&m_name, other.m_name);
        m_number = other.m_number;
        m_clockRate = other.m_clockRate;
        m_channels = other.m_channels;
        SipString::assign(&m_fmtp, other.m_fmtp);
    }
    return *this;
}

SipPayload::~SipPayload()
{
    SipString::clear(&m_name);
    SipString::clear(&m_fmtp);
}

void SipPayload::setName(const char *name)
{
    SipString::assign(&m_name, name);
}

void SipPayload::setFmtp(const char *fmtp)
{
    SipString::assign(&m_fmtp, fmtp);
}

SipPayloadList *SipPayload::defaultAudioPayloads()
{
    auto *list = new SipPayloadList;
    list->append(new SipPayload("opus", 102, 48000, 2, kOpusFmtp));
    list->append(new SipPayload("G722", 9, 8000, 1));
    list->append(new SipPayload("GSM", 3, 8000, 1));
    list->append(new SipPayload("PCMU", 0, 8000, 1));
    list->append(new SipPayload("PCMA", 8, 8000, 1));
    return list;
}

SipPayloadList *SipPayload::supportedPayloads(const SipPayloadList *list)
{
    if (!list || list->isEmpty()) {
        return defaultAudioPayloads();
    }
    auto *out = new SipPayloadList;
    for (SipPayload *p : *list) {
        if (isCarried(p)) {
            out->append(new SipPayload(*p));
        }
    }
    return out;
}

SipPayload *SipPayload::matchPayload(const SipPayloadList *local, const SipPayloadList *remote)
{
    if (!local || !remote || local->isEmpty() || remote->isEmpty()) {
        return nullptr;
    }
    for (SipPayload *r : *remote) {
        if (SipString::isEmpty(r->name())) {
            continue;
        }
        SipPayload *l = local->find([r](SipPayload *p) {
            return SipString::caseEqual(p->name(), r->name()) && p->clockRate() == r->clockRate()
                && p->channels() == r->channels();
        });
        if (l) {
            return l;
        }
    }
    return nullptr;
}

SipPayload *SipPayload::findByName(const SipPayloadList *list, const char *name)
{
    if (!list || SipString::isEmpty(name)) {
        return nullptr;
    }
    return list->find([name](SipPayload *p) { return SipString::caseEqual(p->name(), name); });
}

SipPayload *SipPayload::findByNumber(const SipPayloadList *list, int32_t number)
{
    if (!list || number < 0) {
        return nullptr;
    }
    return list->find([number](SipPayload *p) { return p->number() == number; });
}

bool SipPayload::isAudioName(const char *name)
{
    return !SipString::isEmpty(name)
        && (SipString::caseEqual(name, "opus") || SipString::caseEqual(name, "PCMU")
            || SipString::caseEqual(name, "PCMA") || SipString::caseEqual(name, "G722")
            || SipString::caseEqual(name, "GSM"));
}

bool SipPayload::isAudio(const SipPayload *payload)
{
    return payload && isAudioName(payload->name());
}

bool SipPayload::isVideo(const SipPayload *payload)
{
    return payload && SipString::caseEqual(payload->name(), "H264");
}
