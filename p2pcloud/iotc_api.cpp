#include "iotc_api.h"

#include "P2PDevice.h"

int IOTC_Initialize2(unsigned short udpPort)
{
    return P2PDevice::instance().initialize(udpPort);
}

int IOTC_DeInitialize()
{
    return P2PDevice::instance().deinitialize();
}

int IOTC_Set_Max_Session_Number(unsigned int count)
{
    return P2PDevice::instance().setMaxSessions(count);
}

int IOTC_Set_Rendezvous_Address(const char *ipv4, unsigned short port)
{
    return P2PDevice::instance().setRendezvous(ipv4, port);
}

int IOTC_Device_LoginEx(const char *uid, const unsigned char *loginInfo)
{
    return P2PDevice::instance().login(uid, loginInfo);
}

int IOTC_Listen(unsigned int timeoutMs)
{
    return P2PDevice::instance().listen(timeoutMs);
}

int IOTC_Session_Get_Free_Channel(int session)
{
    return P2PDevice::instance().freeChannel(session);
}

int IOTC_Session_Close(int session)
{
    return P2PDevice::instance().closeSession(session);
}
