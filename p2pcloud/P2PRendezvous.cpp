#include "P2PRendezvous.h"

#include "P2PErrors.h"
#include "P2PPacket.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <vector>

namespace {

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

P2PRendezvous::P2PRendezvous() = default;

P2PRendezvous::~P2PRendezvous()
{
    stop();
}

bool P2PRendezvous::start(const std::string &ipv4, unsigned short port, const std::string &deviceKey)
{
    stop();
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (::inet_pton(AF_INET, ipv4.c_str(), &a.sin_addr) != 1)
        return false;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
        ::close(fd);
        return false;
    }
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wakeFd < 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_port = ntohs(a.sin_port);
    m_key = deviceKey;
    m_running = true;
    m_thread = std::thread([this] { run(); });
    return true;
}

void P2PRendezvous::stop()
{
    if (!m_thread.joinable())
        return;
    m_running = false;
    const uint64_t one = 1;
    (void)!::write(m_wakeFd, &one, sizeof one);
    m_thread.join();
    ::close(m_fd);
    ::close(m_wakeFd);
    m_fd = m_wakeFd = -1;
    m_port = 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_devices.clear();
}

int P2PRendezvous::deviceCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(m_devices.size());
}

void P2PRendezvous::handle(const uint8_t *data, size_t size, const sockaddr_in &from, double t)
{
    P2PPacket p;
    if (!P2PPacket::parse(data, size, p))
        return;
    P2PPacket reply;
    reply.connection = p.connection;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_devices.begin(); it != m_devices.end();) {
        if (t - it->second.seen >= Expiry)
            it = m_devices.erase(it);
        else
            ++it;
    }
    if (p.type == P2PPacket::Login) {
        reply.type = P2PPacket::LoginReply;
        const bool keyOk = std::memcmp(p.info.data() + 8, m_key.data(), std::min<size_t>(8, m_key.size())) == 0 &&
                           m_key.size() == 8;
        const auto held = m_devices.find(p.uid);
        const bool room = held != m_devices.end() || m_devices.size() < MaxDevices;
        // The key is the same for every device: while a uid's login is
        // fresh, only its own host (on any port: a restarted device) may
        // log in under it again.
        const bool taken = held != m_devices.end() && held->second.address.sin_addr.s_addr != from.sin_addr.s_addr;
        if (p.uid.empty() || !keyOk || !room || taken) {
            reply.result = IOTC_ERR_LOGIN_REFUSED;
        } else {
            m_devices[p.uid] = Device{from, t};
            reply.result = 0;
        }
    } else if (p.type == P2PPacket::Lookup) {
        reply.type = P2PPacket::LookupReply;
        const auto it = m_devices.find(p.uid);
        if (it == m_devices.end()) {
            reply.result = IOTC_ERR_DEVICE_NOT_FOUND;
        } else {
            reply.result = 0;
            reply.address = ntohl(it->second.address.sin_addr.s_addr);
            reply.port = ntohs(it->second.address.sin_port);
        }
    } else {
        return;
    }
    const std::vector<uint8_t> bytes = reply.encode();
    ::sendto(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&from), sizeof from);
}

void P2PRendezvous::run()
{
    std::vector<uint8_t> buffer(P2PPacket::MaxDatagram + 1);
    while (m_running) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (!m_running)
            break;
        for (;;) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n =
                ::recvfrom(m_fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr *>(&from), &len);
            if (n < 0)
                break;
            handle(buffer.data(), size_t(n), from, now());
        }
    }
}
