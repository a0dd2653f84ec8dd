#include "RDDialogButton.h"
#include "RDPixmapButton.h"
#include "RDPixmapCache.h"
#include "RDPixmapWidget.h"
#include "RDPixmapsButton.h"
#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

TEST(PixmapCache, EachPathLoadsOnceAndEachWidthScalesOnce)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.path() + QStringLiteral("/wide.png");
    QImage image(40, 20, QImage::Format_ARGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(path));

    const RDPixmapCacheStats before = pixmapCacheStatsForTesting();
    EXPECT_EQ(scaledPixmap(path, 0).size(), QSize(40, 20));
    EXPECT_EQ(scaledPixmap(path, 30).size(), QSize(30, 15));
    EXPECT_EQ(scaledPixmap(path, 30).size(), QSize(30, 15));
    EXPECT_EQ(scaledPixmap(path, 40).size(), QSize(40, 20));
    const RDPixmapCacheStats after = pixmapCacheStatsForTesting();
    EXPECT_EQ(after.loads - before.loads, 1);
    EXPECT_EQ(after.scales - before.scales, 1);

    // The file is not read again, even once it is gone.
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_EQ(scaledPixmap(path, 30).size(), QSize(30, 15));

    EXPECT_TRUE(scaledPixmap(QString(), 20).isNull());
    EXPECT_TRUE(scaledPixmap(dir.path() + QStringLiteral("/missing.png"), 20).isNull());

    RDPixmapButton button;
    button.setPixmap(path, 30);
    EXPECT_EQ(button.sizeHint(), QSize(30, 15));
    button.setPixmap(path, 0);
    EXPECT_EQ(button.sizeHint(), QSize(40, 20));
    button.setPixmap(QString(), 20);
    EXPECT_EQ(button.sizeHint(), QSize(20, 20));
}

TEST(PixmapCache, OwnVectorImagesRenderCrispAtTheWidthAsked)
{
    for (const char *name : {"icon", "close_black", "close_hover", "minimized_black", "minimized_hover",
                             "maximized_black", "maximized_hover", "drop_down_gray", "calendar_prev",
                             "calendar_prev_pressed", "calendar_next", "calendar_next_pressed"}) {
        const QString path = QStringLiteral(":/resources/%1.svg").arg(QLatin1String(name));
        const QPixmap own = scaledPixmap(path, 0);
        ASSERT_FALSE(own.isNull()) << name;
        const QPixmap big = scaledPixmap(path, own.width() * 3);
        EXPECT_EQ(big.width(), own.width() * 3) << name;
        EXPECT_NEAR(big.height(), own.height() * 3, 1) << name;
        // Something is drawn.
        const QImage img = big.toImage();
        bool drawn = false;
        for (int y = 0; y < img.height() && !drawn; ++y)
            for (int x = 0; x < img.width() && !drawn; ++x)
                drawn = qAlpha(img.pixel(x, y)) > 128;
        EXPECT_TRUE(drawn) << name;
    }
}

TEST(PixmapCache, ReadyPixmapsAreFoundBySize)
{
    const QString key = QStringLiteral("zone-3000");
    EXPECT_TRUE(findCachedPixmap(key, 10, 10).isNull());
    QPixmap small(10, 10), large(20, 10);
    small.fill(Qt::blue);
    large.fill(Qt::green);
    cachePixmap(key, small);
    cachePixmap(key, large);
    EXPECT_EQ(findCachedPixmap(key, 20, 10).toImage().pixel(0, 0), QColor(Qt::green).rgb());
    EXPECT_EQ(findCachedPixmap(key, 10, 10).toImage().pixel(0, 0), QColor(Qt::blue).rgb());
    EXPECT_TRUE(findCachedPixmap(key, 10, 20).isNull());
}

TEST(ImageButtons, ClicksFollowEnabledStateAndReleases)
{
    RDPixmapButton plain;
    QSignalSpy plainClicks(&plain, &RDPixmapButton::clicked);
    QTest::mouseClick(&plain, Qt::LeftButton);
    EXPECT_EQ(plainClicks.count(), 1);

    RDPixmapsButton two;
    two.setPixmaps(QStringLiteral(":/resources/calendar_prev.svg"),
                   QStringLiteral(":/resources/calendar_prev_pressed.svg"), 9);
    QSignalSpy twoClicks(&two, &RDPixmapsButton::clicked);
    QTest::mouseClick(&two, Qt::LeftButton);
    EXPECT_EQ(twoClicks.count(), 1);
    EXPECT_FALSE(two.isChecked()); // clicks never toggle it
    two.setEnabled(false);
    QTest::mouseClick(&two, Qt::LeftButton);
    EXPECT_EQ(twoClicks.count(), 1);
    EXPECT_EQ(two.sizeHint(), QSize(9, 15));

    RDPixmapWidget picture;
    QSignalSpy pictureClicks(&picture, &RDPixmapWidget::clicked);
    QTest::mousePress(&picture, Qt::LeftButton);
    picture.setEnabled(false);
    QTest::mousePress(&picture, Qt::LeftButton);
    EXPECT_EQ(pictureClicks.count(), 1);
}

TEST(ImageButtons, DialogButtonTakesItsHoverLookWhileTheMouseIsOver)
{
    RDDialogButton button;
    button.setColors(QColor(0, 0, 0, 0), QColor(224, 16, 16));
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(&button, &enter);
    EXPECT_TRUE(button.isHovered());
    EXPECT_EQ(button.backgroundColor(), QColor(224, 16, 16));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    EXPECT_FALSE(button.isHovered());
    EXPECT_EQ(button.backgroundColor(), QColor(0, 0, 0, 0));
    QSignalSpy clicks(&button, &RDDialogButton::clicked);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1);
}
