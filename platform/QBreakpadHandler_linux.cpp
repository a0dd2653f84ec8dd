#include "QBreakpadHandler.h"

#include <QDir>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

// Everything the handler needs is prepared at setup: it may only make
// async-signal-safe calls.
char g_dumpDir[4096];
std::atomic<bool> g_handling{false};

size_t appendText(char *buf, size_t pos, size_t cap, const char *text)
{
    while (*text && pos + 1 < cap)
        buf[pos++] = *text++;
    buf[pos] = '\0';
    return pos;
}

size_t appendNumber(char *buf, size_t pos, size_t cap, unsigned long long value, int base)
{
    char digits[32];
    int n = 0;
    do {
        const int d = int(value % unsigned(base));
        digits[n++] = char(d < 10 ? '0' + d : 'a' + d - 10);
        value /= unsigned(base);
    } while (value && n < int(sizeof digits));
    if (base == 16)
        pos = appendText(buf, pos, cap, "0x");
    while (n > 0 && pos + 1 < cap)
        buf[pos++] = digits[--n];
    buf[pos] = '\0';
    return pos;
}

void writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0)
            return;
        data += n;
        size -= size_t(n);
    }
}

void writeDump(int sig, const siginfo_t *info)
{
    char path[4200];
    size_t p = appendText(path, 0, sizeof path, g_dumpDir);
    p = appendText(path, p, sizeof path, "/");
    p = appendNumber(path, p, sizeof path, static_cast<unsigned long long>(::time(nullptr)), 10);
    p = appendText(path, p, sizeof path, "-");
    appendNumber(path, p, sizeof path, static_cast<unsigned long long>(::getpid()), 10);
    p = strlen(path);
    appendText(path, p, sizeof path, ".dmp");

    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return;

    char head[512];
    size_t h = appendText(head, 0, sizeof head, "VELMAR-CRASH 1\nsignal ");
    h = appendNumber(head, h, sizeof head, static_cast<unsigned long long>(sig), 10);
    h = appendText(head, h, sizeof head, "\ncode ");
    h = appendNumber(head, h, sizeof head, static_cast<unsigned long long>(info ? unsigned(info->si_code) : 0u), 10);
    h = appendText(head, h, sizeof head, "\naddress ");
    h = appendNumber(head, h, sizeof head, reinterpret_cast<unsigned long long>(info ? info->si_addr : nullptr), 16);
    h = appendText(head, h, sizeof head, "\npid ");
    h = appendNumber(head, h, sizeof head, static_cast<unsigned long long>(::getpid()), 10);
    h = appendText(head, h, sizeof head, "\ntid ");
    h = appendNumber(head, h, sizeof head, static_cast<unsigned long long>(::syscall(SYS_gettid)), 10);
    h = appendText(head, h, sizeof head, "\nbacktrace\n");
    writeAll(fd, head, h);

    void *frames[128];
    const int count = ::backtrace(frames, 128);
    ::backtrace_symbols_fd(frames, count, fd);

    static const char mapsHead[] = "maps\n";
    writeAll(fd, mapsHead, sizeof mapsHead - 1);
    const int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps >= 0) {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(maps, buf, sizeof buf)) > 0)
            writeAll(fd, buf, size_t(n));
        ::close(maps);
    }
    ::fsync(fd);
    ::close(fd);
}

void onFatalSignal(int sig, siginfo_t *info, void *)
{
    // One report per process: a second fault inside the handler goes straight
    // to the default action.
    if (!g_handling.exchange(true))
        writeDump(sig, info);
    struct sigaction dfl;
    memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(sig, &dfl, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, sig);
    ::pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
    ::raise(sig);
}

void onTerminate()
{
    ::abort();
}

} // namespace

QBreakpadHandler *QBreakpadHandler::instance()
{
    static QBreakpadHandler handler;
    return &handler;
}

QString QBreakpadHandler::dumpPath() const { return m_dumpPath; }

namespace {

// One signal stack per thread, released when the thread ends.
struct AlternateStack
{
    void *memory = nullptr;
    ~AlternateStack()
    {
        if (!memory)
            return;
        stack_t off;
        memset(&off, 0, sizeof off);
        off.ss_flags = SS_DISABLE;
        ::sigaltstack(&off, nullptr);
        ::free(memory);
    }
};

} // namespace

void QBreakpadHandler::installAlternateStack()
{
    static thread_local AlternateStack stack;
    if (stack.memory)
        return;
    const size_t size = 64 * 1024;
    stack_t ss;
    memset(&ss, 0, sizeof ss);
    ss.ss_sp = ::malloc(size);
    if (!ss.ss_sp)
        return;
    ss.ss_size = size;
    ss.ss_flags = 0;
    if (::sigaltstack(&ss, nullptr) == 0)
        stack.memory = ss.ss_sp;
    else
        ::free(ss.ss_sp);
}

bool QBreakpadHandler::setDumpPath(const QString &path)
{
    if (!QDir().mkpath(path))
        return false;
    const QByteArray native = QDir::toNativeSeparators(QDir(path).absolutePath()).toLocal8Bit();
    if (size_t(native.size()) >= sizeof g_dumpDir - 64)
        return false;
    memcpy(g_dumpDir, native.constData(), size_t(native.size()));
    g_dumpDir[native.size()] = '\0';
    m_dumpPath = path;

    // backtrace() loads libgcc on first use, which is not safe inside a handler.
    void *warm[2];
    ::backtrace(warm, 2);

    installAlternateStack();
    for (int sig : kFatalSignals) {
        struct sigaction sa;
        memset(&sa, 0, sizeof sa);
        sa.sa_sigaction = onFatalSignal;
        sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&sa.sa_mask);
        ::sigaction(sig, &sa, nullptr);
    }
    std::set_terminate(onTerminate);
    return true;
}
