// Running a child to completion with a time limit.
#include "ProcessRunner.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

TEST(ProcessRunner, CapturesStdoutAndExitCode)
{
    const ProcessRunner::Result r =
        ProcessRunner::run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("printf 'a b'; echo e >&2; exit 7")}, 10000);
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 7);
    EXPECT_EQ(r.output, QByteArray("a b"));
}

TEST(ProcessRunner, GivenEnvironmentEntriesReplaceInheritedOnesAndTheRestIsKept)
{
    qputenv("PA_RUNNER_KEEP", "kept");
    qputenv("PA_RUNNER_SET", "inherited");
    qputenv("PA_RUNNER_SET_TOO", "untouched");
    const ProcessRunner::Result r = ProcessRunner::run(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QStringLiteral("printf '%s|%s|%s|%s' \"$PA_RUNNER_KEEP\" \"$PA_RUNNER_SET\" "
                                              "\"$PA_RUNNER_SET_TOO\" \"$PA_RUNNER_NEW\"")},
        10000, {QStringLiteral("PA_RUNNER_SET=given"), QStringLiteral("PA_RUNNER_NEW=a b")});
    qunsetenv("PA_RUNNER_KEEP");
    qunsetenv("PA_RUNNER_SET");
    qunsetenv("PA_RUNNER_SET_TOO");
    EXPECT_EQ(r.output, QByteArray("kept|given|untouched|a b"));
}

TEST(ProcessRunner, MissingProgramIsNotStarted)
{
    const ProcessRunner::Result r = ProcessRunner::run(QStringLiteral("/nonexistent/prog"), {}, 1000);
    EXPECT_FALSE(r.started);
    EXPECT_TRUE(r.output.isEmpty());
}

TEST(ProcessRunner, KillsAChildThatOutlivesTheLimitAndKeepsItsOutput)
{
    QTemporaryDir dir;
    const QString pidFile = dir.filePath(QStringLiteral("pid"));
    const ProcessRunner::Result r = ProcessRunner::run(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QStringLiteral("echo $$ > '%1'; printf partial; exec sleep 60").arg(pidFile)}, 1500);
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.finished);
    EXPECT_EQ(r.output, QByteArray("partial"));
    QFile f(pidFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const pid_t pid = pid_t(f.readAll().trimmed().toInt());
    ASSERT_GT(pid, 0);
    // Killed and reaped: the pid no longer exists.
    EXPECT_NE(::kill(pid, 0), 0);
}

TEST(ProcessRunner, ChildIgnoringSigpipeOrClosingStdoutEarlyStillEnds)
{
    const ProcessRunner::Result r = ProcessRunner::run(
        QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exec >&-; exit 0")}, 10000);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0);
}

TEST(ProcessRunner, ChildThatLingersAfterClosingStdoutIsAwaitedAsleep)
{
    // The runner's thread sleeps on the child's end, where a poll of its
    // state every fraction of a millisecond would switch a thousand times.
    const int tid = PaTest::currentThreadId();
    const long long before = PaTest::threadSwitches(tid);
    QElapsedTimer timer;
    timer.start();
    const ProcessRunner::Result r = ProcessRunner::run(
        QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exec >&-; sleep 0.3; exit 3")}, 10000);
    const qint64 tookMs = timer.elapsed();
    const long long switches = PaTest::threadSwitches(tid) - before;
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_GE(tookMs, 300);
    EXPECT_LT(tookMs, 5000);
    EXPECT_LE(switches, 20);
}
