#include "QOnvifEnvelope.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace {
const char kEnvelopeOpen[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
    " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\""
    " xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\""
    " xmlns:tt=\"http://www.onvif.org/ver10/schema\">";
}

QByteArray QOnvifEnvelope::escape(const QString &text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&apos;")).toUtf8();
}

QByteArray QOnvifEnvelope::probe(const QString &messageId)
{
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                      "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
                      " xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
                      " xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
                      " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\">"
                      "<s:Header>"
                      "<a:Action s:mustUnderstand=\"1\">http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</a:Action>"
                      "<a:MessageID>")
        + escape(messageId)
        + "</a:MessageID>"
          "<a:To s:mustUnderstand=\"1\">urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To>"
          "</s:Header>"
          "<s:Body><d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types></d:Probe></s:Body>"
          "</s:Envelope>";
}

QByteArray QOnvifEnvelope::createdText(const QDateTime &created)
{
    return created.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")).toLatin1();
}

QByteArray QOnvifEnvelope::passwordDigest(const QByteArray &nonce, const QByteArray &created, const QString &password)
{
    QCryptographicHash sha1(QCryptographicHash::Sha1);
    sha1.addData(nonce);
    sha1.addData(created);
    sha1.addData(password.toUtf8());
    return sha1.result().toBase64();
}

QByteArray QOnvifEnvelope::request(const QByteArray &body, const QString &user, const QString &password)
{
    QByteArray nonce(16, '\0');
    for (char &c : nonce)
        c = char(QRandomGenerator::system()->bounded(256));
    return request(body, user, password, nonce, QDateTime::currentDateTimeUtc());
}

QByteArray QOnvifEnvelope::request(const QByteArray &body, const QString &user, const QString &password,
                                   const QByteArray &nonce, const QDateTime &created)
{
    QByteArray out(kEnvelopeOpen);
    if (!user.isEmpty()) {
        const QByteArray createdAt = createdText(created);
        out += "<s:Header>"
               "<wsse:Security s:mustUnderstand=\"1\""
               " xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\""
               " xmlns:wsu=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd\">"
               "<wsse:UsernameToken><wsse:Username>";
        out += escape(user);
        out += "</wsse:Username><wsse:Password Type=\"http://docs.oasis-open.org/wss/2004/01/"
               "oasis-200401-wss-username-token-profile-1.0#PasswordDigest\">";
        out += passwordDigest(nonce, createdAt, password);
        out += "</wsse:Password><wsse:Nonce EncodingType=\"http://docs.oasis-open.org/wss/2004/01/"
               "oasis-200401-wss-soap-message-security-1.0#Base64Binary\">";
        out += nonce.toBase64();
        out += "</wsse:Nonce><wsu:Created>";
        out += createdAt;
        out += "</wsu:Created></wsse:UsernameToken></wsse:Security></s:Header>";
    }
    out += "<s:Body>";
    out += body;
    out += "</s:Body></s:Envelope>";
    return out;
}
