#include "RDDeviceModifyDialog.h"

#include <QLineEdit>

RDDeviceModifyDialog::RDDeviceModifyDialog(QWidget *parent)
    : RDDeviceAddOneDialog(parent)
{
    setObjectName(QStringLiteral("RDDeviceModifyDialog"));
    setLeftAlignedLabels(true);
    numberEdit()->setReadOnly(true);
    numberEdit()->setEnabled(false);
    setReturnOrder({nameEdit(), passwordEdit()});
}

RDDeviceModifyDialog::~RDDeviceModifyDialog() = default;

void RDDeviceModifyDialog::setDevice(const RDDevice &device)
{
    m_device = device;
    nameEdit()->setText(device.name);
    numberEdit()->setText(device.number);
    passwordEdit()->setText(device.password);
}

void RDDeviceModifyDialog::okAction()
{
    if (!checkInput())
        return;
    m_device.name = nameEdit()->text().isEmpty() ? m_device.number : nameEdit()->text();
    m_device.password = passwordEdit()->text();
    accept();
}
