#pragma once

#include "QOnvifDeviceProfile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// Reads the SOAP answers of cameras. Answers come from the network and are
// not trusted: anything malformed, oversized, of another kind than asked
// for, or holding values of the wrong form is refused with an error text;
// a SOAP fault gives its reason as the error. Element names are matched by
// local name only, so any namespace prefixes work.
class QOnvifAnswer
{
public:
    static constexpr int kMaxAnswerBytes = 1 << 20;
    static constexpr int kMaxElements = 20000;
    static constexpr int kMaxDepth = 64;
    static constexpr int kMaxTextLength = 4096;
    static constexpr int kMaxProfiles = 64;
    static constexpr int kMaxProbeMatches = 64;

    struct ProbeMatch
    {
        QString endpoint;   // the camera's endpoint reference address
        QString address;    // its first HTTP(S) device service address
    };

    struct DeviceInformation
    {
        QString manufacturer;
        QString model;
        QString firmwareVersion;
        QString serialNumber;
        QString hardwareId;
    };

    static bool parseProbeMatches(const QByteArray &data, QVector<ProbeMatch> *matches, QString *error);
    static bool parseDeviceInformation(const QByteArray &data, DeviceInformation *info, QString *error);
    // The media service address.
    static bool parseCapabilities(const QByteArray &data, QString *mediaAddress, QString *error);
    static bool parseProfiles(const QByteArray &data, QVector<QOnvifDeviceProfile> *profiles, QString *error);
    static bool parseStreamUri(const QByteArray &data, QString *uri, QString *error);

    // True for an absolute http or https address with a host.
    static bool isServiceAddress(const QString &text);
    // True for an absolute stream address (rtsp, rtsps, http, https) with a host.
    static bool isStreamAddress(const QString &text);
};
