#pragma once

#include "QOnvifAnswer.h"
#include "QOnvifDeviceProfile.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// One camera found by a search: its device service address, the
// credentials given by setAuthentication() and what its queries returned.
// The queries block the calling thread (each bounded by the call timeout)
// and return 0 on success, -1 on any failure (errorString() tells which).
class QOnvifDevice
{
public:
    QOnvifDevice() = default;
    QOnvifDevice(const QString &address, const QString &endpoint);

    // The device service address (what the camera list shows).
    QString address() const { return m_address; }
    QString endpoint() const { return m_endpoint; }
    QString username() const { return m_username; }
    QString password() const { return m_password; }
    QString mediaAddress() const { return m_mediaAddress; }
    QOnvifAnswer::DeviceInformation information() const { return m_information; }
    const QVector<QOnvifDeviceProfile> &profiles() const { return m_profiles; }
    QVector<QOnvifDeviceProfile> &profiles() { return m_profiles; }
    QString errorString() const { return m_error; }

    void setAuthentication(const QString &username, const QString &password);

    int getInfo();
    // Finds the media service address.
    int getCapabilities();
    // Fills profiles(); needs getCapabilities() first.
    int getProfiles();
    // Fills the profile's stream address (RTP unicast over RTSP).
    int getProfileMediaUri(QOnvifDeviceProfile &profile);

    // The same camera: same endpoint reference.
    bool operator==(const QOnvifDevice &other) const;

    // Bound of one SOAP call, in milliseconds (5000 unless changed).
    static void setCallTimeout(int ms);
    static int callTimeout();

private:
    // POSTs `body` in a signed envelope to `address`; the answer or an error.
    bool call(const QString &address, const QByteArray &action, const QByteArray &body, QByteArray *answer);
    int failed(const QString &error);

    QString m_address;
    QString m_endpoint;
    QString m_username;
    QString m_password;
    QString m_mediaAddress;
    QOnvifAnswer::DeviceInformation m_information;
    QVector<QOnvifDeviceProfile> m_profiles;
    QString m_error;
};
