#pragma once

#include "RDDevice.h"
#include "RDDeviceFormDialog.h"

#include <QVector>

// Collects a run of new devices with consecutive SIP numbers: name and
// password are a prefix followed by the number. Stores nothing.
class RDDeviceAddAllDialog : public RDDeviceFormDialog
{
    Q_OBJECT
public:
    explicit RDDeviceAddAllDialog(QWidget *parent = nullptr);
    ~RDDeviceAddAllDialog() override;

    // From the start number, `count` devices (at least one), never past 6999.
    QVector<RDDevice> buildDevices() const;

    void languageChanged() override;

protected:
    bool canAccept() const override;
    void okAction() override;

private:
    RDLabel *m_hint;
    QLineEdit *m_startEdit;
    QLineEdit *m_namePrefixEdit;
    QLineEdit *m_passwordPrefixEdit;
    QLineEdit *m_countEdit;
};
