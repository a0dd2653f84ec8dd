#include "RDLoadingThread.h"

#include "RDLoadingDialog.h"

RDLoadingThread::RDLoadingThread(RDLoadingDialog *dialog)
    : m_dialog(dialog)
{
}

void RDLoadingThread::stop()
{
    RDThread::stop();
    m_dialog->cancelWork();
}

void RDLoadingThread::run()
{
    m_dialog->doWork();
}
