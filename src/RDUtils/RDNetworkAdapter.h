#pragma once

#include <QString>
#include <QVector>

// One IPv4 address of one network adapter of this PC.
class RDNetworkAdapter
{
public:
    QString name;        // "rpcap://\Device\NPF_<adapter name>"
    QString description; // the adapter's description
    QString ip;          // dotted quad
    QString netmask;     // dotted quad
    QString gateway;     // the adapter's first gateway, dotted quad
};

// One entry per IPv4 address of every adapter that is up, in the system's
// order. Loopback is left out: it is never the address other hosts use.
QVector<RDNetworkAdapter> listNetworkAdapters();

// The address to present as this PC's: the first private address with a
// gateway, else the first address with a gateway, else the first valid
// address, else the first entry; an empty adapter for an empty list.
RDNetworkAdapter selectNetworkAdapter(const QVector<RDNetworkAdapter> &list);

// selectNetworkAdapter(listNetworkAdapters()).
RDNetworkAdapter defaultNetworkAdapter();
