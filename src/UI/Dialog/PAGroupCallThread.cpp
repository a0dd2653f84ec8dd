#include "PAGroupCallThread.h"

#include "PAGroupCallDialog.h"

void PAGroupCallThread::run()
{
    m_dialog->runCall(this);
}
