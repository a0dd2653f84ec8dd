#include "KelDiscovery.h"

#include "KelCode.h"
#include "KelDiscoveryThread.h"
#include "KelRateLimiter.h"
#include "RDJsonHelper.h"
#include "RDThread.h"
#include "RDUdpSocket.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

KelDiscovery::KelDiscovery() = default;

KelDiscovery::~KelDiscovery()
{
    stop();
}

void KelDiscovery::setLocalIp(const std::string &ip)
{
    m_localIp = ip;
}

void KelDiscovery::setListenAddress(const RDSocketAddress &address)
{
    m_listenAddress = address;
}

void KelDiscovery::setReplyAddress(const RDSocketAddress &address)
{
    m_replyAddress = address;
}

void KelDiscovery::setInfoSource(std::function<KelDiscoveryInfo()> source)
{
    m_infoSource = std::move(source);
}

void KelDiscovery::setMaxRepliesPerSecond(int count)
{
    m_maxRepliesPerSecond = count > 0 ? count : 1;
}

bool KelDiscovery::start()
{
    stop();
    m_appName = QCoreApplication::applicationName();
    // The sockets are made here so that a port in use is reported.
    auto receive = std::make_unique<RDUdpSocket>();
    receive->setReuseAddress(1);
    receive->setBroadcast();
    receive->setNonBlocking();
    if (receive->bind(m_listenAddress) != 0)
        return false;
    auto reply = std::make_unique<RDUdpSocket>();
    reply->setNonBlocking();
    reply->setBroadcast();
    if (!m_localIp.empty())
        reply->bind(RDSocketAddress(m_localIp, 0));
    m_receiveSocket = std::move(receive);
    m_replySocket = std::move(reply);
    m_cachedReply.clear();
    m_cachedAt = -1e9;

    m_thread = new KelDiscoveryThread(this);
    m_thread->setName("Kel Discovery");
    m_thread->start();
    return true;
}

void KelDiscovery::stop()
{
    if (m_thread) {
        m_thread->stop();
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
    m_receiveSocket.reset();
    m_replySocket.reset();
}

bool KelDiscovery::isRunning() const
{
    return m_thread && m_thread->isRunning();
}

QByteArray KelDiscovery::buildReply(const KelDiscoveryInfo &info)
{
    QJsonObject o;
    if (info.wsEnable != 0) {
        const QString code = KelCode::encode(QStringLiteral("%1:%2").arg(info.internalIp).arg(info.wsPort));
        if (!code.isEmpty())
            o.insert(QStringLiteral("code"), code);
    } else if (info.kelcodeEnable != 0 && !info.kelcode.isEmpty()) {
        o.insert(QStringLiteral("code"), info.kelcode);
    }
    o.insert(QStringLiteral("uid"), info.uid);
    o.insert(QStringLiteral("name"), info.name);
    o.insert(QStringLiteral("type"), QStringLiteral("Velmar"));
    o.insert(QStringLiteral("version"), QStringLiteral("2.3.0"));
    o.insert(QStringLiteral("result"), 0);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray KelDiscovery::currentReply(double now)
{
    // Settings are read at most once a second, however many requests come.
    if (m_cachedReply.isEmpty() || now - m_cachedAt >= 1.0) {
        KelDiscoveryInfo info;
        if (m_infoSource)
            info = m_infoSource();
        if (info.name.isEmpty())
            info.name = m_appName;
        m_cachedReply = buildReply(info);
        m_cachedAt = now;
    }
    return m_cachedReply;
}

void KelDiscovery::doRun(KelDiscoveryThread *thread)
{
    KelRateLimiter limiter(m_maxRepliesPerSecond, 1.0);
    char buffer[1024];
    while (!thread->isStopped()) {
        // Sleeps until a datagram comes or the thread is told to stop.
        const int ready = thread->waitReadable(m_receiveSocket->handle(), -1);
        if (ready < 0)
            thread->sleep(1000); // the wait itself failed: do not spin
        if (ready <= 0)
            continue;
        // Drain what has arrived, a bounded number per turn.
        for (int i = 0; i < 64 && !thread->isStopped(); ++i) {
            RDSocketAddress from;
            const int n = m_receiveSocket->recvFrom(from, buffer, int(sizeof buffer) - 1);
            if (n < 0)
                break;
            if (n == 0)
                continue; // an empty datagram
            QJsonParseError err{};
            const QJsonDocument doc = rdParseJson(QByteArray(buffer, n), &err);
            if (err.error != QJsonParseError::NoError || !doc.isObject())
                continue;
            const double now = monotonicSeconds();
            if (!limiter.allow(now))
                continue;
            const QByteArray reply = currentReply(now);
            m_replySocket->sendTo(m_replyAddress, reply.constData(), reply.size());
        }
    }
}
