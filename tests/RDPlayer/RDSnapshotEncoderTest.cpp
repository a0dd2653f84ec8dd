#include "RDSnapshotEncoder.h"
#include "RDYUV420P.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <vector>

namespace {

RDYUV420P uniformPicture(int width, int height, uint8_t y, uint8_t u, uint8_t v)
{
    const int cw = (width + 1) / 2;
    const int ch = (height + 1) / 2;
    std::vector<uint8_t> luma(size_t(width) * height, y);
    std::vector<uint8_t> cb(size_t(cw) * ch, u);
    std::vector<uint8_t> cr(size_t(cw) * ch, v);
    return RDYUV420P(luma.data(), cb.data(), cr.data(), width, height);
}

// Odd sizes read rounded-up chroma halves: the picture holds them, so the
// encoder stays inside its planes (checked under AddressSanitizer).
TEST(SnapshotEncoderTest, WritesAJpegOfThePictureSizeAndColour)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const QSize size : {QSize(641, 361), QSize(320, 240), QSize(1, 1)}) {
        // Full-range red: Y 76, U 85, V 255.
        const RDYUV420P picture = uniformPicture(size.width(), size.height(), 76, 85, 255);
        const QString path = dir.filePath(QStringLiteral("%1x%2.jpg").arg(size.width()).arg(size.height()));
        ASSERT_TRUE(RDSnapshotEncoder::saveJpeg(picture, path));
        QImage image(path, "JPEG");
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), size);
        const QColor centre = image.pixelColor(size.width() / 2, size.height() / 2);
        EXPECT_GT(centre.red(), 220);
        EXPECT_LT(centre.green(), 40);
        EXPECT_LT(centre.blue(), 40);
        const QColor corner = image.pixelColor(size.width() - 1, size.height() - 1);
        EXPECT_GT(corner.red(), 200);
    }
}

TEST(SnapshotEncoderTest, UnwritablePathFailsAndLeavesNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("no/such/folder/shot.jpg");
    EXPECT_FALSE(RDSnapshotEncoder::saveJpeg(uniformPicture(16, 16, 128, 128, 128), path));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(RDSnapshotEncoder::saveJpeg(uniformPicture(0, 0, 0, 0, 0), dir.filePath("empty.jpg")));
    EXPECT_FALSE(QFile::exists(dir.filePath("empty.jpg")));
}

TEST(SnapshotEncoderTest, CapturePathIsNamedAfterTheSecond)
{
    const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
    EXPECT_EQ(RDSnapshotEncoder::capturePath(QStringLiteral("/opt/app"), when),
              QStringLiteral("/opt/app/capture/20260304050607.jpg"));
}

} // namespace
