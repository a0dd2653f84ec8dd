#pragma once

#include "KelDiscoveryInfo.h"
#include "RDSocketAddress.h"

#include <QByteArray>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

class KelDiscoveryThread;
class RDUdpSocket;

// LAN discovery: any JSON object arriving on UDP port 19980 is answered
// with a JSON description of this installation, broadcast to port 19981.
// Answers are rate-limited so one host cannot make the PC flood the LAN.
class KelDiscovery
{
public:
    static constexpr int RequestPort = 19980;
    static constexpr int ReplyPort = 19981;

    KelDiscovery();
    ~KelDiscovery();

    // The switch-facing address replies leave from (empty: unbound).
    void setLocalIp(const std::string &ip);
    // Where requests are received and where answers go. Defaults:
    // 0.0.0.0:19980 and 255.255.255.255:19981.
    void setListenAddress(const RDSocketAddress &address);
    void setReplyAddress(const RDSocketAddress &address);
    // Called (at most once a second, on the discovery thread) for the data
    // of the answer. Without one the answer names the application only.
    void setInfoSource(std::function<KelDiscoveryInfo()> source);
    void setMaxRepliesPerSecond(int count);

    // Restarts the thread; false when the request port cannot be bound.
    bool start();
    void stop();
    bool isRunning() const;

    // The answer: "code" (when the WebSocket or the stored code is enabled),
    // "uid", "name", "type", "version", "result"; compact JSON.
    static QByteArray buildReply(const KelDiscoveryInfo &info);

private:
    friend class KelDiscoveryThread;
    void doRun(KelDiscoveryThread *thread);
    QByteArray currentReply(double now);

    std::string m_localIp;
    RDSocketAddress m_listenAddress{"0.0.0.0", RequestPort};
    RDSocketAddress m_replyAddress{"255.255.255.255", ReplyPort};
    std::function<KelDiscoveryInfo()> m_infoSource;
    int m_maxRepliesPerSecond = 10;
    QString m_appName;

    std::unique_ptr<RDUdpSocket> m_receiveSocket;
    std::unique_ptr<RDUdpSocket> m_replySocket;
    KelDiscoveryThread *m_thread = nullptr;

    QByteArray m_cachedReply;
    double m_cachedAt = -1e9;
};
