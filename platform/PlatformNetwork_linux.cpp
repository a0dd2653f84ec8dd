#include "PlatformNetwork.h"

#include <QFile>
#include <QList>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>

namespace Platform {

static QString dotted(const struct sockaddr *sa)
{
    if (!sa || sa->sa_family != AF_INET)
        return QStringLiteral("0.0.0.0");
    char buf[INET_ADDRSTRLEN] = {0};
    const auto *in = reinterpret_cast<const struct sockaddr_in *>(sa);
    if (!::inet_ntop(AF_INET, &in->sin_addr, buf, sizeof buf))
        return QStringLiteral("0.0.0.0");
    return QString::fromLatin1(buf);
}

QHash<QString, QString> parseRouteTable(const QByteArray &text)
{
    // Columns: Iface Destination Gateway Flags RefCnt Use Metric Mask ...
    // Addresses are hexadecimal in network byte order as stored in memory.
    QHash<QString, QString> firstAny;
    QHash<QString, QString> defaults;
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> cols = lines.at(i).simplified().split(' ');
        if (cols.size() < 4)
            continue;
        bool okDest = false, okGw = false, okFlags = false;
        const quint32 dest = cols.at(1).toUInt(&okDest, 16);
        const quint32 gw = cols.at(2).toUInt(&okGw, 16);
        const uint flags = cols.at(3).toUInt(&okFlags, 16);
        if (!okDest || !okGw || !okFlags || gw == 0 || !(flags & RTF_UP) || !(flags & RTF_GATEWAY))
            continue;
        struct in_addr addr;
        addr.s_addr = gw; // already in network order in memory
        char buf[INET_ADDRSTRLEN] = {0};
        if (!::inet_ntop(AF_INET, &addr, buf, sizeof buf))
            continue;
        const QString iface = QString::fromLocal8Bit(cols.at(0));
        const QString gwText = QString::fromLatin1(buf);
        if (dest == 0 && !defaults.contains(iface))
            defaults.insert(iface, gwText);
        if (!firstAny.contains(iface))
            firstAny.insert(iface, gwText);
    }
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
        firstAny.insert(it.key(), it.value());
    return firstAny;
}

QVector<InterfaceAddress> listIPv4Interfaces()
{
    QVector<InterfaceAddress> out;
    struct ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return out;

    QHash<QString, QString> gateways;
    QFile route(QStringLiteral("/proc/net/route"));
    if (route.open(QIODevice::ReadOnly))
        gateways = parseRouteTable(route.readAll());

    for (struct ifaddrs *it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET)
            continue;
        if (!(it->ifa_flags & IFF_UP) || (it->ifa_flags & IFF_LOOPBACK))
            continue;
        InterfaceAddress a;
        a.name = QString::fromLocal8Bit(it->ifa_name);
        a.description = a.name;
        a.ip = dotted(it->ifa_addr);
        a.netmask = dotted(it->ifa_netmask);
        a.gateway = gateways.value(a.name, QStringLiteral("0.0.0.0"));
        out.append(a);
    }
    ::freeifaddrs(list);
    return out;
}

} // namespace Platform
