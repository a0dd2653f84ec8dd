#include "P2PClient.h"

#include "P2PEndpoint.h"
#include "P2PErrors.h"
#include "P2PPacket.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

P2PClient::P2PClient() : m_endpoint(std::make_unique<P2PEndpoint>())
{
    m_rendezvous.sin_family = AF_INET;
    m_rendezvous.sin_port = htons(32100);
    m_rendezvous.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
}

P2PClient::~P2PClient()
{
    close();
}

void P2PClient::setRendezvous(const std::string &ipv4, unsigned short port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (::inet_pton(AF_INET, ipv4.c_str(), &a.sin_addr) == 1)
        m_rendezvous = a;
}

int P2PClient::connect(const std::string &uid, int timeoutMs)
{
    close();
    const bool loopback = (ntohl(m_rendezvous.sin_addr.s_addr) >> 24) == 127;
    if (!m_endpoint->open(loopback ? INADDR_LOOPBACK : INADDR_ANY, 0, 1))
        return IOTC_ERR_SOCKET;
    P2PPacket lookup;
    lookup.type = P2PPacket::Lookup;
    lookup.uid = uid;
    P2PPacket reply;
    if (!m_endpoint->request(m_rendezvous, lookup, P2PPacket::LookupReply, reply, std::min(timeoutMs, 2000)))
        return IOTC_ERR_RENDEZVOUS_UNREACHABLE;
    if (reply.result != 0)
        return reply.result < 0 ? reply.result : IOTC_ERR_DEVICE_NOT_FOUND;
    sockaddr_in device{};
    device.sin_family = AF_INET;
    device.sin_addr.s_addr = htonl(reply.address);
    device.sin_port = htons(reply.port);
    const int slot = m_endpoint->connect(device, uid, timeoutMs);
    if (slot < 0)
        return slot;
    m_slot = slot;
    return 0;
}

int P2PClient::startAv(const std::string &account, const std::string &password, int timeoutMs)
{
    std::string request = account;
    request.push_back('\0');
    request += password;
    int r = m_endpoint->sendMessage(m_slot, P2PPacket::AvStart, 0, 0, request.data(), request.size());
    if (r < 0)
        return r;
    P2PSession::Message reply;
    r = m_endpoint->receiveMessage(m_slot, P2PPacket::AvStartReply, 0, reply, timeoutMs);
    if (r == 0)
        return AV_ERR_START_TIMEOUT;
    if (r < 0)
        return r;
    if (reply.bytes.size() != 4)
        return AV_ERR_INVALID_ARG;
    return int32_t(uint32_t(reply.bytes[0]) << 24 | uint32_t(reply.bytes[1]) << 16 | uint32_t(reply.bytes[2]) << 8 |
                   reply.bytes[3]);
}

int P2PClient::sendIOCtrl(unsigned int ioType, const void *data, int length)
{
    if (length < 0)
        return AV_ERR_INVALID_ARG;
    return m_endpoint->sendMessage(m_slot, P2PPacket::IoCtrl, 0, ioType, data, size_t(length));
}

int P2PClient::recvIOCtrl(unsigned int *ioType, char *buffer, int size, int timeoutMs)
{
    P2PSession::Message m;
    const int r = m_endpoint->receiveMessage(m_slot, P2PPacket::IoCtrl, 0, m, timeoutMs);
    if (r == 0)
        return AV_ERR_TIMEOUT;
    if (r < 0)
        return r;
    if (m.bytes.size() > size_t(std::max(0, size)))
        return AV_ERR_BUFFER_TOO_SMALL;
    std::memcpy(buffer, m.bytes.data(), m.bytes.size());
    *ioType = m.ioType;
    return int(m.bytes.size());
}

int P2PClient::sendAudio(const void *data, int length, const unsigned char *frameInfo16)
{
    if (length <= 0)
        return AV_ERR_INVALID_ARG;
    const int r = m_endpoint->sendAudio(m_slot, 0, data, size_t(length), frameInfo16);
    return r < 0 ? r : 0;
}

int P2PClient::recvAudio(char *buffer, int size, unsigned char *frameInfo16, unsigned int *frameNo, int timeoutMs)
{
    P2PSession::Frame f;
    const int r = m_endpoint->receiveAudio(m_slot, 0, f, timeoutMs);
    if (r == 0)
        return AV_ERR_TIMEOUT;
    if (r < 0)
        return r;
    if (f.bytes.size() > size_t(std::max(0, size)))
        return AV_ERR_BUFFER_TOO_SMALL;
    std::memcpy(buffer, f.bytes.data(), f.bytes.size());
    std::memcpy(frameInfo16, f.info, sizeof f.info);
    *frameNo = f.frameNo;
    return int(f.bytes.size());
}

void P2PClient::close()
{
    if (m_slot >= 0)
        m_endpoint->closeSession(m_slot, true);
    m_slot = -1;
    m_endpoint->close();
}

void P2PClient::vanish()
{
    if (m_slot >= 0)
        m_endpoint->silence(m_slot);
}

int P2PClient::state() const
{
    return m_slot < 0 ? IOTC_ERR_INVALID_SESSION : m_endpoint->sessionState(m_slot);
}
