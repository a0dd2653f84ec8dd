#include "QOnvifFakeCamera.h"

#include "QOnvifEnvelope.h"

#include <QEventLoop>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUdpSocket>
#include <QUuid>

namespace {

const char kEnvelopeOpen[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\""
    " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\""
    " xmlns:tt=\"http://www.onvif.org/ver10/schema\" xmlns:ter=\"http://www.onvif.org/ver10/error\">"
    "<env:Body>";
const char kEnvelopeClose[] = "</env:Body></env:Envelope>";

QString capture(const QByteArray &text, const QString &pattern)
{
    const QRegularExpressionMatch match = QRegularExpression(pattern).match(QString::fromUtf8(text));
    return match.hasMatch() ? match.captured(1) : QString();
}

QByteArray fault(const QByteArray &reason)
{
    return QByteArray(kEnvelopeOpen)
        + "<env:Fault><env:Code><env:Value>env:Sender</env:Value><env:Subcode><env:Value>ter:NotAuthorized"
          "</env:Value></env:Subcode></env:Code><env:Reason><env:Text xml:lang=\"en\">"
        + reason + "</env:Text></env:Reason></env:Fault>" + kEnvelopeClose;
}

} // namespace

QOnvifFakeCamera::QOnvifFakeCamera(const QString &username, const QString &password)
    : m_username(username), m_password(password),
      m_endpoint(QStringLiteral("urn:uuid:") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

QOnvifFakeCamera::~QOnvifFakeCamera()
{
    stop();
}

void QOnvifFakeCamera::setProfiles(const QVector<Profile> &profiles)
{
    QMutexLocker lock(&m_mutex);
    m_profiles = profiles;
}

void QOnvifFakeCamera::setProbeAnswers(int count)
{
    QMutexLocker lock(&m_mutex);
    m_probeAnswers = count;
}

void QOnvifFakeCamera::setRawAnswer(const QString &action, const QByteArray &body)
{
    QMutexLocker lock(&m_mutex);
    m_raw.insert(action, body);
}

void QOnvifFakeCamera::setSilent(bool silent)
{
    QMutexLocker lock(&m_mutex);
    m_silent = silent;
}

QString QOnvifFakeCamera::deviceAddress() const
{
    return QStringLiteral("http://127.0.0.1:%1/onvif/device_service").arg(m_httpPort);
}

QStringList QOnvifFakeCamera::actions() const
{
    QMutexLocker lock(&m_mutex);
    return m_actions;
}

int QOnvifFakeCamera::probesReceived() const
{
    QMutexLocker lock(&m_mutex);
    return m_probes;
}

bool QOnvifFakeCamera::start()
{
    if (m_thread)
        return true;
    QSemaphore ready;
    m_thread = QThread::create([this, &ready] {
        QEventLoop loop;
        QUdpSocket udp;
        QTcpServer server;
        if (udp.bind(QHostAddress(QHostAddress::LocalHost), 0) && server.listen(QHostAddress::LocalHost, 0)) {
            m_probePort = udp.localPort();
            m_httpPort = server.serverPort();
            m_loop = &loop;
        }
        QObject::connect(&udp, &QUdpSocket::readyRead, &udp, [this, &udp] {
            while (udp.hasPendingDatagrams()) {
                QByteArray datagram(int(qMax<qint64>(0, udp.pendingDatagramSize())), '\0');
                QHostAddress from;
                quint16 port = 0;
                udp.readDatagram(datagram.data(), datagram.size(), &from, &port);
                if (!datagram.contains("Probe"))
                    continue;
                int answers = 0;
                {
                    QMutexLocker lock(&m_mutex);
                    ++m_probes;
                    answers = m_probeAnswers;
                }
                const QString relatesTo = capture(datagram, QStringLiteral("MessageID>([^<]*)<"));
                const QByteArray reply =
                    QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                               "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\""
                               " xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
                               " xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\">"
                               "<SOAP-ENV:Header><wsa:RelatesTo>")
                    + QOnvifEnvelope::escape(relatesTo)
                    + "</wsa:RelatesTo></SOAP-ENV:Header><SOAP-ENV:Body><d:ProbeMatches><d:ProbeMatch>"
                      "<wsa:EndpointReference><wsa:Address>"
                    + QOnvifEnvelope::escape(m_endpoint)
                    + "</wsa:Address></wsa:EndpointReference>"
                      "<d:Types>dn:NetworkVideoTransmitter</d:Types><d:XAddrs>"
                    + QOnvifEnvelope::escape(deviceAddress())
                    + "</d:XAddrs><d:MetadataVersion>1</d:MetadataVersion></d:ProbeMatch></d:ProbeMatches>"
                      "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
                for (int i = 0; i < answers; ++i)
                    udp.writeDatagram(reply, from, port);
            }
        });
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this, &server] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
                    socket->setProperty("buffer", buffer);
                    const int headerEnd = buffer.indexOf("\r\n\r\n");
                    if (headerEnd < 0)
                        return;
                    const int length = capture(buffer.left(headerEnd),
                                               QStringLiteral("(?i)content-length:\\s*(\\d+)")).toInt();
                    if (buffer.size() < headerEnd + 4 + length)
                        return;
                    {
                        QMutexLocker lock(&m_mutex);
                        if (m_silent)
                            return;
                    }
                    int status = 200;
                    const QByteArray body = answer(buffer.mid(headerEnd + 4, length), &status);
                    socket->write("HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Error")
                                  + "\r\nContent-Type: application/soap+xml; charset=utf-8\r\nContent-Length: "
                                  + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
            }
        });
        ready.release();
        if (m_loop)
            loop.exec();
        m_loop = nullptr;
    });
    m_thread->start();
    ready.acquire();
    if (!m_loop) {
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
        return false;
    }
    return true;
}

void QOnvifFakeCamera::stop()
{
    if (!m_thread)
        return;
    QMetaObject::invokeMethod(m_loop, [loop = static_cast<QEventLoop *>(m_loop)] { loop->quit(); },
                              Qt::QueuedConnection);
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
}

bool QOnvifFakeCamera::authorised(const QByteArray &request) const
{
    const QString user = capture(request, QStringLiteral("Username>([^<]*)<"));
    const QString digest = capture(request, QStringLiteral("Password[^>]*>([^<]*)<"));
    const QByteArray nonce = QByteArray::fromBase64(capture(request, QStringLiteral("Nonce[^>]*>([^<]*)<")).toLatin1());
    const QByteArray created = capture(request, QStringLiteral("Created>([^<]*)<")).toLatin1();
    const QString expectedUser = QString::fromUtf8(QOnvifEnvelope::escape(m_username));
    return user == expectedUser && !nonce.isEmpty()
        && digest.toLatin1() == QOnvifEnvelope::passwordDigest(nonce, created, m_password);
}

QByteArray QOnvifFakeCamera::answer(const QByteArray &request, int *status)
{
    static const QStringList known = {QStringLiteral("GetDeviceInformation"), QStringLiteral("GetCapabilities"),
                                      QStringLiteral("GetProfiles"), QStringLiteral("GetStreamUri")};
    QString action;
    for (const QString &name : known) {
        if (request.contains(":" + name.toLatin1() + ">") || request.contains(":" + name.toLatin1() + "/>"))
            action = name;
    }
    QMutexLocker lock(&m_mutex);
    m_actions.append(action);
    if (m_raw.contains(action))
        return m_raw.value(action);
    if (!authorised(request)) {
        *status = 400;
        return fault("The action requested requires authorization and the sender is not authorized");
    }
    QByteArray body;
    if (action == QLatin1String("GetDeviceInformation")) {
        body = "<tds:GetDeviceInformationResponse><tds:Manufacturer>Loopback</tds:Manufacturer>"
               "<tds:Model>Test Camera</tds:Model><tds:FirmwareVersion>1.0</tds:FirmwareVersion>"
               "<tds:SerialNumber>0001</tds:SerialNumber><tds:HardwareId>1</tds:HardwareId>"
               "</tds:GetDeviceInformationResponse>";
    } else if (action == QLatin1String("GetCapabilities")) {
        body = "<tds:GetCapabilitiesResponse><tds:Capabilities><tt:Media><tt:XAddr>http://127.0.0.1:"
            + QByteArray::number(m_httpPort) + "/onvif/media_service</tt:XAddr></tt:Media>"
            + "</tds:Capabilities></tds:GetCapabilitiesResponse>";
    } else if (action == QLatin1String("GetProfiles")) {
        body = "<trt:GetProfilesResponse>";
        for (const Profile &profile : qAsConst(m_profiles)) {
            body += "<trt:Profiles fixed=\"true\" token=\"" + QOnvifEnvelope::escape(profile.token) + "\"><tt:Name>"
                + QOnvifEnvelope::escape(profile.name) + "</tt:Name></trt:Profiles>";
        }
        body += "</trt:GetProfilesResponse>";
    } else if (action == QLatin1String("GetStreamUri")) {
        const QString token = capture(request, QStringLiteral("ProfileToken>([^<]*)<"));
        for (const Profile &profile : qAsConst(m_profiles)) {
            if (QString::fromUtf8(QOnvifEnvelope::escape(profile.token)) == token) {
                body = "<trt:GetStreamUriResponse><trt:MediaUri><tt:Uri>" + QOnvifEnvelope::escape(profile.uri)
                    + "</tt:Uri><tt:InvalidAfterConnect>false</tt:InvalidAfterConnect></trt:MediaUri>"
                      "</trt:GetStreamUriResponse>";
            }
        }
        if (body.isEmpty()) {
            *status = 400;
            return fault("No such profile");
        }
    } else {
        *status = 400;
        return fault("Unknown action");
    }
    return QByteArray(kEnvelopeOpen) + body + kEnvelopeClose;
}
