// The zone tile column: layout, reuse of tiles, what a tile shows, its
// context menu, picture cropping, and the camera picture with its reopening.
#include "GlDriverHold.h"
#include "LoopbackStreamServer.h"
#include "PlayerTestMedia.h"
#include "RDGroupListItemWidget.h"
#include "RDGroupListWidget.h"
#include "RDLabel.h"
#include "RDPixmapButton.h"
#include "RDPixmapWidget.h"
#include "RDPixmapsButton.h"
#include "RDVideoView.h"
#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QOpenGLContext>
#include <QPointer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <thread>

namespace {

RDGroup zone(int id, const QString &name, int sortIndex = 0)
{
    RDGroup group;
    group.id = id;
    group.name = name;
    group.conference = QString::number(3000 + id);
    group.sortIndex = sortIndex;
    group.source = QStringLiteral("media");
    return group;
}

RDGroup camera(int id, const QString &url)
{
    RDGroup group = zone(id, QStringLiteral("Gate"));
    group.backgroundType = QStringLiteral("video");
    group.backgroundSubStream = url;
    return group;
}

// A loopback address on which nothing listens: the camera is gone.
QString goneCameraUrl()
{
    int port = 0;
    {
        LoopbackStreamServer probe(QByteArray(), 0);
        port = probe.port();
    }
    return QStringLiteral("http://127.0.0.1:%1/stream").arg(port);
}

int timerCount(QObject *object)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return object->findChildren<QTimer *>().size();
}

class ReopenDelay
{
public:
    explicit ReopenDelay(int ms) { RDGroupListItemWidget::setReopenDelayForTesting(ms); }
    ~ReopenDelay() { RDGroupListItemWidget::setReopenDelayForTesting(5000); }
};

TEST(ZoneTileList, TilesAreStackedAndReusedByIndex)
{
    RDGroupListWidget list;
    list.resize(300, 800);
    list.show();
    list.setGroups({zone(1, "A"), zone(2, "B"), zone(3, "C")});
    ASSERT_EQ(list.items().size(), 3);
    EXPECT_EQ(list.contentWidget()->height(), 368);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list.items()[i]->geometry().y(), 2 + i * 122) << i;
        EXPECT_EQ(list.items()[i]->height(), 120) << i;
        EXPECT_EQ(list.items()[i]->nameLabel()->text(), QString(QChar('A' + i)));
    }

    QPointer<RDGroupListItemWidget> first = list.items()[0];
    QPointer<RDGroupListItemWidget> third = list.items()[2];
    list.setGroups({zone(9, "Z")});
    ASSERT_EQ(list.items().size(), 1);
    EXPECT_EQ(list.items()[0], first.data());
    EXPECT_EQ(first->group().id, 9);
    EXPECT_TRUE(third.isNull());
    EXPECT_EQ(list.contentWidget()->height(), 124);

    list.setGroups({zone(1, "A"), zone(2, "B"), zone(3, "C")});
    list.removeGroup(zone(2, ""));
    ASSERT_EQ(list.groups().size(), 2);
    EXPECT_EQ(list.items()[1]->group().id, 3);
    EXPECT_EQ(list.items()[1]->geometry().y(), 124);
    list.removeGroup(zone(42, ""));
    EXPECT_EQ(list.items().size(), 2);

    list.moveToTop(zone(3, "", 7));
    EXPECT_EQ(list.groups()[0].id, 3);
    EXPECT_EQ(list.groups()[0].sortIndex, 7);
    EXPECT_EQ(list.items()[0]->group().id, 3);
}

// A refresh of a long list (a zone starts, a reload) keeps the place the
// operator scrolled to.
TEST(ZoneTileList, RefreshKeepsTheScrollPosition)
{
    RDGroupListWidget list;
    list.resize(300, 400);
    list.show();
    QVector<RDGroup> groups;
    for (int i = 1; i <= 40; ++i)
        groups.append(zone(i, "z"));
    list.setGroups(groups);
    QApplication::processEvents();
    list.verticalScrollBar()->setValue(1000);
    QApplication::processEvents();
    groups[20].started = 1;
    list.setGroups(groups);
    QApplication::processEvents();
    EXPECT_EQ(list.verticalScrollBar()->value(), 1000);
    EXPECT_EQ(list.contentWidget()->y(), -1000);
}

TEST(ZoneTileList, NextSortIndexFollowsTheLargest)
{
    const struct {
        QVector<int> sortIndexes;
        int next;
    } cases[] = {{{0, 3, 1}, 4}, {{}, 1}, {{-5, -2}, 1}, {{0}, 1}};
    for (const auto &c : cases) {
        RDGroupListWidget list;
        QVector<RDGroup> groups;
        for (int i = 0; i < c.sortIndexes.size(); ++i)
            groups.append(zone(i + 1, "z", c.sortIndexes[i]));
        list.setGroups(groups);
        EXPECT_EQ(list.nextSortIndex(), c.next) << c.sortIndexes.size();
    }
}

TEST(ZoneTileList, SelectionMarksExactlyOneTile)
{
    RDGroupListWidget list;
    list.setGroups({zone(1, "A"), zone(2, "B"), zone(3, "C")});
    list.selectGroup(zone(2, ""));
    EXPECT_FALSE(list.items()[0]->isSelected());
    EXPECT_TRUE(list.items()[1]->isSelected());
    EXPECT_EQ(list.items()[1]->findChild<RDWidget *>()->borderColor(), QColor(2, 183, 44, 255));
    list.selectIndex(2);
    EXPECT_FALSE(list.items()[1]->isSelected());
    EXPECT_TRUE(list.items()[2]->isSelected());
    EXPECT_EQ(list.items()[1]->findChild<RDWidget *>()->borderColor(), QColor(43, 43, 43, 160));
    list.selectItem(list.items()[0]);
    EXPECT_TRUE(list.items()[0]->isSelected());
    EXPECT_FALSE(list.items()[2]->isSelected());
}

TEST(ZoneTile, ShowsNameSourceAndStartReason)
{
    const struct {
        QString source;
        int audioType;
        int started;
        QString startType;
        QString sourceIcon;
        QString reasonIcon;
    } cases[] = {
        {"device", 0, 0, "user", ":/resources/microphone_white.png", ""},
        {"DEVICE", 1, 1, "Schedule", ":/resources/speak_white.png", ":/resources/schedule_white.png"},
        {"device", 2, 1, "user", "", ""},
        {"stream", 0, 1, "call conference", ":/resources/stream_white.png", ":/resources/call_white.png"},
        {"Media", 0, 1, "sipTrunk", ":/resources/media_white.png", ":/resources/call_white.png"},
        {"pray", 0, 1, "pray", ":/resources/pray.png", ":/resources/pray.png"},
        {"other", 0, 1, "http", "", ""},
        {"media", 0, 0, "schedule", ":/resources/media_white.png", ""},
    };
    RDGroupListItemWidget tile;
    tile.resize(300, 120);
    for (const auto &c : cases) {
        RDGroup group = zone(1, QString());
        group.source = c.source;
        group.audioType = c.audioType;
        group.started = c.started;
        group.startType = c.startType;
        tile.setGroup(group);
        const std::string what = (c.source + "/" + c.startType).toStdString();
        EXPECT_EQ(tile.nameLabel()->text(), QStringLiteral("3001")) << what;
        EXPECT_EQ(tile.sourceIcon()->pixmapPath(), c.sourceIcon) << what;
        EXPECT_EQ(tile.startReasonIcon()->pixmapPath(), c.reasonIcon) << what;
        EXPECT_EQ(tile.playButton()->isChecked(), c.started != 0) << what;
    }
}

TEST(ZoneTile, RightClickOnTheTileOpensTheMenuButNotOnItsBar)
{
    RDGroupListWidget list;
    list.resize(300, 600);
    list.show();
    RDGroup started = zone(1, "A");
    started.started = 1;
    list.setGroups({started, zone(2, "B")});
    QApplication::processEvents();
    RDGroupListItemWidget *tile = list.items()[0];
    QSignalSpy right(tile, &RDGroupListItemWidget::rightClicked);

    const QPoint onBar = tile->bar()->geometry().center() + QPoint(3, 0);
    PaUiTest::click(tile, Qt::RightButton, onBar);
    EXPECT_EQ(right.count(), 0);
    EXPECT_EQ(list.contextMenu(), nullptr);

    PaUiTest::click(tile, Qt::RightButton, QPoint(20, 20));
    ASSERT_EQ(right.count(), 1);
    ASSERT_NE(list.contextMenu(), nullptr);
    QStringList texts;
    for (QAction *action : list.contextMenu()->actions())
        if (!action->isSeparator())
            texts << action->text();
    EXPECT_EQ(texts, QStringList({"Top", "Stop", "Delete", "Background"}));

    QSignalSpy deleted(&list, &RDGroupListWidget::clickGroupItemDelete);
    list.onClickDeleteItem();
    ASSERT_EQ(deleted.count(), 1);
    EXPECT_EQ(deleted.at(0).at(0).value<RDGroupListItemWidget *>(), tile);

    // A menu on the second tile offers "Start"; once that tile is gone the
    // menu's entries do nothing.
    PaUiTest::click(list.items()[1], Qt::RightButton, QPoint(20, 20));
    texts.clear();
    for (QAction *action : list.contextMenu()->actions())
        if (!action->isSeparator())
            texts << action->text();
    EXPECT_TRUE(texts.contains("Start"));
    // The list is rebuilt while the menu is open (a zone added over HTTP
    // lands in B's place): the menu still acts on B, never on the zone now
    // in its row.
    list.setGroups({started, zone(3, "C"), zone(2, "B")});
    list.onClickDeleteItem();
    ASSERT_EQ(deleted.count(), 2);
    EXPECT_EQ(deleted.at(1).at(0).value<RDGroupListItemWidget *>()->group().id, 2);
    list.setGroups({started});
    QSignalSpy start(&list, &RDGroupListWidget::clickGroupItemStart);
    list.onClickStartItem();
    EXPECT_EQ(start.count(), 0);
}

TEST(ZoneTile, PicturesAreCroppedToCoverTheTile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Wide: red | green | blue in quarters, middle half green.
    QImage wide(400, 100, QImage::Format_RGB32);
    wide.fill(Qt::green);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            wide.setPixelColor(x, y, Qt::red);
            wide.setPixelColor(399 - x, y, Qt::blue);
        }
    const QString widePath = dir.filePath("wide.png");
    ASSERT_TRUE(wide.save(widePath));
    const QImage cut = RDGroupListItemWidget::coverPixmap(widePath, 50, 50).toImage();
    ASSERT_EQ(cut.size(), QSize(50, 50));
    for (int x : {1, 25, 48})
        EXPECT_EQ(cut.pixelColor(x, 25), QColor(Qt::green)) << x;

    // Tall: scaled to the width, top and bottom cut away.
    QImage tall(100, 300, QImage::Format_RGB32);
    tall.fill(Qt::green);
    for (int x = 0; x < 100; ++x)
        for (int y = 0; y < 100; ++y) {
            tall.setPixelColor(x, y, Qt::red);
            tall.setPixelColor(x, 299 - y, Qt::blue);
        }
    const QString tallPath = dir.filePath("tall.png");
    ASSERT_TRUE(tall.save(tallPath));
    const QImage band = RDGroupListItemWidget::coverPixmap(tallPath, 200, 100).toImage();
    ASSERT_EQ(band.size(), QSize(200, 100));
    EXPECT_EQ(band.pixelColor(100, 2), QColor(Qt::green));
    EXPECT_EQ(band.pixelColor(100, 97), QColor(Qt::green));

    EXPECT_TRUE(RDGroupListItemWidget::coverPixmap(dir.filePath("missing.png"), 50, 50).isNull());
}

// A failure and the end of the stream, both reported, leave one reopen
// pending; a zone that turns to a picture keeps none, and no stream plays.
TEST(ZoneTileCamera, FailuresLeaveOneReopenAndAPictureCancelsIt)
{
    ReopenDelay delay(60000);
    RDGroupListItemWidget tile;
    tile.resize(300, 120);
    tile.setGroup(camera(1, goneCameraUrl()));
    EXPECT_TRUE(tile.fullScreenButton()->isVisibleTo(&tile));
    EXPECT_FALSE(tile.picture()->isVisibleTo(&tile));

    std::thread playerThread([&tile] {
        tile.onPlayerStatusChanged(1, 0, 0);
        tile.onPlayerStatusChanged(3, 0, 0);
        tile.onPlayerStatusChanged(2, 0, 0);
    });
    playerThread.join();
    QCoreApplication::processEvents();
    EXPECT_TRUE(tile.hasPendingReopen());
    EXPECT_EQ(timerCount(&tile), 1);

    RDGroup image = zone(1, "Gate");
    image.backgroundType = QStringLiteral("image");
    tile.setGroup(image);
    EXPECT_FALSE(tile.hasPendingReopen());
    EXPECT_EQ(timerCount(&tile), 0);
    EXPECT_TRUE(tile.currentVideoUrl().isEmpty());
    EXPECT_TRUE(tile.picture()->isVisibleTo(&tile));
    EXPECT_FALSE(tile.fullScreenButton()->isVisibleTo(&tile));
}

// A camera that cannot be reached is tried again after the pause, each
// time with one timer, and a closed tile leaves no timer or player behind.
TEST(ZoneTileCamera, UnreachableCameraRetriesUntilTheTileCloses)
{
    ReopenDelay delay(50);
    auto *tile = new RDGroupListItemWidget;
    tile->resize(300, 120);
    tile->setGroup(camera(1, goneCameraUrl()));
    // Failure, reopen after the pause, failure again: the retry keeps going.
    int reopens = 0;
    QTimer *seen = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QTimer *now = tile->findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
            if (now && now != seen) {
                seen = now;
                ++reopens;
            }
            EXPECT_LE(timerCount(tile), 1);
            return reopens >= 3;
        },
        20000));
    QPointer<QTimer> pending = tile->findChild<QTimer *>();
    delete tile;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(pending.isNull());
}

bool near(const QColor &c, int r, int g, int b)
{
    return std::abs(c.red() - r) <= 30 && std::abs(c.green() - g) <= 30 && std::abs(c.blue() - b) <= 30;
}

// A camera tile plays the stream served on loopback, muted, and shows its
// first picture in the pattern's colours; when the camera goes away the tile
// waits to reopen it, and closing the tile ends all of it.
TEST(ZoneTileCamera, ShowsTheCameraPictureAndStopsWhenClosed)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "GL needs an X display (run under xvfb-run)";
    keepGlDriverLoaded();
    const QByteArray body = PlayerTestMedia::instance().contents("bars.ts");
    ASSERT_FALSE(body.isEmpty()) << PlayerTestMedia::instance().error().toStdString();
    auto server = std::make_unique<LoopbackStreamServer>(body, -1);
    ReopenDelay delay(60000);

    auto *tile = new RDGroupListItemWidget;
    // The video area is then 320 x 240, the size of the pattern.
    tile->resize(326, 246);
    tile->show();
    tile->setGroup(camera(1, QString::fromUtf8(server->url())));
    ASSERT_NE(tile->videoView(), nullptr);
    QApplication::processEvents();
    if (!tile->videoView()->context() || !tile->videoView()->context()->isValid())
        GTEST_SKIP() << "no GL context";
    EXPECT_EQ(tile->currentVideoUrl(), QString::fromUtf8(server->url()));

    const int bars[7][3] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                            {191, 0, 191},   {191, 0, 0},   {0, 0, 191}};
    QImage image;
    const bool shown = QTest::qWaitFor(
        [&] {
            image = tile->videoView()->grabFramebuffer();
            return near(image.pixelColor(320 / 14, 60), bars[0][0], bars[0][1], bars[0][2]);
        },
        10000);
    ASSERT_TRUE(shown);
    ASSERT_EQ(image.size(), QSize(320, 240));
    for (int i = 0; i < 7; ++i) {
        const QColor colour = image.pixelColor((2 * i + 1) * 320 / 14, 60);
        EXPECT_TRUE(near(colour, bars[i][0], bars[i][1], bars[i][2])) << "bar " << i << ": "
                                                                       << colour.name().toStdString();
    }

    // The camera goes away: the stream ends and a reopen waits.
    server.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return tile->hasPendingReopen(); }, 10000));
    EXPECT_EQ(timerCount(tile), 1);
    QPointer<QTimer> pending = tile->findChild<QTimer *>();
    delete tile;
    EXPECT_TRUE(pending.isNull());
}

} // namespace
