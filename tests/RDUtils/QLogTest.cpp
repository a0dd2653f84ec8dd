#include "RDLog.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

QStringList fileLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// A handler standing in for whatever was installed before the log opened.
std::atomic<int> s_previousCalls{0};
void countingHandler(QtMsgType, const QMessageLogContext &, const QString &)
{
    ++s_previousCalls;
}

// Every test leaves no log open and the capture handler in place.
class LogFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_saved = qInstallMessageHandler(countingHandler);
    }
    void TearDown() override
    {
        QLog::close();
        qInstallMessageHandler(m_saved);
    }
    QString logFolder() const { return m_dir.path() + "/log"; }

    QTemporaryDir m_dir;
    QtMessageHandler m_saved = nullptr;
};

const QRegularExpression kPrefix(
    R"(^\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\]  [^ ]+:\d+  )");

} // namespace

TEST(QLogFormat, PrefixOfAKnownTime)
{
    const QDateTime at(QDate(2024, 3, 2), QTime(9, 5, 3, 7));
    char buf[4096];
    const int n = QLog::formatPrefix(at, "C:\\work/src\\mod.cpp", 42, buf, sizeof buf);
    EXPECT_EQ(std::string(buf), "[2024-03-02 09:05:03.007]  mod.cpp:42  ");
    EXPECT_EQ(n, static_cast<int>(std::strlen(buf)));
}

TEST(QLogFormat, BaseNames)
{
    const struct
    {
        const char *path;
        const char *base;
    } cases[] = {
        {"/a/b/c.cpp", "c.cpp"},  {"a\\b\\c.cpp", "c.cpp"}, {"a\\b/c.cpp", "c.cpp"}, {"a/b\\c.cpp", "c.cpp"},
        {"c.cpp", "c.cpp"},       {"dir/", "dir/"},          {"a/dir/", "dir/"},      {"/", "/"},
        {"", "?"},                {nullptr, "?"},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(rdLogBaseName(c.path), c.base) << (c.path ? c.path : "(null)");
}

TEST_F(LogFixture, PruningDeletesOnlyParsableNamesOlderThanThirtyDays)
{
    QDir().mkpath(logFolder());
    const QDate today(2024, 3, 31);
    auto stamp = [&](int daysBack) { return QDateTime(today.addDays(-daysBack), QTime(23, 59, 59)).toString("yyyyMMddHHmmss"); };
    const struct
    {
        QString name;
        bool kept;
    } cases[] = {
        {stamp(30) + ".log", true},       {stamp(31) + ".log", false}, {stamp(400) + ".log", false},
        {stamp(0) + ".log", true},        {"20200101.log", true},      {"notes.log", true},
        {"20201301000000.log", true},     {stamp(400) + ".txt", true}, {stamp(-3) + ".log", true},
        {"20200101000000.old.log", true},
    };
    for (const auto &c : cases) {
        QFile f(logFolder() + "/" + c.name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << c.name.toStdString();
    }
    QLog::pruneOldLogs(logFolder(), today);
    for (const auto &c : cases)
        EXPECT_EQ(QFile::exists(logFolder() + "/" + c.name), c.kept) << c.name.toStdString();
}

TEST_F(LogFixture, OpenWritesOneFilePerRunAndCloseStopsWriting)
{
    QLog::open(logFolder());
    const QString path = QLog::currentFilePath();
    ASSERT_FALSE(path.isEmpty());
    EXPECT_TRUE(QFileInfo(path).fileName().contains(QRegularExpression(R"(^\d{14}\.log$)")));
    EXPECT_EQ(QFileInfo(path).absolutePath(), QDir(logFolder()).absolutePath());

    const int before = s_previousCalls.load();
    const int line = __LINE__ + 1;
    qWarning("first message \xc3\xa9");
    EXPECT_EQ(s_previousCalls.load(), before + 1); // the previous handler still sees it
    QLog::close();
    EXPECT_TRUE(QLog::currentFilePath().isEmpty());
    qWarning("after close");

    const QStringList lines = fileLines(path);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].contains(kPrefix)) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("  QLogTest.cpp:%1  first message \u00e9").arg(line)))
        << lines[0].toStdString();
}

// Stands in for Qt's default handler, which ends the process on a fatal
// message: records whether the log file held the line by then.
static QString s_fatalLogPath;
static std::atomic<int> s_fatalSeenInFile{-1};
static void fatalCheckingHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtFatalMsg)
        return;
    QFile f(s_fatalLogPath);
    const bool seen = f.open(QIODevice::ReadOnly) && QString::fromUtf8(f.readAll()).contains(message);
    s_fatalSeenInFile.store(seen ? 1 : 0);
}

TEST_F(LogFixture, FatalMessageReachesTheFileBeforeThePreviousHandler)
{
    qInstallMessageHandler(fatalCheckingHandler);
    QLog::open(logFolder());
    s_fatalLogPath = QLog::currentFilePath();
    ASSERT_FALSE(s_fatalLogPath.isEmpty());
    QLog::messageHandler(QtFatalMsg, QMessageLogContext("x.cpp", 7, nullptr, nullptr), "fatal: out of memory");
    EXPECT_EQ(s_fatalSeenInFile.load(), 1);
    // Other messages still go to the previous handler first, as before.
    QLog::messageHandler(QtWarningMsg, QMessageLogContext("x.cpp", 8, nullptr, nullptr), "a warning");
    QLog::close();
    const QStringList lines = fileLines(s_fatalLogPath);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith("  x.cpp:7  fatal: out of memory")) << lines[0].toStdString();
}

TEST_F(LogFixture, MessageWithoutSourceFileIsWritten)
{
    QLog::open(logFolder());
    const QString path = QLog::currentFilePath();
    QLog::messageHandler(QtWarningMsg, QMessageLogContext(nullptr, 0, nullptr, nullptr), "no context");
    QLog::messageHandler(QtWarningMsg, QMessageLogContext("", 0, nullptr, nullptr), "empty file");
    QLog::close();
    const QStringList lines = fileLines(path);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith("  ?:0  no context")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith("  ?:0  empty file")) << lines[1].toStdString();
}

TEST_F(LogFixture, FolderThatCannotBeCreatedLeavesTheProgramRunningWithoutAFile)
{
    // A regular file where a folder would have to be.
    QFile blocker(m_dir.path() + "/blocker");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QLog::open(m_dir.path() + "/blocker/log");
    EXPECT_TRUE(QLog::currentFilePath().isEmpty());
    const int before = s_previousCalls.load();
    qWarning("still reaches the previous handler");
    EXPECT_EQ(s_previousCalls.load(), before + 1);
}

TEST_F(LogFixture, DetailedLinesHonourTheLevelAndAreCut)
{
    QLog::open(logFolder());
    const QString path = QLog::currentFilePath();
    RDLogDetail("x/y\\Caller.cpp", "Caller::doIt", 77, 1, "dropped %d\n", 1);
    RDLogDetail("x/y\\Caller.cpp", "Caller::doIt", 77, 2, "kept %d\n", 2);
    const std::string huge(10000, 'z');
    RDLogDetail("Caller.cpp", "Caller::big", 5, 5, "%s", huge.c_str());
    QLog::close();

    const QStringList lines = fileLines(path);
    ASSERT_EQ(lines.size(), 3); // detailed line, the empty line its "\n" makes, the long line
    const QRegularExpression detail(
        R"(^\[[^\]]+\]  RDLog\.cpp:\d+  \[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\]  Caller\.cpp:77\(Caller::doIt\) kept 2$)");
    EXPECT_TRUE(lines[0].contains(detail)) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].isEmpty());
    const int at = lines[2].indexOf("  [");
    ASSERT_GE(at, 0);
    EXPECT_EQ(lines[2].mid(at + 2).toUtf8().size(), 4095);
    EXPECT_TRUE(lines[2].endsWith("zzzz"));
}

TEST_F(LogFixture, ConcurrentLinesNeverInterleave)
{
    QLog::open(logFolder());
    const QString path = QLog::currentFilePath();
    const int threads = 8, each = 300;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([t] {
            const QString body(120, QChar('a' + t));
            for (int i = 0; i < each; ++i)
                qInfo("T%d #%d %s", t, i, qPrintable(body));
        });
    for (auto &th : pool)
        th.join();
    QLog::close();

    const QStringList lines = fileLines(path);
    ASSERT_EQ(lines.size(), threads * each);
    const QRegularExpression whole(kPrefix.pattern() + R"(T(\d) #(\d+) ([a-h])\3{119}$)");
    std::vector<int> counts(threads, 0);
    for (const QString &l : lines) {
        const auto m = whole.match(l);
        ASSERT_TRUE(m.hasMatch()) << l.toStdString();
        const int t = m.captured(1).toInt();
        EXPECT_EQ(m.captured(3).at(0), QChar('a' + t));
        ++counts[t];
    }
    for (int c : counts)
        EXPECT_EQ(c, each);
}

TEST_F(LogFixture, CloseWhileAnotherThreadLogs)
{
    QLog::open(logFolder());
    std::atomic<bool> stop{false};
    std::atomic<int> logged{0};
    std::thread writer([&] {
        while (!stop.load()) {
            qInfo("busy line %d", logged.load());
            ++logged;
        }
    });
    ASSERT_TRUE(PaTest::waitUntil([&] { return logged.load() > 50; }));
    QLog::close();
    const int atClose = logged.load();
    ASSERT_TRUE(PaTest::waitUntil([&] { return logged.load() > atClose + 50; }));
    QLog::open(logFolder()); // the same second may reuse the file name: it is truncated
    ASSERT_TRUE(PaTest::waitUntil([&] { return logged.load() > atClose + 100; }));
    QLog::close();
    stop = true;
    writer.join();

    // Every line in the folder is whole.
    const QStringList files = QDir(logFolder()).entryList({"*.log"}, QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString &f : files)
        for (const QString &l : fileLines(logFolder() + "/" + f))
            EXPECT_TRUE(l.contains(QRegularExpression(kPrefix.pattern() + R"(busy line \d+$)"))) << l.toStdString();
}
