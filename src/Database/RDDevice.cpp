#include "RDDevice.h"

RDDevice::RDDevice(const RDDeviceInfo &info, const QString &status)
    : RDDeviceInfo(info)
{
    this->status = status;
}

bool RDDevice::isOnline() const
{
    return status.compare(QLatin1String("online"), Qt::CaseInsensitive) == 0;
}

bool RDDevice::isCalling() const
{
    return status.compare(QLatin1String("calling"), Qt::CaseInsensitive) == 0;
}
