// The video view under a real (software) GL: pictures drawn in the right
// colours and shape, black when cleared, snapshots of what is shown.
#include "GlDriverHold.h"
#include "PlayerStatusLog.h"
#include "PlayerTestMedia.h"
#include "RDPlayer.h"
#include "RDVideoView.h"
#include "RDYUV420P.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QOpenGLContext>
#include <QTemporaryDir>

#include <cstdlib>
#include <vector>

namespace {

struct LetterboxCase {
    int w, h, fw, fh;
    double x, y;
};

TEST(VideoViewGeometryTest, LetterboxKeepsThePictureShape)
{
    const LetterboxCase cases[] = {
        {400, 400, 1920, 1080, 1.0, 0.5625},
        {800, 300, 640, 480, 0.5, 1.0},
        {640, 480, 640, 480, 1.0, 1.0},
        {100, 100, 0, 0, 1.0, 1.0},
    };
    for (const auto &c : cases) {
        double x = 0, y = 0;
        RDVideoView::letterbox(c.w, c.h, c.fw, c.fh, &x, &y);
        EXPECT_NEAR(x, c.x, 1e-9) << c.w << "x" << c.h << " " << c.fw << "x" << c.fh;
        EXPECT_NEAR(y, c.y, 1e-9) << c.w << "x" << c.h << " " << c.fw << "x" << c.fh;
    }
}

class VideoViewGlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            GTEST_SKIP() << "GL needs an X display (run under xvfb-run)";
        keepGlDriverLoaded();
        view.resize(320, 240);
        view.show();
        QApplication::processEvents();
        if (!view.context() || !view.context()->isValid())
            GTEST_SKIP() << "no GL context";
    }

    QImage grab()
    {
        QApplication::processEvents();
        return view.grabFramebuffer();
    }

    static bool near(const QColor &c, int r, int g, int b, int tolerance = 30)
    {
        return std::abs(c.red() - r) <= tolerance && std::abs(c.green() - g) <= tolerance
            && std::abs(c.blue() - b) <= tolerance;
    }

    RDVideoView view;
};

// The player's picture of a colour-bar pattern comes out in the bars' colours.
TEST_F(VideoViewGlTest, PlayedColourBarsMatchThePattern)
{
    ASSERT_TRUE(PlayerTestMedia::instance().isReady());
    PlayerStatusLog log;
    RDPlayer player;
    player.setObserver(&log);
    player.setVideoView(&view);
    ASSERT_EQ(player.play(PlayerTestMedia::instance().path("noaudio.mp4")), 0);
    ASSERT_TRUE(log.waitFor(2, 10.0));
    player.stop();

    const QImage image = grab();
    ASSERT_EQ(image.size(), QSize(320, 240));
    // The top two thirds: seven bars at 75 % of gray, yellow, cyan, green,
    // magenta, red and blue.
    const int bars[7][3] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                            {191, 0, 191},   {191, 0, 0},   {0, 0, 191}};
    for (int i = 0; i < 7; ++i) {
        const int x = (2 * i + 1) * 320 / 14;
        const QColor colour = image.pixelColor(x, 60);
        EXPECT_TRUE(near(colour, bars[i][0], bars[i][1], bars[i][2]))
            << "bar " << i << ": " << colour.name().toStdString();
    }
    double sx = 0, sy = 0;
    view.getScale(&sx, &sy);
    EXPECT_DOUBLE_EQ(sx, 1.0);
    EXPECT_DOUBLE_EQ(sy, 1.0);
}

// Rows whose width is no multiple of four (854 wide, 427 chroma) are drawn
// straight: the left half stays red and the right half blue down to the
// last row, in a letterboxed band.
TEST_F(VideoViewGlTest, RowsOfAnyWidthAreNotSkewed)
{
    const int w = 854, h = 480, cw = 427, ch = 240;
    std::vector<uint8_t> y(size_t(w) * h), u(size_t(cw) * ch), v(size_t(cw) * ch);
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col)
            y[size_t(row) * w + col] = col < w / 2 ? 81 : 41;
    for (int row = 0; row < ch; ++row)
        for (int col = 0; col < cw; ++col) {
            const bool left = col < cw / 2;
            u[size_t(row) * cw + col] = left ? 90 : 240;
            v[size_t(row) * cw + col] = left ? 240 : 110;
        }
    view.updateYUV420Async(new RDYUV420P(y.data(), u.data(), v.data(), w, h));
    const QImage image = grab();
    double sx = 0, sy = 0;
    view.getScale(&sx, &sy);
    EXPECT_DOUBLE_EQ(sx, 1.0);
    EXPECT_NEAR(sy, 0.7494, 0.001);
    // The band covers rows 30..210 of 240; check near its top and bottom.
    for (int row : {33, 120, 207}) {
        EXPECT_TRUE(near(image.pixelColor(60, row), 255, 0, 0)) << row;
        EXPECT_TRUE(near(image.pixelColor(260, row), 0, 0, 255)) << row;
    }
    // Outside the band: black.
    EXPECT_TRUE(near(image.pixelColor(160, 10), 0, 0, 0, 5));
}

TEST_F(VideoViewGlTest, ClearTurnsBlackAndSnapshotsNeedAPicture)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_FALSE(view.saveImage(dir.filePath("none.jpg")));
    EXPECT_FALSE(QFile::exists(dir.filePath("none.jpg")));

    const int w = 641, h = 361;
    std::vector<uint8_t> y(size_t(w) * h, 145), u(size_t(321) * 181, 54), v(size_t(321) * 181, 34);
    // Two pictures in a row: only the newest is kept and drawn.
    view.updateYUV420Async(new RDYUV420P(y.data(), v.data(), u.data(), w, h));
    view.updateYUV420Async(new RDYUV420P(y.data(), u.data(), v.data(), w, h));
    const QImage green = grab();
    EXPECT_TRUE(near(green.pixelColor(160, 120), 0, 255, 0)) << green.pixelColor(160, 120).name().toStdString();

    const QString shot = dir.filePath("shot.jpg");
    ASSERT_TRUE(view.saveImage(shot));
    const QImage saved(shot, "JPEG");
    EXPECT_EQ(saved.size(), QSize(w, h));

    view.clear();
    const QImage black = grab();
    EXPECT_TRUE(near(black.pixelColor(160, 120), 0, 0, 0, 2));
    double sx = 0, sy = 0;
    view.getScale(&sx, &sy);
    EXPECT_DOUBLE_EQ(sx, 1.0);
    EXPECT_DOUBLE_EQ(sy, 1.0);
}

} // namespace
