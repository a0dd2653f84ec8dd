// The server over loopback: requests handed to the observer, framing on
// kept-alive connections, limits, time-outs, the connection cap,
// authentication and live streams.
#include "HttpTestClient.h"
#include "RDHttpBaseRequest.h"
#include "RDHttpConnection.h"
#include "RDHttpFileResponse.h"
#include "RDHttpStreamServer.h"
#include "RDHttpTextResponse.h"
#include "RDHttpUtils.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <algorithm>

#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <vector>

namespace {

struct Seen {
    std::string method;
    std::string path;
    std::string target;
    std::string body;
    std::string bodyFileDir; // folder listing of the spill folder while the request was handled
};

// Stands where the routes plug in: records every request and answers with
// the request's path and body.
class RecordingObserver : public RDHttpStreamServerObserver
{
public:
    void onStarted(RDHttpStreamServer *, const RDSocketAddress &address) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++started;
        startedAddress = address;
    }
    void onStartFailed(RDHttpStreamServer *, const RDSocketAddress &address) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++failed;
        failedAddress = address;
    }
    void handleRequest(RDHttpStreamServer *, RDHttpConnection *connection, RDHttpBaseRequest *request) override
    {
        Seen s;
        s.method = request->method();
        s.path = request->path();
        s.target = request->target();
        if (!spillDir.empty()) {
            for (const auto &e : std::filesystem::directory_iterator(spillDir))
                s.bodyFileDir += e.path().filename().string() + ";";
        }
        s.body = request->readBody();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            seen.push_back(s);
        }
        RDHttpTextResponse response;
        response.setText(s.path + "|" + s.body);
        connection->sendResponse(response);
    }
    std::vector<Seen> all()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return seen;
    }

    std::mutex m_mutex;
    std::vector<Seen> seen;
    int started = 0;
    int failed = 0;
    RDSocketAddress startedAddress;
    RDSocketAddress failedAddress;
    std::string spillDir;
};

class HttpServerTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        if (server)
            server->stop();
    }

    // Starts on a free loopback port; retries when another test took it meanwhile.
    void startServer(RDHttpServerConfigure config, bool withObserver = true)
    {
        server = std::make_unique<RDHttpStreamServer>();
        if (withObserver)
            server->setObserver(&observer);
        config.host = "127.0.0.1";
        for (int attempt = 0; attempt < 20; ++attempt) {
            config.port = freeLoopbackPort();
            server->setConfigure(config);
            if (server->start() == 0) {
                port = config.port;
                return;
            }
        }
        FAIL() << "no free port";
    }

    std::string get(const std::string &target, const std::string &extra = "")
    {
        return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
    }

    RecordingObserver observer;
    std::unique_ptr<RDHttpStreamServer> server;
    int port = 0;
};

TEST_F(HttpServerTest, RequestsReachTheObserverAndKeepAliveIsHonoured)
{
    startServer(RDHttpServerConfigure());
    EXPECT_EQ(observer.started, 1);
    EXPECT_TRUE(server->isListening());
    EXPECT_EQ(server->listenAddress().port, port);
    EXPECT_TRUE(PaTest::waitUntil([] { return processHasThreadNamed("RDHttpServer"); }));

    HttpTestClient c;
    ASSERT_TRUE(c.connectTo(port));
    ASSERT_TRUE(c.send(get("/action?zone=3001&operation=start", "Connection: keep-alive\r\n")));
    int status = 0;
    std::string head, body;
    ASSERT_TRUE(c.readResponse(status, head, body));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(body, "/action?zone=3001&operation=start|");
    // Kept alive: a second request on the same connection, then one without
    // keep-alive closes the connection after its answer.
    ASSERT_TRUE(c.send(get("/two", "Connection: Keep-Alive\r\n")));
    ASSERT_TRUE(c.readResponse(status, head, body));
    EXPECT_EQ(body, "/two|");
    EXPECT_TRUE(c.waitClosed());
    EXPECT_EQ(observer.all().size(), 2u);
}

TEST_F(HttpServerTest, WithoutObserverEveryRequestGets404)
{
    startServer(RDHttpServerConfigure(), false);
    HttpTestClient c;
    ASSERT_TRUE(c.connectTo(port));
    ASSERT_TRUE(c.send(get("/anything")));
    int status = 0;
    std::string head, body;
    ASSERT_TRUE(c.readResponse(status, head, body));
    EXPECT_EQ(status, 404);
    EXPECT_EQ(body, "");
    EXPECT_NE(head.find("Content-Type: text;charset=UTF-8"), std::string::npos);
}

TEST_F(HttpServerTest, BodiesNeverBecomeRequestsOnAKeptAliveConnection)
{
    startServer(RDHttpServerConfigure());
    HttpTestClient c;
    ASSERT_TRUE(c.connectTo(port));
    // 1: a form body that looks like a request; 2: a lower-case length; 3: an
    // encoded '&' in a query; then a pipelined GET in the same packet.
    const std::string smuggled = "GET /action?zone=3001&operation=stop HTTP/1.1\r\n\r\n";
    std::string bytes = "POST /form HTTP/1.1\r\nConnection: keep-alive\r\nContent-Length: "
        + std::to_string(smuggled.size()) + "\r\n\r\n" + smuggled;
    bytes += "POST /lower HTTP/1.1\r\nConnection: keep-alive\r\ncontent-length: 12\r\n\r\nGET /x HTTP/";
    bytes += get("/q?v=%2526", "Connection: keep-alive\r\n");
    bytes += get("/last");
    ASSERT_TRUE(c.send(bytes));
    std::vector<std::string> bodies;
    int status = 0;
    std::string head, body;
    while (c.readResponse(status, head, body, 3000))
        bodies.push_back(body);
    ASSERT_EQ(bodies.size(), 4u);
    EXPECT_EQ(bodies[0], "/form|" + smuggled);
    EXPECT_EQ(bodies[1], "/lower|GET /x HTTP/");
    EXPECT_EQ(bodies[2], "/q?v=%26|");
    EXPECT_EQ(bodies[3], "/last|");
    const auto seen = observer.all();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(parseHttpQuery(seen[2].target).at("v"), "%26");
    for (const auto &s : seen)
        EXPECT_EQ(s.path.find("/action"), std::string::npos) << "a body ran as a request";
}

TEST_F(HttpServerTest, OversizedOrMalformedRequestsAreRefusedAndClosed)
{
    RDHttpServerConfigure config;
    config.maxBodyBytes = 1000;
    startServer(config);
    struct Case {
        std::string bytes;
        int status;
    } cases[] = {
        {"NONSENSE\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nX-Big: " + std::string(20000, 'a') + "\r\n\r\n", 431},
        {"GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n\r\n", 414},
        {"POST / HTTP/1.1\r\nContent-Length: 1001\r\n\r\n", 413},
        {"POST / HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nContent-Length: -4\r\n\r\nabcd", 400},
        {"POST / HTTP/1.1\r\nContent-Length: zz\r\n\r\n", 400},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 501},
    };
    for (const auto &k : cases) {
        HttpTestClient c;
        ASSERT_TRUE(c.connectTo(port));
        c.send(k.bytes);
        int status = 0;
        std::string head, body;
        ASSERT_TRUE(c.readResponse(status, head, body)) << k.bytes.substr(0, 40);
        EXPECT_EQ(status, k.status) << k.bytes.substr(0, 40);
        EXPECT_TRUE(c.waitClosed()) << k.bytes.substr(0, 40);
    }
    // A head that never ends is cut off at the limit, not buffered for ever.
    HttpTestClient endless;
    ASSERT_TRUE(endless.connectTo(port));
    endless.send("GET / HTTP/1.1\r\n");
    for (int i = 0; i < 2000 && endless.send("X-Filler: 0123456789012345678901234567890123456789\r\n"); ++i) {
    }
    int status = 0;
    std::string head, body;
    ASSERT_TRUE(endless.readResponse(status, head, body));
    EXPECT_EQ(status, 431);
    EXPECT_TRUE(observer.all().empty());
}

TEST_F(HttpServerTest, BodyCutShortGetsNoAnswer)
{
    startServer(RDHttpServerConfigure());
    HttpTestClient c;
    ASSERT_TRUE(c.connectTo(port));
    ASSERT_TRUE(c.send("POST /x HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc"));
    c.close();
    HttpTestClient probe;
    ASSERT_TRUE(probe.connectTo(port));
    ASSERT_TRUE(probe.send(get("/after")));
    int status = 0;
    std::string head, body;
    ASSERT_TRUE(probe.readResponse(status, head, body));
    const auto seen = observer.all();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].path, "/after");
}

TEST_F(HttpServerTest, LargeBodiesSpillToTheTempFolderAndAreRemoved)
{
    QTemporaryDir spill;
    RDHttpServerConfigure config;
    config.bodyTempPath = spill.path().toStdString();
    config.bodyMemoryLimit = 1024;
    observer.spillDir = config.bodyTempPath;
    startServer(config);
    std::string payload;
    for (int i = 0; i < 50000; ++i)
        payload.push_back(static_cast<char>('a' + i % 26));
    HttpTestClient c;
    ASSERT_TRUE(c.connectTo(port));
    ASSERT_TRUE(c.send("POST /up HTTP/1.1\r\nContent-Length: " + std::to_string(payload.size()) + "\r\n\r\n" + payload));
    int status = 0;
    std::string head, body;
    ASSERT_TRUE(c.readResponse(status, head, body));
    EXPECT_EQ(body, "/up|" + payload);
    const auto seen = observer.all();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_FALSE(seen[0].bodyFileDir.empty()) << "the body was not moved to a file";
    EXPECT_TRUE(PaTest::waitUntil([&] { return std::filesystem::is_empty(config.bodyTempPath); }));
}

TEST_F(HttpServerTest, SlowAndIdleClientsAreTimedOut)
{
    RDHttpServerConfigure config;
    config.idleTimeoutMs = 300;
    config.headTimeoutMs = 300;
    startServer(config);
    HttpTestClient idle;
    ASSERT_TRUE(idle.connectTo(port));
    HttpTestClient slow;
    ASSERT_TRUE(slow.connectTo(port));
    ASSERT_TRUE(slow.send("GET /slow HTTP/1.1\r\nHost: x\r\n"));
    HttpTestClient slowBody;
    ASSERT_TRUE(slowBody.connectTo(port));
    ASSERT_TRUE(slowBody.send("POST /b HTTP/1.1\r\nContent-Length: 100\r\n\r\nabc"));

    EXPECT_TRUE(idle.waitClosed());
    EXPECT_TRUE(idle.buffer().empty()) << "an idle connection is closed without an answer";
    int status = 0;
    std::string head, body;
    ASSERT_TRUE(slow.readResponse(status, head, body));
    EXPECT_EQ(status, 408);
    ASSERT_TRUE(slowBody.readResponse(status, head, body));
    EXPECT_EQ(status, 408);
    EXPECT_TRUE(observer.all().empty());
    EXPECT_TRUE(PaTest::waitUntil([&] { return server->connectionCount() == 0; }));
}

TEST_F(HttpServerTest, ConnectionFloodIsCappedAndRealRequestsStillPass)
{
    RDHttpServerConfigure config;
    config.maxConnections = 8;
    startServer(config);
    const int threadsBefore = processThreadCount();
    // Kept-alive clients that went quiet after a request hold connection
    // threads; past the cap the longest-idle one gives way.
    std::vector<std::unique_ptr<HttpTestClient>> idlers;
    for (int i = 0; i < 100; ++i) {
        idlers.push_back(std::make_unique<HttpTestClient>());
        ASSERT_TRUE(idlers.back()->connectTo(port));
        ASSERT_TRUE(idlers.back()->send(get("/idle", "Connection: keep-alive\r\n")));
        int status = 0;
        std::string head, body;
        ASSERT_TRUE(idlers.back()->readResponse(status, head, body)) << i;
        EXPECT_EQ(status, 200) << i;
    }
    EXPECT_TRUE(PaTest::waitUntil([&] { return server->connectionCount() == 8; }));
    EXPECT_TRUE(idlers.front()->waitClosed()) << "the longest-idle connection was not evicted";
    HttpTestClient real;
    ASSERT_TRUE(real.connectTo(port));
    ASSERT_TRUE(real.send(get("/action?zone=3001&operation=start")));
    int status = 0;
    std::string head, body;
    ASSERT_TRUE(real.readResponse(status, head, body, 10000));
    EXPECT_EQ(status, 200);
    EXPECT_LE(server->connectionCount(), 8);
    // Evicted threads end by themselves, without anyone waiting for them.
    EXPECT_TRUE(PaTest::waitUntil([&] { return processThreadCount() <= threadsBefore + 8 + 2; }));
}

// Holds every request (or only those for `gatedPath`, when set) until
// released, like a route waiting on the switch; others get "ok" at once.
class BlockingObserver : public RDHttpStreamServerObserver
{
public:
    void handleRequest(RDHttpStreamServer *, RDHttpConnection *connection, RDHttpBaseRequest *request) override
    {
        if (!gatedPath.empty() && request->path() != gatedPath) {
            RDHttpTextResponse response;
            response.setText("ok");
            connection->sendResponse(response);
            return;
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_entered;
        m_cv.wait(lock, [this] { return m_released; });
        RDHttpTextResponse response;
        response.setText("done");
        connection->sendResponse(response);
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_cv.notify_all();
    }
    int entered()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entered;
    }

    std::string gatedPath;

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_released = false;
    int m_entered = 0;
};

TEST_F(HttpServerTest, BusySlotsAreNeverEvictedAndLateClientsHearSo)
{
    BlockingObserver blocking;
    RDHttpServerConfigure config;
    config.maxConnections = 1;
    startServer(config, false);
    server->setObserver(&blocking);
    HttpTestClient first;
    ASSERT_TRUE(first.connectTo(port));
    ASSERT_TRUE(first.send(get("/slow")));
    ASSERT_TRUE(PaTest::waitUntil([&] { return blocking.entered() == 1; }));
    // The only slot is busy with a request: the next client is told 503
    // instead of waiting unanswered, and the busy request is not cut off.
    HttpTestClient second;
    ASSERT_TRUE(second.connectTo(port));
    ASSERT_TRUE(second.send(get("/late")));
    int status = 0;
    std::string head, body;
    ASSERT_TRUE(second.readResponse(status, head, body, 10000));
    EXPECT_EQ(status, 503);
    blocking.release();
    ASSERT_TRUE(first.readResponse(status, head, body));
    EXPECT_EQ(body, "done");
    // Once the slot is free again the next client is served.
    HttpTestClient third;
    ASSERT_TRUE(third.connectTo(port));
    ASSERT_TRUE(third.send(get("/next")));
    ASSERT_TRUE(third.readResponse(status, head, body, 10000));
    EXPECT_EQ(status, 200);
    server->stop();
}

TEST_F(HttpServerTest, BusyPortIsReportedAsFailure)
{
    startServer(RDHttpServerConfigure());
    RecordingObserver second;
    RDHttpStreamServer other;
    other.setObserver(&second);
    RDHttpServerConfigure config;
    config.host = "127.0.0.1";
    config.port = port;
    other.setConfigure(config);
    // Another listener holds the port, SO_REUSEADDR notwithstanding.
    EXPECT_EQ(other.start(), -1);
    EXPECT_EQ(second.failed, 1);
    EXPECT_EQ(second.started, 0);
    EXPECT_EQ(second.failedAddress.port, port);
    EXPECT_FALSE(other.isListening());
    other.stop();

    RDHttpStreamServer defaults;
    EXPECT_EQ(defaults.configure()->port, 0);
}

QStringList g_logged;
std::mutex g_loggedMutex;

TEST_F(HttpServerTest, BasicCredentialsWhenConfigured)
{
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &m) {
        std::lock_guard<std::mutex> lock(g_loggedMutex);
        g_logged << m;
    });
    RDHttpServerConfigure config;
    config.user = "admin";
    config.password = "s3cret";
    startServer(config);
    // base64("admin:s3cret"); the scheme word plays no part.
    for (const char *scheme : {"Basic", "Whatever"}) {
        HttpTestClient c;
        ASSERT_TRUE(c.connectTo(port));
        ASSERT_TRUE(c.send(get("/ok", std::string("Authorization: ") + scheme + " YWRtaW46czNjcmV0\r\n")));
        int status = 0;
        std::string head, body;
        ASSERT_TRUE(c.readResponse(status, head, body)) << scheme;
        EXPECT_EQ(body, "/ok|");
    }
    for (const char *auth : {"", "Authorization: Basic YWRtaW46d3Jvbmc=\r\n", "Authorization: YWRtaW46czNjcmV0\r\n"}) {
        HttpTestClient c;
        ASSERT_TRUE(c.connectTo(port));
        ASSERT_TRUE(c.send(get("/refused", auth)));
        EXPECT_TRUE(c.waitClosed()) << auth;
        EXPECT_TRUE(c.buffer().empty()) << auth;
    }
    EXPECT_EQ(observer.all().size(), 2u);
    server->stop();
    qInstallMessageHandler(previous);
    // Requests are logged, their credentials are not.
    std::lock_guard<std::mutex> lock(g_loggedMutex);
    EXPECT_TRUE(g_logged.join("\n").contains("recv GET /ok"));
    EXPECT_FALSE(g_logged.join("\n").contains("YWRtaW46")) << g_logged.join("\n").toStdString();
}

// Serves a folder the way the upload route does: every target is checked
// against the folder before a file is opened.
class FolderObserver : public RDHttpStreamServerObserver
{
public:
    explicit FolderObserver(std::string root) : m_root(std::move(root)) {}
    void handleRequest(RDHttpStreamServer *, RDHttpConnection *connection, RDHttpBaseRequest *request) override
    {
        std::string path;
        if (!httpResolvePathInFolder(m_root, request->target(), path) || !std::filesystem::is_regular_file(path)) {
            RDHttpTextResponse refused;
            refused.setText("{\"result\":-1, \"reason\":\"uri not support\"}");
            connection->sendResponse(refused);
            return;
        }
        RDHttpFileResponse file;
        file.setFile(path);
        connection->sendResponse(file);
    }

private:
    std::string m_root;
};

TEST_F(HttpServerTest, FilesOutsideTheServedFolderNeverLeak)
{
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString();
    std::filesystem::create_directories(base + "/upload/media");
    std::filesystem::create_directories(base + "/database");
    std::ofstream(base + "/database/velmar.db") << "SECRET-DATABASE";
    std::ofstream(base + "/upload/media/song.mp3") << "ID3-audio";
    std::filesystem::create_symlink(base + "/database/velmar.db", base + "/upload/media/db.mp3");

    FolderObserver folder(base + "/upload");
    startServer(RDHttpServerConfigure(), false);
    server->setObserver(&folder);
    for (const char *target : {"/../database/velmar.db", "/%2e%2e/database/velmar.db", "/media/..%2F..%2Fdatabase/velmar.db",
                               "/media/db.mp3", "/media/song.mp3%00.txt", "//..//database/velmar.db"}) {
        HttpTestClient c;
        ASSERT_TRUE(c.connectTo(port));
        ASSERT_TRUE(c.send(get(target)));
        int status = 0;
        std::string head, body;
        ASSERT_TRUE(c.readResponse(status, head, body)) << target;
        EXPECT_EQ(body, "{\"result\":-1, \"reason\":\"uri not support\"}") << target;
        EXPECT_EQ(head.find("SECRET"), std::string::npos);
    }
    HttpTestClient ok;
    ASSERT_TRUE(ok.connectTo(port));
    ASSERT_TRUE(ok.send(get("/media/song.mp3")));
    int status = 0;
    std::string head, body;
    ASSERT_TRUE(ok.readResponse(status, head, body));
    EXPECT_EQ(body, "ID3-audio");
    EXPECT_NE(head.find("Content-Type: audio/mp3\r\n"), std::string::npos);
}

class HttpStreamTest : public HttpServerTest
{
protected:
    static RDHttpAudioStream stream(const std::string &path)
    {
        RDHttpAudioStream s;
        s.path = path;
        s.name = "zone";
        s.contentType = "audio/mp3";
        s.bitrate = 64000;
        s.sampleRate = 44100;
        s.metaInterval = 1024;
        return s;
    }

    // Connects a listener and waits for the head of its stream.
    std::unique_ptr<HttpTestClient> listen(const std::string &path, bool icy, std::string &head)
    {
        auto c = std::make_unique<HttpTestClient>();
        EXPECT_TRUE(c->connectTo(port));
        c->send(get(path, icy ? "Icy-MetaData: 1\r\n" : ""));
        EXPECT_TRUE(PaTest::waitUntil([&] { return c->readAtLeast(1, 10) && c->buffer().find("\r\n\r\n") != std::string::npos; }));
        const size_t end = c->buffer().find("\r\n\r\n");
        head = c->buffer().substr(0, end + 4);
        c->buffer().erase(0, end + 4);
        // The thread registers its buffer just before writing the head.
        return c;
    }

    static std::string pattern(size_t n, int seed)
    {
        std::string s(n, '\0');
        for (size_t i = 0; i < n; ++i)
            s[i] = static_cast<char>((i * 7 + static_cast<size_t>(seed)) & 0xff);
        return s;
    }
};

TEST_F(HttpStreamTest, ListenersOfOnePathShareItsBytesOnly)
{
    startServer(RDHttpServerConfigure());
    const auto a = stream("/stream/3001");
    const auto b = stream("/stream/3002");
    server->addStream(a);
    server->addStream(b);
    std::string headA1, headA2, headB;
    auto la1 = listen(a.path, false, headA1);
    auto la2 = listen(a.path, false, headA2);
    auto lb = listen(b.path, false, headB);
    EXPECT_EQ(headA1, "HTTP/1.1 200 OK\r\nAccept-Ranges: none\r\n"
                      "Access-Control-Allow-Headers: Content-Type,X-Requested-With\r\n"
                      "Access-Control-Allow-Origin: *\r\nConnection: close\r\nContent-Type: audio/mp3\r\n\r\n");
    const std::string audio = pattern(4096, 1);
    server->writeStream(a, audio.data(), static_cast<int>(audio.size()));
    ASSERT_TRUE(la1->readAtLeast(audio.size()));
    ASSERT_TRUE(la2->readAtLeast(audio.size()));
    EXPECT_EQ(la1->buffer(), audio);
    EXPECT_EQ(la2->buffer(), audio);
    EXPECT_FALSE(lb->readAtLeast(1, 200));
    // The stream is never answered to the observer.
    EXPECT_TRUE(observer.all().empty());
}

TEST_F(HttpStreamTest, IcyFramingPutsAnEmptyMetadataByteAfterEachBlock)
{
    startServer(RDHttpServerConfigure());
    const auto a = stream("/stream/3001");
    server->addStream(a);
    std::string head;
    auto l = listen(a.path, true, head);
    EXPECT_EQ(head, "HTTP/1.1 200 OK\r\nAccept-Ranges: none\r\n"
                    "Access-Control-Allow-Headers: Content-Type,X-Requested-With\r\n"
                    "Access-Control-Allow-Origin: *\r\nContent-Type: audio/mp3\r\nicy-br: 64000\r\n"
                    "icy-metaint: 1024\r\nicy-name: zone\r\nicy-pub: 1\r\nicy-sr: 44100\r\n\r\n");
    const std::string audio = pattern(1500, 2);
    server->writeStream(a, audio.data(), static_cast<int>(audio.size()));
    ASSERT_TRUE(l->readAtLeast(1025));
    EXPECT_FALSE(l->readAtLeast(1026, 200)) << "476 bytes wait for a whole block";
    EXPECT_EQ(l->buffer(), audio.substr(0, 1024) + std::string(1, '\0'));
    server->writeStream(a, audio.data(), 548);
    ASSERT_TRUE(l->readAtLeast(2050));
    EXPECT_EQ(l->buffer().substr(1025), audio.substr(1024, 476) + audio.substr(0, 548) + std::string(1, '\0'));

    // Any other value gives the raw stream.
    std::string rawHead;
    auto raw = std::make_unique<HttpTestClient>();
    ASSERT_TRUE(raw->connectTo(port));
    raw->send(get(a.path, "Icy-MetaData: 2\r\n"));
    ASSERT_TRUE(PaTest::waitUntil([&] { return raw->readAtLeast(1, 10) && raw->buffer().find("\r\n\r\n") != std::string::npos; }));
    EXPECT_EQ(raw->buffer().find("icy-metaint"), std::string::npos);

    // ICY framing needs an interval; a stream without one is served raw.
    auto noInterval = stream("/stream/plain");
    noInterval.metaInterval = 0;
    server->addStream(noInterval);
    std::string plainHead;
    auto plain = listen(noInterval.path, true, plainHead);
    EXPECT_EQ(plainHead.find("icy-metaint"), std::string::npos);
    EXPECT_NE(plainHead.find("Connection: close"), std::string::npos);
    const std::string bytes = pattern(1024, 5);
    server->writeStream(noInterval, bytes.data(), static_cast<int>(bytes.size()));
    ASSERT_TRUE(plain->readAtLeast(1024));
    EXPECT_EQ(plain->buffer(), bytes);
}

TEST_F(HttpStreamTest, ListenerWaitingForAudioSleepsAndWakesForIt)
{
    startServer(RDHttpServerConfigure());
    const auto a = stream("/stream/3001");
    server->addStream(a);
    const QList<int> before = PaTest::threadIdsNamed(QString());
    std::string head;
    auto l = listen(a.path, false, head);
    const QList<int> serving = PaTest::threadIdsNamed(QString(), before);
    ASSERT_FALSE(serving.isEmpty());
    // A pump that looks for audio every millisecond switches hundreds of
    // times in half a second.
    const long long switches = PaTest::switchesOver(serving, 500);
    EXPECT_GE(switches, 0);
    EXPECT_LE(switches, 10);

    const std::string audio = pattern(1024, 3);
    QElapsedTimer timer;
    timer.start();
    server->writeStream(a, audio.data(), static_cast<int>(audio.size()));
    ASSERT_TRUE(l->readAtLeast(audio.size()));
    EXPECT_LT(timer.elapsed(), 100);
    EXPECT_EQ(l->buffer(), audio);
}

TEST_F(HttpStreamTest, UnknownStreamPathsGet404)
{
    startServer(RDHttpServerConfigure());
    server->addStream(stream("/stream/zone1"));
    for (const char *path : {"/streamX", "/stream/zone1?x=1", "/stream/zone2"}) {
        HttpTestClient c;
        ASSERT_TRUE(c.connectTo(port));
        ASSERT_TRUE(c.send(get(path)));
        int status = 0;
        std::string head, body;
        ASSERT_TRUE(c.readResponse(status, head, body)) << path;
        EXPECT_EQ(status, 404) << path;
        EXPECT_EQ(body, "Stream Not Exists") << path;
        EXPECT_TRUE(c.waitClosed()) << path;
    }
}

TEST_F(HttpStreamTest, RemovingOneStreamEndsOnlyItsListeners)
{
    startServer(RDHttpServerConfigure());
    const auto a = stream("/stream/3001");
    const auto b = stream("/stream/3002");
    server->addStream(a);
    server->addStream(b);
    std::string h;
    auto la = listen(a.path, false, h);
    auto lb = listen(b.path, false, h);
    ASSERT_TRUE(PaTest::waitUntil([&] { return server->connectionCount() == 2; }));
    server->removeStream(a);
    EXPECT_TRUE(la->waitClosed());
    const std::string audio = pattern(2048, 3);
    server->writeStream(b, audio.data(), static_cast<int>(audio.size()));
    ASSERT_TRUE(lb->readAtLeast(audio.size()));
    EXPECT_EQ(lb->buffer(), audio);
    EXPECT_FALSE(lb->peerClosed());

    // A new request for the removed path is refused.
    HttpTestClient again;
    ASSERT_TRUE(again.connectTo(port));
    ASSERT_TRUE(again.send(get(a.path)));
    int status = 0;
    std::string head, body;
    ASSERT_TRUE(again.readResponse(status, head, body));
    EXPECT_EQ(status, 404);
}

TEST_F(HttpStreamTest, AListenerThatStopsReadingCannotGrowMemory)
{
    RDHttpServerConfigure config;
    config.streamBufferLimit = 64 * 1024;
    startServer(config);
    const auto a = stream("/stream/3001");
    server->addStream(a);
    std::string h;
    auto stuck = listen(a.path, false, h); // never reads again
    auto live = listen(a.path, false, h);
    ASSERT_TRUE(PaTest::waitUntil([&] { return server->connectionCount() == 2; }));
    const std::string block = pattern(1024, 4);
    long long maxPending = 0;
    for (int i = 0; i < 10 * 1024; ++i) { // 10 MiB published
        server->writeStream(a, block.data(), static_cast<int>(block.size()));
        if (i % 64 == 0) {
            maxPending = std::max(maxPending, server->pendingStreamBytes());
            live->readAtLeast(live->buffer().size() + 1, 0);
            live->buffer().clear();
        }
    }
    EXPECT_LE(maxPending, 2 * (64 * 1024 + 1024));
    // The reading listener still gets what is published now.
    const std::string marker = pattern(1024, 99);
    live->buffer().clear();
    ASSERT_TRUE(PaTest::waitUntil([&] {
        live->readAtLeast(live->buffer().size() + 1, 10);
        if (live->buffer().size() > 256 * 1024)
            live->buffer().erase(0, live->buffer().size() - 2048);
        return server->pendingStreamBytes() <= 64 * 1024 + 1024;
    }, 10000));
    live->buffer().clear();
    server->writeStream(a, marker.data(), static_cast<int>(marker.size()));
    ASSERT_TRUE(PaTest::waitUntil([&] {
        live->readAtLeast(live->buffer().size() + 1, 10);
        return live->buffer().find(marker) != std::string::npos;
    }, 10000));
}

TEST_F(HttpStreamTest, StopEndsListenersAndRequestsPromptly)
{
    startServer(RDHttpServerConfigure());
    const auto a = stream("/stream/3001");
    server->addStream(a);
    std::string h;
    auto l = listen(a.path, false, h);
    HttpTestClient idle;
    ASSERT_TRUE(idle.connectTo(port));
    ASSERT_TRUE(idle.send(get("/first", "Connection: keep-alive\r\n")));
    int status = 0;
    std::string head, body;
    ASSERT_TRUE(idle.readResponse(status, head, body));
    HttpTestClient silent; // connected, never sends a byte
    ASSERT_TRUE(silent.connectTo(port));
    ASSERT_TRUE(PaTest::waitUntil([&] { return server->connectionCount() == 2; }));
    server->stop();
    EXPECT_FALSE(server->isListening());
    EXPECT_TRUE(l->waitClosed());
    EXPECT_TRUE(idle.waitClosed());
    EXPECT_TRUE(silent.waitClosed());
    // Streams survive a stop; a restart serves them again.
    ASSERT_EQ(server->start(), 0);
    auto again = listen(a.path, false, h);
    EXPECT_NE(h.find("200 OK"), std::string::npos);
}

// Hundreds of connections held open by a host on the LAN, idle or stuck in
// the middle of a head, must not hold up a real request: each one is answered
// at once, every time, while a live listener and a request being handled keep
// their connections.
TEST_F(HttpStreamTest, ConnectionFloodNeverHoldsUpARealRequest)
{
    const int threadsBefore = processThreadCount();
    for (const int flood : {300, 1000}) {
        SCOPED_TRACE("flood of " + std::to_string(flood));
        BlockingObserver blocking;
        blocking.gatedPath = "/slow";
        startServer(RDHttpServerConfigure(), false);
        server->setObserver(&blocking);
        const auto zone = stream("/stream/3001");
        server->addStream(zone);
        std::string h;
        auto listener = listen(zone.path, false, h);
        HttpTestClient busy;
        ASSERT_TRUE(busy.connectTo(port));
        ASSERT_TRUE(busy.send(get("/slow")));
        ASSERT_TRUE(PaTest::waitUntil([&] { return blocking.entered() == 1; }));

        std::vector<std::unique_ptr<HttpTestClient>> attackers;
        for (int i = 0; i < flood; ++i) {
            attackers.push_back(std::make_unique<HttpTestClient>());
            ASSERT_TRUE(attackers.back()->connectTo(port, false));
            if (i % 2)
                attackers.back()->send("GET /action?zone=3001 HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        }
        // Each answer comes at once: the median within 100 ms and none held
        // up (a busy machine running sanitized tests may stall one a little).
        std::vector<long> took;
        for (int round = 0; round < 5; ++round) {
            const auto t0 = std::chrono::steady_clock::now();
            HttpTestClient real;
            ASSERT_TRUE(real.connectTo(port));
            ASSERT_TRUE(real.send(get("/action?zone=3001&operation=start")));
            int status = 0;
            std::string head, body;
            ASSERT_TRUE(real.readResponse(status, head, body, 5000)) << "round " << round;
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
            EXPECT_EQ(status, 200);
            EXPECT_EQ(body, "ok");
            EXPECT_LT(ms.count(), 300) << "round " << round;
            took.push_back(static_cast<long>(ms.count()));
        }
        std::sort(took.begin(), took.end());
        EXPECT_LT(took[took.size() / 2], 100);

        const std::string audio = pattern(2048, 3);
        server->writeStream(zone, audio.data(), static_cast<int>(audio.size()));
        ASSERT_TRUE(listener->readAtLeast(audio.size()));
        EXPECT_EQ(listener->buffer(), audio);
        blocking.release();
        int status = 0;
        std::string head, body;
        ASSERT_TRUE(busy.readResponse(status, head, body));
        EXPECT_EQ(body, "done");
        // Evicted connections end their threads by themselves.
        EXPECT_TRUE(PaTest::waitUntil(
            [&] { return processThreadCount() <= threadsBefore + RDHttpServerConfigure::kDefaultMaxConnections + 2; }));
        server->stop();
        server.reset();
    }
}

} // namespace
