#include "SipMessageFields.h"

#include "SipString.h"

#include <osipparser2/osip_message.h>
#include <osipparser2/osip_parser.h>

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

// A decimal number of at most 9 digits; -1 otherwise.
int smallNumber(const char *text)
{
    if (SipString::isEmpty(text)) {
        return -1;
    }
    int value = 0;
    int digits = 0;
    for (const char *p = text; *p; ++p) {
        if (*p < '0' || *p > '9' || ++digits > 9) {
            return -1;
        }
        value = value * 10 + (*p - '0');
    }
    return value;
}

} // namespace

int SipMessageFields::port(const char *text, int fallback)
{
    if (SipString::isEmpty(text)) {
        return fallback;
    }
    const int value = smallNumber(text);
    return value >= 1 && value <= 65535 ? value : 0;
}

int SipMessageFields::status(const osip_message *message)
{
    return message ? message->status_code : 0;
}

osip_uri *SipMessageFields::contactUri(const osip_message *message)
{
    osip_contact_t *contact = nullptr;
    if (!message || osip_message_get_contact(message, 0, &contact) < 0 || !contact) {
        return nullptr;
    }
    return contact->url;
}

osip_uri *SipMessageFields::recordRouteUri(const osip_message *message)
{
    osip_record_route_t *route = nullptr;
    if (!message || osip_message_get_record_route(message, 0, &route) < 0 || !route) {
        return nullptr;
    }
    return route->url;
}

const char *SipMessageFields::topViaHost(const osip_message *message)
{
    osip_via_t *via = nullptr;
    if (!message || osip_message_get_via(message, 0, &via) < 0 || !via) {
        return nullptr;
    }
    return via->host;
}

const char *SipMessageFields::topViaPort(const osip_message *message)
{
    osip_via_t *via = nullptr;
    if (!message || osip_message_get_via(message, 0, &via) < 0 || !via) {
        return nullptr;
    }
    return via->port;
}

const char *SipMessageFields::topViaParam(const osip_message *message, const char *name)
{
    osip_via_t *via = nullptr;
    if (!message || !name || osip_message_get_via(message, 0, &via) < 0 || !via) {
        return nullptr;
    }
    osip_generic_param_t *param = nullptr;
    if (osip_via_param_get_byname(via, const_cast<char *>(name), &param) < 0 || !param) {
        return nullptr;
    }
    return param->gvalue ? param->gvalue : "";
}

osip_uri *SipMessageFields::toUri(const osip_message *message)
{
    return message && message->to ? message->to->url : nullptr;
}

osip_uri *SipMessageFields::fromUri(const osip_message *message)
{
    return message && message->from ? message->from->url : nullptr;
}

const char *SipMessageFields::fromDisplayName(const osip_message *message)
{
    return message && message->from ? message->from->displayname : nullptr;
}

int SipMessageFields::grantedExpires(const osip_message *response, const char *contactHost)
{
    if (!response) {
        return -1;
    }
    // The Contact naming this host first, then any Contact, then the header.
    for (const char *host : {contactHost, static_cast<const char *>(nullptr)}) {
        for (int i = 0;; ++i) {
            osip_contact_t *contact = nullptr;
            if (osip_message_get_contact(response, i, &contact) < 0 || !contact) {
                break;
            }
            if (host && (!contact->url || !SipString::equal(contact->url->host, host))) {
                continue;
            }
            osip_generic_param_t *param = nullptr;
            if (osip_contact_param_get_byname(contact, const_cast<char *>("expires"), &param) >= 0 && param) {
                const int value = smallNumber(param->gvalue);
                if (value >= 0) {
                    return value;
                }
            }
        }
        if (!host) {
            break;
        }
    }
    osip_header_t *header = nullptr;
    if (osip_message_header_get_byname(response, "expires", 0, &header) >= 0 && header) {
        return smallNumber(header->hvalue);
    }
    return -1;
}

bool SipMessageFields::isLoopback(const char *ip)
{
    in_addr addr{};
    if (!ip || inet_pton(AF_INET, ip, &addr) != 1) {
        return false;
    }
    return (ntohl(addr.s_addr) >> 24) == 127;
}

bool SipMessageFields::sameAddress(const char *a, const char *b)
{
    if (SipString::isEmpty(a) || SipString::isEmpty(b)) {
        return false;
    }
    in_addr x{}, y{};
    if (inet_pton(AF_INET, a, &x) == 1 && inet_pton(AF_INET, b, &y) == 1) {
        return x.s_addr == y.s_addr;
    }
    return std::strcmp(a, b) == 0;
}
