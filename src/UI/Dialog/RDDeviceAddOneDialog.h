#pragma once

#include "RDDevice.h"
#include "RDDeviceFormDialog.h"

// Collects one new device: SIP number, name and password. Stores nothing;
// the opener reads device() after an accepted run.
class RDDeviceAddOneDialog : public RDDeviceFormDialog
{
    Q_OBJECT
public:
    explicit RDDeviceAddOneDialog(QWidget *parent = nullptr);
    ~RDDeviceAddOneDialog() override;

    // A new device (id 0) from the edits; named after its number when the
    // name is empty.
    RDDevice device() const;

    void languageChanged() override;

protected:
    bool canAccept() const override;
    void okAction() override;
    // The checks of the OK action: a message and false when the input is
    // not a device.
    bool checkInput();
    QLineEdit *nameEdit() const { return m_nameEdit; }
    QLineEdit *numberEdit() const { return m_numberEdit; }
    QLineEdit *passwordEdit() const { return m_passwordEdit; }

private:
    QLineEdit *m_nameEdit;
    QLineEdit *m_numberEdit;
    QLineEdit *m_passwordEdit;
};
