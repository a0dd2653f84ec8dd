#pragma once

#include "QOnvifDevice.h"

#include <QHostAddress>
#include <QString>

#include <functional>

// Camera discovery: a WS-Discovery probe for network video transmitters,
// sent from a local address; every camera that answers within the wait is
// called back once (duplicates by endpoint reference dropped), on the
// calling thread, before search() returns.
//
// The probe goes to the multicast group 239.255.255.250:3702 unless
// another target is set (setProbeTarget, or the environment variable
// PA_ONVIF_PROBE_TARGET as "host:port"), as the tests do to reach a camera
// on loopback.
class QOnvif
{
public:
    // `seconds` is how long answers are collected. Returns the number of
    // cameras called back, or -1 when the probe could not be sent.
    int search(const QString &ip, int seconds, const std::function<void(const QOnvifDevice &)> &callback);
    QString errorString() const { return m_error; }

    // A null address goes back to the multicast group.
    static void setProbeTarget(const QHostAddress &address, quint16 port);
    // Collect answers this many milliseconds instead of the seconds asked
    // for (0: as asked).
    static void setProbeWindow(int ms);

private:
    QString m_error;
};
