#include "PALogDB.h"
#include "PALogDialog.h"
#include "PALogsView.h"
#include "RDLabel.h"
#include "RDLocalize.h"
#include "RDPagingIndicateView.h"
#include "RDPagingInfoView.h"
#include "RDPagingItemView.h"
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "VDB.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QHeaderView>
#include <QMap>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QTableWidget>
#include <QTemporaryDir>

namespace {

// An event log of its own for each test; records are given by their
// conference and time, oldest first.
class PALogDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_oldDir = VDB::dataDir();
        VDB::setDataDir(m_dir.path());
        PALogDB log(true);
        ASSERT_TRUE(log.isOpen());
        log.checkUpgrade();
        ASSERT_TRUE(log.errorText().isEmpty());
    }
    void TearDown() override
    {
        PALogDB::closeSharedLog();
        VDB::setDataDir(m_oldDir);
    }

    static PALogRecord record(const QString &conference, const QString &dateTime)
    {
        PALogRecord r;
        r.groupConference = conference;
        r.groupName = QStringLiteral("Zone ") + conference;
        r.action = QStringLiteral("start");
        r.source = QStringLiteral("media");
        r.type = QStringLiteral("user");
        r.dateTime = dateTime;
        return r;
    }

    // n records, one a minute from 2024-05-01 08:00:00: odd ones in "3000",
    // even ones in "3001".
    static void fill(int n)
    {
        PALogDB log(true);
        QSqlDatabase db = log.database();
        ASSERT_TRUE(db.transaction());
        const QDateTime first(QDate(2024, 5, 1), QTime(8, 0));
        for (int i = 1; i <= n; ++i) {
            const QString time = first.addSecs(60 * (i - 1)).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            ASSERT_GT(log.insertLog(record(i % 2 ? QStringLiteral("3000") : QStringLiteral("3001"), time)), 0);
        }
        ASSERT_TRUE(db.commit());
    }

    static QString cell(const PALogsView *view, int row, int column)
    {
        const QTableWidgetItem *item = view->table()->item(row, column);
        return item ? item->text() : QStringLiteral("<none>");
    }

    static QStringList column(const PALogsView *view, int column)
    {
        QStringList texts;
        for (int row = 0; row < view->table()->rowCount(); ++row)
            texts << cell(view, row, column);
        return texts;
    }

    static QStringList headers(const PALogsView *view)
    {
        QStringList texts;
        for (int c = 0; c < view->table()->columnCount(); ++c)
            texts << view->table()->horizontalHeaderItem(c)->text();
        return texts;
    }

    static QString counter(const PALogsView *view)
    {
        return view->pagingView()->infoView()->pageLabel()->text();
    }

    QTemporaryDir m_dir;
    QString m_oldDir;
};

RDGroup zone(const QString &conference)
{
    RDGroup group;
    group.conference = conference;
    return group;
}

const QStringList kHeaders{"Group", "Action", "Source", "Type", "DateTime"};

} // namespace

TEST_F(PALogDialogTest, OpensOnTheNewestPageOfTheWholeLog)
{
    fill(120);
    PALogDialog dialog;
    const PALogsView *view = dialog.logsView();
    EXPECT_EQ(view->total(), 120);
    ASSERT_EQ(view->table()->rowCount(), 50);
    EXPECT_EQ(headers(view), kHeaders);
    // Record 120 is the newest, at 09:59.
    EXPECT_EQ(cell(view, 0, 4), QStringLiteral("2024-05-01 09:59:00"));
    EXPECT_EQ(cell(view, 49, 4), QStringLiteral("2024-05-01 09:10:00"));
    const QStringList first{cell(view, 0, 0), cell(view, 0, 1), cell(view, 0, 2), cell(view, 0, 3)};
    EXPECT_EQ(first, (QStringList{"3001", "Start", "Medium", "Manual"}));
    EXPECT_FALSE(view->table()->item(0, 0)->flags() & Qt::ItemIsEditable);
    EXPECT_EQ(view->pagingView()->pageCount(), 3);
    EXPECT_EQ(counter(view), QStringLiteral("1 / 3"));
    // The date range begins a year back and ends today.
    EXPECT_EQ(dialog.startDateEdit()->date(), QDate::currentDate().addDays(-365));
    EXPECT_EQ(dialog.endDateEdit()->date(), QDate::currentDate());
}

TEST_F(PALogDialogTest, SearchesOneZoneOrAll)
{
    fill(120);
    PALogDialog dialog;
    dialog.setGroups({zone(QStringLiteral("3001")), zone(QStringLiteral("3000"))});
    QComboBox *combo = dialog.zoneCombo();
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(0), QStringLiteral("All"));
    EXPECT_EQ(combo->itemData(0).toString(), QString());
    EXPECT_EQ(combo->itemText(1), QStringLiteral("3001"));
    EXPECT_EQ(combo->itemData(2).toString(), QStringLiteral("3000"));

    dialog.startDateEdit()->setDate(QDate(2024, 5, 1));
    dialog.endDateEdit()->setDate(QDate(2024, 5, 1));
    combo->setCurrentIndex(2);
    dialog.searchButton()->click();
    const PALogsView *view = dialog.logsView();
    EXPECT_EQ(view->total(), 60);
    ASSERT_EQ(view->table()->rowCount(), 50);
    EXPECT_EQ(column(view, 0).filter(QRegularExpression(QStringLiteral("^3000$"))).size(), 50);
    EXPECT_EQ(cell(view, 0, 4), QStringLiteral("2024-05-01 09:58:00"));

    combo->setCurrentIndex(0);
    dialog.searchButton()->click();
    EXPECT_EQ(view->total(), 120);

    // A zone with no record in the log.
    dialog.setGroups({zone(QStringLiteral("3999"))});
    combo->setCurrentIndex(1);
    dialog.searchButton()->click();
    EXPECT_EQ(view->total(), 0);
    EXPECT_EQ(view->table()->rowCount(), 0);
}

TEST(PALogSearchRange, DaysInEitherOrderCoverBothWholeDays)
{
    const struct {
        QDate start, end;
        const char *startTime, *endTime;
    } cases[] = {
        {QDate(2024, 5, 1), QDate(2024, 5, 10), "2024-05-01 00:00:00", "2024-05-10 23:59:59"},
        {QDate(2024, 5, 10), QDate(2024, 5, 1), "2024-05-01 00:00:00", "2024-05-10 23:59:59"},
        {QDate(2024, 5, 3), QDate(2024, 5, 3), "2024-05-03 00:00:00", "2024-05-03 23:59:59"},
        {QDate(), QDate(2024, 5, 1), "", "2024-05-01 23:59:59"},
        {QDate(2024, 5, 10), QDate(), "2024-05-10 00:00:00", ""},
    };
    for (const auto &c : cases) {
        QString startTime = QStringLiteral("stale");
        QString endTime = QStringLiteral("stale");
        PALogDialog::searchRange(c.start, c.end, startTime, endTime);
        EXPECT_EQ(startTime, QLatin1String(c.startTime)) << c.start.toString().toStdString();
        EXPECT_EQ(endTime, QLatin1String(c.endTime)) << c.end.toString().toStdString();
    }
}

TEST_F(PALogDialogTest, StartAfterEndStillFindsBothEndDays)
{
    {
        PALogDB log(true);
        for (const char *time : {"2024-04-30 23:59:59", "2024-05-01 00:00:00", "2024-05-05 12:00:00",
                                 "2024-05-10 23:59:59", "2024-05-11 00:00:00"})
            ASSERT_GT(log.insertLog(record(QStringLiteral("3000"), QLatin1String(time))), 0);
    }
    PALogDialog dialog;
    dialog.startDateEdit()->setDate(QDate(2024, 5, 10));
    dialog.endDateEdit()->setDate(QDate(2024, 5, 1));
    dialog.searchButton()->click();
    EXPECT_EQ(column(dialog.logsView(), 4),
              (QStringList{"2024-05-10 23:59:59", "2024-05-05 12:00:00", "2024-05-01 00:00:00"}));
}

TEST_F(PALogDialogTest, PagesForwardAndBackAndANewSearchStartsOnPageOne)
{
    fill(300);
    PALogDialog dialog;
    dialog.show();
    const PALogsView *view = dialog.logsView();
    RDPagingIndicateView *pager = view->pagingView();
    ASSERT_EQ(pager->pageCount(), 6);
    auto goTo = [&](int button, const QString &newest) {
        RDPagingItemView *item = pager->buttons().at(button);
        PaUiTest::click(item, Qt::LeftButton, item->rect().center());
        EXPECT_TRUE(PaTest::waitUntil([&] { return cell(view, 0, 4) == newest; }, 5000))
            << "page " << button << " shows " << cell(view, 0, 4).toStdString();
    };
    // Page 5 holds records 100 (09:39) down to 51 (08:50).
    goTo(4, QStringLiteral("2024-05-01 09:39:00"));
    EXPECT_EQ(view->table()->rowCount(), 50);
    EXPECT_EQ(cell(view, 49, 4), QStringLiteral("2024-05-01 08:50:00"));
    EXPECT_EQ(counter(view), QStringLiteral("5 / 6"));
    goTo(5, QStringLiteral("2024-05-01 08:49:00"));
    EXPECT_EQ(view->table()->rowCount(), 50);
    goTo(0, QStringLiteral("2024-05-01 12:59:00"));
    EXPECT_EQ(counter(view), QStringLiteral("1 / 6"));

    goTo(4, QStringLiteral("2024-05-01 09:39:00"));
    dialog.startDateEdit()->setDate(QDate(2024, 5, 1));
    dialog.endDateEdit()->setDate(QDate(2024, 5, 1));
    dialog.searchButton()->click();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(pager->currentPage(), 0);
    EXPECT_EQ(counter(view), QStringLiteral("1 / 6"));
    EXPECT_EQ(pager->selectedButton(), 0);
    EXPECT_EQ(cell(view, 0, 4), QStringLiteral("2024-05-01 12:59:00"));
}

TEST_F(PALogDialogTest, SearchShowsRecordsWrittenSinceTheDialogOpened)
{
    fill(3);
    PALogDialog dialog;
    EXPECT_EQ(dialog.logsView()->total(), 3);
    // Posted records go through the log's own thread; a read waits for them.
    PALogRecord stop = record(QStringLiteral("3001"), QStringLiteral("2024-05-02 10:00:00"));
    stop.action = QStringLiteral("stop");
    stop.type = QStringLiteral("internal");
    PALogDB::postLog(record(QStringLiteral("3000"), QStringLiteral("2024-05-02 09:00:00")));
    PALogDB::postLog(stop);
    dialog.startDateEdit()->setDate(QDate(2024, 5, 1));
    dialog.endDateEdit()->setDate(QDate(2024, 5, 2));
    dialog.searchButton()->click();
    const PALogsView *view = dialog.logsView();
    EXPECT_EQ(view->total(), 5);
    ASSERT_EQ(view->table()->rowCount(), 5);
    EXPECT_EQ((QStringList{cell(view, 0, 0), cell(view, 0, 1), cell(view, 0, 3), cell(view, 0, 4)}),
              (QStringList{"3001", "Stop", "Call Ended", "2024-05-02 10:00:00"}));
}

TEST_F(PALogDialogTest, EmptyLogShowsTheHeadersAndNoPages)
{
    PALogDialog dialog;
    dialog.show();
    const PALogsView *view = dialog.logsView();
    EXPECT_EQ(view->total(), 0);
    EXPECT_EQ(view->table()->rowCount(), 0);
    EXPECT_EQ(headers(view), kHeaders);
    EXPECT_EQ(view->pagingView()->pageCount(), 0);
    EXPECT_TRUE(view->pagingView()->buttons().isEmpty());
    EXPECT_FALSE(view->pagingView()->infoView()->isVisible());
}

TEST(PALogWords, StoredValuesBecomeTheirWordsTranslatedWhereTheyShouldBe)
{
    PaUiTest::TestLanguage language("Stop=Halt\nMedium=Datei\nManual=Hand\nCall Ended=Aufgelegt\n"
                                    "API=Schnittstelle\nHTTP=Netz\nPlay Ended=Fertig\n");
    ASSERT_TRUE(language.isValid());
    ASSERT_TRUE(RDLocalize::changeLanguage(QStringLiteral("Test")));
    EXPECT_EQ(PALogsView::actionText(QStringLiteral("stop")), QStringLiteral("Halt"));
    EXPECT_EQ(PALogsView::actionText(QStringLiteral("app listen")), QStringLiteral("APP Listen"));
    EXPECT_EQ(PALogsView::actionText(QStringLiteral("Start")), QString());
    EXPECT_EQ(PALogsView::sourceText(QStringLiteral("media")), QStringLiteral("Datei"));
    EXPECT_EQ(PALogsView::sourceText(QStringLiteral("stream")), QStringLiteral("Live Radio"));
    EXPECT_EQ(PALogsView::sourceText(QStringLiteral("none")), QString());

    const struct {
        const char *action, *type, *shown;
    } types[] = {
        {"start", "user", "Hand"},
        {"start", "api", "Schnittstelle"},
        {"start", "http", "HTTP"},
        {"start", "sipTrunk", "SIP Trunk"},
        {"start", "internal", ""},
        {"start", "media", ""},
        {"stop", "internal", "Call Ended"},
        {"stop", "external", "Aufgelegt"},
        {"stop", "media", "Fertig"},
        {"stop", "api", "API"},
        {"stop", "http", "HTTP"},
        {"app talk", "user", "Hand"},
        {"stop", "none", ""},
        {"stop", "pray", ""},
        {"", "", ""},
    };
    for (const auto &t : types) {
        EXPECT_EQ(PALogsView::typeText(QLatin1String(t.action), QLatin1String(t.type)), QLatin1String(t.shown))
            << t.action << " / " << t.type;
    }
}

TEST(PALogWords, ShippedEnglishFileHoldsEveryText)
{
    QMap<QString, QString> map;
    ASSERT_TRUE(RDLocalize::loadFile(PaTest::binDir() + QStringLiteral("/language/English.txt"), map));
    for (const char *key : {"All", "Search", "Zone", "Start Date", "End Date", "Group", "Action", "Source", "Type",
                            "DateTime", "Start", "Stop", "APP Talk", "APP Listen", "Medium", "Sound Device",
                            "Live Radio", "Pray", "Manual", "Schedule", "Call Conference", "SIP Trunk", "API",
                            "Play Ended", "Call Ended"}) {
        EXPECT_EQ(map.value(QString::fromLatin1(key).toLower()), QLatin1String(key)) << key;
    }
}
