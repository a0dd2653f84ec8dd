#pragma once

#include "RDThread.h"

class RDSipCallDialog;

// Runs a device call dialog's call on its own thread.
class RDSipCallThread : public RDThread
{
public:
    explicit RDSipCallThread(RDSipCallDialog *dialog) : m_dialog(dialog) {}

protected:
    void run() override;

private:
    RDSipCallDialog *m_dialog;
};
