#include "RDLabel.h"
#include "RDPagingIndicateView.h"
#include "RDPagingInfoView.h"
#include "RDPagingItemView.h"
#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

namespace {

QStringList labels(int from, int to)
{
    QStringList list;
    for (int i = from; i <= to; ++i)
        list.append(QString::number(i));
    return list;
}

// Types the text into the go-to entry and confirms it with Enter.
void typePage(RDPagingIndicateView &view, const QString &text)
{
    view.infoView()->entry()->setText(text);
    QTest::keyClick(view.infoView()->entry(), Qt::Key_Return);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

} // namespace

TEST(RDPagingTest, ButtonsAndCounterForEmptySingleExactAndManyPages)
{
    const struct {
        int items;
        int pages;
        QStringList buttons;
        bool counter;
    } cases[] = {
        {0, 0, {}, false},
        {1, 1, labels(1, 1), false},
        {10, 1, labels(1, 1), false},
        {11, 2, labels(1, 2), true},
        {95, 10, labels(1, 10), true},
        {300, 30, labels(1, 11), true},
    };
    for (const auto &c : cases) {
        RDPagingIndicateView view;
        view.resize(800, 40);
        view.setItemCount(c.items, 10);
        EXPECT_EQ(view.pageCount(), c.pages) << c.items;
        EXPECT_EQ(view.buttonLabels(), c.buttons) << c.items;
        EXPECT_EQ(view.selectedButton(), c.pages > 0 ? 0 : -1) << c.items;
        EXPECT_EQ(view.infoView()->isVisibleTo(&view), c.counter) << c.items;
        EXPECT_EQ(view.infoView()->pageLabel()->text(), QStringLiteral("1 / %1").arg(c.pages)) << c.items;
        // The row is centred.
        if (!view.buttons().isEmpty()) {
            const int n = view.buttons().size();
            const int info = view.infoView()->width();
            EXPECT_EQ(view.buttons().first()->x(), (800 - 35 * n - info) / 2) << c.items;
            EXPECT_EQ(view.infoView()->x(), view.buttons().first()->x() + 35 * n) << c.items;
        }
    }
}

TEST(RDPagingTest, WindowFollowsTheCurrentPage)
{
    RDPagingIndicateView view;
    view.resize(900, 40);
    view.setPageCount(30);
    QSignalSpy changed(&view, &RDPagingIndicateView::currentPageChanged);
    const struct {
        int typed;
        QStringList buttons;
        int selected;
    } cases[] = {
        {21, labels(16, 26), 5},
        {29, labels(20, 30), 9},
        {30, labels(20, 30), 10},
        {4, labels(1, 11), 3},
        {7, labels(2, 12), 5},
    };
    for (const auto &c : cases) {
        typePage(view, QString::number(c.typed));
        EXPECT_EQ(view.currentPage(), c.typed - 1);
        EXPECT_EQ(view.buttonLabels(), c.buttons) << c.typed;
        EXPECT_EQ(view.selectedButton(), c.selected) << c.typed;
        EXPECT_EQ(view.infoView()->pageLabel()->text(), QStringLiteral("%1 / 30").arg(c.typed));
        ASSERT_FALSE(changed.isEmpty());
        EXPECT_EQ(changed.takeLast().at(0).toInt(), c.typed - 1);
    }
}

TEST(RDPagingTest, ClicksAndTypedPagesArriveLaterAndBadEntriesChangeNothing)
{
    RDPagingIndicateView view;
    view.resize(900, 40);
    view.setItemCount(300, 10);
    QSignalSpy changed(&view, &RDPagingIndicateView::currentPageChanged);

    QTest::mousePress(view.buttons().at(4), Qt::LeftButton);
    EXPECT_EQ(changed.count(), 0); // not inside the click
    QCoreApplication::processEvents();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.last().at(0).toInt(), 4);
    EXPECT_EQ(view.selectedButton(), 4);

    typePage(view, QStringLiteral("5"));
    EXPECT_EQ(view.currentPage(), 4);
    EXPECT_EQ(changed.count(), 2);
    for (const char *bad : {"0", "31", "x", "", "-3"}) {
        typePage(view, QLatin1String(bad));
        EXPECT_EQ(view.currentPage(), 4) << bad;
        EXPECT_TRUE(view.infoView()->entry()->text().isEmpty()) << bad;
    }
    EXPECT_EQ(changed.count(), 2);

    // Go works like Enter.
    view.infoView()->entry()->setText(QStringLiteral("12"));
    QTest::mousePress(view.infoView()->goButton(), Qt::LeftButton);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(view.currentPage(), 11);
}

TEST(RDPagingTest, RebuildWhileAClickIsQueuedAndAShorterList)
{
    RDPagingIndicateView view;
    view.resize(900, 40);
    view.setPageCount(30);
    typePage(view, QStringLiteral("21"));
    QSignalSpy changed(&view, &RDPagingIndicateView::currentPageChanged);

    // The pressed button is gone before its queued click arrives.
    QTest::mousePress(view.buttons().at(2), Qt::LeftButton);
    view.setPageCount(5);
    QCoreApplication::processEvents();
    // The current page moved into the shorter list, and the owner hears of it once.
    EXPECT_EQ(view.currentPage(), 4);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.last().at(0).toInt(), 4);
    EXPECT_EQ(view.infoView()->pageLabel()->text(), QStringLiteral("5 / 5"));
    EXPECT_EQ(view.buttonLabels(), labels(1, 5));

    view.setItemCount(0, 10);
    QCoreApplication::processEvents();
    EXPECT_TRUE(view.buttons().isEmpty());
    EXPECT_FALSE(view.infoView()->isVisibleTo(&view));
    EXPECT_EQ(view.currentPage(), 0);
}
