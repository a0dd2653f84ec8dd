#pragma once

#include "RDDeviceAddOneDialog.h"

// Changes one stored device's name and password. The SIP number is shown
// read-only: the store keeps a device's number, and a changed number would
// point the switch account of another device at this one.
class RDDeviceModifyDialog : public RDDeviceAddOneDialog
{
    Q_OBJECT
public:
    explicit RDDeviceModifyDialog(QWidget *parent = nullptr);
    ~RDDeviceModifyDialog() override;

    void setDevice(const RDDevice &device);
    // The device as set, with the name and password of an accepted run.
    RDDevice device() const { return m_device; }

protected:
    void okAction() override;

private:
    RDDevice m_device;
};
