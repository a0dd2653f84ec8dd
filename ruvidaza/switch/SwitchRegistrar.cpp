#include "SwitchRegistrar.h"

#include "SipDigest.h"

#include <osipparser2/osip_message.h>
#include <osipparser2/osip_parser.h>

#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

std::string unquote(const char *text)
{
    std::string s = text ? text : "";
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        s = s.substr(1, s.size() - 2);
    return s;
}

// Reads a decimal count of seconds; -1 when the text is not one.
qint64 seconds(const char *text)
{
    if (!text || !*text)
        return -1;
    qint64 v = 0;
    for (const char *p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return -1;
        v = v * 10 + (*p - '0');
        if (v > 100000000)
            return -1;
    }
    return v;
}

QString uriText(const osip_uri_t *uri)
{
    char *s = nullptr;
    if (!uri || osip_uri_to_str(uri, &s) != 0 || !s)
        return QString();
    const QString out = QString::fromUtf8(s);
    osip_free(s);
    return out;
}

} // namespace

SwitchRegistrar::SwitchRegistrar(const QByteArray &secret, const QString &realm) : m_secret(secret), m_realm(realm)
{
}

QString SwitchRegistrar::makeNonce(qint64 nowEpoch) const
{
    const std::string t = QByteArray::number(nowEpoch, 16).toStdString();
    return QString::fromStdString(t + "." + SipDigest::md5Hex(m_secret.toHex().toStdString() + ":" + t));
}

int SwitchRegistrar::checkNonce(const std::string &nonce, qint64 nowEpoch) const
{
    const size_t dot = nonce.find('.');
    if (dot == std::string::npos || dot == 0 || dot > 16)
        return -1;
    const std::string t = nonce.substr(0, dot);
    if (SipDigest::md5Hex(m_secret.toHex().toStdString() + ":" + t) != nonce.substr(dot + 1))
        return -1;
    bool ok = false;
    const qint64 issued = QByteArray::fromStdString(t).toLongLong(&ok, 16);
    if (!ok || issued > nowEpoch + 5)
        return -1;
    return nowEpoch - issued <= NonceLifetimeSeconds ? 1 : 0;
}

SwitchRegistrar::Result SwitchRegistrar::challenge(bool registerRequest, bool stale, qint64 nowEpoch) const
{
    Result r;
    r.outcome = Outcome::Challenge;
    r.status = registerRequest ? 401 : 407;
    r.challengeHeader = registerRequest ? "WWW-Authenticate" : "Proxy-Authenticate";
    r.challengeValue = "Digest realm=\"" + m_realm.toStdString() + "\", nonce=\"" +
                       makeNonce(nowEpoch).toStdString() + "\", algorithm=MD5, qop=\"auth\"";
    if (stale)
        r.challengeValue += ", stale=true";
    r.reason = stale ? QStringLiteral("stale nonce") : QStringLiteral("challenge");
    return r;
}

SwitchRegistrar::Result SwitchRegistrar::handle(const osip_message *m, const QString &sourceIp, int sourcePort,
                                                qint64 nowEpoch, const PasswordLookup &passwords) const
{
    Result refused;
    if (!m || !m->sip_method || !m->from || !m->from->url || !m->to || !m->to->url) {
        refused.status = 400;
        refused.reason = QStringLiteral("incomplete request");
        return refused;
    }
    const bool isRegister = strcasecmp(m->sip_method, "REGISTER") == 0;
    // The identity being claimed: the address of record for REGISTER, the
    // caller for anything else.
    const osip_uri_t *identity = isRegister ? m->to->url : m->from->url;
    const QString claimed = QString::fromUtf8(identity->username ? identity->username : "");

    const osip_list_t *list = isRegister ? &m->authorizations : &m->proxy_authorizations;
    const osip_authorization_t *credentials = nullptr;
    for (int i = 0; i < osip_list_size(list); ++i) {
        auto *a = static_cast<osip_authorization_t *>(osip_list_get(list, i));
        if (a && unquote(a->realm) == m_realm.toStdString()) {
            credentials = a;
            break;
        }
    }
    if (!credentials)
        return challenge(isRegister, false, nowEpoch);

    const int nonceState = checkNonce(unquote(credentials->nonce), nowEpoch);
    if (nonceState < 0)
        return challenge(isRegister, false, nowEpoch);
    if (nonceState == 0)
        return challenge(isRegister, true, nowEpoch);

    const QString user = QString::fromStdString(unquote(credentials->username));
    QString password;
    if (user.isEmpty() || user != claimed || !passwords(user, &password)) {
        refused.reason = QStringLiteral("unknown user or identity mismatch: %1").arg(user);
        return refused;
    }
    char *text = nullptr;
    if (osip_authorization_to_str(credentials, &text) != 0 || !text) {
        refused.status = 400;
        refused.reason = QStringLiteral("unreadable credentials");
        return refused;
    }
    const std::string value = text;
    osip_free(text);
    if (!SipDigest::verify(value, m->sip_method, m_realm.toStdString(), unquote(credentials->nonce),
                           password.toStdString())) {
        refused.reason = QStringLiteral("wrong password for %1").arg(user);
        return refused;
    }

    Result ok;
    ok.outcome = Outcome::Authorized;
    ok.status = 200;
    ok.user = user;
    if (isRegister)
        bindingOf(m, sourceIp, sourcePort, nowEpoch, ok);
    return ok;
}

void SwitchRegistrar::bindingOf(const osip_message *m, const QString &sourceIp, int sourcePort, qint64 nowEpoch,
                                Result &r) const
{
    qint64 expires = -1;
    osip_header_t *header = nullptr;
    if (osip_message_header_get_byname(m, "expires", 0, &header) >= 0 && header)
        expires = seconds(header->hvalue);

    osip_contact_t *contact = nullptr;
    osip_message_get_contact(m, 0, &contact);
    if (!contact) {
        // A query: nothing changes; the 200 lists what is bound.
        r.grantedExpires = 0;
        return;
    }
    if (contact->displayname && std::strcmp(contact->displayname, "*") == 0) {
        if (expires != 0) {
            r.outcome = Outcome::Refused;
            r.status = 400;
            r.reason = QStringLiteral("wildcard contact without Expires: 0");
            return;
        }
        r.unbind = true;
        return;
    }
    if (!contact->url) {
        r.outcome = Outcome::Refused;
        r.status = 400;
        r.reason = QStringLiteral("unreadable contact");
        return;
    }
    osip_generic_param_t *param = nullptr;
    if (osip_contact_param_get_byname(contact, const_cast<char *>("expires"), &param) == 0 && param) {
        const qint64 v = seconds(param->gvalue);
        if (v >= 0)
            expires = v;
    }
    if (expires == 0) {
        r.unbind = true;
        return;
    }
    if (expires < 0)
        expires = DefaultExpires;
    expires = qBound(MinExpires, expires, MaxExpires);

    Registration &reg = r.registration;
    reg.sipUser = r.user;
    reg.sipHost = QString::fromUtf8(m->to->url->host ? m->to->url->host : "");
    reg.contact = QLatin1Char('<') + uriText(contact->url) + QLatin1Char('>');
    reg.status = QStringLiteral("Registered(UDP)");
    reg.networkIp = sourceIp;
    reg.networkPort = QString::number(sourcePort);
    reg.callId = QString::fromUtf8(m->call_id && m->call_id->number ? m->call_id->number : "");
    if (m->call_id && m->call_id->host)
        reg.callId += QLatin1Char('@') + QString::fromUtf8(m->call_id->host);
    reg.expires = nowEpoch + expires;
    r.grantedExpires = expires;
    r.bind = true;
}
