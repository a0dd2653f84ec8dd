#include "RDBaseDialog.h"
#include "RDDialogButton.h"
#include "RDDialogLoadingWidget.h"
#include "RDFullDialog.h"
#include "RDLabel.h"
#include "RDModal.h"
#include "RDPixmapButton.h"
#include "RDProgress.h"
#include "RDWidget.h"
#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <thread>

namespace {

template <typename T>
T *child(QWidget *dialog, const char *name)
{
    T *w = dialog->findChild<T *>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

} // namespace

TEST(RDBaseDialogTest, FrameIsLaidOutFromTheResize)
{
    RDBaseDialog dialog;
    dialog.resize(430, 230);
    dialog.show(); // a hidden window gets its resize event when shown
    EXPECT_EQ(dialog.windowFlags() & Qt::FramelessWindowHint, Qt::FramelessWindowHint);
    // With a parent it is still a window of its own, not a child drawn inside.
    QWidget parent;
    for (QDialog *child : std::initializer_list<QDialog *>{new RDBaseDialog(&parent), new RDFullDialog(&parent)})
        EXPECT_TRUE(child->isWindow());
    EXPECT_EQ(child<RDWidget>(&dialog, "titleBar")->geometry(), QRect(1, 1, 428, 35));
    EXPECT_EQ(child<RDDialogButton>(&dialog, "close")->geometry(), QRect(388, 0, 40, 35));
    EXPECT_EQ(child<RDDialogButton>(&dialog, "minimize")->geometry(), QRect(348, 0, 40, 35));
    EXPECT_EQ(child<RDPixmapButton>(&dialog, "icon")->geometry(), QRect(10, 10, 15, 15));
    EXPECT_EQ(child<RDLabel>(&dialog, "title")->x(), 29);
    EXPECT_EQ(dialog.body()->geometry(), QRect(1, 35, 428, 194));

    // The outer margin and the contents margins move everything inwards.
    dialog.setOuterMargin(10);
    dialog.setContentsMargins(2, 3, 4, 5);
    dialog.resize(400, 300);
    EXPECT_EQ(dialog.contentsWidget()->geometry(), QRect(10, 10, 380, 280));
    EXPECT_EQ(child<RDWidget>(&dialog, "titleBar")->geometry(), QRect(1, 1, 378, 38));
    EXPECT_EQ(child<RDDialogButton>(&dialog, "close")->geometry(), QRect(378 - 44, 3, 40, 35));
    EXPECT_EQ(dialog.body()->geometry(), QRect(3, 38, 378 - 6, 280 - 38 - 5 - 1));
}

TEST(RDBaseDialogTest, OnlyATitleBarPressDragsTheWindow)
{
    RDBaseDialog dialog;
    dialog.resize(430, 230);
    dialog.move(100, 100);
    dialog.show();
    // Below the title bar: nothing moves.
    PaUiTest::drag(&dialog, QPoint(200, 150), QPoint(260, 190));
    EXPECT_EQ(dialog.pos(), QPoint(100, 100));
    EXPECT_FALSE(dialog.isDragging());
    // In the title bar: the window follows without a jump.
    PaUiTest::drag(&dialog, QPoint(200, 10), QPoint(230, 50));
    EXPECT_EQ(dialog.pos(), QPoint(130, 140));
    EXPECT_FALSE(dialog.isDragging());
}

TEST(RDBaseDialogTest, LoadingOverlayLifetimes)
{
    PaUiTest::ManualClock clock;
    RDBaseDialog dialog;
    dialog.resize(300, 200);
    dialog.hideLoading(); // nothing shown: nothing happens
    EXPECT_EQ(dialog.loadingWidget(), nullptr);

    for (int ms : {0, -5}) {
        dialog.showLoading(ms);
        ASSERT_NE(dialog.loadingWidget(), nullptr) << ms;
        EXPECT_TRUE(dialog.loadingWidget()->spinner()->isAnimated());
        EXPECT_FALSE(dialog.hasLoadingTimer());
        clock.advance(60000);
        EXPECT_NE(dialog.loadingWidget(), nullptr) << ms;
        dialog.hideLoading();
        EXPECT_EQ(dialog.loadingWidget(), nullptr);
    }

    dialog.showLoading();
    clock.advance(9999);
    EXPECT_NE(dialog.loadingWidget(), nullptr);
    clock.advance(1);
    EXPECT_EQ(dialog.loadingWidget(), nullptr);

    dialog.showLoading(1000);
    RDDialogLoadingWidget *first = dialog.loadingWidget();
    clock.advance(600);
    dialog.showLoading(1000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(dialog.findChildren<RDDialogLoadingWidget *>().size(), 1);
    EXPECT_NE(dialog.loadingWidget(), first);
    clock.advance(600); // the first timer is gone
    EXPECT_NE(dialog.loadingWidget(), nullptr);
    clock.advance(400);
    EXPECT_EQ(dialog.loadingWidget(), nullptr);
}

TEST(RDBaseDialogTest, ToastAndLoadingFromAWorkerThreadAppearOnTheGuiThread)
{
    PaUiTest::ManualClock clock;
    RDBaseDialog dialog;
    dialog.resize(400, 300);
    std::thread([&] {
        dialog.showToast(QStringLiteral("from worker"), Qt::AlignLeft | Qt::AlignTop, 12, 14);
        dialog.showLoading(0);
    }).join();
    EXPECT_EQ(dialog.toastLabel(), nullptr);
    QCoreApplication::processEvents();
    ASSERT_NE(dialog.toastLabel(), nullptr);
    EXPECT_EQ(dialog.toastLabel()->thread(), dialog.thread());
    EXPECT_EQ(dialog.toastLabel()->text(), QStringLiteral("from worker"));
    EXPECT_EQ(dialog.toastLabel()->pos(), QPoint(12, 14));
    EXPECT_NE(dialog.loadingWidget(), nullptr);
    std::thread([&] { dialog.hideLoading(); }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(dialog.loadingWidget(), nullptr);

    clock.advance(2000);
    EXPECT_EQ(dialog.toastLabel(), nullptr);
    dialog.showToast(QStringLiteral("click me"));
    EXPECT_EQ(dialog.toastLabel()->pos(),
              QPoint((400 - dialog.toastLabel()->width()) / 2, 300 - 5 - dialog.toastLabel()->height()));
    QTest::mousePress(dialog.toastLabel(), Qt::LeftButton);
    EXPECT_EQ(dialog.toastLabel(), nullptr);
}

TEST(RDBaseDialogTest, CloseButtonEndsTheRunRejected)
{
    RDBaseDialog dialog;
    dialog.resize(300, 200);
    RDModal::Answer run;
    run.realExec = true;
    run.action = [](QObject *d) {
        QTest::mouseClick(static_cast<QWidget *>(d)->findChild<RDDialogButton *>(QStringLiteral("close")),
                          Qt::LeftButton);
    };
    RDModal::queue(run);
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(RDFullDialogTest, ResizeBordersAreFourPixelsAndVanishWhenMaximized)
{
    const QSize size(200, 100);
    const struct {
        QPoint p;
        Qt::Edges edges;
    } cases[] = {
        {{0, 0}, Qt::TopEdge | Qt::LeftEdge},   {{2, 50}, Qt::LeftEdge},
        {{199, 2}, Qt::TopEdge | Qt::RightEdge}, {{197, 50}, Qt::RightEdge},
        {{100, 3}, Qt::TopEdge},                {{1, 98}, Qt::BottomEdge | Qt::LeftEdge},
        {{198, 99}, Qt::BottomEdge | Qt::RightEdge}, {{100, 96}, Qt::BottomEdge},
        {{4, 4}, {}},                           {{195, 95}, {}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(RDFullDialog::resizeEdges(c.p, size, false), c.edges) << c.p.x() << "," << c.p.y();
        EXPECT_EQ(RDFullDialog::resizeEdges(c.p, size, true), Qt::Edges()) << c.p.x() << "," << c.p.y();
    }
}

TEST(RDFullDialogTest, TitleMovesBorderResizesContentsFollow)
{
    RDFullDialog dialog;
    QWidget contents;
    dialog.setContentsWidget(&contents);
    dialog.setGeometry(100, 100, 500, 400);
    dialog.show();
    EXPECT_EQ(child<RDDialogButton>(&dialog, "close")->geometry(), QRect(458, 0, 40, 35));
    EXPECT_EQ(child<RDDialogButton>(&dialog, "maximize")->geometry(), QRect(418, 0, 40, 35));
    EXPECT_EQ(child<RDDialogButton>(&dialog, "minimize")->geometry(), QRect(378, 0, 40, 35));
    EXPECT_EQ(contents.geometry(), QRect(QPoint(0, 0), dialog.body()->size()));

    // The title label and the icon move the window like the title bar.
    PaUiTest::drag(&dialog, QPoint(40, 15), QPoint(60, 25));
    EXPECT_EQ(dialog.geometry(), QRect(120, 110, 500, 400));
    PaUiTest::drag(&dialog, QPoint(15, 15), QPoint(5, 5));
    EXPECT_EQ(dialog.geometry(), QRect(110, 100, 500, 400));
    // The bottom-right corner resizes; the contents follow.
    PaUiTest::drag(&dialog, QPoint(498, 398), QPoint(548, 418));
    EXPECT_EQ(dialog.geometry(), QRect(110, 100, 550, 420));
    EXPECT_EQ(contents.size(), dialog.body()->size());
    // The body does not move the window.
    PaUiTest::drag(&dialog, QPoint(250, 200), QPoint(300, 300));
    EXPECT_EQ(dialog.geometry(), QRect(110, 100, 550, 420));
}
