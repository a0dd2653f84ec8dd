#pragma once

#include "RDThread.h"

class PAGroupCallDialog;

// Runs a zone call dialog's call on its own thread.
class PAGroupCallThread : public RDThread
{
public:
    explicit PAGroupCallThread(PAGroupCallDialog *dialog) : m_dialog(dialog) {}

protected:
    void run() override;

private:
    PAGroupCallDialog *m_dialog;
};
