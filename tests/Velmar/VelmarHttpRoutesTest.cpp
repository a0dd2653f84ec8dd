// The central object's HTTP routes, driven by real requests on loopback, with
// the switch manager running the switch stand-in where a route starts zones.
#include "FSManager.h"
#include "HttpTestClient.h"
#include "PALogDB.h"
#include "PASipManager.h"
#include "PlatformProcess.h"
#include "RDConfigure.h"
#include "RDHttpBaseRequest.h"
#include "RDHttpStreamServer.h"
#include "RDHttpTextResponse.h"
#include "RDUtils.h"
#include "SwitchStandIn.h"
#include "VelmarFixture.h"
#include "TestSupport.h"
#include "VDB.h"
#include "Velmar.h"
#include "VelmarDB.h"
#include "VelmarHttpRoutes.h"
#include "VelmarObserver.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <atomic>
#include <sys/inotify.h>
#include <unistd.h>
#include <thread>

namespace {

const char *const kOk = "{\"result\":\"ok\"}";
const char *const kApiOff = "{\"result\":\"error\", \"reason\":\"api not enable\"}";
const char *const kInvalidZone = "{\"result\":-1, \"reason\":\"invalid zone\"}";
const char *const kNoZone = "{\"result\":-1, \"reason\":\"zone not exists\"}";
const char *const kPrayZone = "{\"result\":-1, \"reason\":\"can not start pray zone manually\"}";
const char *const kInvalidOperation = "{\"result\":-1, \"reason\":\"invalid operation\"}";
const char *const kUriNotSupport = "{\"result\":-1, \"reason\":\"uri not support\"}";

struct Answer
{
    int status = 0;
    std::string head;
    std::string body;
    bool has(const std::string &header) const { return head.find(header) != std::string::npos; }
};

// Records the zone starts and stops the central object reports.
struct ZoneObserver : VelmarObserver
{
    void onNotifyGroupStarted(Velmar *, RDGroup group) override
    {
        add(QStringLiteral("started %1 %2").arg(group.conference, group.startType));
    }
    void onNotifyGroupStopped(Velmar *, RDGroup group) override
    {
        add(QStringLiteral("stopped %1").arg(group.conference));
    }
    void add(const QString &event)
    {
        QMutexLocker locker(&lock);
        events.append(event);
    }
    QStringList all()
    {
        QMutexLocker locker(&lock);
        return events;
    }
    QMutex lock;
    QStringList events;
};

// The files opened in one folder since the watch began, as the kernel
// reports them.
class FileOpenWatch
{
public:
    explicit FileOpenWatch(const QString &folder)
        : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (m_fd >= 0)
            m_watch = ::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_OPEN);
    }
    ~FileOpenWatch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileOpenWatch(const FileOpenWatch &) = delete;
    FileOpenWatch &operator=(const FileOpenWatch &) = delete;

    bool isValid() const { return m_fd >= 0 && m_watch >= 0; }
    // The kernel queues each event as the open happens, so every open made
    // before the call is in the answer.
    QStringList opened()
    {
        QStringList names;
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            for (ssize_t at = 0; at < n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                if (event->len > 0)
                    names << QFile::decodeName(event->name);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return names;
    }

private:
    int m_fd = -1;
    int m_watch = -1;
};

QVector<PALogRecord> eventLog()
{
    PALogDB db(true);
    return db.selectLogs(0, 1000, QString(), QString(), QString());
}

// The central object over a private database, serving HTTP on a free
// loopback port from a private working folder (the upload folder is
// "./upload" of the process's current folder).
class HttpRoutesTest : public VelmarFixture
{
protected:
    HttpRoutesTest()
    {
        m_withDefaultGroup = false;
        m_rtpFirstPort = 31200;
    }

    void SetUp() override
    {
        ASSERT_TRUE(m_work.isValid());
        m_oldCwd = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_work.path()));
        m_port = freeLoopbackPort();
        m_switchReportPort = m_port;
        VelmarFixture::SetUp();
        if (m_velmar)
            m_velmar->addObserver(&m_observer);
    }

    void configure() override
    {
        RDConfigure conf;
        conf.setHttpServerPort(m_port);
        conf.setHttpApiEnable(true);
        qputenv("RUVIDAZA_TEST_HOOKS", "1");
    }

    void TearDown() override
    {
        if (m_velmar)
            m_velmar->removeObserver(&m_observer);
        VelmarFixture::TearDown();
        if (!m_oldCwd.isEmpty())
            QDir::setCurrent(m_oldCwd);
    }

    // The switch, and with it every service of the central object.
    void startSwitch()
    {
        VelmarFixture::startSwitch();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(m_velmar->isHttpServerRunning());
    }

    // Only the HTTP server: for routes that start nothing.
    void startHttpOnly(bool apiEnabled = true) { ASSERT_TRUE(m_velmar->startHttpServer(apiEnabled, m_port)); }

    Answer send(const std::string &raw)
    {
        Answer a;
        HttpTestClient client;
        EXPECT_TRUE(client.connectTo(m_port));
        EXPECT_TRUE(client.send(raw));
        EXPECT_TRUE(client.readResponse(a.status, a.head, a.body, 30000)) << raw;
        return a;
    }
    Answer get(const std::string &target)
    {
        return send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    }

    RDGroup storedGroup(const QString &conference, const QString &source = QStringLiteral("media"),
                        const QString &devices = QString())
    {
        RDGroup group;
        group.devices = devices;
        group.name = QStringLiteral("Zone ") + conference;
        group.conference = conference;
        group.source = source;
        group.volume = 4;
        group.priority = 3;
        const int id = m_velmar->addGroup(group);
        EXPECT_GT(id, 0);
        return m_velmar->getGroupById(id);
    }

    QString work(const QString &relative) const { return m_work.path() + QLatin1Char('/') + relative; }

    QTemporaryDir m_work;
    QString m_oldCwd;
    int m_port = 0;
    ZoneObserver m_observer;
};

} // namespace

// Every refusal of "/action" answers its own text and touches neither the
// switch nor the event log; a start and a stop reach both.
TEST_F(HttpRoutesTest, ActionStartsAndStopsZonesAndRefusesEverythingElse)
{
    RDDevice speaker;
    speaker.name = QStringLiteral("Hall speaker");
    speaker.number = QStringLiteral("6101");
    speaker.password = QStringLiteral("6101");
    const int speakerId = m_velmar->addDevice(speaker);
    ASSERT_GT(speakerId, 0);
    const RDGroup zone = storedGroup(QStringLiteral("3001"), QStringLiteral("media"), QString::number(speakerId));
    storedGroup(QStringLiteral("3002"), QStringLiteral("pray"), QString::number(speakerId));
    startSwitch();
    ASSERT_TRUE(m_switch.console(QStringLiteral("test reg add 6101")).startsWith("+OK"));
    const int journalBefore = consoleJournal().size();

    const struct { const char *target, *answer; } refusals[] = {
        {"/action?zone=301&operation=start", kInvalidZone},
        {"/action?zone=4000&operation=start", kInvalidZone},
        {"/action?zone=2999&operation=start", kInvalidZone},
        {"/action?zone=03001&operation=start", kInvalidZone},
        {"/action?zone=30a1&operation=start", kInvalidZone},
        {"/action?zone=abcd&operation=start", kInvalidZone},
        {"/action?zone=+301&operation=start", kInvalidZone},
        {"/action?operation=start", kInvalidZone},
        {"/action", kInvalidZone},
        {"/action?zone=3999&operation=start", kNoZone},
        {"/action?zone=3002&operation=start", kPrayZone},
        {"/action?zone=3002&operation=stop", kPrayZone},
        {"/action?zone=3002", kPrayZone},
        {"/action?zone=3001", kInvalidOperation},
        {"/action?zone=3001&operation=", kInvalidOperation},
        {"/action?zone=3001&operation=pause", kInvalidOperation},
        {"/action?zone=3001&operation=start%00", kInvalidOperation},
        // Routed by prefix: still the zone-control route.
        {"/actions?zone=3001&operation=restart", kInvalidOperation},
    };
    for (const auto &c : refusals) {
        const Answer a = get(c.target);
        EXPECT_EQ(a.status, 200) << c.target;
        EXPECT_EQ(a.body, c.answer) << c.target;
        EXPECT_TRUE(a.has("Content-Type: application/json;charset=UTF-8")) << c.target;
    }
    // With the control API off every "/action" is refused, a valid one too.
    m_velmar->setApiEnabled(false);
    EXPECT_EQ(get("/action?zone=3001&operation=start").body, kApiOff);
    EXPECT_EQ(get("/action?zone=zz").body, kApiOff);
    m_velmar->setApiEnabled(true);

    EXPECT_TRUE(m_fs->groupStatus().isEmpty());
    EXPECT_TRUE(m_observer.all().isEmpty());
    EXPECT_TRUE(eventLog().isEmpty());
    EXPECT_FALSE(consoleJournal().mid(journalBefore).contains(QStringLiteral("3001")));
    EXPECT_FALSE(consoleJournal().mid(journalBefore).contains(QStringLiteral("6101")));

    // The operation is compared ignoring case.
    EXPECT_EQ(get("/action?zone=3001&operation=START").body, kOk);
    EXPECT_TRUE(PaTest::waitUntil([&] { return m_observer.all().contains("started 3001 http"); }));
    // The supervision pass dials the zone's speaker into its conference.
    EXPECT_TRUE(PaTest::waitUntil([&] { return consoleJournal().mid(journalBefore).contains("6101"); }, 15000))
        << consoleJournal().mid(journalBefore).toStdString();
    {
        const QVector<PALogRecord> log = eventLog();
        ASSERT_EQ(log.size(), 1);
        EXPECT_EQ(log[0].action, QStringLiteral("start"));
        EXPECT_EQ(log[0].type, QStringLiteral("http"));
        EXPECT_EQ(log[0].source, QStringLiteral("media"));
        EXPECT_EQ(log[0].groupId, zone.id);
        EXPECT_EQ(log[0].groupConference, QStringLiteral("3001"));
        EXPECT_EQ(log[0].volume, 4);
        EXPECT_EQ(log[0].groupPriority, 3);
    }

    EXPECT_EQ(get("/action?zone=3001&operation=Stop").body, kOk);
    // The answer does not wait for the console: the hang-up follows it.
    EXPECT_TRUE(PaTest::waitUntil([&] { return consoleJournal().contains("conference 3001 hup all"); }));
    EXPECT_TRUE(m_observer.all().contains("stopped 3001"));
    const QVector<PALogRecord> log = eventLog();
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log[0].action, QStringLiteral("stop")); // newest first
    EXPECT_EQ(log[0].type, QStringLiteral("http"));
    EXPECT_EQ(log[0].source, QStringLiteral("media"));
}

// Inbound call reports start a zone only for a local switch that names its
// caller; a real call through the switch's scripts starts the zone as a call
// conference, and hanging up ends it.
TEST_F(HttpRoutesTest, CallReportsStartZonesOnlyWithACallerAndTheHangUpEndsThem)
{
    RDDevice desk;
    desk.name = QStringLiteral("Desk");
    desk.number = QStringLiteral("6001");
    desk.password = QStringLiteral("6001");
    ASSERT_GT(m_velmar->addDevice(desk), 0);
    storedGroup(QStringLiteral("3001"));
    startSwitch();

    const char *const ignored[] = {
        "/fs/conference?type=internal&caller=6001",
        "/fs/conference?type=internal&caller=6001&conference=",
        "/fs/conference?type=internal&caller=&conference=3001",
        "/fs/conference?type=internal&conference=3001",
        "/fs/conference?type=external&number=&caller=6001&conference=3001",
        "/fs/conference?type=EXTERNAL&caller=6001&conference=3001",
        "/fs/conference?caller=6001&conference=3998", // no such zone
    };
    for (const char *target : ignored) {
        const Answer a = get(target);
        EXPECT_EQ(a.body, "Success") << target;
        EXPECT_TRUE(a.has("Content-Type: text;charset=UTF-8")) << target;
    }
    // Also with the body of a POST, and with the control API off.
    m_velmar->setApiEnabled(false);
    const std::string body = "type=internal&caller=&conference=3001";
    EXPECT_EQ(send("POST /fs/conference HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body)
                  .body,
              "Success");
    EXPECT_TRUE(m_fs->groupStatus().isEmpty());
    EXPECT_TRUE(m_observer.all().isEmpty());
    EXPECT_TRUE(eventLog().isEmpty());

    // A device calls the zone's number: the switch's script reports the call
    // over HTTP (a POST from loopback) before the caller joins.
    ASSERT_TRUE(m_switch.console(QStringLiteral("test reg add 6001")).startsWith("+OK"));
    QString answer;
    std::atomic<bool> done{false};
    std::thread caller([&] {
        answer = m_switch.console(QStringLiteral("test call 6001 3001"));
        done = true;
    });
    PaTest::waitUntil([&] { return done.load(); }, 60000);
    caller.join();
    ASSERT_TRUE(answer.startsWith("+OK")) << answer.toStdString();
    ASSERT_TRUE(PaTest::waitUntil([&] { return m_observer.all().contains("started 3001 call conference"); }, 15000))
        << m_observer.all().join(", ").toStdString();
    const QVector<PALogRecord> log = eventLog();
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log[0].action, QStringLiteral("start"));
    EXPECT_EQ(log[0].source, QStringLiteral("call conference"));
    EXPECT_EQ(log[0].type, QStringLiteral("call conference"));

    // The caller hangs up: the supervision pass ends the zone.
    ASSERT_TRUE(m_switch.console(QStringLiteral("test hangup 6001")).startsWith("+OK"));
    EXPECT_TRUE(PaTest::waitUntil([&] { return m_observer.all().contains("stopped 3001"); }, 15000))
        << m_observer.all().join(", ").toStdString();
    EXPECT_TRUE(PaTest::waitUntil([&] { return m_fs->groupStatus().isEmpty(); }, 15000));
}

// A report from another host is refused however complete it is; the
// switch's own reports come from loopback.
TEST_F(HttpRoutesTest, CallReportsFromOtherHostsStartNothing)
{
    storedGroup(QStringLiteral("3001"));
    VelmarHttpRoutes routes(m_velmar);
    RDHttpBaseRequest request;
    ASSERT_TRUE(request.parse("GET /fs/conference?type=internal&caller=6001&conference=3001 HTTP/1.1\r\n"
                              "Host: pa\r\n\r\n"));
    for (const char *peer : {"192.0.2.7", "10.0.0.1", "::ffff:10.1.2.3", "fe80::1", "128.0.0.1", ""}) {
        std::unique_ptr<RDHttpResponse> response = routes.answer("./upload", peer, &request);
        auto *text = dynamic_cast<RDHttpTextResponse *>(response.get());
        ASSERT_NE(text, nullptr) << peer;
        EXPECT_EQ(text->text(), kUriNotSupport) << peer;
    }
    EXPECT_TRUE(m_fs->groupStatus().isEmpty());
    EXPECT_TRUE(m_observer.all().isEmpty());
    EXPECT_TRUE(eventLog().isEmpty());

    const struct { const char *host; bool loopback; } hosts[] = {
        {"127.0.0.1", true},  {"127.8.9.10", true},   {"::1", true},          {"::ffff:127.0.0.1", true},
        {"192.0.2.7", false}, {"::ffff:10.0.0.1", false}, {"0.0.0.0", false}, {"localhost", false},
        {"", false},          {"127.0.0.1 ", false},
    };
    for (const auto &h : hosts)
        EXPECT_EQ(VelmarHttpRoutes::isLoopbackHost(h.host), h.loopback) << h.host;
}

// Files are served from the upload folder and from nowhere else, however
// the path is spelled; folders list only while the control API is on.
TEST_F(HttpRoutesTest, FileRequestsStayInsideTheUploadFolder)
{
    ASSERT_TRUE(QDir().mkpath(work("upload/sub")));
    ASSERT_TRUE(QDir().mkpath(work("database")));
    const auto write = [](const QString &path, const QByteArray &bytes) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };
    ASSERT_TRUE(write(work("upload/notice.txt"), "opening hours"));
    ASSERT_TRUE(write(work("upload/sub/tone.wav"), "RIFFtone"));
    ASSERT_TRUE(write(work("database/velmar.db"), "SECRET-SIP-PASSWORDS"));
    ASSERT_TRUE(QFile::link(work("database/velmar.db"), work("upload/linked.db")));
    ASSERT_TRUE(QFile::link(work("database"), work("upload/dbdir")));
    startHttpOnly();

    Answer a = get("/notice.txt");
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.body, "opening hours");
    EXPECT_EQ(get("/sub/tone.wav").body, "RIFFtone");
    EXPECT_EQ(get("/sub/../notice.txt").body, kUriNotSupport); // ".." is refused even when it stays inside

    const char *const outside[] = {
        "/../database/velmar.db",
        "/%2e%2e/database/velmar.db",
        "/%2E%2E/database/velmar.db",
        "/.%2e/database/velmar.db",
        "/sub/../../database/velmar.db",
        "/sub/%2e%2e/%2e%2e/database/velmar.db",
        "/%2e%2e%2fdatabase%2fvelmar.db",
        "/..%5cdatabase%5cvelmar.db",
        "/linked.db",
        "/dbdir/velmar.db",
        "/dbdir/",
        "/notice.txt%00.png",
        "//../database/velmar.db",
        "/missing.txt",
    };
    for (const char *target : outside) {
        a = get(target);
        EXPECT_EQ(a.status, 200) << target;
        EXPECT_EQ(a.body, kUriNotSupport) << target;
        EXPECT_EQ(a.body.find("SECRET"), std::string::npos) << target;
    }
    // An absolute path is taken below the upload folder.
    EXPECT_EQ(get(work("upload/notice.txt").toStdString()).body, kUriNotSupport);

    // A folder of the upload tree: its page while the control API is on,
    // otherwise a file answer with nothing in it.
    a = get("/sub");
    EXPECT_NE(a.body.find("Index of"), std::string::npos);
    EXPECT_NE(a.body.find("tone.wav"), std::string::npos);
    EXPECT_NE(get("/").body.find("notice.txt"), std::string::npos);
    m_velmar->setApiEnabled(false);
    a = get("/sub");
    EXPECT_EQ(a.status, 200);
    EXPECT_TRUE(a.has("Content-Length: 0"));
    EXPECT_TRUE(a.body.empty());
    // The file route does not depend on the control API.
    EXPECT_EQ(get("/notice.txt").body, "opening hours");
}

// The program icon comes from the resources folder beside the program, in
// any letter case of its name.
TEST_F(HttpRoutesTest, IconIsServedFromTheProgramResources)
{
    const QString resources = QCoreApplication::applicationDirPath() + QStringLiteral("/resources");
    const QString icon = resources + QStringLiteral("/icon.ico");
    const bool created = !QFile::exists(icon);
    QByteArray bytes;
    if (created) {
        ASSERT_TRUE(QDir().mkpath(resources));
        QFile f(icon);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\0\0\1\0icon", 8);
    }
    {
        QFile f(icon);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        bytes = f.readAll();
    }
    startHttpOnly(false);
    for (const char *target : {"/favicon.ico", "/FAVICON.ICO", "/Favicon.Ico"}) {
        const Answer a = get(target);
        EXPECT_EQ(a.status, 200) << target;
        EXPECT_EQ(QByteArray::fromStdString(a.body), bytes) << target;
    }
    if (created)
        QFile::remove(icon);
}

// The prayer switch is stored from any request, with the control API on or
// off, and the main window is asked to reload each time.
TEST_F(HttpRoutesTest, PraySwitchStoresTheSettingAndReloadsTheMainWindow)
{
    std::atomic<int> reloads{0};
    Velmar::setHomeReloadHandler([&] { ++reloads; });
    startHttpOnly(false);
    const struct { const char *target; int stored; } cases[] = {
        {"/pray?enable=1", 1}, {"/pray?enable=abc", 0}, {"/pray?enable=2", 1},   {"/pray?enable=0", 0},
        {"/prayer?enable=7", 1}, {"/pray", 0},          {"/pray?enable=-3", 1}, {"/pray?enable=1x", 0},
    };
    int calls = 0;
    for (const auto &c : cases) {
        const Answer a = get(c.target);
        ++calls;
        EXPECT_EQ(a.body, kOk) << c.target;
        EXPECT_TRUE(a.has("Content-Type: application/json;charset=UTF-8")) << c.target;
        EXPECT_EQ(RDConfigure().prayEnable(), c.stored) << c.target;
        EXPECT_EQ(reloads.load(), calls) << c.target;
    }
    Velmar::setHomeReloadHandler(std::function<void()>());
}

// Many zone starts at once, each on its own connection thread, each answered
// "ok": every one of them leaves its event-log record, even when the database
// gives a waiting writer little time.
TEST_F(HttpRoutesTest, ConcurrentStartsKeepEveryEventLogRecord)
{
    storedGroup(QStringLiteral("3001"));
    startHttpOnly();
    VDB::setBusyTimeout(20);
    const int clients = 32;
    const int perClient = 4;
    std::atomic<int> answeredOk{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&] {
            HttpTestClient client;
            if (!client.connectTo(m_port))
                return;
            for (int r = 0; r < perClient; ++r) {
                Answer a;
                if (!client.send("GET /action?zone=3001&operation=start HTTP/1.1\r\nConnection: keep-alive\r\n\r\n")
                    || !client.readResponse(a.status, a.head, a.body, 60000))
                    return;
                if (a.body == kOk)
                    ++answeredOk;
            }
        });
    }
    for (auto &t : threads)
        t.join();
    VDB::setBusyTimeout(5000);
    EXPECT_EQ(answeredOk.load(), clients * perClient);
    EXPECT_EQ(eventLog().size(), clients * perClient);
}

// Zone control answers from database connections the program keeps open:
// once a first request has run, no request opens a database file again,
// although each one comes on a connection (and thread) of its own, and each
// leaves its event-log record.
TEST_F(HttpRoutesTest, ActionRequestsOpenNoDatabaseFile)
{
    storedGroup(QStringLiteral("3001"));
    startHttpOnly();
    ASSERT_EQ(get("/action?zone=3001&operation=start").body, kOk);
    // The first record opens the event log's kept connection, behind the
    // request on the log's own thread.
    PALogDB::flushLog();
    FileOpenWatch watch(m_data.path());
    ASSERT_TRUE(watch.isValid());
    const int requests = 20;
    for (int i = 0; i < requests; ++i)
        EXPECT_EQ(get(i % 2 ? "/action?zone=3001&operation=start" : "/action?zone=3001&operation=stop").body, kOk);
    EXPECT_EQ(watch.opened(), QStringList());
    EXPECT_EQ(eventLog().size(), requests + 1);
}
