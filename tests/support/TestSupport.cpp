#include "TestSupport.h"

#include <algorithm>
#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QThread>

#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }
void PrintTo(const QByteArray &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace PaTest {

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    // Looks often at first, then less: many conditions open a database or
    // read /proc, and a test waiting seconds on one should not load the
    // machine its neighbours run on.
    unsigned long pauseMs = 1;
    while (!done()) {
        if (timer.elapsed() >= timeoutMs)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(pauseMs);
        pauseMs = std::min<unsigned long>(pauseMs * 2, 20);
    }
    return true;
}

static QString envPath(const char *name, const QString &fallback)
{
    const QByteArray v = qgetenv(name);
    return v.isEmpty() ? fallback : QString::fromLocal8Bit(v);
}

QString binDir() { return envPath("PA_BIN_DIR", QCoreApplication::applicationDirPath() + "/.."); }
QString switchDir() { return envPath("PA_SWITCH_DIR", binDir() + "/RUVIDAZA"); }
QString sourceDir() { return envPath("PA_SOURCE_DIR", QDir::currentPath()); }

static int freePort(int type)
{
    static std::mt19937 random(std::random_device{}() ^ unsigned(::getpid()));
    std::uniform_int_distribution<int> pick(20000, 32000);
    for (int attempt = 0; attempt < 500; ++attempt) {
        const int port = pick(random);
        const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return 0;
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_ANY);
        sa.sin_port = htons(quint16(port));
        const bool free = ::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0;
        ::close(fd);
        if (free)
            return port;
    }
    return 0;
}

int freeTcpPort() { return freePort(SOCK_STREAM); }
int freeUdpPort() { return freePort(SOCK_DGRAM); }

bool waitUntilUdpPortHeld(int port, int ms)
{
    return waitUntil(
        [port] {
            sockaddr_in sa{};
            sa.sin_family = AF_INET;
            sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            sa.sin_port = htons(quint16(port));
            const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            const bool bound = probe >= 0 && ::bind(probe, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0;
            if (probe >= 0)
                ::close(probe);
            return !bound;
        },
        ms);
}

namespace {
// An even UDP port whose next `count` - 1 neighbours are free too.
int freeEvenPortRun(int count)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int port = freePort(SOCK_DGRAM) & ~1;
        bool free = port > 0 && port + count - 1 <= 65535;
        for (int p = port; free && p < port + count; ++p) {
            sockaddr_in sa{};
            sa.sin_family = AF_INET;
            sa.sin_addr.s_addr = htonl(INADDR_ANY);
            sa.sin_port = htons(quint16(p));
            const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            free = probe >= 0 && ::bind(probe, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0;
            if (probe >= 0)
                ::close(probe);
        }
        if (free)
            return port;
    }
    return 0;
}
} // namespace

int freeRtpPort()
{
    return freeEvenPortRun(2);
}

int freeSippMediaPort()
{
    // sipp binds audio RTP/RTCP on -mp and -mp+1, video on -mp+2 and -mp+3.
    return freeEvenPortRun(4);
}

int sippCompletedCalls(const QByteArray &screen)
{
    int calls = -1;
    for (const QByteArray &line : screen.split('\n')) {
        if (line.trimmed().startsWith("Successful call")) {
            const QList<QByteArray> cells = line.split('|');
            if (cells.size() >= 3)
                calls = cells[2].trimmed().toInt();
        }
    }
    return calls;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

bool writeWav(const QString &path, int ms)
{
    return writeWav(path, std::vector<int16_t>(size_t(8000) * size_t(ms) / 1000, 0), 8000);
}

bool writeWav(const QString &path, const std::vector<int16_t> &pcm, int rate)
{
    const quint32 dataBytes = quint32(pcm.size() * 2);
    QByteArray wav;
    QDataStream s(&wav, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    s.writeRawData("RIFF", 4);
    s << quint32(36 + dataBytes);
    s.writeRawData("WAVEfmt ", 8);
    s << quint32(16) << quint16(1) << quint16(1) << quint32(rate) << quint32(rate * 2) << quint16(2) << quint16(16);
    s.writeRawData("data", 4);
    s << dataBytes;
    for (int16_t sample : pcm)
        s << qint16(sample);
    return writeFile(path, wav);
}

int openFdCount()
{
    return QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size();
}

int currentThreadId()
{
    return int(::gettid());
}

QList<int> threadIdsNamed(const QString &prefix, const QList<int> &notAmong)
{
    QList<int> ids;
    const QString cut = prefix.left(15);
    for (const QString &tid : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(tid));
        if (!notAmong.contains(tid.toInt()) && comm.open(QIODevice::ReadOnly)
            && QString::fromLocal8Bit(comm.readAll()).trimmed().startsWith(cut))
            ids << tid.toInt();
    }
    return ids;
}

long long threadSwitches(int tid)
{
    QFile status(QStringLiteral("/proc/self/task/%1/status").arg(tid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    long long total = 0;
    int found = 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:")) {
            total += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
            ++found;
        }
    }
    return found == 2 ? total : -1;
}

long long switchesOver(const QList<int> &tids, int ms)
{
    const auto total = [&tids] {
        long long sum = 0;
        for (int tid : tids) {
            const long long n = threadSwitches(tid);
            if (n < 0)
                return -1LL;
            sum += n;
        }
        return sum;
    };
    const long long before = total();
    QThread::msleep(static_cast<unsigned long>(ms));
    const long long after = total();
    return before < 0 || after < 0 ? -1 : after - before;
}

} // namespace PaTest
