// The P2P rendezvous service: devices log in by uid, clients look them up.
//   p2p_rendezvous [--listen ADDRESS:PORT] [--key DEVICEKEY]
// Prints "listening PORT" once bound (port 0 lets the system choose) and
// runs until SIGINT or SIGTERM.
#include "P2PRendezvous.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>

int main(int argc, char **argv)
{
    std::string address = "127.0.0.1";
    unsigned short port = 32100;
    std::string key = "73519046";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--listen" && i + 1 < argc) {
            const std::string value = argv[++i];
            const size_t colon = value.rfind(':');
            if (colon == std::string::npos) {
                std::fprintf(stderr, "p2p_rendezvous: --listen wants ADDRESS:PORT\n");
                return 2;
            }
            address = value.substr(0, colon);
            const long p = std::strtol(value.c_str() + colon + 1, nullptr, 10);
            if (p < 0 || p > 65535) {
                std::fprintf(stderr, "p2p_rendezvous: bad port\n");
                return 2;
            }
            port = static_cast<unsigned short>(p);
        } else if (arg == "--key" && i + 1 < argc) {
            key = argv[++i];
        } else {
            std::fprintf(stderr, "usage: p2p_rendezvous [--listen ADDRESS:PORT] [--key DEVICEKEY]\n");
            return 2;
        }
    }
    // Signals are taken by sigwait below, never by the service's thread.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    P2PRendezvous service;
    if (!service.start(address, port, key)) {
        std::fprintf(stderr, "p2p_rendezvous: cannot listen on %s:%u\n", address.c_str(), unsigned(port));
        return 1;
    }
    std::printf("listening %u\n", unsigned(service.port()));
    std::fflush(stdout);
    int received = 0;
    sigwait(&signals, &received);
    service.stop();
    return 0;
}
