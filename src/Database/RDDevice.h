#pragma once

#include "RDDeviceInfo.h"
#include "RDDeviceStatus.h"

#include <QMetaType>
#include <QVector>

// One device: its table row followed by its live status.
struct RDDevice : public RDDeviceInfo, public RDDeviceStatus
{
    RDDevice() = default;
    RDDevice(const RDDeviceInfo &info, const QString &status);

    bool isValid() const { return id > 0; }
    bool isOnline() const;
    bool isCalling() const;
    // Devices are the same device when their ids match; nothing else is compared.
    bool operator==(const RDDevice &other) const { return id == other.id; }
    bool operator!=(const RDDevice &other) const { return id != other.id; }
};

Q_DECLARE_METATYPE(RDDevice)
Q_DECLARE_METATYPE(QVector<RDDevice>)
