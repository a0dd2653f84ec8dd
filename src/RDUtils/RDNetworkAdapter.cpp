#include "RDNetworkAdapter.h"

#include "PlatformNetwork.h"

#include <QStringList>

QVector<RDNetworkAdapter> listNetworkAdapters()
{
    QVector<RDNetworkAdapter> out;
    const QVector<Platform::InterfaceAddress> addresses = Platform::listIPv4Interfaces();
    for (const Platform::InterfaceAddress &a : addresses) {
        RDNetworkAdapter adapter;
        adapter.name = QStringLiteral("rpcap://\\Device\\NPF_%1").arg(a.name);
        adapter.description = a.description;
        adapter.ip = a.ip;
        adapter.netmask = a.netmask;
        adapter.gateway = a.gateway;
        out.append(adapter);
    }
    return out;
}

// Four decimal numbers 0..255 separated by dots, nothing else.
static bool parseQuad(const QString &text, unsigned parts[4])
{
    const QStringList fields = text.split('.');
    if (fields.size() != 4)
        return false;
    for (int i = 0; i < 4; ++i) {
        const QString &f = fields.at(i);
        if (f.isEmpty() || f.size() > 3)
            return false;
        for (QChar c : f)
            if (c < '0' || c > '9')
                return false;
        parts[i] = f.toUInt();
        if (parts[i] > 255)
            return false;
    }
    return true;
}

static bool validQuad(const QString &text)
{
    unsigned p[4];
    return parseQuad(text, p) && (p[0] | p[1] | p[2] | p[3]) != 0;
}

static bool privateAddress(const QString &text)
{
    unsigned p[4];
    if (!parseQuad(text, p))
        return false;
    return p[0] == 10 || p[0] == 100 || (p[0] == 192 && p[1] == 168) || (p[0] == 172 && p[1] >= 16 && p[1] <= 31)
        || (p[0] == 127 && p[1] == 0 && p[2] == 0 && p[3] == 1);
}

RDNetworkAdapter selectNetworkAdapter(const QVector<RDNetworkAdapter> &list)
{
    if (list.isEmpty())
        return RDNetworkAdapter();
    for (const RDNetworkAdapter &a : list)
        if (validQuad(a.gateway) && validQuad(a.ip) && privateAddress(a.ip))
            return a;
    for (const RDNetworkAdapter &a : list)
        if (validQuad(a.gateway) && validQuad(a.ip))
            return a;
    for (const RDNetworkAdapter &a : list)
        if (validQuad(a.ip))
            return a;
    return list.first();
}

RDNetworkAdapter defaultNetworkAdapter()
{
    return selectNetworkAdapter(listNetworkAdapters());
}
