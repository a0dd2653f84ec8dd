#include "PlatformNetwork.h"

#include <QHostAddress>
#include <gtest/gtest.h>

TEST(PlatformNetwork, RouteTableGivesEachInterfacesGateway)
{
    // Default route of eth0 listed after a plain route; wlan0 only has a
    // route through a gateway that is not the default one; lo has none.
    const QByteArray table =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "eth0\t0000A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
        "eth0\t0010A8C0\t0A01A8C0\t0003\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
        "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
        "wlan0\t0000000A\t FE00000A\t0003\t0\t0\t600\t000000FF\t0\t0\t0\n"
        "down0\t00000000\t01020304\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"
        "lo\t0000007F\t00000000\t0001\t0\t0\t0\t000000FF\t0\t0\t0\n"
        "broken line\n";
    const QHash<QString, QString> gw = Platform::parseRouteTable(table);
    EXPECT_EQ(gw.value("eth0"), QString("192.168.1.1"));
    EXPECT_EQ(gw.value("wlan0"), QString("10.0.0.254"));
    EXPECT_FALSE(gw.contains("down0")); // route not up
    EXPECT_FALSE(gw.contains("lo"));
    EXPECT_TRUE(Platform::parseRouteTable(QByteArray()).isEmpty());
}

TEST(PlatformNetwork, InterfaceListHoldsUpNonLoopbackIPv4Only)
{
    const QVector<Platform::InterfaceAddress> list = Platform::listIPv4Interfaces();
    for (const auto &a : list) {
        QHostAddress ip(a.ip), mask(a.netmask), gw(a.gateway);
        EXPECT_EQ(ip.protocol(), QAbstractSocket::IPv4Protocol) << a.ip.toStdString();
        EXPECT_FALSE(ip.isLoopback()) << a.ip.toStdString();
        EXPECT_EQ(mask.protocol(), QAbstractSocket::IPv4Protocol) << a.netmask.toStdString();
        EXPECT_EQ(gw.protocol(), QAbstractSocket::IPv4Protocol) << a.gateway.toStdString();
        EXPECT_FALSE(a.name.isEmpty());
    }
}
