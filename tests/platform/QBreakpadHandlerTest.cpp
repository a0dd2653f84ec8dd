#include "QBreakpadHandler.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// Each crash runs in a forked child of the test process (gtest death tests),
// so the handlers are installed there only.
class QBreakpadHandlerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        GTEST_FLAG_SET(death_test_style, "fast");
        ASSERT_TRUE(m_dir.isValid());
        m_crashDir = m_dir.filePath("crash");
    }
    QStringList dumps() const
    {
        return QDir(m_crashDir).entryList({"*.dmp"}, QDir::Files);
    }
    QTemporaryDir m_dir;
    QString m_crashDir;
};

// A write into the unmapped first page; the sanitizers would report a plain
// null store themselves before the kernel ever raises the signal.
__attribute__((no_sanitize_address, no_sanitize_undefined)) [[noreturn]] void nullWrite(const QString &dir)
{
    QBreakpadHandler::instance()->setDumpPath(dir);
    volatile int *p = reinterpret_cast<volatile int *>(std::uintptr_t(16));
    *p = 42;
    std::abort();
}

[[noreturn]] void abortNow(const QString &dir)
{
    QBreakpadHandler::instance()->setDumpPath(dir);
    std::abort();
}

struct CrashCase
{
    const char *name;
    void (*crash)(const QString &);
    int signal;
};

TEST_F(QBreakpadHandlerTest, FatalSignalWritesOneDumpAndDiesBySameSignal)
{
    const CrashCase cases[] = {
        {"null write", nullWrite, SIGSEGV},
        {"abort", abortNow, SIGABRT},
    };
    for (const CrashCase &c : cases) {
        QDir(m_crashDir).removeRecursively();
        EXPECT_EXIT(c.crash(m_crashDir), ::testing::KilledBySignal(c.signal), "") << c.name;
        const QStringList files = dumps();
        ASSERT_EQ(files.size(), 1) << c.name;
        QFile f(QDir(m_crashDir).filePath(files.first()));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        EXPECT_TRUE(text.startsWith("VELMAR-CRASH 1\nsignal " + QByteArray::number(c.signal) + "\n")) << c.name;
        const int bt = text.indexOf("backtrace\n");
        const int maps = text.indexOf("maps\n");
        ASSERT_GT(bt, 0);
        ASSERT_GT(maps, bt);
        EXPECT_GT(maps - bt, int(sizeof "backtrace\n")) << "no stack frame written: " << c.name;
        EXPECT_TRUE(text.contains("[stack]")) << "memory map missing: " << c.name;
    }
}

TEST_F(QBreakpadHandlerTest, NormalExitLeavesNoDump)
{
    EXPECT_EXIT(
        {
            QBreakpadHandler::instance()->setDumpPath(m_crashDir);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(QDir(m_crashDir).exists());
    EXPECT_TRUE(dumps().isEmpty());
}

TEST_F(QBreakpadHandlerTest, UncreatableFolderIsRefused)
{
    QFile blocker(m_dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(QBreakpadHandler::instance()->setDumpPath(m_dir.filePath("file/crash")));
}

} // namespace
