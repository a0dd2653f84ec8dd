#include "RDHttpConnection.h"

#include "RDHttpBaseRequest.h"
#include "RDHttpRequestParser.h"
#include "RDHttpResponse.h"
#include "RDMFData.h"
#include "RDStringHelper.h"

#include <atomic>
#include <chrono>

RDHttpConnection::RDHttpConnection(RDTcpSocket *socket, const RDHttpServerConfigure &config)
    : m_socket(socket), m_config(config)
{
    if (m_socket) {
        m_peerHost = m_socket->address().host;
        m_peerPort = m_socket->address().port;
        // A send that finds no room returns after this long instead of
        // blocking, so a peer that stops reading is noticed and dropped.
        m_socket->setTimeouts(0, 50000);
    }
    m_readBuffer.reserve(4096);
    setPhase(Phase::Idle);
}

RDHttpConnection::~RDHttpConnection()
{
    delete m_socket;
}

int64_t RDHttpConnection::nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void RDHttpConnection::setPhase(Phase phase)
{
    m_phase = static_cast<int>(phase);
    m_phaseSince = nowMs();
}

void RDHttpConnection::sendResponse(RDHttpResponse *response)
{
    if (response)
        response->send(this);
}

int RDHttpConnection::sendAll(const char *data, int length)
{
    int total = 0;
    int64_t lastProgress = nowMs();
    while (m_socket && m_socket->isValid() && total < length) {
        const int64_t left = lastProgress + m_config.sendTimeoutMs - nowMs();
        if (left <= 0) {
            close(); // the peer takes nothing: do not let it hold this thread
            break;
        }
        const int n = lockedSend(data + total, length - total);
        if (n > 0) {
            total += n;
            lastProgress = nowMs();
        }
    }
    return total;
}

int RDHttpConnection::sendText(const std::string &text)
{
    return sendAll(text.data(), static_cast<int>(text.size()));
}

int RDHttpConnection::lockedSend(const char *data, int length)
{
    std::lock_guard<std::mutex> lock(m_socketMutex);
    if (!m_socket || !m_socket->isValid() || m_shutdown)
        return -1;
    return m_socket->send(data, length);
}

int RDHttpConnection::sendOnce(const char *data, int length)
{
    return lockedSend(data, length);
}

bool RDHttpConnection::isValid() const
{
    return m_socket && m_socket->isValid() && !m_shutdown;
}

void RDHttpConnection::close()
{
    std::lock_guard<std::mutex> lock(m_socketMutex);
    if (m_socket)
        m_socket->close();
}

void RDHttpConnection::shutdown()
{
    m_shutdown = true;
    std::lock_guard<std::mutex> lock(m_socketMutex);
    if (m_socket)
        m_socket->closeHandle();
}

bool RDHttpConnection::evictIfWaiting()
{
    std::lock_guard<std::mutex> lock(m_socketMutex);
    const Phase now = phase();
    if (m_shutdown || (now != Phase::Idle && now != Phase::Reading))
        return false;
    m_shutdown = true;
    if (m_socket)
        m_socket->closeHandle();
    return true;
}

std::string RDHttpConnection::peerPortText() const
{
    return std::to_string(m_peerPort);
}

std::string RDHttpConnection::peerHost() const
{
    return m_peerHost;
}

RDHttpConnection::Receive RDHttpConnection::receiveSome(int64_t deadlineMs)
{
    while (isValid()) {
        const int64_t left = deadlineMs - nowMs();
        if (left <= 0)
            return Receive::TimedOut;
        // A shutdown from another thread wakes this wait at once; the cap of
        // a second only bounds the rare wait that began on a handle number
        // closed and handed to a new socket just before.
        const int64_t waitMs = left < 1000 ? left : 1000;
        const int r = m_socket->waitReadable(static_cast<int>(waitMs / 1000), static_cast<int>(waitMs % 1000) * 1000);
        if (r < 0)
            break;
        if (r == 0)
            continue;
        char buf[4096];
        int n;
        {
            // Readable already, so this does not block while holding the lock.
            std::lock_guard<std::mutex> lock(m_socketMutex);
            n = m_socket->isValid() ? m_socket->recv(buf, sizeof buf) : -1;
        }
        if (n > 0) {
            m_readBuffer.append(buf, static_cast<size_t>(n));
            return Receive::Data;
        }
        if (!isValid())
            break;
    }
    return Receive::Closed;
}

RDHttpBaseRequest *RDHttpConnection::readRequest()
{
    m_errorStatus = 0;
    if (!isValid())
        return nullptr;

    RDHttpRequestParser::Limits limits;
    limits.maxHeadBytes = static_cast<size_t>(m_config.maxHeadBytes > 0 ? m_config.maxHeadBytes : 16 * 1024);
    limits.maxLineBytes = static_cast<size_t>(m_config.maxLineBytes > 0 ? m_config.maxLineBytes : 8 * 1024);
    limits.maxBodyBytes = m_config.maxBodyBytes > 0 ? m_config.maxBodyBytes : 1024 * 1024;

    auto *request = new RDHttpBaseRequest;
    const int64_t idleStart = nowMs();
    int64_t firstByte = m_readBuffer.empty() ? 0 : idleStart;
    while (true) {
        const auto r = RDHttpRequestParser::parseHead(m_readBuffer.data(), m_readBuffer.size(), *request, limits);
        if (r.status == RDHttpRequestParser::Status::Ok) {
            m_readBuffer.erase(0, r.consumed);
            break;
        }
        if (r.status == RDHttpRequestParser::Status::Bad) {
            m_errorStatus = r.errorStatus;
            m_readBuffer.clear();
            delete request;
            return nullptr;
        }
        m_readBuffer.erase(0, r.consumed);
        if (!m_readBuffer.empty() && firstByte == 0)
            firstByte = nowMs();
        setPhase(m_readBuffer.empty() ? Phase::Idle : Phase::Reading);
        const int64_t deadline = firstByte == 0 ? idleStart + m_config.idleTimeoutMs : firstByte + m_config.headTimeoutMs;
        const Receive got = receiveSome(deadline);
        if (got != Receive::Data) {
            if (got == Receive::TimedOut && !m_readBuffer.empty())
                m_errorStatus = 408;
            delete request;
            return nullptr;
        }
    }

    // The body is exactly Content-Length bytes (RFC 7230 section 3.3.3); what
    // follows belongs to the next request and stays in the read buffer.
    setPhase(Phase::Reading);
    RDData *body;
    if (m_config.bodyTempPath.empty() || m_config.bodyMemoryLimit < 1)
        body = new RDMFData;
    else
        body = new RDMFData(joinPath(m_config.bodyTempPath, peerPortText()), m_config.bodyMemoryLimit);
    request->setBody(body);
    int64_t remaining = request->contentLength();
    int64_t lastByte = nowMs();
    while (remaining > 0) {
        if (!m_readBuffer.empty()) {
            const size_t take = static_cast<size_t>(
                remaining < static_cast<int64_t>(m_readBuffer.size()) ? remaining : static_cast<int64_t>(m_readBuffer.size()));
            if (body->write(m_readBuffer.data(), static_cast<int>(take)) != static_cast<int>(take)) {
                m_errorStatus = 500; // the spill file could not be written
                delete request;
                return nullptr;
            }
            m_readBuffer.erase(0, take);
            remaining -= static_cast<int64_t>(take);
            continue;
        }
        const Receive got = receiveSome(lastByte + m_config.headTimeoutMs);
        if (got != Receive::Data) {
            if (got == Receive::TimedOut)
                m_errorStatus = 408;
            delete request;
            return nullptr;
        }
        lastByte = nowMs();
    }
    {
        std::lock_guard<std::mutex> lock(m_socketMutex);
        if (m_shutdown) { // evicted while the last bytes came in
            delete request;
            return nullptr;
        }
        setPhase(Phase::Busy);
    }
    return request;
}
