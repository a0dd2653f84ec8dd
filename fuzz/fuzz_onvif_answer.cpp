// Camera answers through every reader of the ONVIF client.
#include "QOnvifAnswer.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray answer(reinterpret_cast<const char *>(data), int(size));
    QString error;
    QVector<QOnvifAnswer::ProbeMatch> matches;
    QOnvifAnswer::parseProbeMatches(answer, &matches, &error);
    QOnvifAnswer::DeviceInformation info;
    QOnvifAnswer::parseDeviceInformation(answer, &info, &error);
    QString text;
    QOnvifAnswer::parseCapabilities(answer, &text, &error);
    QVector<QOnvifDeviceProfile> profiles;
    QOnvifAnswer::parseProfiles(answer, &profiles, &error);
    QOnvifAnswer::parseStreamUri(answer, &text, &error);
    return 0;
}
