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
#include "LoopbackBackEnd.h"
#include "PlatformProcess.h"
#include "RDConfigure.h"
#include "RDDevice.h"
#include "RDGroup.h"
#include "SippDevices.h"
#include "TestSupport.h"
#include "Velmar.h"
#include "support/ProcessCpu.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const int kFirstNumber = 6000;

// SIPp's own time-out of each run: the answering runs last the whole course.
const int kSippSeconds = 120;

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

int fail(const char *what)
{
    std::fprintf(stderr, "bench_switch_zones: %s\n", what);
    return 1;
}

int fail(const QString &what)
{
    return fail(qPrintable(what));
}

// The whole course on a back end set up by main(); returns the exit status.
int runCourse(int devices, int perZone, int windowSeconds, int httpPort, PaTest::LoopbackBackEnd &backEnd,
              const QString &work)
{
    FSManager *fs = backEnd.fs();
    Velmar *velmar = backEnd.velmar();
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

    if (!backEnd.startSwitch())
        return fail(backEnd.error());
    const QVector<qint64> switchPids = Platform::findProcessesByExecutable(fs->directory(), FSManager::kSwitchProgram);
    if (switchPids.size() != 1)
        return fail("switch process not found");
    const qint64 switchPid = switchPids.front();

    RtpCounters rtp;
    if (!rtp.bind(devices))
        return fail("no free run of audio ports");
    rtp.start();

    // Registration, one SIPp per zone, all zones at once.
    PaTest::SippDevices sipps(work);
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
            {QStringLiteral("127.0.0.1:%1").arg(backEnd.internalPort()), QStringLiteral("-sf"),
             PaTest::SippDevices::scenario(QStringLiteral("register.xml")), QStringLiteral("-inf"), csvPath,
             QStringLiteral("-p"), QString::number(ports.back()), QStringLiteral("-m"), QString::number(users),
             QStringLiteral("-r"), QStringLiteral("50")},
            kSippSeconds));
    }
    for (QProcess *p : registering) {
        if (!p->waitForFinished(60000) || p->exitCode() != 0) {
            std::fprintf(stderr, "%s\n", p->readAll().constData());
            return fail("a registration failed");
        }
    }
    // Each zone's devices answer on the port they registered from.
    const QString answerScenario = PaTest::sourceDir() + QStringLiteral("/bench/sipp/zone_devices_answer.xml");
    std::vector<QProcess *> answering;
    std::vector<QString> logs;
    for (int z = 0; z < zones; ++z) {
        const int users = std::min(devices, (z + 1) * perZone) - z * perZone;
        logs.push_back(work + QStringLiteral("/zone%1.log").arg(z));
        answering.push_back(sipps.start({QStringLiteral("-sf"), answerScenario, QStringLiteral("-p"),
                                         QString::number(ports[size_t(z)]), QStringLiteral("-key"),
                                         QStringLiteral("rtpprefix"), QString::number(rtp.prefix()),
                                         QStringLiteral("-m"), QString::number(users), QStringLiteral("-trace_logs"),
                                         QStringLiteral("-log_file"), logs.back()},
                                        kSippSeconds));
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

    const double cpuBefore = PaBench::processCpuSeconds(pid_t(switchPid));
    const std::vector<long long> before = rtp.counts();
    QElapsedTimer window;
    window.start();
    runEvents(windowSeconds * 1000);
    const double seconds = double(window.nsecsElapsed()) / 1e9;
    const double cpuAfter = PaBench::processCpuSeconds(pid_t(switchPid));
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
    if (!PaTest::SippDevices::available())
        return fail("sipp is not installed");
    const int devices = BenchSmoke::size(argc > 1 ? std::atoi(argv[1]) : 200, 20);
    const int perZone = std::max(1, argc > 2 ? std::atoi(argv[2]) : 10);
    const int windowSeconds = BenchSmoke::size(argc > 3 ? std::atoi(argv[3]) : 10, 3);
    if (devices < 1 || devices > 1000)
        return fail("devices: 1..1000");

    QTemporaryDir work;
    if (!work.isValid())
        return fail("cannot prepare the folders");
    const int httpPort = freeLoopbackPort();
    PaTest::LoopbackBackEnd::Options options;
    options.defaultGroup = false;
    // The switch's call scripts report to the program's HTTP server.
    options.switchReportPort = httpPort;
    // Two ports a call, and room to spare.
    options.rtpFirstPort = 33000;
    options.rtpPorts = 4 * devices + 100;
    options.servicesStartMs = 20000;
    PaTest::LoopbackBackEnd backEnd;
    int status = 1;
    if (backEnd.setUp(options, [httpPort] {
            RDConfigure conf;
            conf.setHttpServerPort(httpPort);
            conf.setHttpApiEnable(true);
            return true;
        }))
        status = runCourse(devices, perZone, windowSeconds, httpPort, backEnd, work.path());
    else
        fail(backEnd.error());
    backEnd.tearDown();
    return status;
}
