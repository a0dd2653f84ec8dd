#pragma once

#include <QString>

// One media profile of a camera: its token, its name and, once asked for,
// the address of its RTSP stream.
class QOnvifDeviceProfile
{
public:
    QOnvifDeviceProfile() = default;
    QOnvifDeviceProfile(const QString &token, const QString &name);

    QString token() const { return m_token; }
    QString name() const { return m_name; }
    QString uri() const { return m_uri; }
    void setUri(const QString &uri) { m_uri = uri; }

    bool operator==(const QOnvifDeviceProfile &other) const;

private:
    QString m_token;
    QString m_name;
    QString m_uri;
};
