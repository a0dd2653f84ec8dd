#include "QOnvifDeviceProfile.h"

QOnvifDeviceProfile::QOnvifDeviceProfile(const QString &token, const QString &name)
    : m_token(token), m_name(name)
{
}

bool QOnvifDeviceProfile::operator==(const QOnvifDeviceProfile &other) const
{
    return m_token == other.m_token && m_name == other.m_name && m_uri == other.m_uri;
}
