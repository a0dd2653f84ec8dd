#include "RDHttpStreamServerClientThread.h"

#include "RDHttpBaseRequest.h"
#include "RDHttpBinaryResponse.h"
#include "RDHttpConnection.h"
#include "RDHttpStreamResponse.h"
#include "RDHttpStreamServer.h"
#include "RDHttpTextResponse.h"

#include "RDLog.h"

#include <chrono>
#include <memory>

namespace {

// The head as logged: credentials never reach the log file.
std::string loggableHead(const RDHttpBaseRequest &request)
{
    const RDHttpHeaderNameLess less;
    std::string text = request.method() + " " + request.path() + " " + request.version() + "\r\n";
    for (const auto &h : request.headers()) {
        const bool credential = !less(h.first, "Authorization") && !less("Authorization", h.first);
        text += h.first + ": " + (credential ? std::string("(hidden)") : h.second) + "\r\n";
    }
    return text + "\r\n";
}

} // namespace

RDHttpStreamServerClientThread::RDHttpStreamServerClientThread(RDHttpStreamServer *server, RDHttpConnection *connection)
    : m_server(server), m_connection(connection)
{
}

RDHttpStreamServerClientThread::~RDHttpStreamServerClientThread()
{
    delete m_streamBuffer;
    delete m_connection;
}

void RDHttpStreamServerClientThread::stop()
{
    RDThread::stop();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_streamChanged.notify_all();
    }
    // Wakes a read or a write blocked on the socket.
    m_connection->shutdown();
}

bool RDHttpStreamServerClientThread::isListener() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_streamBuffer != nullptr;
}

long long RDHttpStreamServerClientThread::pendingStreamBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_streamBuffer ? static_cast<long long>(m_streamBuffer->size()) : 0;
}

void RDHttpStreamServerClientThread::appendStream(const RDHttpAudioStream &stream, const char *data, int length,
                                                  int limit)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_streamBuffer || m_closeFlag || !m_stream.isSameStream(stream))
        return;
    m_streamBuffer->append(data, static_cast<size_t>(length));
    if (limit > 0 && m_streamBuffer->size() > static_cast<size_t>(limit)) {
        // A listener that falls behind loses the oldest audio, in whole blocks,
        // so it keeps up with the live stream and memory stays bounded.
        const size_t block = m_stream.metaInterval > 0 ? static_cast<size_t>(m_stream.metaInterval) : 1024;
        size_t excess = m_streamBuffer->size() - static_cast<size_t>(limit);
        excess = (excess + block - 1) / block * block;
        if (excess > m_streamBuffer->size())
            excess = m_streamBuffer->size();
        m_streamBuffer->erase(0, excess);
    }
    m_streamChanged.notify_all();
}

void RDHttpStreamServerClientThread::closeStream(const RDHttpAudioStream &stream)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_stream.path.empty() && m_stream.isSameStream(stream)) {
        m_closeFlag = true;
        m_streamChanged.notify_all();
    }
}

void RDHttpStreamServerClientThread::answerError(int status)
{
    RDHttpTextResponse response;
    response.setStatus(status);
    response.setHeader("Connection", "close");
    response.setText("");
    m_connection->sendResponse(response);
}

void RDHttpStreamServerClientThread::run()
{
    if (isStopped()) {
        m_connection->close();
        return;
    }
    while (true) {
        if (!m_connection->isValid())
            break;
        std::unique_ptr<RDHttpBaseRequest> request(m_connection->readRequest());
        if (!request) {
            if (m_connection->errorStatus() != 0 && !isStopped())
                answerError(m_connection->errorStatus());
            break;
        }
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "recv %s\n", loggableHead(*request).c_str());

        if (request->path().compare(0, 7, "/stream") == 0) {
            m_connection->setPhase(RDHttpConnection::Phase::Streaming);
            serveStream(request.get());
            break;
        }

        if (m_server->authenticate(m_connection, request.get())) {
            if (m_server->m_observer) {
                m_server->m_observer->handleRequest(m_server, m_connection, request.get());
            } else {
                RDHttpTextResponse response;
                response.setStatus(404);
                response.setText("");
                m_connection->sendResponse(response);
            }
        }
        if (request->header("Connection") != "keep-alive") {
            m_connection->close();
            m_server->slotFreed();
        }
        request.reset();
        if (isStopped())
            break;
        m_connection->setPhase(RDHttpConnection::Phase::Idle);
    }
    m_connection->close();
    m_server->slotFreed();
}

void RDHttpStreamServerClientThread::serveStream(RDHttpBaseRequest *request)
{
    RDHttpAudioStream stream;
    if (!m_server->findStream(request->path(), stream)) {
        RDHttpTextResponse response;
        response.setStatus(404);
        response.setText("Stream Not Exists");
        m_connection->sendResponse(response);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stream = stream;
        m_closeFlag = false;
        m_streamBuffer = new std::string;
        m_streamBuffer->reserve(static_cast<size_t>(stream.metaInterval > 0 ? stream.metaInterval * 2 : 2048));
    }
    // ICY framing needs a metadata interval; a stream without one is sent raw.
    if (request->header("Icy-MetaData") == "1" && stream.metaInterval >= 1)
        pumpIcy();
    else
        pumpRaw();
    std::lock_guard<std::mutex> lock(m_mutex);
    delete m_streamBuffer;
    m_streamBuffer = nullptr;
}

bool RDHttpStreamServerClientThread::takeBlock(std::string &block, size_t size)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    // The bound lets the pump look at its connection while the stream is
    // silent.
    m_streamChanged.wait_for(lock, std::chrono::milliseconds(250), [&] {
        return isStopped() || m_closeFlag || (m_streamBuffer && m_streamBuffer->size() >= size);
    });
    if (m_closeFlag || !m_streamBuffer || m_streamBuffer->size() < size)
        return false;
    block.assign(*m_streamBuffer, 0, size);
    m_streamBuffer->erase(0, size);
    return true;
}

void RDHttpStreamServerClientThread::pumpIcy()
{
    RDHttpAudioStream stream;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        stream = m_stream;
    }
    RDHttpStreamResponse response;
    response.setBitrate(stream.bitrate);
    response.setSampleRate(stream.sampleRate);
    response.setName(stream.name);
    response.setMetaInterval(stream.metaInterval);
    response.setContentType(stream.contentType);
    response.setPublic(1);
    m_connection->sendText(response.head());

    // Each block is followed by an empty metadata block: one length byte of 0.
    pumpBlocks(static_cast<size_t>(stream.metaInterval), true);
}

void RDHttpStreamServerClientThread::pumpRaw()
{
    std::string contentType;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        contentType = m_stream.contentType;
    }
    RDHttpBinaryResponse response;
    response.setContentType(contentType);
    response.setHeader("Accept-Ranges", "none");
    response.setHeader("Access-Control-Allow-Headers", "Content-Type,X-Requested-With");
    response.setHeader("Connection", "close");
    m_connection->sendText(response.head());

    pumpBlocks(1024, false);
}

void RDHttpStreamServerClientThread::pumpBlocks(size_t size, bool emptyMetadata)
{
    std::string block;
    while (!isStopped()) {
        if (!m_connection->isValid())
            break;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_closeFlag)
                break;
        }
        if (!takeBlock(block, size))
            continue;
        if (emptyMetadata)
            block.push_back('\0');
        m_connection->sendAll(block.data(), static_cast<int>(block.size()));
    }
}
