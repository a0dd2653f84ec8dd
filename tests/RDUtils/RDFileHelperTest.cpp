#include "RDFileHandle.h"
#include "RDFileHelper.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <ctime>
#include <set>

namespace {
std::string u8(const QString &s)
{
    return s.toUtf8().toStdString();
}

void makeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}
} // namespace

TEST(RDFileHelper, ListsEveryEntryExceptDotAndDotDot)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString dir = tmp.filePath(QString::fromUtf8("m\xC3\xBCsik"));
    ASSERT_TRUE(QDir().mkpath(dir + "/sub"));
    makeFile(dir + "/README", "r");
    makeFile(dir + "/a.mp3", "abc");
    makeFile(dir + "/.hidden", "");
    makeFile(dir + QString::fromUtf8("/\xE4\xB8\xAD.wav"), "x");

    for (const std::string &base : {u8(dir), u8(dir) + "/"}) {
        const std::vector<RDDirEntry> entries = listDirectory(base);
        std::set<std::string> names;
        for (const RDDirEntry &e : entries) {
            names.insert(e.name);
            EXPECT_EQ(e.path, u8(dir) + "/" + e.name);
            EXPECT_EQ(e.isDirectory, e.name == "sub") << e.name;
        }
        EXPECT_EQ(entries.size(), 5u);
        EXPECT_EQ(names, (std::set<std::string> {"README", "a.mp3", ".hidden", "sub", "\xE4\xB8\xAD.wav"}));
    }
    EXPECT_TRUE(listDirectory("").empty());
    EXPECT_TRUE(listDirectory(u8(dir) + "/missing").empty());
    EXPECT_TRUE(listDirectory(u8(dir) + "/README").empty());
}

TEST(RDFileHelper, ExistsStatAndSizeOnUtf8Paths)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const std::string file = u8(tmp.filePath(QString::fromUtf8("\xC3\xA9t\xC3\xA9.txt")));
    makeFile(QString::fromStdString(file), QByteArray(1234, 'x'));

    bool isDir = true;
    EXPECT_TRUE(pathExists(file, isDir));
    EXPECT_FALSE(isDir);
    EXPECT_TRUE(pathExists(u8(tmp.path()), isDir));
    EXPECT_TRUE(isDir);
    isDir = true;
    EXPECT_FALSE(pathExists(file + ".missing", isDir));
    EXPECT_TRUE(isDir) << "left unchanged on failure";
    EXPECT_FALSE(pathExists("", isDir));

    RDFileStatus st;
    ASSERT_EQ(fileStat(file, st), 0);
    EXPECT_EQ(st.size, 1234);
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    EXPECT_LE(std::abs(st.modifyTime - now), 600);
    EXPECT_GT(st.changeTime, 0);
    EXPECT_NE(fileStat(file + ".missing", st), 0);
    EXPECT_EQ(st.size, 0);
    EXPECT_EQ(st.modifyTime, 0);

    EXPECT_EQ(fileSize(file), 1234);
    EXPECT_EQ(fileSize(file + ".missing"), 0);
    EXPECT_EQ(fileSize(std::string("a\0b", 3)), 0);
}

TEST(RDFileHelper, FileSizeIs64Bit)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString path = tmp.filePath("sparse");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    // A sparse file of 5 GiB takes no disk space.
    ASSERT_TRUE(f.resize(5LL * 1024 * 1024 * 1024));
    f.close();
    EXPECT_EQ(fileSize(u8(path)), 5LL * 1024 * 1024 * 1024);
}

TEST(RDFileHandle, OpenReadWriteSeekClose)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const std::string path = u8(tmp.filePath(QString::fromUtf8("\xE4\xB8\xAD")));
    RDFileHandle h;
    EXPECT_FALSE(h.isOpen());
    char buf[8] = {0};
    EXPECT_EQ(h.read(buf, 1, 8), 0u) << "no stream: nothing happens";
    EXPECT_EQ(h.write("x", 1, 1), 0u);
    h.seek(0, SEEK_SET);
    h.close();

    ASSERT_TRUE(h.open(path, "wb"));
    EXPECT_EQ(h.write("abcdef", 1, 6), 6u);
    h.close();
    EXPECT_FALSE(h.isOpen());

    ASSERT_TRUE(h.open(path, "rb"));
    h.seek(2, SEEK_SET);
    EXPECT_EQ(h.read(buf, 1, 8), 4u);
    EXPECT_EQ(std::string(buf, 4), "cdef");
    h.close();

    EXPECT_FALSE(h.open(path + "/missing/x", "rb"));
    EXPECT_FALSE(h.isOpen());
    EXPECT_FALSE(h.open(path, "wbx")) << "exclusive create refuses an existing file";
    EXPECT_FALSE(h.open(std::string("a\0b", 3), "wb"));
    EXPECT_TRUE(removeUtf8File(path));
    EXPECT_FALSE(removeUtf8File(path));
}
