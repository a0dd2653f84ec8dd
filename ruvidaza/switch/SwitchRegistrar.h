#pragma once

#include "Registration.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <string>

struct osip_message;

// The registrar and caller authentication of a SIP profile: stateless digest
// challenges (the nonce carries its own time and a keyed hash, so nothing is
// kept per challenge and a flood costs no memory), verification against the
// directory's passwords, and the binding a REGISTER asks for.
//
// Pure logic over a parsed request: no socket, no clock of its own, no
// database. The caller answers with the status and header this returns and
// applies the binding.
class SwitchRegistrar
{
public:
    // A nonce older than this is answered with a fresh challenge marked stale.
    static constexpr qint64 NonceLifetimeSeconds = 300;
    static constexpr qint64 MinExpires = 1;
    static constexpr qint64 MaxExpires = 7200;
    static constexpr qint64 DefaultExpires = 3600;

    // Looks up a directory user's password; false for an unknown user.
    using PasswordLookup = std::function<bool(const QString &user, QString *password)>;

    enum class Outcome {
        Challenge,   // answer `status` (401/407) with `challengeHeader`
        Refused,     // answer `status` (400/403/...) and nothing else
        Authorized,  // credentials good; for REGISTER see `bind`/`unbind`
    };

    struct Result
    {
        Outcome outcome = Outcome::Refused;
        int status = 403;
        std::string challengeHeader;  // "WWW-Authenticate" or "Proxy-Authenticate"
        std::string challengeValue;
        QString user;                 // authenticated user
        // REGISTER only:
        bool bind = false;            // store `registration`
        bool unbind = false;          // remove the user's binding (Expires 0)
        Registration registration;
        qint64 grantedExpires = 0;    // seconds, for the 200's Expires
        QString reason;               // for the log
    };

    SwitchRegistrar(const QByteArray &secret, const QString &realm);

    void setRealm(const QString &realm) { m_realm = realm; }
    QString realm() const { return m_realm; }

    // Checks the credentials of `request` (REGISTER: Authorization, answered
    // 401; anything else: Proxy-Authorization, answered 407). For a REGISTER
    // with good credentials also works out the binding. `sourceIp`/`sourcePort`
    // is where the datagram came from; `nowEpoch` the wall clock in seconds.
    Result handle(const osip_message *request, const QString &sourceIp, int sourcePort, qint64 nowEpoch,
                  const PasswordLookup &passwords) const;

    QString makeNonce(qint64 nowEpoch) const;
    // 1 = fresh and ours, 0 = ours but too old, -1 = not ours.
    int checkNonce(const std::string &nonce, qint64 nowEpoch) const;

private:
    Result challenge(bool registerRequest, bool stale, qint64 nowEpoch) const;
    void bindingOf(const osip_message *request, const QString &sourceIp, int sourcePort, qint64 nowEpoch,
                   Result &result) const;

    QByteArray m_secret;
    QString m_realm;
};
