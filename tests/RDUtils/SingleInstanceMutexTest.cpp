#include "PlatformInstanceLock.h"
#include "SingleInstanceMutex.h"

#include "TestSupport.h"

#include <QProcess>
#include <QUuid>
#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray uniqueName()
{
    return "velmar-test-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
}

// Forks a child that takes the lock file of `name` and then waits to be
// killed. Returns its pid once it holds the lock, or -1.
pid_t childHolding(const QByteArray &name)
{
    const QByteArray path = Platform::instanceLockPath(name);
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const char held = Platform::tryLockFile(path.constData()) >= 0 ? 'y' : 'n';
        if (::write(fds[1], &held, 1) != 1)
            ::_exit(2);
        for (;;)
            ::pause();
    }
    ::close(fds[1]);
    char held = 0;
    struct pollfd p = {fds[0], POLLIN, 0};
    const bool answered = pid > 0 && ::poll(&p, 1, 10000) == 1 && ::read(fds[0], &held, 1) == 1;
    ::close(fds[0]);
    if (!answered || held != 'y') {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        return -1;
    }
    return pid;
}

} // namespace

TEST(SingleInstanceMutex, SecondHolderFailsUntilReleased)
{
    const QByteArray name = uniqueName();
    SingleInstanceMutex a(name.constData()), b(name.constData());
    EXPECT_FALSE(a.release());
    ASSERT_TRUE(a.acquire());
    EXPECT_FALSE(b.acquire());
    EXPECT_FALSE(a.acquire()); // not twice either
    EXPECT_TRUE(a.release());
    EXPECT_FALSE(a.release());
    EXPECT_TRUE(b.acquire());
    EXPECT_TRUE(b.release());
}

TEST(SingleInstanceMutex, NameThatIsNotUtf8IsRefused)
{
    SingleInstanceMutex m("bad-\xff\xfe-name");
    EXPECT_FALSE(m.acquire());
    EXPECT_FALSE(m.isHeld());
}

TEST(SingleInstanceMutex, OtherProcessBlocksAndItsCrashFreesTheName)
{
    const QByteArray name = uniqueName();
    const pid_t child = childHolding(name);
    ASSERT_GT(child, 0);

    SingleInstanceMutex m(name.constData());
    EXPECT_FALSE(m.acquire());

    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    EXPECT_TRUE(m.acquire()); // the lock file is still there, but nobody holds it
    m.release();
}

TEST(SingleInstanceMutex, ChildProgramsDoNotInheritTheMark)
{
    const QByteArray name = uniqueName();
    SingleInstanceMutex first(name.constData());
    ASSERT_TRUE(first.acquire());
    QProcess child;
    child.start("sleep", {"30"});
    ASSERT_TRUE(child.waitForStarted());
    first.release();

    SingleInstanceMutex second(name.constData());
    EXPECT_TRUE(second.acquire()); // the running child holds nothing
    second.release();
    child.kill();
    child.waitForFinished();
}
