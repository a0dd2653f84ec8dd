#include "FakePrayService.h"
#include "PAPrayCalendar.h"
#include "RDCalendarView.h"
#include "RDLabel.h"
#include "RDModal.h"
#include "RDPrayInfoDialog.h"
#include "RDPrayQueryDialog.h"
#include "RDUtils.h"
#include "UiTestSupport.h"
#include "Velmar.h"
#include "ZoneStoreFixture.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

const QString kPlace = QStringLiteral("Cairo, Egypt");

// A month whose day d has its Dhuhr at 12:dd, so that days can be told apart.
QByteArray distinctMonth(int year, int month)
{
    const int count = QDate(year, month, 1).daysInMonth();
    QJsonObject answer = QJsonDocument::fromJson(FakePrayService::monthAnswer(year, month, count)).object();
    QJsonArray data = answer.value(QStringLiteral("data")).toArray();
    for (int i = 0; i < data.size(); ++i) {
        QJsonObject day = data[i].toObject();
        QJsonObject timings = day.value(QStringLiteral("timings")).toObject();
        timings.insert(QStringLiteral("Dhuhr"), QStringLiteral("12:%1 (EET)").arg(i + 1, 2, 10, QLatin1Char('0')));
        day.insert(QStringLiteral("timings"), timings);
        data[i] = day;
    }
    answer.insert(QStringLiteral("data"), data);
    return QJsonDocument(answer).toJson(QJsonDocument::Compact);
}

// Lets the next query dialog run its own loop until its work ends it.
void runQueryDialog()
{
    RDModal::Answer run;
    run.kind = QStringLiteral("dialog:RDPrayQueryDialog");
    run.realExec = true;
    RDModal::queue(run);
}

class PrayDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_prayDir.isValid());
        Velmar::setPrayDir(m_prayDir.path());
        PAPrayCalendar::setRequestTimeoutMs(3000);
    }
    void TearDown() override
    {
        Velmar::setPrayDir(QString());
        PAPrayCalendar::setServiceUrl(QString());
        PAPrayCalendar::setRequestTimeoutMs(0);
    }

    // Runs one query dialog for `year`-`month` of kPlace to its end.
    int query(int year, int month, QVector<PAPrayDay> *days)
    {
        RDPrayQueryDialog dialog;
        dialog.setQuery(kPlace, 5, 0, 3);
        dialog.setYearMonth(year, month);
        dialog.startWork();
        runQueryDialog();
        const int result = dialog.exec();
        EXPECT_FALSE(dialog.hasWorker());
        *days = dialog.days();
        return result;
    }

    QString cacheFile(int year, int month) const
    {
        return Velmar::prayCacheFile(kPlace, 5, 0, 3, year, month);
    }

    QTemporaryDir m_prayDir;
};

} // namespace

TEST_F(PrayDialogTest, QueryFetchesAMonthOnceAndThenReadsItsCache)
{
    FakePrayService service([](const QString &) { return FakePrayService::Reply{200, distinctMonth(2026, 2)}; });
    PAPrayCalendar::setServiceUrl(service.url());

    QVector<PAPrayDay> days;
    ASSERT_EQ(query(2026, 2, &days), QDialog::Accepted);
    ASSERT_EQ(days.size(), 28);
    EXPECT_EQ(days[16].date, QDate(2026, 2, 17));
    EXPECT_EQ(days[16].times[2].toString(), QStringLiteral("12:17"));
    EXPECT_EQ(service.requestCount(), 1);
    EXPECT_TRUE(QFile::exists(cacheFile(2026, 2)));

    ASSERT_EQ(query(2026, 2, &days), QDialog::Accepted);
    EXPECT_EQ(days.size(), 28);
    EXPECT_EQ(service.requestCount(), 1);
}

// Whatever the service does, the dialog ends by itself with no days; only a
// complete answer is cached, and a month without days is asked for again.
TEST_F(PrayDialogTest, QueryFailuresEndWithNoDays)
{
    const struct
    {
        const char *what;
        FakePrayService::Reply reply;
        bool cached;
    } cases[] = {
        {"error status", {500, QByteArrayLiteral("{\"code\":500}")}, false},
        {"answer that is not JSON", {200, QByteArrayLiteral("<html>busy</html>")}, true},
        {"service that never answers", {200, QByteArray(), true}, false},
    };
    PAPrayCalendar::setRequestTimeoutMs(300);
    int month = 1;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        FakePrayService service([&c](const QString &) { return c.reply; });
        PAPrayCalendar::setServiceUrl(service.url());
        QVector<PAPrayDay> days;
        EXPECT_EQ(query(2025, month, &days), QDialog::Accepted);
        EXPECT_TRUE(days.isEmpty());
        EXPECT_EQ(QFile::exists(cacheFile(2025, month)), c.cached);
        EXPECT_EQ(query(2025, month, &days), QDialog::Accepted);
        EXPECT_EQ(service.requestCount(), 2);
        ++month;
    }
}

// Closing the dialog at any moment of a fetch from a silent service ends
// the worker at once (a lost cancel would wait out the 15 s), leaves
// nothing cached and, under the address sanitizer, touches nothing freed.
TEST_F(PrayDialogTest, ClosingMidFetchEndsTheWorkerAtOnce)
{
    FakePrayService service([](const QString &) { return FakePrayService::Reply{200, QByteArray(), true}; });
    PAPrayCalendar::setServiceUrl(service.url());
    PAPrayCalendar::setRequestTimeoutMs(15000);
    qint64 slowest = 0;
    for (int i = 0; i < 100; ++i) {
        QElapsedTimer closing;
        {
            RDPrayQueryDialog dialog;
            dialog.setQuery(kPlace, 5, 0, 3);
            dialog.setYearMonth(2024, 1 + i % 12);
            ASSERT_TRUE(dialog.startWork());
            // Vary the moment: before the request, while it is made, while
            // the worker waits for the answer.
            QThread::usleep(static_cast<unsigned long>((i % 6) * 1000));
            closing.start();
            if (i % 3 == 0)
                dialog.reject();
            else if (i % 3 == 1)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            if (i % 3 != 2) {
                EXPECT_FALSE(dialog.hasWorker());
                EXPECT_TRUE(dialog.days().isEmpty());
            }
            // Otherwise destroyed with the work still running.
        }
        slowest = qMax(slowest, closing.elapsed());
    }
    EXPECT_LT(slowest, 2000);
    EXPECT_TRUE(QDir(m_prayDir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(PrayDialogTest, SettingsDialogShowsTheDaysOfTheCalendar)
{
    const QDate today = QDate::currentDate();
    const QDate next = today.addMonths(1);
    ASSERT_TRUE(writeFile(cacheFile(today.year(), today.month()), distinctMonth(today.year(), today.month())));
    FakePrayService service(
        [next](const QString &) { return FakePrayService::Reply{200, distinctMonth(next.year(), next.month())}; });
    PAPrayCalendar::setServiceUrl(service.url());

    RDPrayInfoDialog dialog;
    dialog.init(kPlace, 5, 0, 3);
    EXPECT_EQ(dialog.timeText(2), QStringLiteral("12:%1").arg(today.day(), 2, 10, QLatin1Char('0')));
    EXPECT_EQ(dialog.timeText(0), QStringLiteral("04:31"));
    EXPECT_TRUE(RDModal::takeShown().isEmpty());

    // Method 6 names no method: the combo keeps its item.
    dialog.init(kPlace, 6, 0, 3);
    EXPECT_EQ(dialog.method(), 5);

    // The first day picked loads the month (from its cache, no request).
    const QDate first(today.year(), today.month(), 1);
    runQueryDialog();
    dialog.onClickCalendar(first);
    EXPECT_EQ(dialog.timeText(2), QStringLiteral("12:01"));
    EXPECT_EQ(RDModal::takeShown(QStringLiteral("dialog:RDPrayQueryDialog")).size(), 1);
    // Another day of that month: no loading dialog.
    dialog.onClickCalendar(first.addDays(9));
    EXPECT_EQ(dialog.timeText(2), QStringLiteral("12:10"));
    EXPECT_TRUE(RDModal::takeShown().isEmpty());
    EXPECT_EQ(service.requestCount(), 0);

    // A day of the next month is fetched.
    runQueryDialog();
    dialog.onClickCalendar(QDate(next.year(), next.month(), 2));
    EXPECT_EQ(dialog.timeText(2), QStringLiteral("12:02"));
    EXPECT_EQ(service.requestCount(), 1);
    EXPECT_EQ(dialog.selectedDate(), QDate(next.year(), next.month(), 2));
}

// A fetch of another month that the operator closes leaves the held days
// those of the old month: a day of the new month is then fetched, not
// looked up among them.
TEST_F(PrayDialogTest, ClosedFetchLeavesTheNewMonthToBeFetched)
{
    const QDate today = QDate::currentDate();
    const QDate next = today.addMonths(1);
    ASSERT_TRUE(writeFile(cacheFile(today.year(), today.month()), distinctMonth(today.year(), today.month())));
    ASSERT_TRUE(writeFile(cacheFile(next.year(), next.month()), distinctMonth(next.year(), next.month())));
    RDPrayInfoDialog dialog;
    dialog.init(kPlace, 5, 0, 3);
    runQueryDialog();
    dialog.onClickCalendar(QDate(today.year(), today.month(), 3));
    RDModal::queue(QStringLiteral("dialog:RDPrayQueryDialog"), QDialog::Rejected);
    dialog.onClickCalendar(QDate(next.year(), next.month(), 4));
    runQueryDialog();
    dialog.onClickCalendar(QDate(next.year(), next.month(), 5));
    EXPECT_EQ(dialog.timeText(2), QStringLiteral("12:05"));
    EXPECT_EQ(RDModal::pendingAnswers(), 0);
}

namespace {

class PraySettingsStoreTest : public ZoneStoreFixture
{
};

} // namespace

// The settings dialog's four values, from a stored zone and back into it.
TEST_F(PraySettingsStoreTest, SettingsRoundTripThroughTheDatabase)
{
    const struct
    {
        const char *what;
        const char *location;
        int method, school, latitude;
        std::function<void(RDPrayInfoDialog &)> edit;
        const char *expectedLocation;
        int expectedMethod, expectedSchool, expectedLatitude;
    } cases[] = {
        {"untouched", "Makkah, Saudi Arabia", 4, 0, 3, {}, "Makkah, Saudi Arabia", 4, 0, 3},
        {"every field changed", "Cairo, Egypt", 5, 0, 3,
         [](RDPrayInfoDialog &d) {
             d.locationEdit()->setText(QStringLiteral("Zürich, Schweiz"));
             d.methodBox()->setCurrentIndex(d.methodBox()->findData(15));
             d.schoolBox()->setCurrentIndex(1);
             d.latitudeBox()->setCurrentIndex(0);
         },
         "Zürich, Schweiz", 15, 1, 1},
        {"an empty place stays empty", "", 2, 1, 2, {}, "", 2, 1, 2},
    };
    int conference = 3200;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        RDGroup zone;
        zone.name = QStringLiteral("Prayer hall");
        zone.source = QStringLiteral("pray");
        zone.conference = QString::number(conference++);
        zone.prayLocation = QString::fromUtf8(c.location);
        zone.prayMethod = c.method;
        zone.praySchool = c.school;
        zone.prayLatitudeAdjustmentMethod = c.latitude;
        const RDGroup loaded = stored(zone);

        RDPrayInfoDialog dialog;
        dialog.init(loaded.prayLocation, loaded.prayMethod, loaded.praySchool, loaded.prayLatitudeAdjustmentMethod);
        if (c.edit)
            c.edit(dialog);
        RDModal::Answer ok;
        ok.kind = QStringLiteral("dialog:RDPrayInfoDialog");
        ok.realExec = true;
        ok.action = [&dialog](QObject *) { QTest::mouseClick(dialog.okButton(), Qt::LeftButton); };
        RDModal::queue(ok);
        ASSERT_EQ(dialog.exec(), QDialog::Accepted);
        RDGroup out = loaded;
        out.prayLocation = dialog.location();
        out.prayMethod = dialog.method();
        out.praySchool = dialog.school();
        out.prayLatitudeAdjustmentMethod = dialog.latitudeAdjustmentMethod();
        ASSERT_TRUE(m_velmar->updateGroup(loaded, out));

        const RDGroup back = m_velmar->getGroupById(loaded.id);
        EXPECT_EQ(back.prayLocation, QString::fromUtf8(c.expectedLocation));
        EXPECT_EQ(back.prayMethod, c.expectedMethod);
        EXPECT_EQ(back.praySchool, c.expectedSchool);
        EXPECT_EQ(back.prayLatitudeAdjustmentMethod, c.expectedLatitude);
        EXPECT_EQ(back.name, zone.name);
    }
}
