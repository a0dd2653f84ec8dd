#include "FakeSwitch.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

std::string selfFolder(std::string *name)
{
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return std::string();
    std::string exe(buf, static_cast<size_t>(n));
    const size_t slash = exe.rfind('/');
    *name = exe.substr(slash + 1);
    return exe.substr(0, slash);
}

std::string readSmall(const std::string &path)
{
    std::string out;
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return out;
    char buf[256];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    if (n > 0)
        out.assign(buf, static_cast<size_t>(n));
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

void journal(const std::string &folder, const std::string &line)
{
    const int fd = ::open((folder + "/fake-journal.txt").c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd < 0)
        return;
    const std::string l = line + "\n";
    (void)!::write(fd, l.data(), l.size());
    ::close(fd);
}

// Alive and not yet a zombie.
bool processRuns(long pid)
{
    const std::string stat = readSmall("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

volatile sig_atomic_t g_term = 0;
void onTerm(int) { g_term = 1; }

[[noreturn]] void fakeSwitch(const std::string &folder)
{
    const std::string mode = readSmall(folder + "/fake-switch");
    journal(folder, "start " + std::to_string(::getpid()));
    const std::string pid = std::to_string(::getpid());
    const int fd = ::open((folder + "/fake-switch.pid").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        (void)!::write(fd, pid.data(), pid.size());
        ::close(fd);
    }
    if (mode == "exit0")
        ::_exit(0);
    if (mode == "exit3")
        ::_exit(3);
    if (mode == "hang")
        std::signal(SIGTERM, SIG_IGN);
    else
        std::signal(SIGTERM, onTerm);
    while (!g_term)
        ::pause();
    journal(folder, "exit term");
    ::_exit(0);
}

[[noreturn]] void fakeConsole(const std::string &folder, int argc, char **argv)
{
    const std::string cmd = argc >= 3 ? argv[2] : "";
    journal(folder, "cmd " + cmd);
    const std::string mode = readSmall(folder + "/fake-console");
    std::string answer;
    const bool reload = cmd == "reloadxml" || (cmd.size() >= 6 && cmd.compare(cmd.size() - 6, 6, "rescan") == 0);
    if (mode == "slow" && reload)
        ::usleep(1000000);
    if (mode == "silent") {
        answer.clear();
    } else if (cmd == "shutdown" && mode == "miss-first-shutdown"
               && ::open((folder + "/fake-shutdown-seen").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644) >= 0) {
        answer.clear(); // like a switch whose console is not listening yet
    } else if (cmd == "shutdown") {
        const long pid = std::atol(readSmall(folder + "/fake-switch.pid").c_str());
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), SIGTERM) == 0) {
            // Like the real switch, answer only once it has ended, and give
            // its supervisor time to react before the answer arrives.
            for (int i = 0; i < 200 && processRuns(pid); ++i)
                ::usleep(10000);
            ::usleep(300000);
        }
        answer = "+OK\n";
    } else if (cmd.size() >= 6 && cmd.compare(cmd.size() - 6, 6, "rescan") == 0) {
        answer = mode == "fail-rescan" ? "-ERR Reload XML [Failed]\n" : "Reload XML [Success]\n+OK scan complete\n";
    } else if (cmd == "conference list") {
        answer = "+OK 0 conference(s)\n";
    } else {
        answer = "+OK\n";
    }
    (void)!::write(1, answer.data(), answer.size());
    ::_exit(0);
}

// Runs before main(): a copy of this binary named like the switch or its
// console client acts that part and never reaches the test runner.
struct FakeProcessHook
{
    FakeProcessHook()
    {
        std::string name;
        const std::string folder = selfFolder(&name);
        if (name == "RUVidazaConsole")
            fakeSwitch(folder);
        if (name == "da_rid") {
            // argc/argv are not handed to static constructors; read them back.
            static char args[8192];
            const int fd = ::open("/proc/self/cmdline", O_RDONLY);
            ssize_t n = fd >= 0 ? ::read(fd, args, sizeof args - 1) : 0;
            if (fd >= 0)
                ::close(fd);
            char *argv[8] = {};
            int argc = 0;
            for (ssize_t i = 0; i < n && argc < 8;) {
                argv[argc++] = args + i;
                i += static_cast<ssize_t>(std::strlen(args + i)) + 1;
            }
            fakeConsole(folder, argc, argv);
        }
    }
} s_fakeProcessHook;

bool placeCopy(const QString &self, const QString &target)
{
    // A hard link is instant; a copy when the folder is on another file system.
    if (::link(QFile::encodeName(self).constData(), QFile::encodeName(target).constData()) == 0)
        return true;
    return QFile::copy(self, target)
        && QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

FakeSwitchFolder::FakeSwitchFolder()
    : m_dir(PaTest::binDir() + QStringLiteral("/fake-switch-XXXXXX"))
{
    if (!m_dir.isValid())
        return;
    const QString self = QCoreApplication::applicationFilePath();
    m_valid = placeCopy(self, folder() + QStringLiteral("/RUVidazaConsole"))
        && placeCopy(self, folder() + QStringLiteral("/da_rid"));
}

static void writeText(const QString &path, const QString &text)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(text.toUtf8());
}

void FakeSwitchFolder::setSwitchMode(const QString &mode)
{
    writeText(folder() + QStringLiteral("/fake-switch"), mode);
}

void FakeSwitchFolder::setConsoleMode(const QString &mode)
{
    writeText(folder() + QStringLiteral("/fake-console"), mode);
}

QStringList FakeSwitchFolder::journal() const
{
    QFile f(folder() + QStringLiteral("/fake-journal.txt"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    lines.removeAll(QString());
    return lines;
}

QStringList FakeSwitchFolder::commands() const
{
    QStringList out;
    for (const QString &l : journal())
        if (l.startsWith(QLatin1String("cmd ")))
            out << l.mid(4);
    return out;
}

int FakeSwitchFolder::starts() const
{
    int n = 0;
    for (const QString &l : journal())
        if (l.startsWith(QLatin1String("start ")))
            ++n;
    return n;
}
