// The console client: one client process per command, answers verbatim.
#include "FSClient.h"
#include "SwitchStandIn.h"
#include "TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <thread>
#include <gtest/gtest.h>

using PaTest::SwitchStandIn;

namespace {

// A stand-in console client made of a shell script.
QString fakeClient(const QTemporaryDir &dir, const QByteArray &body)
{
    const QString path = dir.filePath(QStringLiteral("da_rid"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("#!/bin/sh\n" + body);
    f.close();
    f.setPermissions(f.permissions() | QFile::ExeOwner);
    return path;
}

} // namespace

TEST(FSClient, PassesTheCommandAsOneArgumentAndReturnsStdoutVerbatim)
{
    QTemporaryDir dir;
    FSClient client(fakeClient(dir, "printf '%s|' \"$#\" \"$@\"\nprintf '\\n\\303\\244 '\necho oops >&2\n"));
    EXPECT_EQ(client.execute(QStringLiteral("conference 3001 play '/m/it's \"a\" $(x).mp3'")),
              QStringLiteral("2|-x|conference 3001 play '/m/it's \"a\" $(x).mp3'|\n\u00e4 "));
}

TEST(FSClient, FailuresGiveAnEmptyAnswer)
{
    QTemporaryDir dir;
    EXPECT_EQ(FSClient().execute(QStringLiteral("conference list")), QString());
    EXPECT_EQ(FSClient(dir.filePath(QStringLiteral("missing"))).execute(QStringLiteral("conference list")), QString());
    EXPECT_EQ(FSClient(fakeClient(dir, "echo only-errors >&2\nexit 3\n")).execute(QStringLiteral("x")), QString());

    // A line break or NUL never reaches the client.
    FSClient echo(fakeClient(dir, "echo ran\n"));
    EXPECT_EQ(echo.execute(QStringLiteral("conference list")), QStringLiteral("ran\n"));
    EXPECT_EQ(echo.execute(QStringLiteral("conference list\nshutdown")), QString());
    EXPECT_EQ(echo.execute(QStringLiteral("reloadxml\rshutdown")), QString());
    EXPECT_EQ(echo.execute(QStringLiteral("reloadxml") + QChar(0) + QStringLiteral("shutdown")), QString());
}

TEST(FSClient, TalksToTheSwitch)
{
    SwitchStandIn sw;
    FSClient client(sw.path(QStringLiteral("da_rid")));
    // Not running yet: nothing printed.
    EXPECT_EQ(client.execute(QStringLiteral("conference list")), QString());
    ASSERT_TRUE(sw.start());
    EXPECT_TRUE(client.execute(QStringLiteral("conference list")).startsWith(QLatin1String("+OK")));
    EXPECT_TRUE(client.execute(QStringLiteral("no such command")).startsWith(QLatin1String("-ERR")));

    // Stored text with spaces and quotes arrives as one path, not as extra arguments.
    ASSERT_TRUE(client.execute(QStringLiteral("test leg add 6001 conference=3001@cdquality++flags{endconf}"))
                    .startsWith(QLatin1String("+OK")));
    const QString odd = sw.path(QStringLiteral("a 'b' \"c\" $(touch x).wav"));
    QFile f(odd);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("RIFF\x24\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x40\x1f\x00\x00\x80\x3e\x00\x00\x02\x00\x10\x00"
            "data\x00\x00\x00\x00", 44);
    f.close();
    EXPECT_EQ(client.execute(QStringLiteral("conference 3001 play '%1'").arg(odd)), QStringLiteral("+OK playing ") + odd + '\n');

    // A hostile value cannot add a second command.
    EXPECT_EQ(client.execute(QStringLiteral("conference 3001 hup all\nshutdown")), QString());
    EXPECT_TRUE(sw.isRunning());
    EXPECT_TRUE(client.execute(QStringLiteral("conference list")).startsWith(QLatin1String("+OK")));

    client.execute(QStringLiteral("shutdown"));
    EXPECT_EQ(sw.waitForExit(), 0);
}

// A restart sets the client's path while group operations on other threads
// run commands through the same client (AddressSanitizer reports a read of a
// freed path text).
TEST(FSClient, PathChangesWhileCommandsRun)
{
    FSClient client;
    std::atomic<bool> done{false};
    std::thread runner([&] {
        while (!done.load()) {
            EXPECT_TRUE(client.path().startsWith(QLatin1String("/nonexistent/")) || client.path().isEmpty());
            client.execute(QStringLiteral("conference list"));
        }
    });
    for (int i = 0; i < 20000; ++i)
        client.setPath(QStringLiteral("/nonexistent/%1/da_rid").arg(i));
    done.store(true);
    runner.join();
    EXPECT_EQ(client.path(), QStringLiteral("/nonexistent/19999/da_rid"));
}
