#include "QOnvifDevice.h"

#include "QOnvifEnvelope.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <atomic>

namespace {
std::atomic<int> g_callTimeoutMs{5000};
}

QOnvifDevice::QOnvifDevice(const QString &address, const QString &endpoint)
    : m_address(address), m_endpoint(endpoint)
{
}

void QOnvifDevice::setCallTimeout(int ms)
{
    g_callTimeoutMs = ms > 0 ? ms : 5000;
}

int QOnvifDevice::callTimeout()
{
    return g_callTimeoutMs;
}

void QOnvifDevice::setAuthentication(const QString &username, const QString &password)
{
    m_username = username;
    m_password = password;
}

bool QOnvifDevice::operator==(const QOnvifDevice &other) const
{
    if (!m_endpoint.isEmpty() || !other.m_endpoint.isEmpty())
        return m_endpoint == other.m_endpoint;
    return m_address == other.m_address;
}

int QOnvifDevice::failed(const QString &error)
{
    m_error = error;
    return -1;
}

bool QOnvifDevice::call(const QString &address, const QByteArray &action, const QByteArray &body, QByteArray *answer)
{
    if (!QOnvifAnswer::isServiceAddress(address)) {
        m_error = QStringLiteral("no service address");
        return false;
    }
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request{QUrl(address)};
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArray("application/soap+xml; charset=utf-8; action=\"") + action + '"');
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(callTimeout());

    QNetworkReply *reply = manager.post(request, QOnvifEnvelope::request(body, m_username, m_password));
    QEventLoop loop;
    QByteArray data;
    bool tooLarge = false;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        data += reply->readAll();
        if (data.size() > QOnvifAnswer::kMaxAnswerBytes) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // A whole-call bound on top of the transfer timeout, which only counts
    // silence: a camera trickling bytes must not hold the search.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline.start(callTimeout());
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    deadline.stop();
    if (!tooLarge && reply->isOpen())
        data += reply->readAll();
    const QNetworkReply::NetworkError code = reply->error();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString errorText = reply->errorString();
    delete reply;

    if (tooLarge) {
        m_error = QStringLiteral("answer too large");
        return false;
    }
    // SOAP faults come with HTTP 400 or 500; their reason is the better error.
    if (code != QNetworkReply::NoError && !((status == 400 || status == 500) && !data.isEmpty())) {
        m_error = code == QNetworkReply::OperationCanceledError ? QStringLiteral("camera did not answer in time")
                                                                 : errorText;
        return false;
    }
    *answer = data;
    return true;
}

int QOnvifDevice::getInfo()
{
    QByteArray answer;
    if (!call(m_address, "http://www.onvif.org/ver10/device/wsdl/GetDeviceInformation",
              "<tds:GetDeviceInformation/>", &answer))
        return -1;
    QOnvifAnswer::DeviceInformation info;
    if (!QOnvifAnswer::parseDeviceInformation(answer, &info, &m_error))
        return -1;
    m_information = info;
    return 0;
}

int QOnvifDevice::getCapabilities()
{
    QByteArray answer;
    if (!call(m_address, "http://www.onvif.org/ver10/device/wsdl/GetCapabilities",
              "<tds:GetCapabilities><tds:Category>All</tds:Category></tds:GetCapabilities>", &answer))
        return -1;
    QString media;
    if (!QOnvifAnswer::parseCapabilities(answer, &media, &m_error))
        return -1;
    m_mediaAddress = media;
    return 0;
}

int QOnvifDevice::getProfiles()
{
    if (m_mediaAddress.isEmpty())
        return failed(QStringLiteral("media service address unknown"));
    QByteArray answer;
    if (!call(m_mediaAddress, "http://www.onvif.org/ver10/media/wsdl/GetProfiles", "<trt:GetProfiles/>", &answer))
        return -1;
    QVector<QOnvifDeviceProfile> profiles;
    if (!QOnvifAnswer::parseProfiles(answer, &profiles, &m_error))
        return -1;
    m_profiles = profiles;
    return 0;
}

int QOnvifDevice::getProfileMediaUri(QOnvifDeviceProfile &profile)
{
    if (m_mediaAddress.isEmpty())
        return failed(QStringLiteral("media service address unknown"));
    const QByteArray body = "<trt:GetStreamUri><trt:StreamSetup>"
                            "<tt:Stream>RTP-Unicast</tt:Stream>"
                            "<tt:Transport><tt:Protocol>RTSP</tt:Protocol></tt:Transport>"
                            "</trt:StreamSetup><trt:ProfileToken>"
        + QOnvifEnvelope::escape(profile.token()) + "</trt:ProfileToken></trt:GetStreamUri>";
    QByteArray answer;
    if (!call(m_mediaAddress, "http://www.onvif.org/ver10/media/wsdl/GetStreamUri", body, &answer))
        return -1;
    QString uri;
    if (!QOnvifAnswer::parseStreamUri(answer, &uri, &m_error))
        return -1;
    profile.setUri(uri);
    return 0;
}
