#pragma once

#include <QProcess>

namespace PaTest {

// The P2P rendezvous service program, run on a free loopback port for the
// length of a test and stopped with it.
class RendezvousProcess
{
public:
    RendezvousProcess();
    ~RendezvousProcess();
    RendezvousProcess(const RendezvousProcess &) = delete;
    RendezvousProcess &operator=(const RendezvousProcess &) = delete;

    // Starts the program and waits (bounded) until it reports its port.
    bool start(int timeoutMs = 10000);
    void stop();
    int port() const { return m_port; }

private:
    QProcess m_process;
    int m_port = 0;
};

} // namespace PaTest
