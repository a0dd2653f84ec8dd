#include "PlatformProcess.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// A copy of sleep(1) under a fixed name in its own folder.
QString placeSleeper(const QString &folder, const QString &name)
{
    const QString sleepPath = QStandardPaths::findExecutable("sleep");
    if (sleepPath.isEmpty() || !QDir().mkpath(folder))
        return QString();
    const QString target = folder + "/" + name;
    if (!QFile::copy(sleepPath, target))
        return QString();
    QFile::setPermissions(target, QFile::permissions(target) | QFile::ExeOwner);
    return target;
}

} // namespace

TEST(PlatformProcess, EndsOnlyTheNamedFoldersProcesses)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString name = "RUVidazaConsole";
    const QString mine = placeSleeper(dir.path() + "/mine", name);
    const QString other = placeSleeper(dir.path() + "/other", name);
    ASSERT_FALSE(mine.isEmpty());
    ASSERT_FALSE(other.isEmpty());

    QProcess a, b;
    a.start(mine, {"60"});
    b.start(other, {"60"});
    ASSERT_TRUE(a.waitForStarted());
    ASSERT_TRUE(b.waitForStarted());
    ASSERT_TRUE(PaTest::waitUntil([&] {
        return Platform::findProcessesByExecutable(dir.path() + "/mine", name).size() == 1;
    }));
    EXPECT_EQ(Platform::findProcessesByExecutable(dir.path() + "/mine", name).value(0), a.processId());

    EXPECT_EQ(Platform::killProcessesByExecutable(dir.path() + "/mine", name), 1);
    EXPECT_TRUE(a.waitForFinished(5000));
    EXPECT_EQ(a.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(b.state(), QProcess::Running);
    EXPECT_TRUE(Platform::processAlive(b.processId()));

    // Nothing left to end there.
    EXPECT_EQ(Platform::killProcessesByExecutable(dir.path() + "/mine", name), 0);
    EXPECT_EQ(Platform::killProcessesByExecutable(dir.path() + "/missing", name), -1);
    EXPECT_EQ(Platform::killProcessesByExecutable(dir.path() + "/mine", "../other/" + name), -1);

    EXPECT_EQ(Platform::killProcessesByExecutable(dir.path() + "/other", name), 1);
    EXPECT_TRUE(b.waitForFinished(5000));
}

TEST(PlatformProcess, AliveStates)
{
    EXPECT_TRUE(Platform::processAlive(::getpid()));
    EXPECT_FALSE(Platform::processAlive(0));
    EXPECT_FALSE(Platform::processAlive(-5));
}
