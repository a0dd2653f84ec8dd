#pragma once

#include "RDDevice.h"
#include "RDThread.h"

#include <QMap>
#include <QString>
#include <QVector>

class Velmar;

// Watches the switch manager's device status map every 2 s and, when it
// changed, hands the devices that are online or calling to the owner's
// observers. Runs on its own registered database connection.
class RDDeviceStatusWatchThread : public RDThread
{
public:
    explicit RDDeviceStatusWatchThread(Velmar *owner);

    // Whether `current` differs from `previous`: another entry count, or some
    // number of `previous` whose text differs (case-sensitive) from its value
    // in `current` ("none" when missing there).
    static bool statusChanged(const QMap<QString, QString> &previous, const QMap<QString, QString> &current);
    // The devices whose status is "calling" or "online", in their order.
    static QVector<RDDevice> onlineDevices(const QVector<RDDevice> &devices);

protected:
    void run() override;

private:
    Velmar *m_owner;
};
