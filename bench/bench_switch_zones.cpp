// Many zones playing at once: the program's back end with its switch, SIPp
// devices registered with the passwords the program wrote, every zone playing
// a tone file. Figures: the time from the first "/action" start to the last
// INVITE any device received, the switch's CPU over a steady window (% of one
// core), and the RTP packets each device received per second (50 when the
// 20 ms frames all come). Every device must get its INVITE, its audio and,
// after the zones stop, its BYE; a device that misses one fails the run.
//
//   bench_switch_zones [devices=200] [devices per zone=10] [window seconds=10]
//
// Devices are 6000..; one SIPp process registers and then answers for the
// devices of one zone. Smoke run: 20 devices in 2 zones, a 3 s window.
#include "BenchSmoke.h"
#include "FSManager.h"
#include "HttpTestClient.h"
#include "PALogDB.h"
#include "PASipManager.h"
#include "PlatformProcess.h"
#include "RDConfigure.h"
#include "RDDevice.h"
#include "RDGroup.h"
#include "SwitchStandIn.h"
#include "TestSupport.h"
#include "VDB.h"
#include "Velmar.h"
#include "VelmarDB.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const int kFirstNumber = 6000;

QString scenario(const QString &relative)
{
    return PaTest::sourceDir() + QLatin1Char('/') + relative;
}

// User and system time of a process in seconds, from /proc/<pid>/stat.
double cpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    const int close = stat.lastIndexOf(')');
    if (close < 0)
        return -1;
    // After "pid (comm) ": utime and stime are the 12th and 13th fields.
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(::sysconf(_SC_CLK_TCK));
}

// One UDP socket per device on port prefix*1000 + (number - 6000), counting
// the RTP packets that arrive, on a thread of its own.
class RtpCounters
{
public:
    ~RtpCounters()
    {
        stop();
        for (int fd : m_fds)
            ::close(fd);
        if (m_wake >= 0)
            ::close(m_wake);
    }

    // Binds `devices` ports under the first free prefix from 64 down.
    bool bind(int devices)
    {
        for (int prefix = 64; prefix >= 40; --prefix) {
            std::vector<int> fds;
            for (int i = 0; i < devices; ++i) {
                const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
                sockaddr_in sa{};
                sa.sin_family = AF_INET;
                sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                sa.sin_port = htons(quint16(prefix * 1000 + i));
                if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
                    if (fd >= 0)
                        ::close(fd);
                    break;
                }
                const int buffer = 1 << 20;
                ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
                fds.push_back(fd);
            }
            if (int(fds.size()) == devices) {
                m_fds = fds;
                m_prefix = prefix;
                break;
            }
            for (int fd : fds)
                ::close(fd);
        }
        m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        m_counts = std::make_unique<std::atomic<long long>[]>(m_fds.size());
        for (size_t i = 0; i < m_fds.size(); ++i)
            m_counts[i] = 0;
        return m_prefix > 0 && m_wake >= 0;
    }

    int prefix() const { return m_prefix; }

    void start()
    {
        m_thread = std::thread([this] { run(); });
    }

    void stop()
    {
        if (!m_thread.joinable())
            return;
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
        m_thread.join();
    }

    std::vector<long long> counts() const
    {
        std::vector<long long> c(m_fds.size());
        for (size_t i = 0; i < c.size(); ++i)
            c[i] = m_counts[i].load();
        return c;
    }

private:
    void run()
    {
        std::vector<pollfd> polls;
        for (int fd : m_fds)
            polls.push_back(pollfd{fd, POLLIN, 0});
        polls.push_back(pollfd{m_wake, POLLIN, 0});
        char packet[2048];
        for (;;) {
            if (::poll(polls.data(), polls.size(), -1) < 0)
                continue;
            if (polls.back().revents)
                return;
            for (size_t i = 0; i + 1 < polls.size(); ++i) {
                if (!polls[i].revents)
                    continue;
                ssize_t n;
                while ((n = ::recv(m_fds[i], packet, sizeof packet, 0)) >= 0) {
                    // An RTP version 2 header and some payload.
                    if (n > 12 && (quint8(packet[0]) >> 6) == 2)
                        ++m_counts[i];
                }
            }
        }
    }

    std::vector<int> m_fds;
    int m_prefix = 0;
    int m_wake = -1;
    std::unique_ptr<std::atomic<long long>[]> m_counts;
    std::thread m_thread;
};

// What the answering devices logged: number -> wall-clock seconds of its
// INVITE (the last one, should it come twice) and whether a BYE came.
struct DeviceLog
{
    std::map<int, double> invites;
    std::map<int, int> byes;
};

void readDeviceLog(const QString &path, DeviceLog &log)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return;
    // "date<TAB>time<TAB>epoch.micro INVITE 6012 ..." or "... BYE 6012".
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> cells = line.split('\t');
        if (cells.size() < 3)
            continue;
        const QList<QByteArray> words = cells[2].split(' ');
        if (words.size() < 3)
            continue;
        const double when = words[0].toDouble();
        const int number = words[2].toInt();
        if (words[1] == "INVITE")
            log.invites[number] = std::max(log.invites[number], when);
        else if (words[1] == "BYE")
            ++log.byes[number];
    }
}

bool action(int port, const QString &query)
{
    std::string body;
    return httpGet(port, "/action?" + query.toStdString(), body) && body == "{\"result\":\"ok\"}";
}

// Lets the program's main-thread work run for `ms`.
void runEvents(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, int(ms - t.elapsed()));
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The SIPp runs, each on ports no other run of the course was given: the
// SIP port a zone's devices register from stays theirs while no process
// holds it (between the registering and the answering run), so no other
// run's media ports may land on it.
class SippRuns
{
public:
    explicit SippRuns(const QString &work) : m_work(work) {}
    ~SippRuns()
    {
        for (auto &p : m_processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

    // A free SIP port for a run.
    int sipPort()
    {
        for (;;) {
            const int port = PaTest::freeUdpPort();
            if (m_taken.insert(port).second)
                return port;
        }
    }

    QProcess *start(const QStringList &args)
    {
        // sipp binds four ports from its media base.
        int media = 0;
        while (media == 0) {
            media = PaTest::freeSippMediaPort();
            for (int i = 0; i < 4 && media; ++i)
                media = m_taken.count(media + i) ? 0 : media;
        }
        for (int i = 0; i < 4; ++i)
            m_taken.insert(media + i);
        auto p = std::make_unique<QProcess>();
        p->setWorkingDirectory(m_work);
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->start(QStringLiteral("sipp"),
                 QStringList{QStringLiteral("-i"), QStringLiteral("127.0.0.1"), QStringLiteral("-mp"),
                             QString::number(media), QStringLiteral("-nostdin"),
                             QStringLiteral("-timeout"), QStringLiteral("120s"), QStringLiteral("-timeout_error")}
                     + args);
        m_processes.push_back(std::move(p));
        return m_processes.back().get();
    }

private:
    QString m_work;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    std::set<int> m_taken;
};

int fail(const char *what)
{
    std::fprintf(stderr, "bench_switch_zones: %s\n", what);
    return 1;
}

// The whole course on a back end set up by main(); returns the exit status.
int runCourse(int devices, int perZone, int windowSeconds, int httpPort, int sipPort, FSManager *fs, Velmar *velmar,
              const QString &work)
{
    const int zones = (devices + perZone - 1) / perZone;

    // The tone every zone plays, longer than the whole run.
    const int rate = 8000;
    std::vector<int16_t> tone(size_t(rate) * size_t(windowSeconds + 60));
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = int16_t(8000.0 * std::sin(2.0 * M_PI * 1000.0 * double(i) / rate));
    const QString tonePath = work + QStringLiteral("/tone.wav");
    if (!PaTest::writeWav(tonePath, tone, rate))
        return fail("cannot write the tone");

    QVector<RDDevice> list;
    for (int i = 0; i < devices; ++i) {
        RDDevice d;
        d.number = QString::number(kFirstNumber + i);
        d.name = QStringLiteral("Speaker ") + d.number;
        d.password = QStringLiteral("pw") + d.number;
        list.push_back(d);
    }
    const QVector<RDDevice> stored = velmar->addDevices(list);
    if (stored.size() != devices)
        return fail("devices not stored");
    for (int z = 0; z < zones; ++z) {
        QStringList ids;
        for (int i = z * perZone; i < std::min(devices, (z + 1) * perZone); ++i)
            ids << QString::number(stored[i].id);
        RDGroup group;
        group.name = QStringLiteral("Zone %1").arg(z + 1);
        group.conference = QString::number(3001 + z);
        group.source = QStringLiteral("media");
        group.medium = tonePath;
        group.devices = ids.join(QLatin1Char(';'));
        group.volume = 4;
        group.priority = 3;
        if (velmar->addGroup(group) <= 0)
            return fail("zone not stored");
    }

    if (!fs->start() || !PaTest::waitUntil([&] { return fs->isReady(); }, 60000))
        return fail("switch not ready");
    if (!PaTest::waitUntil([&] { return velmar->servicesStartCount() >= 1 && !velmar->isRestartPending(); }, 20000)
        || !velmar->api())
        return fail("services not started");
    const QVector<qint64> switchPids = Platform::findProcessesByExecutable(fs->directory(), FSManager::kSwitchProgram);
    if (switchPids.size() != 1)
        return fail("switch process not found");
    const qint64 switchPid = switchPids.front();

    RtpCounters rtp;
    if (!rtp.bind(devices))
        return fail("no free run of audio ports");
    rtp.start();

    // Registration, one SIPp per zone, all zones at once.
    SippRuns sipps(work);
    std::vector<int> ports;
    std::vector<QProcess *> registering;
    for (int z = 0; z < zones; ++z) {
        QByteArray csv = "SEQUENTIAL\n";
        int users = 0;
        for (int i = z * perZone; i < std::min(devices, (z + 1) * perZone); ++i, ++users) {
            const QByteArray n = QByteArray::number(kFirstNumber + i);
            csv += n + ";[authentication username=" + n + " password=pw" + n + "];3600\n";
        }
        const QString csvPath = work + QStringLiteral("/zone%1.csv").arg(z);
        if (!PaTest::writeFile(csvPath, csv))
            return fail("cannot write the users");
        ports.push_back(sipps.sipPort());
        registering.push_back(sipps.start(
            {QStringLiteral("127.0.0.1:%1").arg(sipPort), QStringLiteral("-sf"),
             scenario(QStringLiteral("tests/ruvidaza/sip/register.xml")), QStringLiteral("-inf"), csvPath,
             QStringLiteral("-p"), QString::number(ports.back()), QStringLiteral("-m"), QString::number(users),
             QStringLiteral("-r"), QStringLiteral("50")}));
    }
    for (QProcess *p : registering) {
        if (!p->waitForFinished(60000) || p->exitCode() != 0) {
            std::fprintf(stderr, "%s\n", p->readAll().constData());
            return fail("a registration failed");
        }
    }
    // Each zone's devices answer on the port they registered from.
    std::vector<QProcess *> answering;
    std::vector<QString> logs;
    for (int z = 0; z < zones; ++z) {
        const int users = std::min(devices, (z + 1) * perZone) - z * perZone;
        logs.push_back(work + QStringLiteral("/zone%1.log").arg(z));
        answering.push_back(sipps.start({QStringLiteral("-sf"),
                                         scenario(QStringLiteral("bench/sipp/zone_devices_answer.xml")),
                                         QStringLiteral("-p"), QString::number(ports[size_t(z)]),
                                         QStringLiteral("-key"), QStringLiteral("rtpprefix"),
                                         QString::number(rtp.prefix()), QStringLiteral("-m"), QString::number(users),
                                         QStringLiteral("-trace_logs"), QStringLiteral("-log_file"), logs.back()}));
        if (!PaTest::waitUntilUdpPortHeld(ports[size_t(z)])) {
            std::fprintf(stderr, "%s\n", answering.back()->readAll().constData());
            return fail("an answering sipp did not start");
        }
    }
    // A run that could not bind its media ports ends within moments of taking
    // its SIP port. A run still reported as starting has exec'd already: the
    // port it holds says so, only its start notice is still unread.
    for (QProcess *p : answering) {
        if (p->state() == QProcess::Starting && !p->waitForStarted(10000))
            return fail("an answering sipp did not start");
    }
    PaTest::waitUntil([&] {
        return std::any_of(answering.begin(), answering.end(),
                           [](QProcess *p) { return p->state() == QProcess::NotRunning; });
    }, 300);
    for (QProcess *p : answering) {
        if (p->state() != QProcess::Running) {
            std::fprintf(stderr, "%s\n", p->readAll().constData());
            return fail("an answering sipp ended early");
        }
    }
    // The program dials only devices it has seen registered.
    if (!PaTest::waitUntil([&] { return fs->deviceStatus().size() == devices; }, 30000))
        return fail("the program did not see every registration");

    const double firstAction = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    QElapsedTimer actions;
    actions.start();
    for (int z = 0; z < zones; ++z) {
        if (!action(httpPort, QStringLiteral("zone=%1&operation=start").arg(3001 + z)))
            return fail("a zone did not start");
    }
    const double actionsMs = double(actions.nsecsElapsed()) / 1e6;

    DeviceLog log;
    const bool allCalled = PaTest::waitUntil(
        [&] {
            log = DeviceLog();
            for (const QString &path : logs)
                readDeviceLog(path, log);
            return int(log.invites.size()) == devices;
        },
        60000);
    std::vector<double> invites;
    for (const auto &entry : log.invites)
        invites.push_back(1000.0 * (entry.second - firstAction));
    std::sort(invites.begin(), invites.end());
    if (invites.empty())
        invites.push_back(0);
    // Every device hears its zone before the window opens.
    const bool allHear = PaTest::waitUntil(
        [&] {
            const std::vector<long long> c = rtp.counts();
            return std::all_of(c.begin(), c.end(), [](long long n) { return n > 0; });
        },
        30000);
    runEvents(1000);

    const double cpuBefore = cpuSeconds(switchPid);
    const std::vector<long long> before = rtp.counts();
    QElapsedTimer window;
    window.start();
    runEvents(windowSeconds * 1000);
    const double seconds = double(window.nsecsElapsed()) / 1e9;
    const double cpuAfter = cpuSeconds(switchPid);
    const std::vector<long long> after = rtp.counts();

    std::vector<double> rates;
    for (size_t i = 0; i < before.size(); ++i)
        rates.push_back(double(after[i] - before[i]) / seconds);
    const double cpuPercent = 100.0 * (cpuAfter - cpuBefore) / seconds;

    for (int z = 0; z < zones; ++z)
        action(httpPort, QStringLiteral("zone=%1&operation=stop").arg(3001 + z));
    int calls = 0;
    for (QProcess *p : answering) {
        p->waitForFinished(30000);
        calls += std::max(0, PaTest::sippCompletedCalls(p->readAll()));
    }
    rtp.stop();
    DeviceLog ended;
    for (const QString &path : logs)
        readDeviceLog(path, ended);

    std::printf("devices %d in %d zones of %d, %.1f s window\n", devices, zones, perZone, seconds);
    std::printf("  /action start of every zone: %.0f ms for %d requests\n", actionsMs, zones);
    std::printf("  first /action -> last INVITE: %.0f ms (%d of %d devices called; first after %.0f ms, "
                "half after %.0f ms)\n",
                invites.back(), int(log.invites.size()), devices, invites.front(), median(invites));
    std::printf("  switch CPU: %.1f %% of one core\n", cpuPercent);
    std::printf("  RTP per device: median %.1f/s, min %.1f/s, max %.1f/s\n", median(rates),
                *std::min_element(rates.begin(), rates.end()), *std::max_element(rates.begin(), rates.end()));
    std::printf("  BYE: %d of %d devices, %d calls completed\n", int(ended.byes.size()), devices, calls);
    std::fflush(stdout);

    const bool healthy = allCalled && allHear && int(ended.byes.size()) == devices && calls == devices
                         && *std::min_element(rates.begin(), rates.end()) > 0;
    return healthy ? 0 : fail("a device missed its call, its audio or its BYE");
}

} // namespace

int main(int argc, char **argv)
{
    // Loopback only, offscreen, and the switch package of this build.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("VELMAR_DISCOVERY_LISTEN", "127.0.0.1:0", 0);
    ::setenv("VELMAR_DISCOVERY_REPLY", "127.0.0.1:19981", 0);
    ::setenv("PA_ONVIF_PROBE_TARGET", "127.0.0.1:9", 0);
    ::setenv("PA_SWITCH_DIR", PA_BENCH_SWITCH_DIR, 0);
    ::setenv("PA_SOURCE_DIR", PA_BENCH_SOURCE_DIR, 0);
    QCoreApplication app(argc, argv);
    if (QStandardPaths::findExecutable(QStringLiteral("sipp")).isEmpty())
        return fail("sipp is not installed");
    const int devices = BenchSmoke::size(argc > 1 ? std::atoi(argv[1]) : 200, 20);
    const int perZone = std::max(1, argc > 2 ? std::atoi(argv[2]) : 10);
    const int windowSeconds = BenchSmoke::size(argc > 3 ? std::atoi(argv[3]) : 10, 3);
    if (devices < 1 || devices > 1000)
        return fail("devices: 1..1000");

    QTemporaryDir data;
    QTemporaryDir work;
    PaTest::SwitchStandIn switchCopy(false);
    if (!data.isValid() || !work.isValid() || !switchCopy.isValid())
        return fail("cannot prepare the folders");
    VDB::setDataDir(data.path());
    {
        VelmarDB db(true);
        db.checkUpgrade();
        PALogDB log(true);
        log.checkUpgrade();
    }
    const int httpPort = freeLoopbackPort();
    {
        RDConfigure conf;
        conf.setHttpServerPort(httpPort);
        conf.setHttpApiEnable(true);
    }
    PASipManager::createInstance(QStringLiteral("127.0.0.1"));
    FSManager *fs = FSManager::createInstance();
    fs->setDirectory(switchCopy.folder());
    fs->setHttpPort(httpPort);
    const int sipPort = PaTest::freeUdpPort();
    fs->setNetwork(QStringLiteral("127.0.0.1"), QStringLiteral("255.0.0.0"), sipPort, false,
                   QStringLiteral("127.0.0.1"), PaTest::freeUdpPort(), QStringLiteral("PCMU,PCMA"));
    // Two ports a call, and room to spare.
    const int rtpFirst = 33000;
    fs->setRtpPortRange(rtpFirst, rtpFirst + 4 * devices + 100);
    fs->setSwitchTimingForTesting(5000, 200);
    int status = 1;
    if (Velmar::createInstance()) {
        status = runCourse(devices, perZone, windowSeconds, httpPort, sipPort, fs, Velmar::instance(), work.path());
        Velmar::destroyInstance();
    } else {
        fail("the central object did not start");
    }
    fs->stop();
    PASipManager::destroyInstance();
    FSManager::destroyInstance();
    PALogDB::closeSharedLog();
    VelmarDB::closeIdleConnections();
    return status;
}
