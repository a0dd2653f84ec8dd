#include "RDOnvifDeviceSearchDialog.h"

RDOnvifDeviceSearchDialog::RDOnvifDeviceSearchDialog(QWidget *parent)
    : RDLoadingDialog(parent)
{
    RDOnvifDeviceSearchDialog::languageChanged();
}

RDOnvifDeviceSearchDialog::~RDOnvifDeviceSearchDialog()
{
    // The work uses this object's members: it ends before they go.
    endWork();
}

void RDOnvifDeviceSearchDialog::languageChanged()
{
    RDLoadingDialog::languageChanged();
    setMessage(RDLocalize::text(QStringLiteral("Searching Devices")));
}

void RDOnvifDeviceSearchDialog::setSearch(const QString &ip, const QString &username, const QString &password)
{
    m_ip = ip;
    m_username = username;
    m_password = password;
}

void RDOnvifDeviceSearchDialog::queryDevice(const QOnvifDevice &found)
{
    QOnvifDevice device(found);
    device.setAuthentication(m_username, m_password);
    bool answered = !isThreadFinished() && device.getInfo() == 0;
    if (answered && !isThreadFinished())
        answered = device.getCapabilities() == 0;
    if (answered && !isThreadFinished())
        device.getProfiles();
    for (QOnvifDeviceProfile &profile : device.profiles()) {
        if (isThreadFinished())
            break;
        device.getProfileMediaUri(profile);
    }
    if (!m_devices.contains(device))
        m_devices.append(device);
}

void RDOnvifDeviceSearchDialog::doWork()
{
    m_devices.clear();
    m_onvif.search(m_ip, 3, [this](const QOnvifDevice &device) { queryDevice(device); });
    if (isThreadFinished())
        rejectDialog();
    else
        accpetDialog();
}

void RDOnvifDeviceSearchDialog::cancelWork()
{
    // Each query ends within its own bound; the close waits for it.
}
