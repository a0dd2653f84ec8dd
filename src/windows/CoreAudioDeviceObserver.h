#pragma once

class CoreAudioDevice;

// What a capture endpoint reports. Every callback comes from one of the
// device's own threads; the bodies do nothing unless overridden.
class CoreAudioDeviceObserver
{
public:
    virtual ~CoreAudioDeviceObserver() = default;
    // The endpoint is open; CoreAudioDevice::format() is valid from here.
    virtual void onDeviceOpened(CoreAudioDevice *device) {}
    // The endpoint is closed, or could not be opened.
    virtual void onDeviceClosed(CoreAudioDevice *device) {}
    // One captured packet in the endpoint's mix format.
    virtual void onDeviceData(CoreAudioDevice *device, unsigned char *data, int frames, int bytes) {}
};
