#pragma once

#include <QHash>
#include <QString>
#include <QVector>

namespace Platform {

// One IPv4 address of one network interface.
struct InterfaceAddress {
    QString name;        // interface name, e.g. "eth0"
    QString description; // human-readable label (the interface name on Linux)
    QString ip;          // dotted quad
    QString netmask;     // dotted quad
    QString gateway;     // dotted quad of the interface's first gateway, "0.0.0.0" when none
};

// Every IPv4 address of every interface that is up, in the kernel's order,
// leaving out loopback interfaces: they can never be the address that other
// hosts on the LAN use to reach this PC.
QVector<InterfaceAddress> listIPv4Interfaces();

// Parses the text of /proc/net/route: for each interface, the gateway of its
// default route, else of its first route that has a gateway. Interfaces
// without such a route are absent.
QHash<QString, QString> parseRouteTable(const QByteArray &text);

} // namespace Platform
