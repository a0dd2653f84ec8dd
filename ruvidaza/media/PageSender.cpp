#include "PageSender.h"

#include "RtpPacket.h"

#include <arpa/inet.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

PageSender::PageSender()
{
    std::random_device random;
    m_sequence = static_cast<uint16_t>(random());
    m_timestamp = random();
    m_ssrc = random();
}

PageSender::~PageSender()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool PageSender::open(const std::string &host, int port)
{
    if (port <= 0 || port > 65535) {
        return false;
    }
    m_dest.sin_family = AF_INET;
    m_dest.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, host.c_str(), &m_dest.sin_addr) != 1) {
        return false;
    }
    if (!m_encoder.init(MediaCodec{"PCMU", 0, 8000, 1, {}})) {
        return false;
    }
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    return m_fd >= 0;
}

void PageSender::send(const int16_t *frame)
{
    if (m_fd < 0) {
        return;
    }
    uint8_t payload[FrameEncoder::kMaxPayload];
    const int n = m_encoder.encode(frame, payload, sizeof(payload));
    uint8_t packet[RtpPacket::kHeaderSize + FrameEncoder::kMaxPayload];
    const int length = n > 0 ? RtpPacket::write(0, m_marker, m_sequence, m_timestamp, m_ssrc, payload, n, packet,
                                                sizeof(packet))
                             : -1;
    m_sequence++;
    m_timestamp += m_encoder.timestampStep();
    m_marker = false;
    if (length > 0) {
        ::sendto(m_fd, packet, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&m_dest), sizeof(m_dest));
    }
}
