#include "TUTKClientReadThread.h"

#include "TUTKClient.h"

void TUTKClientReadThread::run()
{
    m_owner->doRead(this);
}
