// The camera zone's large view: playing, muting, stopping while opening,
// failures, and snapshots into the capture folder.
#include "GlDriverHold.h"
#include "LoopbackStreamServer.h"
#include "PlatformFileManager.h"
#include "PlayerTestMedia.h"
#include "RDGroupStreamDialog.h"
#include "RDPixmapsButton.h"
#include "RDPlayer.h"
#include "RDProgress.h"
#include "RDToast.h"
#include "RDLabel.h"
#include "RDVideoView.h"
#include "UiTestSupport.h"
#include "Velmar.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QOpenGLContext>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

RDGroup cameraZone(const QString &mainUrl, const QString &subUrl = QString())
{
    RDGroup group;
    group.id = 1;
    group.conference = QStringLiteral("3001");
    group.backgroundType = QStringLiteral("video");
    group.backgroundMainStream = mainUrl;
    group.backgroundSubStream = subUrl;
    return group;
}

TEST(ZoneStreamCapture, ShotsWithinOneSecondGetTheirOwnNames)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDateTime at(QDate(2026, 3, 7), QTime(9, 5, 4));
    const QString first = RDGroupStreamDialog::capturePath(dir.path(), at);
    EXPECT_EQ(first, dir.filePath("20260307090504.jpg"));
    QFile(first).open(QIODevice::WriteOnly);
    const QString second = RDGroupStreamDialog::capturePath(dir.path(), at);
    EXPECT_EQ(second, dir.filePath("20260307090504-1.jpg"));
    QFile(second).open(QIODevice::WriteOnly);
    EXPECT_EQ(RDGroupStreamDialog::capturePath(dir.path(), at), dir.filePath("20260307090504-2.jpg"));
    EXPECT_EQ(RDGroupStreamDialog::capturePath(dir.path(), at.addSecs(1)), dir.filePath("20260307090505.jpg"));
}

TEST(ZoneStreamView, WithoutAStreamNothingPlays)
{
    RDGroupStreamDialog dialog;
    dialog.setGroup(cameraZone(QString()));
    dialog.play();
    EXPECT_FALSE(dialog.player()->isInputRunning());
    EXPECT_FALSE(dialog.playButton()->isChecked());
    dialog.onClickPlayButton();
    EXPECT_FALSE(dialog.player()->isInputRunning());
    EXPECT_FALSE(dialog.busyIndicator()->isVisibleTo(&dialog));
}

// The view plays the main stream; a press on play while it opens stops it.
TEST(ZoneStreamView, PlayWhileOpeningStops)
{
    LoopbackStreamServer silent(QByteArray(), 0, true);
    RDGroupStreamDialog dialog;
    dialog.setGroup(cameraZone(QString::fromUtf8(silent.url()), QStringLiteral("http://127.0.0.1:9/sub")));
    dialog.play();
    EXPECT_TRUE(dialog.player()->isInputRunning());
    EXPECT_TRUE(dialog.playButton()->isChecked());
    EXPECT_TRUE(dialog.busyIndicator()->isVisibleTo(&dialog));
    EXPECT_TRUE(dialog.busyIndicator()->isAnimated());

    dialog.onClickPlayButton();
    EXPECT_FALSE(dialog.player()->isInputRunning());
    EXPECT_FALSE(dialog.playButton()->isChecked());
    EXPECT_FALSE(dialog.busyIndicator()->isVisibleTo(&dialog));
    EXPECT_FALSE(dialog.busyIndicator()->isAnimated());
}

TEST(ZoneStreamView, AnUnreachableCameraIsReportedAndStops)
{
    int port = 0;
    {
        LoopbackStreamServer probe(QByteArray(), 0);
        port = probe.port();
    }
    keepGlDriverLoaded();
    RDGroupStreamDialog dialog;
    dialog.setGroup(cameraZone(QStringLiteral("http://127.0.0.1:%1/stream").arg(port)));
    dialog.show();
    dialog.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.playButton()->isChecked(); }, 10000));
    EXPECT_FALSE(dialog.busyIndicator()->isVisibleTo(&dialog));
    QStringList toasts;
    for (RDLabel *label : dialog.findChildren<RDLabel *>())
        if (label->isVisible())
            toasts << label->text();
    EXPECT_TRUE(toasts.contains(QStringLiteral("Stream Play Failure"))) << toasts.join('|').toStdString();
}

// While the picture plays: muting switches the volume without stopping it,
// and two snapshots in a row land in the capture folder as two JPEG files,
// each shown in the file manager.
TEST(ZoneStreamView, SnapshotsLandInTheCaptureFolder)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "GL needs an X display (run under xvfb-run)";
    keepGlDriverLoaded();
    const QByteArray body = PlayerTestMedia::instance().contents("bars.ts");
    ASSERT_FALSE(body.isEmpty()) << PlayerTestMedia::instance().error().toStdString();
    // Half the stream, then a stall: the picture stays up.
    LoopbackStreamServer server(body, body.size() / 2);

    QStringList shown;
    Platform::setFileManagerHandler([&shown](const QString &path) { shown << path; });
    struct Restore {
        ~Restore() { Platform::setFileManagerHandler({}); }
    } restore;

    RDGroupStreamDialog dialog;
    dialog.setGroup(cameraZone(QString::fromUtf8(server.url())));
    dialog.show();
    dialog.play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.busyIndicator()->isVisible(); }, 10000));
    EXPECT_TRUE(dialog.playButton()->isChecked());

    dialog.onClickAudioButton();
    EXPECT_DOUBLE_EQ(dialog.player()->volume(), 0.0);
    EXPECT_TRUE(dialog.audioButton()->isChecked());
    EXPECT_TRUE(dialog.player()->isInputRunning());
    dialog.onClickAudioButton();
    EXPECT_DOUBLE_EQ(dialog.player()->volume(), 1.0);
    EXPECT_FALSE(dialog.audioButton()->isChecked());

    const QDir capture(Velmar::captureDir());
    const QStringList before = capture.entryList({"*.jpg"}, QDir::Files);
    dialog.onClickCaptureButton();
    dialog.onClickCaptureButton();
    QStringList added = capture.entryList({"*.jpg"}, QDir::Files);
    for (const QString &name : before)
        added.removeAll(name);
    ASSERT_EQ(added.size(), 2) << added.join('|').toStdString();
    ASSERT_EQ(shown.size(), 2);
    for (const QString &name : added) {
        const QString path = capture.filePath(name);
        EXPECT_TRUE(QRegExp(QStringLiteral("\\d{14}(-\\d+)?\\.jpg")).exactMatch(name)) << name.toStdString();
        EXPECT_EQ(QImage(path, "JPEG").size(), QSize(320, 240));
        EXPECT_TRUE(shown.contains(QDir::toNativeSeparators(path)));
        QFile::remove(path);
    }
}

} // namespace
