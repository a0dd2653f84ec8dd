#pragma once

// Minimal socket and body-store primitives used by the HTTP server
// while it is built on its own; the shapes follow the foundation classes so
// the server can move onto them one for one.

#include <atomic>
#include <cstdint>
#include <string>

namespace httpshim {

struct Address {
    std::string host;
    int port = 0;
    Address() = default;
    Address(std::string h, int p) : host(std::move(h)), port(p) {}
};

class TcpSocket
{
public:
    explicit TcpSocket(int fd, Address peer) : m_fd(fd), m_address(std::move(peer)) {}
    ~TcpSocket();
    int send(const char *data, int length);
    int recv(char *buffer, int length);
    void close();
    int closeHandle();
    bool isValid() const { return m_fd != -1; }
    const Address &address() const { return m_address; }
    // poll() for readability / writability; >0 ready, 0 time-out, <0 error.
    int waitReadable(int timeoutMs);
    int waitWritable(int timeoutMs);
    int handle() const { return m_fd; }

private:
    std::atomic<int> m_fd;
    Address m_address;
};

class TcpServer
{
public:
    ~TcpServer();
    int listen(const Address &address, int backlog);
    TcpSocket *accept();
    void close();
    int closeHandle();
    bool isValid() const { return m_fd != -1; }
    int waitReadable(int timeoutMs);
    Address boundAddress() const;

private:
    std::atomic<int> m_fd {-1};
};

// Memory first, then a file once `memoryLimit` bytes are exceeded.
class BodyData
{
public:
    BodyData() = default;
    BodyData(std::string spillPath, int memoryLimit) : m_path(std::move(spillPath)), m_limit(memoryLimit) {}
    ~BodyData();
    int write(const char *data, int length);
    int read(char *buffer, int length);
    int size() const;
    bool isEmpty() const { return size() == 0; }
    bool spilled() const { return m_file != nullptr; }

private:
    std::string m_memory;
    size_t m_readPos = 0;
    std::string m_path;
    int m_limit = 0;
    FILE *m_file = nullptr;
    int64_t m_fileWritten = 0;
    int64_t m_fileRead = 0;
};

} // namespace httpshim
