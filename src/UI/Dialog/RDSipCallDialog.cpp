#include "RDSipCallDialog.h"

#include "RDConfigure.h"
#include "RDCoreAudio.h"
#include "RDSipCallThread.h"

namespace {

QString rememberedDeviceId()
{
    return RDConfigure().callDeviceId();
}

void rememberDeviceId(const QString &id)
{
    RDConfigure().setCallDeviceId(id);
}

} // namespace

RDSipCallDialog::RDSipCallDialog(QWidget *parent)
    : PAGroupCallDialog(Kind{&getInputDevices, &rememberedDeviceId, &rememberDeviceId, true}, parent)
{
    setObjectName(QStringLiteral("RDSipCallDialog"));
}

RDSipCallDialog::~RDSipCallDialog()
{
    // The worker runs this dialog's code: it ends before any part goes.
    stopCallThread();
}

void RDSipCallDialog::startCallThread()
{
    if (!isCallRunning())
        startWorker(new RDSipCallThread(this));
}
