#include "RDCoreAudio.h"

#include "PlatformAudioBackend.h"
#include "RDLog.h"

QVector<RDCoreDevice> getDevices(RDAudioFlow flow, unsigned stateMask)
{
    QVector<RDCoreDevice> devices;
    if (!(stateMask & DEVICE_STATE_ACTIVE))
        return devices;
    std::vector<PlatformAudioEndpoint> endpoints;
    if (!PlatformAudioBackend::instance()->listEndpoints(int(flow), &endpoints)) {
        RDLogDetail("CoreAudio", __FUNCTION__, __LINE__, 5, "EnumAudioEndpoints failure");
        return devices;
    }
    for (const PlatformAudioEndpoint &e : endpoints) {
        // An endpoint without a readable name cannot be offered.
        if (e.id.empty() || e.name.empty())
            continue;
        devices.append(RDCoreDevice(QString::fromStdString(e.id), QString::fromStdString(e.name), int(flow)));
    }
    return devices;
}

QVector<RDCoreDevice> getInputDevices()
{
    return getDevices(eCapture, DEVICE_STATE_ACTIVE);
}

QVector<RDCoreDevice> getAllDevices()
{
    return getDevices(eCapture, DEVICE_STATE_ACTIVE) + getDevices(eRender, DEVICE_STATE_ACTIVE);
}
