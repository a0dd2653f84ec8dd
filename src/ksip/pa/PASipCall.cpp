#include "PASipCall.h"

#include "KelClient.h"
#include "PASipDevice.h"

PASipCall::PASipCall(SipChannel *channel)
    : SipCall(channel)
{
}

PASipCall::~PASipCall()
{
    // The RTP threads must be gone before the device they call goes.
    stop();
    delete detachDevice();
}

void PASipCall::setCaptureDevice(const RDCoreDevice &device)
{
    m_soundSource = device;
    withDevice([&](PASipDevice *d) { d->setCaptureDevice(device); });
}

void PASipCall::attachDevice(PASipDevice *device)
{
    std::lock_guard<std::mutex> guard(m_paDeviceLock);
    m_paDevice = device;
}

PASipDevice *PASipCall::detachDevice()
{
    std::lock_guard<std::mutex> guard(m_paDeviceLock);
    PASipDevice *device = m_paDevice;
    m_paDevice = nullptr;
    return device;
}

bool PASipCall::withDevice(const std::function<void(PASipDevice *)> &fn)
{
    std::lock_guard<std::mutex> guard(m_paDeviceLock);
    if (!m_paDevice)
        return false;
    fn(m_paDevice);
    return true;
}
