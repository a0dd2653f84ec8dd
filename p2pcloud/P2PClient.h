#pragma once

#include <netinet/in.h>

#include <memory>
#include <string>

class P2PEndpoint;

// The application side of the library: finds a device by its uid through
// the rendezvous service, opens a session, starts the AV channel with an
// account and password, then exchanges IO-control messages and audio
// frames. Results are 0 or more on success, else the codes of P2PErrors.h.
class P2PClient
{
public:
    P2PClient();
    ~P2PClient();

    // Where the rendezvous service listens.
    void setRendezvous(const std::string &ipv4, unsigned short port);
    // Looks the device up and opens a session; 0 when connected.
    int connect(const std::string &uid, int timeoutMs = 5000);
    // Starts the AV channel on the session; 0 when the device accepted it.
    int startAv(const std::string &account, const std::string &password, int timeoutMs = 15000);
    int sendIOCtrl(unsigned int ioType, const void *data, int length);
    // Length of the next message (its type in *ioType), AV_ERR_TIMEOUT, or
    // the session's end.
    int recvIOCtrl(unsigned int *ioType, char *buffer, int size, int timeoutMs);
    int sendAudio(const void *data, int length, const unsigned char *frameInfo16);
    int recvAudio(char *buffer, int size, unsigned char *frameInfo16, unsigned int *frameNo, int timeoutMs);
    // Ends the session, telling the device.
    void close();
    // Stops answering without a word, as a phone that lost its network.
    void vanish();
    // 0 while connected, else why the session ended.
    int state() const;

private:
    std::unique_ptr<P2PEndpoint> m_endpoint;
    sockaddr_in m_rendezvous{};
    int m_slot = -1;
};
