#include "LiveWavServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

LiveWavServer::LiveWavServer(int rate, int burstMs) : m_rate(rate), m_burstMs(burstMs)
{
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof(a);
    if (::bind(m_listen, reinterpret_cast<sockaddr *>(&a), n) == 0 && ::listen(m_listen, 4) == 0
        && ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&a), &n) == 0)
        m_port = ntohs(a.sin_port);
    m_thread = std::thread([this] { serve(); });
}

LiveWavServer::~LiveWavServer()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
    }
    m_stopped.notify_all();
    ::shutdown(m_listen, SHUT_RDWR);
    m_thread.join();
    ::close(m_listen);
}

QString LiveWavServer::url() const
{
    return QStringLiteral("http://127.0.0.1:%1/live.wav").arg(m_port);
}

void LiveWavServer::serve()
{
    for (;;) {
        const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        sendLive(client);
        ::close(client);
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_stop)
            return;
    }
}

void LiveWavServer::sendLive(int client)
{
    char request[2048];
    pollfd pfd {client, POLLIN, 0};
    if (::poll(&pfd, 1, 5000) <= 0 || ::recv(client, request, sizeof(request), 0) <= 0)
        return;
    std::string head = "HTTP/1.0 200 OK\r\nContent-Type: audio/wav\r\n\r\n";
    const uint32_t rate = uint32_t(m_rate), big = 0x7ffffff0u, byteRate = rate * 2;
    unsigned char h[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0,
                           1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
    std::memcpy(h + 4, &big, 4);
    std::memcpy(h + 24, &rate, 4);
    std::memcpy(h + 28, &byteRate, 4);
    std::memcpy(h + 40, &big, 4);
    head.append(reinterpret_cast<const char *>(h), sizeof(h));
    head.append(size_t(m_rate) * size_t(m_burstMs) / 1000 * 2, '\0');
    if (::send(client, head.data(), head.size(), MSG_NOSIGNAL) < 0)
        return;
    const int samples = m_rate / 50;
    std::vector<int16_t> chunk(size_t(samples), 0);
    long toneSamples = 0;
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(m_lock);
    for (long i = 0; !m_stop; ++i) {
        lock.unlock();
        const bool tone = m_tone.load();
        for (int k = 0; k < samples; ++k, toneSamples += tone ? 1 : 0)
            chunk[size_t(k)] = tone ? int16_t(12000 * std::sin(2 * M_PI * 1000.0 * double(toneSamples) / m_rate)) : 0;
        if (tone && m_toneAt.load() == std::chrono::steady_clock::time_point())
            m_toneAt = std::chrono::steady_clock::now();
        const bool sent = ::send(client, chunk.data(), chunk.size() * 2, MSG_NOSIGNAL) >= 0;
        lock.lock();
        if (!sent)
            return;
        // The source's own pace; a stop ends the wait at once.
        m_stopped.wait_until(lock, start + std::chrono::milliseconds(20 * (i + 1)), [this] { return m_stop; });
    }
}
