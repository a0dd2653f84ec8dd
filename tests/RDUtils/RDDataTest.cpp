#include "RDFileData.h"
#include "RDFileHelper.h"
#include "RDMFData.h"
#include "RDMemoryData.h"
#include "RDRingBuffer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <climits>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string pattern(int n, int seed = 0)
{
    std::string s(static_cast<size_t>(n), '\0');
    for (int i = 0; i < n; ++i)
        s[static_cast<size_t>(i)] = static_cast<char>((i * 7 + seed) & 0xFF);
    return s;
}

std::string readAll(RDData &d, int chunk)
{
    std::string out;
    std::vector<char> buf(static_cast<size_t>(chunk));
    int n;
    while ((n = d.read(buf.data(), chunk)) > 0)
        out.append(buf.data(), static_cast<size_t>(n));
    return out;
}

std::string ringRead(RDRingBuffer &r, int n)
{
    std::string out(static_cast<size_t>(n), '\0');
    out.resize(static_cast<size_t>(r.read(&out[0], n)));
    return out;
}

bool fileExists(const std::string &path)
{
    bool dir = false;
    return pathExists(path, dir);
}

} // namespace

TEST(RDRingBuffer, WrapsAndKeepsWriteOrder)
{
    RDRingBuffer r(8);
    EXPECT_EQ(r.write("abcdef", 6), 6);
    EXPECT_EQ(ringRead(r, 4), "abcd");
    EXPECT_EQ(r.write("ghijk", 5), 5);
    EXPECT_EQ(r.size(), 7);
    EXPECT_EQ(ringRead(r, 100), "efghijk") << "a read of more than is stored gives what is stored";
    EXPECT_EQ(r.size(), 0);
    EXPECT_EQ(ringRead(r, 4), "");
    EXPECT_EQ(r.write("x", 0), 0);
    EXPECT_EQ(r.size(), 0);
}

TEST(RDRingBuffer, FullRingOverwritesTheOldestBytes)
{
    RDRingBuffer r(8);
    // Bring the read position to 6 with 5 stored bytes that wrap.
    r.write("......", 6);
    ringRead(r, 6);
    r.write("ABCDE", 5);
    ASSERT_EQ(r.size(), 5);
    EXPECT_EQ(r.write("1234", 4), 4);
    EXPECT_EQ(r.size(), 8);
    EXPECT_EQ(ringRead(r, 8), "BCDE1234");
}

TEST(RDRingBuffer, WriteLongerThanTheCapacityKeepsItsTail)
{
    const std::string in = pattern(20);
    for (int stored : {0, 3, 8}) {
        RDRingBuffer r(8);
        r.write("zzzzzzzz", stored);
        EXPECT_EQ(r.write(in.data(), 20), 20);
        EXPECT_EQ(r.size(), 8);
        EXPECT_EQ(ringRead(r, 8), in.substr(12)) << "stored before: " << stored;
        // And the ring keeps working afterwards.
        r.write("abc", 3);
        EXPECT_EQ(ringRead(r, 8), "abc");
    }
    RDRingBuffer empty(0);
    EXPECT_EQ(empty.write("abc", 3), 3);
    EXPECT_EQ(empty.size(), 0);
}

TEST(RDMemoryData, ReclaimsReadSpaceBeforeGrowing)
{
    const std::string head = pattern(4000);
    {
        RDMemoryData d(4096);
        d.write(head.data(), 4000);
        ASSERT_EQ(d.skip(200), 200);
        EXPECT_EQ(d.write(pattern(200, 1).data(), 200), 200);
        EXPECT_EQ(d.capacity(), 4096);
        EXPECT_EQ(d.size(), 4000);
        EXPECT_EQ(std::string(d.data(), 3800), head.substr(200));
        EXPECT_EQ(readAll(d, 333), head.substr(200) + pattern(200, 1));
        EXPECT_TRUE(d.isEmpty());
    }
    {
        RDMemoryData d(4096);
        d.write(head.data(), 4000);
        d.skip(200);
        const std::string more = pattern(5000, 3);
        EXPECT_EQ(d.write(more.data(), 5000), 5000);
        EXPECT_EQ(d.capacity(), 16384);
        EXPECT_EQ(readAll(d, 1000), head.substr(200) + more);
    }
    {
        RDMemoryData d(0);
        EXPECT_EQ(d.data(), nullptr);
        d.write("abc", 3);
        EXPECT_EQ(d.capacity(), 4);
        d.write("0123456789", 10);
        EXPECT_EQ(d.capacity(), 16);
        EXPECT_EQ(readAll(d, 5), "abc0123456789");
        EXPECT_EQ(d.read(nullptr, 0), 0);
        EXPECT_EQ(d.skip(10), 0);
    }
}

TEST(RDMemoryData, RefusesGrowthPastItsMaximum)
{
    RDMemoryData d(16);
    const std::string sixteen = pattern(16);
    d.write(sixteen.data(), 16);
    // No buffer of that size exists: the write must refuse before reading it.
    EXPECT_EQ(d.write(sixteen.data(), INT_MAX - 8), 0);
    EXPECT_EQ(d.size(), 16);
    EXPECT_EQ(d.capacity(), 16);
    EXPECT_EQ(readAll(d, 16), sixteen);
}

TEST(RDMemoryData, SetCapacityKeepsTheUnreadBytesThatFit)
{
    RDMemoryData d(64);
    d.write("abcdefghij", 10);
    d.skip(2);
    EXPECT_EQ(d.setCapacity(5), 5);
    EXPECT_EQ(d.size(), 5);
    EXPECT_EQ(readAll(d, 10), "cdefg");
    EXPECT_EQ(d.setCapacity(0), 0);
    EXPECT_EQ(d.data(), nullptr);
    EXPECT_EQ(d.size(), 0);
}

TEST(RDFileData, ReadsWhileWritingAndEndsWhenTheWriterCloses)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("body").toStdString();
    RDFileData f;
    EXPECT_EQ(f.write("x", 1), 0) << "no writer yet";
    char buf[16];
    EXPECT_EQ(f.read(buf, 16), 0);
    ASSERT_TRUE(f.openWriter(path, "wb"));
    ASSERT_TRUE(f.openReader(path, "rb"));

    EXPECT_EQ(f.write("hello world", 11), 11);
    EXPECT_EQ(f.size(), 11);
    EXPECT_EQ(f.skip(6), 6);
    EXPECT_EQ(f.read(buf, 16), 5);
    EXPECT_EQ(std::string(buf, 5), "world");
    EXPECT_FALSE(f.isEmpty()) << "the writer is still open: more may come";

    EXPECT_EQ(f.write("!", 1), 1);
    EXPECT_EQ(f.read(buf, 16), 1);
    EXPECT_EQ(f.write(nullptr, 0), 0);
    EXPECT_TRUE(f.isEmpty());
    EXPECT_EQ(f.write("late", 4), 0);
}

TEST(RDMFData, SpillsToTheFileWhenTheBlockGrowsPastTheLimit)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A path with characters outside ASCII, as an upload folder may have.
    const std::string path = dir.filePath(QString::fromUtf8("k\xC3\xB6rper-51000")).toStdString();
    const std::string data = pattern(200000);
    {
        RDMFData d(path, 65536);
        int written = 0;
        while (written < 65536) {
            d.write(data.data() + written, 4096);
            written += 4096;
        }
        EXPECT_FALSE(d.isSpilled());
        EXPECT_FALSE(fileExists(path));
        // The next write grows the block to 131072 and moves everything.
        d.write(data.data() + written, 4096);
        written += 4096;
        EXPECT_TRUE(d.isSpilled());
        EXPECT_TRUE(fileExists(path));
        d.write(data.data() + written, 200000 - written);
        EXPECT_EQ(d.size(), 200000);
        EXPECT_EQ(d.skip(10), 10);
        EXPECT_EQ(readAll(d, 1024), data.substr(10));
    }
    EXPECT_FALSE(fileExists(path)) << "deleting the object deletes its file";
}

TEST(RDMFData, WithoutAPathOrLimitStaysInMemory)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string data = pattern(300000);
    RDMFData plain;
    EXPECT_TRUE(plain.isEmpty());
    EXPECT_EQ(plain.write(data.data(), 300000), 300000);
    EXPECT_FALSE(plain.isSpilled());
    EXPECT_EQ(readAll(plain, 4096), data);
    EXPECT_TRUE(plain.isEmpty());

    RDMFData noLimit(dir.filePath("x").toStdString(), 0);
    noLimit.write(data.data(), 300000);
    EXPECT_FALSE(noLimit.isSpilled());
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST(RDMFData, SpilledReaderSeesEveryByteTheWriterGave)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    RDMFData d(dir.filePath("body").toStdString(), 4096);
    const std::string data = pattern(10000);
    for (int i = 0; i < 10000; i += 100)
        ASSERT_EQ(d.write(data.data() + i, 100), 100);
    ASSERT_TRUE(d.isSpilled());
    EXPECT_EQ(readAll(d, 1024), data);
    // After a read hit the end, later writes are still readable.
    EXPECT_EQ(d.write(data.data(), 50), 50);
    EXPECT_EQ(d.size(), 50);
    EXPECT_EQ(readAll(d, 1024), data.substr(0, 50));
}

TEST(RDMFData, NeverTouchesAFileItDidNotCreate)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("51000").toStdString();
    {
        std::ofstream other(path, std::ios::binary);
        other << "someone else's upload";
    }
    const std::string data = pattern(20000);
    {
        RDMFData small(path, 65536);
        small.write("abc", 3);
    }
    ASSERT_TRUE(fileExists(path)) << "an object that never spilled deleted the file";
    {
        // Past the limit, but the path is taken: the bytes stay in memory.
        RDMFData big(path, 4096);
        EXPECT_EQ(big.write(data.data(), 20000), 20000);
        EXPECT_FALSE(big.isSpilled());
        EXPECT_EQ(readAll(big, 1000), data);
    }
    ASSERT_TRUE(fileExists(path));
    EXPECT_EQ(fileSize(path), 21);

    // A folder that does not exist: no spill, no loss.
    RDMFData nowhere(dir.filePath("missing/51001").toStdString(), 4096);
    EXPECT_EQ(nowhere.write(data.data(), 20000), 20000);
    EXPECT_FALSE(nowhere.isSpilled());
    EXPECT_EQ(readAll(nowhere, 1000), data);
}
