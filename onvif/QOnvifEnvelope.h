#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// SOAP 1.2 envelopes of the client: the WS-Discovery probe and requests
// signed with a WS-Security UsernameToken (password digest).
class QOnvifEnvelope
{
public:
    // A probe for network video transmitters with the given message id.
    static QByteArray probe(const QString &messageId);
    // `body` is the inner XML of the SOAP body. With an empty user name no
    // security header is sent.
    static QByteArray request(const QByteArray &body, const QString &user, const QString &password);
    // The same with a given nonce and time, for checks.
    static QByteArray request(const QByteArray &body, const QString &user, const QString &password,
                              const QByteArray &nonce, const QDateTime &created);
    // base64(SHA-1(nonce + created + password)), nonce as raw bytes.
    static QByteArray passwordDigest(const QByteArray &nonce, const QByteArray &created, const QString &password);
    // The time text of a UsernameToken (UTC, milliseconds, "Z").
    static QByteArray createdText(const QDateTime &created);
    // `text` with the five XML special characters escaped.
    static QByteArray escape(const QString &text);
};
