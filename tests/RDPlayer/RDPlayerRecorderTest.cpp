// Recording what a player reads into a file without re-encoding.
#include "PictureSink.h"
#include "PlayerStatusLog.h"
#include "PlayerTestMedia.h"
#include "RDPlayer.h"
#include "RDPlayerRecorder.h"
#include "RDThread.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <vector>

namespace {

class PlayerRecorderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(media().isReady()) << media().error().toStdString();
        ASSERT_TRUE(dir.isValid());
        player.setObserver(&playerLog);
        player.setVideoView(&sink);
        player.setRecorderObserver(&recorderLog);
    }

    static PlayerTestMedia &media() { return PlayerTestMedia::instance(); }

    QString probe(const QString &path, const char *entries)
    {
        return media().ffprobe({"-show_entries", entries, "-of", "default=nw=1:nk=1", path}).trimmed();
    }

    QTemporaryDir dir;
    PlayerStatusLog playerLog;
    PlayerStatusLog recorderLog;
    PictureSink sink;
    RDPlayer player;
};

// A file with B-frames and AAC, recorded while it plays: the reader is
// ahead of the picture, so the copy starts at the first key frame read after
// the recording began and runs to the end. It holds the same codecs, the
// seconds the recorder reported, and decodes without errors.
TEST_F(PlayerRecorderTest, RecordingDecodesWithTheSameCodecsAndDuration)
{
    const QString out = dir.filePath("copy.mp4");
    ASSERT_EQ(player.play(media().path("long.mp4")), 0);
    ASSERT_EQ(player.startRecord(out, QString(), 0.0), 0);
    EXPECT_TRUE(player.isRecording());
    ASSERT_TRUE(playerLog.waitFor(3, 20.0));
    player.stopRecord();
    player.stop();

    const auto statuses = recorderLog.statuses();
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.front(), 0);
    EXPECT_EQ(statuses.back(), 1);
    EXPECT_EQ(recorderLog.count(2), 0);
    double previous = -1.0;
    int written = 0;
    for (const auto &e : recorderLog.entries()) {
        if (e.status != 3)
            continue;
        EXPECT_GE(e.current, previous);
        EXPECT_EQ(e.total, -1.0);
        previous = e.current;
        ++written;
    }
    ASSERT_GT(written, 0);
    const double recorded = previous + 0.04;

    EXPECT_EQ(probe(out, "stream=codec_name"), QStringLiteral("h264\naac"));
    EXPECT_NEAR(probe(out, "format=duration").toDouble(), recorded, 0.1);
    EXPECT_EQ(probe(out, "stream=nb_frames").split('\n').value(0).toInt(), written);
    // The whole copy decodes (wrong order or missing parameter sets stop it).
    QString errors;
    EXPECT_TRUE(media().ffmpeg({"-xerror", "-i", out, "-f", "null", "-"}, &errors)) << errors.toStdString();
}

// A transport stream carries its parameter sets in band: the recording
// starts at a key frame with them as header data.
TEST_F(PlayerRecorderTest, InBandParameterSetsBecomeHeaderData)
{
    const QString out = dir.filePath("copy.mkv");
    ASSERT_EQ(player.play(media().path("av.ts")), 0);
    ASSERT_EQ(player.startRecord(out, QString(), 0.0), 0);
    ASSERT_TRUE(playerLog.waitFor(3, 20.0));
    player.stop();
    EXPECT_EQ(recorderLog.statuses().back(), 1);
    EXPECT_EQ(probe(out, "stream=codec_name"), QStringLiteral("h264\naac"));
    QString errors;
    EXPECT_TRUE(media().ffmpeg({"-xerror", "-i", out, "-f", "null", "-"}, &errors)) << errors.toStdString();
}

TEST_F(PlayerRecorderTest, StopBeforeAKeyFrameLeavesNoFile)
{
    const QString out = dir.filePath("never.mp4");
    // A silent source: no packet ever arrives.
    ASSERT_EQ(player.play(QStringLiteral("http://127.0.0.1:9/none")), 0);
    ASSERT_EQ(player.startRecord(out, QString(), 0.0), 0);
    player.stopRecord();
    EXPECT_EQ(recorderLog.statuses(), std::vector<int>({1}));
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_FALSE(player.isRecording());
    player.stop();
}

TEST_F(PlayerRecorderTest, UnwritablePathReportsFailure)
{
    ASSERT_EQ(player.play(media().path("long.mp4")), 0);
    ASSERT_EQ(player.startRecord(dir.filePath("missing/folder/copy.mp4"), QString(), 0.0), 0);
    ASSERT_TRUE(recorderLog.waitFor(2, 20.0));
    player.stop();
    EXPECT_EQ(recorderLog.count(0), 0);
    EXPECT_EQ(recorderLog.count(3), 0);
}

struct HeaderCase {
    const char *name;
    std::vector<uint8_t> bytes;
    int codecId;
    int expected;
};

TEST(PlayerRecorderHeaderTest, HeaderDataEndsBeforeTheKeyFrameUnit)
{
    const int h264 = 27; // AV_CODEC_ID_H264
    const int hevc = 173; // AV_CODEC_ID_HEVC
    const HeaderCase cases[] = {
        {"sps pps idr", {0, 0, 0, 1, 0x67, 1, 2, 0, 0, 0, 1, 0x68, 3, 0, 0, 0, 1, 0x65, 9, 9, 9}, h264, 13},
        {"idr first", {0, 0, 0, 1, 0x65, 9, 9, 9}, h264, 0},
        {"no idr", {0, 0, 0, 1, 0x67, 1, 2, 0, 0, 0, 1, 0x41, 9, 9}, h264, 0},
        {"idr too close to the end", {0, 0, 0, 1, 0x67, 1, 0, 0, 0, 1, 0x65}, h264, 0},
        {"hevc vps sps pps idr", {0, 0, 0, 1, 0x40, 1, 0, 0, 0, 1, 0x42, 1, 0, 0, 0, 1, 0x26, 1, 9, 9}, hevc, 12},
        {"short start codes", {0, 0, 0, 1, 0x09, 0xf0, 0, 0, 0, 1, 0x67, 1, 0, 0, 1, 0x68, 2, 0, 0, 1, 0x65, 9, 9}, h264, 17},
        {"empty", {}, h264, 0},
    };
    for (const HeaderCase &c : cases)
        EXPECT_EQ(RDPlayerRecorder::headerDataSize(c.bytes.data(), int(c.bytes.size()), c.codecId), c.expected)
            << c.name;
}

} // namespace
