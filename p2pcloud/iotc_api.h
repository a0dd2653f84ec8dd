#pragma once

// Connection layer of the P2P library: a device logs in to the rendezvous
// service under its uid and accepts sessions from clients that found it
// there. Results: 0 or more is success, negative values are in P2PErrors.h.

#include "P2PErrors.h"

// Prepares the connection layer; the first login opens the UDP socket on
// `udpPort` (0: any free port).
int IOTC_Initialize2(unsigned short udpPort);
int IOTC_DeInitialize();
// At most this many sessions at once (1 to 128; 8 before the first call).
int IOTC_Set_Max_Session_Number(unsigned int count);
// Where the rendezvous service listens; takes effect at the next
// IOTC_Initialize2. Without a call, the environment variable P2P_RENDEZVOUS
// ("address:port") is read, else 127.0.0.1:32100.
int IOTC_Set_Rendezvous_Address(const char *ipv4, unsigned short port);
// Logs in under `uid` with the 16-byte login information (bytes 0-3 the
// size 16, little-endian; bytes 8-15 the device key). 0 when logged in.
int IOTC_Device_LoginEx(const char *uid, const unsigned char *loginInfo);
// Waits up to `timeoutMs` for a client: its session id, IOTC_ERR_TIMEOUT or
// IOTC_ERR_SESSION_REFUSED when nothing new can be taken now, any other
// negative value when the device must log in again.
int IOTC_Listen(unsigned int timeoutMs);
int IOTC_Session_Get_Free_Channel(int session);
int IOTC_Session_Close(int session);
