#include "RDDeviceNameModifyDialog.h"

RDDeviceNameModifyDialog::RDDeviceNameModifyDialog(QWidget *parent)
    : RDDeviceModifyDialog(parent)
{
    setObjectName(QStringLiteral("RDDeviceNameModifyDialog"));
}

RDDeviceNameModifyDialog::~RDDeviceNameModifyDialog() = default;
