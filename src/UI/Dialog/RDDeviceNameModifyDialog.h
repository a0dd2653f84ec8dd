#pragma once

#include "RDDeviceModifyDialog.h"

// The zone screens' device editor: the same form as the device list's.
class RDDeviceNameModifyDialog : public RDDeviceModifyDialog
{
    Q_OBJECT
public:
    explicit RDDeviceNameModifyDialog(QWidget *parent = nullptr);
    ~RDDeviceNameModifyDialog() override;
};
