#pragma once

#include "FrameEncoder.h"

#include <cstdint>
#include <netinet/in.h>
#include <string>

// Sends a conference's mix to a paging address as RTP, G.711 mu-law
// (payload type 0), one packet per 20 ms frame. The address may be a
// multicast group.
class PageSender
{
public:
    PageSender();
    ~PageSender();
    PageSender(const PageSender &) = delete;
    PageSender &operator=(const PageSender &) = delete;

    // False when `host` is not an IPv4 address or the socket cannot be made.
    bool open(const std::string &host, int port);
    // Encodes one mix frame and sends it.
    void send(const int16_t *frame);

private:
    int m_fd = -1;
    sockaddr_in m_dest{};
    FrameEncoder m_encoder;
    uint16_t m_sequence;
    uint32_t m_timestamp;
    uint32_t m_ssrc;
    bool m_marker = true;
};
