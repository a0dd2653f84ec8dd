#include "QOnvif.h"

#include "QOnvifAnswer.h"
#include "QOnvifEnvelope.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QNetworkInterface>
#include <QUdpSocket>
#include <QUuid>

#include <atomic>

namespace {
QMutex g_targetMutex;
QHostAddress g_targetAddress;
quint16 g_targetPort = 0;
std::atomic<int> g_windowMs{0};

const quint16 kDiscoveryPort = 3702;
const int kMaxCameras = 256;

void probeTarget(QHostAddress *address, quint16 *port)
{
    {
        QMutexLocker lock(&g_targetMutex);
        if (!g_targetAddress.isNull()) {
            *address = g_targetAddress;
            *port = g_targetPort;
            return;
        }
    }
    const QString env = qEnvironmentVariable("PA_ONVIF_PROBE_TARGET");
    const int colon = env.lastIndexOf(QLatin1Char(':'));
    if (colon > 0) {
        bool ok = false;
        const uint p = env.mid(colon + 1).toUInt(&ok);
        const QHostAddress host(env.left(colon));
        if (ok && p > 0 && p <= 65535 && !host.isNull()) {
            *address = host;
            *port = quint16(p);
            return;
        }
    }
    *address = QHostAddress(QStringLiteral("239.255.255.250"));
    *port = kDiscoveryPort;
}
} // namespace

void QOnvif::setProbeTarget(const QHostAddress &address, quint16 port)
{
    QMutexLocker lock(&g_targetMutex);
    g_targetAddress = address;
    g_targetPort = port;
}

void QOnvif::setProbeWindow(int ms)
{
    g_windowMs = ms > 0 ? ms : 0;
}

int QOnvif::search(const QString &ip, int seconds, const std::function<void(const QOnvifDevice &)> &callback)
{
    m_error.clear();
    QHostAddress target;
    quint16 port = 0;
    probeTarget(&target, &port);

    QUdpSocket socket;
    QHostAddress local(ip);
    if (local.isNull() || local.protocol() != QAbstractSocket::IPv4Protocol)
        local = QHostAddress(QHostAddress::AnyIPv4);
    if (!socket.bind(local, 0)) {
        m_error = socket.errorString();
        return -1;
    }
    // The probe leaves through the interface that holds the local address.
    if (target.isMulticast() && local != QHostAddress(QHostAddress::AnyIPv4)) {
        for (const QNetworkInterface &iface : QNetworkInterface::allInterfaces()) {
            for (const QNetworkAddressEntry &entry : iface.addressEntries()) {
                if (entry.ip() == local)
                    socket.setMulticastInterface(iface);
            }
        }
    }
    const QString messageId = QStringLiteral("uuid:") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (socket.writeDatagram(QOnvifEnvelope::probe(messageId), target, port) < 0) {
        m_error = socket.errorString();
        return -1;
    }

    const int windowMs = g_windowMs > 0 ? int(g_windowMs) : qMax(0, seconds) * 1000;
    QDeadlineTimer deadline(windowMs);
    QVector<QOnvifDevice> found;
    while (!deadline.hasExpired()) {
        if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            continue;
        while (socket.hasPendingDatagrams()) {
            const qint64 size = socket.pendingDatagramSize();
            QByteArray datagram(int(qBound<qint64>(0, size, 65536)), '\0');
            if (socket.readDatagram(datagram.data(), datagram.size()) < 0)
                break;
            QVector<QOnvifAnswer::ProbeMatch> matches;
            QString error;
            if (!QOnvifAnswer::parseProbeMatches(datagram, &matches, &error))
                continue;   // not an answer to us, or garbage: ignored
            for (const QOnvifAnswer::ProbeMatch &match : matches) {
                const QOnvifDevice device(match.address, match.endpoint);
                if (found.size() < kMaxCameras && !found.contains(device))
                    found.append(device);
            }
        }
    }
    socket.close();
    for (const QOnvifDevice &device : found)
        callback(device);
    return found.size();
}
