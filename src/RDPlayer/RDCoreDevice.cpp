#include "RDCoreDevice.h"

#include <QAudioDeviceInfo>
#include <QSet>

namespace {
void appendDevices(QAudio::Mode mode, int type, QVector<RDCoreDevice> *out)
{
    // The audio backend may list one endpoint under several plugin entries;
    // an id is listed once per type.
    QSet<QString> seen;
    for (const QAudioDeviceInfo &info : QAudioDeviceInfo::availableDevices(mode)) {
        const QString id = info.deviceName();
        if (id.isEmpty() || seen.contains(id))
            continue;
        seen.insert(id);
        out->append(RDCoreDevice(id, id, type));
    }
}
} // namespace

QVector<RDCoreDevice> getAllDevices()
{
    QVector<RDCoreDevice> devices;
    appendDevices(QAudio::AudioInput, RDCoreDevice::Capture, &devices);
    appendDevices(QAudio::AudioOutput, RDCoreDevice::Render, &devices);
    return devices;
}
