#include "RDSipCallThread.h"

#include "RDSipCallDialog.h"

void RDSipCallThread::run()
{
    m_dialog->runCall(this);
}
