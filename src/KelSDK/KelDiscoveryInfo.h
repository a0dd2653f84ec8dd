#pragma once

#include <QString>

// What a LAN discovery answer tells an app about this installation; filled
// from the settings by the owner of the discovery service.
struct KelDiscoveryInfo {
    int wsEnable = 0;
    int wsPort = 9024;
    int kelcodeEnable = 0;
    QString kelcode;
    QString internalIp;
    QString uid;
    QString name;
};
