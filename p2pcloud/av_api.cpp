#include "av_api.h"

#include "P2PDevice.h"

int avInitialize(int channels)
{
    return P2PDevice::instance().avInitialize(channels);
}

int avDeInitialize()
{
    return P2PDevice::instance().avDeinitialize();
}

int avServStartEx(const AVServStartInConfig *in, AVServStartOutConfig *out)
{
    return P2PDevice::instance().startServer(in, out);
}

void avServExit(int session, int channel)
{
    P2PDevice::instance().exitStart(session, channel);
}

void avServStop(int avIndex)
{
    P2PDevice::instance().stopServer(avIndex);
}

int avRecvIOCtrl(int avIndex, unsigned int *ioType, char *buffer, int size, unsigned int timeoutMs)
{
    return P2PDevice::instance().receiveIOCtrl(avIndex, ioType, buffer, size, timeoutMs);
}

int avSendIOCtrl(int avIndex, unsigned int ioType, const char *data, int length)
{
    return P2PDevice::instance().sendIOCtrl(avIndex, ioType, data, length);
}

int avRecvAudioData(int avIndex, char *buffer, int size, char *frameInfo, int infoSize, unsigned int *frameNo)
{
    return P2PDevice::instance().receiveAudio(avIndex, buffer, size, frameInfo, infoSize, frameNo);
}

int avSendAudioData(int avIndex, const char *data, int length, const void *frameInfo, int infoSize)
{
    return P2PDevice::instance().sendAudio(avIndex, data, length, frameInfo, infoSize);
}
