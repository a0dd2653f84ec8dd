#pragma once

#include "PAGroupCallDialog.h"

// Calls one device from the PC (intercom): the operator speaks into a
// capture endpoint and the device's answer is played on the PC.
class RDSipCallDialog : public PAGroupCallDialog
{
    Q_OBJECT
public:
    explicit RDSipCallDialog(QWidget *parent = nullptr);
    ~RDSipCallDialog() override;

    void startCallThread();
};
