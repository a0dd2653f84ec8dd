#include "AudioTestMedia.h"
#include "RDMediaDuration.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using AudioTestMedia::runFfmpeg;

TEST(RDMediaDurationTest, MeasuresGeneratedFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case {
        const char *file;
        QStringList args;
        double seconds;
    } cases[] = {
        {"tone.wav", {"-f", "lavfi", "-i", "sine=frequency=440:duration=1.5"}, 1.5},
        {"tone.mp3", {"-f", "lavfi", "-i", "sine=frequency=440:duration=3", "-c:a", "libmp3lame"}, 3.0},
        // Matroska gives the audio stream no duration of its own: the
        // container's is taken.
        {"tone.mka", {"-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-c:a", "pcm_s16le"}, 2.0},
        {"picture.avi", {"-f", "lavfi", "-i", "color=c=red:size=32x32:duration=1", "-c:v", "mjpeg"}, 0.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = dir.filePath(c.file);
        ASSERT_TRUE(runFfmpeg(c.args + QStringList{path})) << "ffmpeg could not make the test file";
        EXPECT_NEAR(getMediaDuration(path), c.seconds, 0.06);
    }
}

TEST(RDMediaDurationTest, NothingToMeasureGivesZero)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile text(dir.filePath("notes.mp3"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("this is not audio\n");
    text.close();

    EXPECT_EQ(getMediaDuration(QString()), 0.0);
    EXPECT_EQ(getMediaDuration(dir.filePath("missing.wav")), 0.0);
    EXPECT_EQ(getMediaDuration(text.fileName()), 0.0);
}
