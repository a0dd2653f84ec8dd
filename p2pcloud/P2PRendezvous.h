#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

// The rendezvous service: devices log in under their uid (and refresh the
// login every few seconds), clients ask for a uid and learn the address the
// device's login came from. A device it has not heard from for
// `Expiry` seconds is forgotten; until then no other host may log in under
// its uid.
class P2PRendezvous
{
public:
    static constexpr double Expiry = 20.0;
    // Devices remembered at once; logins past it are refused.
    static constexpr size_t MaxDevices = 4096;

    P2PRendezvous();
    ~P2PRendezvous();

    // `deviceKey`: the eight characters a device's login information must
    // carry. False when the address cannot be bound.
    bool start(const std::string &ipv4, unsigned short port, const std::string &deviceKey);
    void stop();
    unsigned short port() const { return m_port; }
    int deviceCount() const;

private:
    struct Device {
        sockaddr_in address;
        double seen;
    };

    void run();
    void handle(const uint8_t *data, size_t size, const sockaddr_in &from, double now);

    int m_fd = -1;
    int m_wakeFd = -1;
    unsigned short m_port = 0;
    std::string m_key;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    mutable std::mutex m_mutex;
    std::map<std::string, Device> m_devices;
};
