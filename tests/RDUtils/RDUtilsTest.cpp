#include "PlatformAutostart.h"
#include "RDNetworkAdapter.h"
#include "RDUtils.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <qrencode.h>

#include <cmath>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(RDUtilsText, FormatDuration)
{
    const struct
    {
        double in;
        const char *out;
    } cases[] = {{0, "00:00"},          {59.99, "00:59"},          {3599.9, "59:59"},   {3600, "60:00"},
                 {3601, "01:00:01"},    {86399, "23:59:59"},      {360000, "100:00:00"},
                 // A broken media file can report no usable length at all.
                 {std::nan(""), "00:00"}, {HUGE_VAL, "00:00"}, {-HUGE_VAL, "00:00"}, {1e300, "00:00"}};
    for (const auto &c : cases)
        EXPECT_EQ(formatDuration(c.in), QString(c.out)) << c.in;
}

TEST(RDUtilsText, FileBaseNameAndSuffix)
{
    const struct
    {
        const char *path, *base;
    } bases[] = {{"C:\\music/a.b\\song.mp3", "song"}, {"dir/", "dir/"},     {"archive.tar.gz", "archive.tar"},
                 {".profile", ""},                     {"name.", "name."},   {"", ""},
                 {"/x/y/plain", "plain"}};
    for (const auto &c : bases)
        EXPECT_EQ(fileBaseName(c.path), QString(c.base)) << c.path;

    const struct
    {
        const char *name, *suffix;
    } suffixes[] = {{"a.mp3", "mp3"}, {"a.tar.gz", "gz"}, {"name.", "name."}, {"noext", "noext"}, {".wav", "wav"}};
    for (const auto &c : suffixes)
        EXPECT_EQ(fileSuffix(c.name), QString(c.suffix)) << c.name;
}

TEST(RDUtilsText, IpTextHelpers)
{
    const struct
    {
        const char *text;
        bool valid;
    } cases[] = {{"192.168.1.10", true}, {"192.168.1.10:5060", true}, {"fe80::1", false},
                 {"300.1.1.1", false},   {"", false},                  {"host.example", false}};
    for (const auto &c : cases)
        EXPECT_EQ(isValidIpAddress(c.text), c.valid) << c.text;

    EXPECT_EQ(normalizeIpText(QString::fromUtf8("192\xe3\x80\x82" "168\xe3\x80\x82" "1\xe3\x80\x82" "2\xef\xbc\x9a" "80")),
              QString("192.168.1.2:80"));
    EXPECT_FALSE(hasNonAscii("C:/Program Files/app"));
    EXPECT_TRUE(hasNonAscii(QString::fromUtf8("/opt/\xe7\xa8\x8b\xe5\xba\x8f")));
}

TEST(RDUtilsFiles, ReadWriteCopyRemoveMakeDir)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString a = dir.filePath("a.bin"), b = dir.filePath("b.bin");
    const QByteArray data("one\0two", 7);
    EXPECT_TRUE(writeFile(a, data));
    EXPECT_EQ(readFile(a), data);
    EXPECT_TRUE(writeFile(a, "x")); // truncates
    EXPECT_EQ(readFile(a), QByteArray("x"));
    EXPECT_FALSE(writeFile(dir.path(), "x")); // a folder
    EXPECT_TRUE(readFile(dir.filePath("missing")).isEmpty());

    ASSERT_TRUE(writeFile(b, "keep"));
    copyFile(a, b); // an existing destination is left alone
    EXPECT_EQ(readFile(b), QByteArray("keep"));
    copyFile(a, dir.filePath("c.bin"));
    EXPECT_EQ(readFile(dir.filePath("c.bin")), QByteArray("x"));

    EXPECT_TRUE(removeFile(b));
    EXPECT_FALSE(removeFile(b));
    EXPECT_TRUE(makeDir(dir.filePath("sub")));
    EXPECT_TRUE(makeDir(dir.filePath("sub")));
    EXPECT_FALSE(makeDir(dir.filePath("no/such/parent")));
}

TEST(RDUtilsFiles, ShortWriteIsAFailure)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("limited.bin");
    // In a child: the file size limit would hit anything else this process writes.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {10, 10};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        const bool ok = writeFile(path, QByteArray(100, 'x'));
        ::_exit(ok ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "writeFile reported a truncated file as written";
    EXPECT_EQ(QFileInfo(path).size(), 10);
}

TEST(RDUtilsQr, ModulesMatchTheEncoderAndAreCentred)
{
    const QString text = QStringLiteral("VELMAR-CODE-0123456789");
    QRcode *code = QRcode_encodeString(text.toUtf8().constData(), 2, QR_ECLEVEL_Q, QR_MODE_8, 1);
    ASSERT_NE(code, nullptr);
    const int n = code->width;
    const int size = n * 6; // whole pixels per module: every sample is exact
    const QImage img = createQRCodeImage(text, size + 40, size + 20, size);
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), QSize(size + 40, size + 20));
    EXPECT_EQ(img.pixel(0, 0), qRgb(255, 255, 255)); // margin stays white
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const bool dark = code->data[y * n + x] & 1;
            const QRgb px = img.pixel(20 + x * 6 + 3, 10 + y * 6 + 3);
            ASSERT_EQ(px, dark ? qRgb(0, 0, 0) : qRgb(255, 255, 255)) << x << "," << y;
        }
    QRcode_free(code);
}

TEST(RDUtilsQr, UnencodableTextAndOddSizesGiveNoCrash)
{
    EXPECT_TRUE(createQRCodeImage(QString(8000, 'x'), 200, 200, 180).isNull());
    EXPECT_TRUE(createQRCodeImage("x", 0, 0, 10).isNull());
    // A symbol larger than the image hangs over its edges.
    const QImage big = createQRCodeImage("hello", 25, 25, 60);
    ASSERT_FALSE(big.isNull());
    EXPECT_EQ(big.size(), QSize(25, 25));
}

TEST(RDUtilsAdapters, SelectionRules)
{
    auto ad = [](const char *ip, const char *gw) {
        RDNetworkAdapter a;
        a.ip = ip;
        a.gateway = gw;
        return a;
    };
    const struct
    {
        QVector<RDNetworkAdapter> list;
        const char *chosen;
    } cases[] = {
        {{ad("8.8.4.4", "8.8.4.1"), ad("192.168.5.7", "192.168.5.1")}, "192.168.5.7"},
        {{ad("8.8.4.4", "8.8.4.1"), ad("192.168.5.7", "0.0.0.0")}, "8.8.4.4"},
        {{ad("192.168.5.7", "0.0.0.0"), ad("10.0.0.2", "")}, "192.168.5.7"},
        {{ad("172.15.0.1", "172.15.0.254"), ad("172.20.0.1", "172.20.0.254")}, "172.20.0.1"},
        {{ad("0.0.0.0", "0.0.0.0"), ad("garbage", "")}, "0.0.0.0"},
        {{ad("1.2.3.4x", "1.2.3.1"), ad("5.6.7.8", "")}, "5.6.7.8"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(selectNetworkAdapter(c.list).ip, QString(c.chosen)) << c.chosen;
    EXPECT_TRUE(selectNetworkAdapter({}).ip.isEmpty());
}

TEST(RDUtilsAdapters, RealListHasNoLoopbackAndNamesTheAdapter)
{
    const QVector<RDNetworkAdapter> list = listNetworkAdapters();
    for (const RDNetworkAdapter &a : list) {
        EXPECT_FALSE(a.ip.startsWith("127.")) << a.ip.toStdString();
        EXPECT_TRUE(a.name.startsWith("rpcap://\\Device\\NPF_")) << a.name.toStdString();
        EXPECT_FALSE(a.netmask.isEmpty());
    }
    const RDNetworkAdapter chosen = defaultNetworkAdapter();
    EXPECT_FALSE(chosen.ip.startsWith("127."));
    EXPECT_EQ(chosen.ip.isEmpty(), list.isEmpty());
}

class AutostartFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_savedName = QCoreApplication::applicationName();
        QCoreApplication::setApplicationName("Velmar Test");
        Platform::setAutostartFolder(m_dir.path() + "/autostart");
    }
    void TearDown() override
    {
        Platform::setAutostartFolder(QString());
        QCoreApplication::setApplicationName(m_savedName);
    }
    QTemporaryDir m_dir;
    QString m_savedName;
};

TEST_F(AutostartFixture, EnableWritesAnEntryAndDisableRemovesIt)
{
    const QString entry = Platform::autostartEntryPath("Velmar Test");
    EXPECT_TRUE(entry.startsWith(m_dir.path() + "/autostart/"));
    EXPECT_TRUE(entry.endsWith(".desktop"));
    EXPECT_FALSE(entry.mid(entry.lastIndexOf('/')).contains(' '));

    EXPECT_TRUE(enableAutoStart());
    ASSERT_TRUE(QFile::exists(entry));
    EXPECT_EQ(Platform::autostartProgram("Velmar Test"), QCoreApplication::applicationFilePath());
    const QByteArray text = readFile(entry);
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nType=Application\n"));
    EXPECT_TRUE(enableAutoStart()); // already on

    EXPECT_TRUE(disableAutoStart());
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_TRUE(disableAutoStart()); // already off
}

TEST_F(AutostartFixture, UnwritableFolderReportsFailure)
{
    ASSERT_TRUE(writeFile(m_dir.path() + "/plainfile", "x"));
    Platform::setAutostartFolder(m_dir.path() + "/plainfile/autostart");
    EXPECT_FALSE(enableAutoStart());
}

TEST_F(AutostartFixture, ProgramPathsWithSpecialCharactersRoundTrip)
{
    const QString odd = QStringLiteral("/opt/My \"PA\" $HOME/back\\slash`x/Velmar");
    ASSERT_TRUE(Platform::writeAutostartEntry("Odd", odd));
    EXPECT_EQ(Platform::autostartProgram("Odd"), odd);
    EXPECT_TRUE(Platform::removeAutostartEntry("Odd"));
}
