#pragma once

#include "RDThread.h"

class RDLoadingDialog;

// Runs one loading dialog's work. stop() sets the stop flag, then has the
// dialog interrupt the work (cancelWork) on the calling thread.
class RDLoadingThread : public RDThread
{
public:
    explicit RDLoadingThread(RDLoadingDialog *dialog);

    void stop() override;

protected:
    void run() override;

private:
    RDLoadingDialog *m_dialog;
};
