#include "RDCalendarView.h"
#include "RDGroupMoreDialog.h"
#include "RDGroupRTPWidget.h"
#include "RDGroupSIPTrunkWidget.h"
#include "RDGroupScheduleWidget.h"
#include "RDLabel.h"
#include "RDLocalize.h"
#include "RDModal.h"
#include "RDMonthlyView.h"
#include "RDPixmapButton.h"
#include "RDWeeklyView.h"
#include "RTPOperatorDeleteWidget.h"
#include "RTPOperatorEditWidget.h"
#include "RTPOperatorEventDialog.h"
#include "RTPOperatorListWidget.h"
#include "UiTestSupport.h"
#include "ZoneStoreFixture.h"
#include "Velmar.h"
#include "VelmarRunRecord.h"
#include "VelmarScheduleThread.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimeEdit>

#include <functional>
#include <memory>

namespace {

RDGroupScheduleOperation op(const char *time, const char *action)
{
    return {QLatin1String(time), QLatin1String(action)};
}

QString opsText(const QVector<RDGroupScheduleOperation> &ops)
{
    QStringList parts;
    for (const RDGroupScheduleOperation &o : ops)
        parts.append(o.time + QLatin1Char(' ') + o.action);
    return parts.join(QStringLiteral(", "));
}

// Answers the next operation editor with `time` and `action`.
void answerOperation(const char *time, const char *action, int result = QDialog::Accepted)
{
    RDModal::Answer answer;
    answer.kind = QStringLiteral("dialog:RTPOperatorEventDialog");
    answer.result = result;
    const QString t = QLatin1String(time);
    const bool start = QLatin1String(action) == QLatin1String("start");
    answer.action = [t, start](QObject *object) {
        auto *dialog = qobject_cast<RTPOperatorEventDialog *>(object);
        ASSERT_TRUE(dialog);
        dialog->timeEdit()->setTime(QTime::fromString(t, QStringLiteral("HH:mm")));
        (start ? dialog->startButton() : dialog->stopButton())->setChecked(true);
    };
    RDModal::queue(answer);
}

// The fields the more dialog edits, one "name=value" each.
QStringList moreFields(const RDGroup &g)
{
    return {QStringLiteral("scheduleEnable=%1").arg(g.scheduleEnable),
            QStringLiteral("scheduleRepeatType=") + g.scheduleRepeatType,
            QStringLiteral("scheduleRepeatValue=") + g.scheduleRepeatValue,
            QStringLiteral("scheduleTime=") + g.scheduleTime,
            QStringLiteral("scheduleOperations=") + g.scheduleOperations,
            QStringLiteral("sipTrunkEnable=%1").arg(g.sipTrunkEnable),
            QStringLiteral("sipTrunkServer=") + g.sipTrunkServer,
            QStringLiteral("sipTrunkPort=") + g.sipTrunkPort,
            QStringLiteral("sipTrunkNumber=") + g.sipTrunkNumber,
            QStringLiteral("sipTrunkName=") + g.sipTrunkName,
            QStringLiteral("sipTrunkPassword=") + g.sipTrunkPassword,
            QStringLiteral("sipTrunkExpire=") + g.sipTrunkExpire,
            QStringLiteral("rtpEnable=%1").arg(g.rtpEnable),
            QStringLiteral("rtpUrl=") + g.rtpUrl,
            QStringLiteral("httpOutputEnable=%1").arg(g.httpOutputEnable),
            // Fields of other editors must come through untouched.
            QStringLiteral("name=") + g.name,
            QStringLiteral("source=") + g.source,
            QStringLiteral("conference=") + g.conference};
}

// A zone as an installation holds it.
RDGroup realisticZone(const QString &conference)
{
    RDGroup g;
    g.name = QStringLiteral("Lobby and entrance");
    g.source = QStringLiteral("media");
    g.conference = conference;
    g.volume = 3;
    g.priority = 5;
    g.mediumLoopType = QStringLiteral("list");
    g.scheduleEnable = 1;
    g.scheduleRepeatType = QStringLiteral("weekly");
    g.scheduleRepeatValue = QStringLiteral("1;3;5;");
    g.scheduleTime = QStringLiteral("20260301");
    g.setScheduleOperations({op("07:30", "start"), op("12:00", "stop"), op("13:00", "start"), op("18:15", "stop")});
    g.sipTrunkEnable = 1;
    g.sipTrunkServer = QStringLiteral("sip.carrier.example");
    g.sipTrunkPort = QStringLiteral("5060");
    g.sipTrunkNumber = QStringLiteral("+4930123456");
    g.sipTrunkName = QStringLiteral("Empfang Süd");
    g.sipTrunkPassword = QStringLiteral("s3cret pass\"word");
    g.sipTrunkExpire = QStringLiteral("3600");
    g.rtpEnable = 1;
    g.rtpUrl = QStringLiteral("239.255.0.1:5008");
    g.httpOutputEnable = 1;
    return g;
}

class ZoneStoreTest : public ZoneStoreFixture
{
};

struct RoundTrip
{
    const char *what;
    std::function<void(RDGroup &)> store;         // from the realistic zone
    std::function<void(RDGroupMoreDialog &)> edit; // the operator's changes
    std::function<void(RDGroup &)> expect;         // from the stored zone
};

} // namespace

// Each case stores a zone, shows it, makes the operator's changes, reads the
// dialog back into the caller's record, stores that through the central
// object and compares what the database then holds.
TEST_F(ZoneStoreTest, MoreDialogRoundTripsEveryFieldThroughTheDatabase)
{
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    const RoundTrip cases[] = {
        {"untouched weekly zone reads back as stored", {}, {}, {}},
        {"a stored repeat type in capitals reads back in lower case",
         [](RDGroup &g) {
             g.scheduleRepeatType = QStringLiteral("Monthly");
             g.scheduleRepeatValue = QStringLiteral("1;15;31;");
         },
         {}, [](RDGroup &g) { g.scheduleRepeatType = QStringLiteral("monthly"); }},
        {"a date that does not read becomes today",
         [](RDGroup &g) {
             g.scheduleRepeatType = QStringLiteral("onceonly");
             g.scheduleRepeatValue.clear();
             g.scheduleTime = QStringLiteral("20261345");
         },
         {}, [today](RDGroup &g) { g.scheduleTime = today; }},
        {"an unknown repeat type reads back as once only without a value",
         [](RDGroup &g) { g.scheduleRepeatType = QStringLiteral("yearly"); }, {},
         [](RDGroup &g) {
             g.scheduleRepeatType = QStringLiteral("onceonly");
             g.scheduleRepeatValue.clear();
         }},
        {"a disabled schedule, trunk and outputs keep their values",
         [](RDGroup &g) {
             g.scheduleEnable = 0;
             g.sipTrunkEnable = 0;
             g.rtpEnable = 0;
             g.httpOutputEnable = 0;
         },
         {}, {}},
        {"switching to daily drops the weekdays and keeps the date",
         {}, [](RDGroupMoreDialog &d) { d.scheduleWidget()->repeatBox()->setCurrentIndex(1); },
         [](RDGroup &g) {
             g.scheduleRepeatType = QStringLiteral("daily");
             g.scheduleRepeatValue.clear();
         }},
        {"edits on every tab are stored as typed",
         [](RDGroup &g) {
             g.scheduleEnable = 0;
             g.scheduleRepeatType = QStringLiteral("onceonly");
             g.scheduleRepeatValue.clear();
             g.setScheduleOperations({});
             g.sipTrunkEnable = 0;
             g.rtpEnable = 0;
         },
         [](RDGroupMoreDialog &d) {
             RDGroupScheduleWidget *s = d.scheduleWidget();
             s->enableBox()->setChecked(true);
             s->repeatBox()->setCurrentIndex(2);
             s->weeklyView()->setSelectedDays(QStringLiteral("0;6;"));
             answerOperation("09:15", "stop");
             answerOperation("06:45", "start");
             s->addButton()->clicked();
             s->addButton()->clicked();
             RDGroupSIPTrunkWidget *t = d.sipTrunkWidget();
             t->enableBox()->setChecked(true);
             t->edit(RDGroupSIPTrunkWidget::Server)->setText(QStringLiteral("10.0.0.5"));
             t->edit(RDGroupSIPTrunkWidget::Port)->setText(QStringLiteral("not a port"));
             t->edit(RDGroupSIPTrunkWidget::Password)->setText(QStringLiteral("pä ss'; drop"));
             RDGroupRTPWidget *r = d.rtpWidget();
             r->rtpBox()->setChecked(true);
             r->addressEdit()->setText(QStringLiteral("239.1.2.3:6000"));
             r->httpBox()->setChecked(false);
         },
         [](RDGroup &g) {
             g.scheduleEnable = 1;
             g.scheduleRepeatType = QStringLiteral("weekly");
             g.scheduleRepeatValue = QStringLiteral("0;6;");
             g.setScheduleOperations({op("06:45", "start"), op("09:15", "stop")});
             g.sipTrunkEnable = 1;
             g.sipTrunkServer = QStringLiteral("10.0.0.5");
             g.sipTrunkPort = QStringLiteral("not a port");
             g.sipTrunkPassword = QStringLiteral("pä ss'; drop");
             g.rtpEnable = 1;
             g.rtpUrl = QStringLiteral("239.1.2.3:6000");
             g.httpOutputEnable = 0;
         }},
    };
    int conference = 3100;
    for (const RoundTrip &c : cases) {
        SCOPED_TRACE(c.what);
        RDGroup zone = realisticZone(QString::number(conference++));
        if (c.store)
            c.store(zone);
        const RDGroup loaded = stored(zone);
        ASSERT_TRUE(loaded.isValid());

        RDGroupMoreDialog dialog;
        dialog.setGroup(loaded);
        if (c.edit)
            c.edit(dialog);
        RDGroup out = loaded;
        dialog.getGroup(out);
        ASSERT_TRUE(m_velmar->updateGroup(loaded, out));

        RDGroup expected = loaded;
        if (c.expect)
            c.expect(expected);
        EXPECT_EQ(moreFields(m_velmar->getGroupById(loaded.id)), moreFields(expected));
        EXPECT_EQ(RDModal::pendingAnswers(), 0);
    }
}

// Apply hands the edits to the caller while the dialog stays open; when the
// caller cannot store them, the operator's edits are still in the controls
// for the next Apply or OK.
TEST_F(ZoneStoreTest, FailedApplyKeepsTheDialogOpenWithTheEdits)
{
    stored(realisticZone(QStringLiteral("3001")));
    const RDGroup zone = stored(realisticZone(QStringLiteral("3000")));
    // The caller's record, whose number the operator changed to a taken one.
    RDGroup panel = zone;
    panel.conference = QStringLiteral("3001");
    RDGroup baseline = zone;
    QList<bool> stores;

    RDGroupMoreDialog dialog;
    dialog.setCurrentTab(RDGroupMoreDialog::SipTrunkTab);
    dialog.setGroup(panel);
    QObject::connect(&dialog, &RDGroupMoreDialog::requestApplyGroup, [&](const RDGroup &) {
        RDGroup edited = panel;
        dialog.getGroup(edited);
        const bool ok = m_velmar->updateGroup(baseline, edited);
        if (ok)
            baseline = panel = edited;
        else
            dialog.showToast(QStringLiteral("Save Failure"));
        stores.append(ok);
    });

    QLineEdit *server = dialog.sipTrunkWidget()->edit(RDGroupSIPTrunkWidget::Server);
    RDModal::Answer run;
    run.kind = QStringLiteral("dialog:RDGroupMoreDialog");
    run.realExec = true;
    run.action = [&](QObject *) {
        server->setText(QStringLiteral("pbx.other.example"));
        QTest::mouseClick(dialog.applyButton(), Qt::LeftButton);
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(server->text(), QStringLiteral("pbx.other.example"));
        EXPECT_EQ(m_velmar->getGroupById(zone.id).sipTrunkServer, zone.sipTrunkServer);

        panel.conference = QStringLiteral("3002");
        QTest::mouseClick(dialog.applyButton(), Qt::LeftButton);
        EXPECT_EQ(m_velmar->getGroupById(zone.id).sipTrunkServer, QStringLiteral("pbx.other.example"));

        dialog.sipTrunkWidget()->edit(RDGroupSIPTrunkWidget::Port)->setText(QStringLiteral("5080"));
        QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
    };
    RDModal::queue(run);
    ASSERT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(stores, (QList<bool>{false, true}));
    EXPECT_EQ(dialog.tabWidget()->currentIndex(), int(RDGroupMoreDialog::SipTrunkTab));

    RDGroup accepted = panel;
    dialog.getGroup(accepted);
    EXPECT_EQ(accepted.sipTrunkServer, QStringLiteral("pbx.other.example"));
    EXPECT_EQ(accepted.sipTrunkPort, QStringLiteral("5080"));
    EXPECT_EQ(dialog.group().sipTrunkPort, QStringLiteral("5080"));
}

// What the operator schedules in the dialog is what the schedule thread
// runs once it is stored.
TEST_F(ZoneStoreTest, ScheduledOperationsReachTheScheduleThread)
{
    RDGroup zone = realisticZone(QStringLiteral("3010"));
    zone.scheduleEnable = 0;
    zone.setScheduleOperations({});
    zone = stored(zone);
    RDGroup other = stored(realisticZone(QStringLiteral("3011")));
    Q_UNUSED(other);

    RDGroupMoreDialog dialog;
    dialog.setGroup(zone);
    RDGroupScheduleWidget *s = dialog.scheduleWidget();
    s->enableBox()->setChecked(true);
    s->repeatBox()->setCurrentIndex(1);
    answerOperation("08:00", "start");
    answerOperation("08:01", "stop");
    s->addButton()->clicked();
    s->addButton()->clicked();
    RDGroup out = zone;
    dialog.getGroup(out);
    ASSERT_TRUE(m_velmar->updateGroup(zone, out));

    QStringList events;
    VelmarScheduleThread thread(std::make_shared<VelmarRunRecord>());
    thread.setActions({[&](const RDGroup &g) { events.append(QStringLiteral("start ") + g.conference); },
                       [&](const RDGroup &g) { events.append(QStringLiteral("stop ") + g.conference); }});
    const QVector<RDGroup> groups = m_velmar->getGroups();
    const QDate day(2026, 3, 3); // a Tuesday: not one of the other zone's days
    const auto at = [&](int h, int m, int s) { return QDateTime(day, QTime(h, m, s)); };
    thread.runPass(groups, at(7, 59, 58), 0);
    thread.runPass(groups, at(8, 0, 3), 5000);
    EXPECT_EQ(events, QStringList{QStringLiteral("start 3010")});
    thread.runPass(groups, at(8, 1, 2), 64000);
    thread.runPass(groups, at(8, 1, 7), 69000);
    EXPECT_EQ(events, (QStringList{QStringLiteral("start 3010"), QStringLiteral("stop 3010")}));
}

TEST(RTPOperatorList, InsertionKeepsTimeThenActionOrder)
{
    struct Case
    {
        const char *what;
        QVector<RDGroupScheduleOperation> list;
        RDGroupScheduleOperation added;
        const char *expected;
    };
    const Case cases[] = {
        {"a stop after the start of the same minute", {op("07:00", "stop"), op("08:00", "start")},
         op("08:00", "stop"), "07:00 stop, 08:00 start, 08:00 stop"},
        {"a start before the stop of the same minute", {op("08:00", "stop")}, op("08:00", "start"),
         "08:00 start, 08:00 stop"},
        {"an equal operation is kept, in front", {op("08:00", "start"), op("09:00", "stop")}, op("08:00", "start"),
         "08:00 start, 08:00 start, 09:00 stop"},
        {"the earliest goes first", {op("00:01", "start")}, op("00:00", "stop"), "00:00 stop, 00:01 start"},
        {"the latest goes last", {op("00:01", "start")}, op("23:59", "stop"), "00:01 start, 23:59 stop"},
        {"into an empty list", {}, op("12:00", "start"), "12:00 start"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        RTPOperatorListWidget list;
        list.setOperations(c.list);
        list.insertOperation(c.added);
        EXPECT_EQ(opsText(list.operations()), QLatin1String(c.expected));
        ASSERT_EQ(list.table()->rowCount(), list.operations().size());
        for (int row = 0; row < list.table()->rowCount(); ++row) {
            EXPECT_EQ(list.table()->item(row, 0)->text(), QString::number(row + 1));
            EXPECT_EQ(list.table()->item(row, 1)->text(), list.operations()[row].time);
            EXPECT_EQ(list.table()->item(row, 1)->flags(), Qt::ItemIsEnabled);
        }
    }
}

// The cells' own buttons, clicked as the operator does: the table rebuilt
// under a click must not free the cell that is still handling it.
TEST(RTPOperatorList, CellButtonsEditAndDeleteTheirRow)
{
    RTPOperatorListWidget list;
    list.resize(300, 300);
    list.show();
    list.setOperations({op("07:00", "start"), op("12:00", "stop")});
    const auto editCell = [&](int row) {
        return qobject_cast<RTPOperatorEditWidget *>(list.table()->cellWidget(row, 3));
    };
    const auto settle = [&] {
        for (int i = 0; i < 5 && list.isRebuildPending(); ++i)
            QCoreApplication::processEvents();
        ASSERT_FALSE(list.isRebuildPending());
    };

    // Accepted without a change, and cancelled: nothing moves.
    answerOperation("07:00", "start");
    QTest::mouseClick(editCell(0)->button(), Qt::LeftButton);
    answerOperation("23:00", "stop", QDialog::Rejected);
    QTest::mouseClick(editCell(0)->button(), Qt::LeftButton);
    settle();
    EXPECT_EQ(opsText(list.operations()), QStringLiteral("07:00 start, 12:00 stop"));

    // A later time moves the row to its place.
    answerOperation("13:30", "start");
    QTest::mouseClick(editCell(0)->button(), Qt::LeftButton);
    settle();
    EXPECT_EQ(opsText(list.operations()), QStringLiteral("12:00 stop, 13:30 start"));
    EXPECT_EQ(list.table()->item(1, 1)->text(), QStringLiteral("13:30"));

    auto *remove = qobject_cast<RTPOperatorDeleteWidget *>(list.table()->cellWidget(0, 4));
    ASSERT_TRUE(remove);
    QTest::mouseClick(remove->button(), Qt::LeftButton);
    settle();
    EXPECT_EQ(opsText(list.operations()), QStringLiteral("13:30 start"));
    ASSERT_EQ(list.table()->rowCount(), 1);
    EXPECT_EQ(list.table()->item(0, 0)->text(), QStringLiteral("1"));
    EXPECT_EQ(RDModal::pendingAnswers(), 0);
}

TEST(RDGroupScheduleWidget, EnableBoxGreysEveryControlAndTheCycleShowsOnePicker)
{
    RDGroupScheduleWidget tab;
    tab.setSchedule(false, QStringLiteral("weekly"), QStringLiteral("1;3;"), QStringLiteral("20260301"),
                    {op("08:00", "start")});
    const QList<QWidget *> controls{tab.repeatBox(),  tab.calendarView(), tab.weeklyView(),
                                    tab.monthlyView(), tab.addButton(),    tab.operatorList()};
    for (QWidget *w : controls)
        EXPECT_FALSE(w->isEnabled()) << w->metaObject()->className();
    EXPECT_TRUE(tab.enableBox()->isEnabled());
    RDGroup read;
    tab.getGroup(read);
    EXPECT_EQ(read.scheduleEnable, 0);
    EXPECT_EQ(read.scheduleRepeatValue, QStringLiteral("1;3;"));
    EXPECT_EQ(read.scheduleTime, QStringLiteral("20260301"));
    EXPECT_EQ(read.scheduleOperations, QStringLiteral("08:00;start"));

    tab.enableBox()->setChecked(true);
    for (QWidget *w : controls)
        EXPECT_TRUE(w->isEnabled()) << w->metaObject()->className();

    // Which picker each cycle shows: calendar, none, weekdays, month days.
    const char *const shown[4] = {"calendar", "", "weekly", "monthly"};
    for (int index = 0; index < 4; ++index) {
        tab.repeatBox()->setCurrentIndex(index);
        QStringList visible;
        if (!tab.calendarView()->isHidden())
            visible << QStringLiteral("calendar");
        if (!tab.weeklyView()->isHidden())
            visible << QStringLiteral("weekly");
        if (!tab.monthlyView()->isHidden())
            visible << QStringLiteral("monthly");
        EXPECT_EQ(visible.join(QLatin1Char(',')), QLatin1String(shown[index])) << index;
    }
    // A click on a day selects it.
    const QDate day(2026, 3, 17);
    tab.calendarView()->clickCalendar(day);
    tab.repeatBox()->setCurrentIndex(0);
    tab.getGroup(read);
    EXPECT_EQ(read.scheduleTime, QStringLiteral("20260317"));
}

TEST(ZoneEditorsLanguage, EditorsTakeTheNewTextsOnALanguageChange)
{
    PaUiTest::TestLanguage language("Schedule=Zeitplan\nApply=Anwenden\nDaily=Täglich\nTime Event=Zeitereignis\n"
                                    "Registered=Angemeldet\nPlease input SIP port=SIP-Port eingeben\n");
    ASSERT_TRUE(language.isValid());
    RDGroupMoreDialog more;
    more.updateSipTrunkRegStatus(QStringLiteral("registered"));
    ASSERT_TRUE(RDLocalize::changeLanguage(QStringLiteral("Test")));
    EXPECT_EQ(more.tabWidget()->tabText(0), QStringLiteral("Zeitplan"));
    EXPECT_EQ(more.applyButton()->text(), QStringLiteral("Anwenden"));
    EXPECT_EQ(more.scheduleWidget()->repeatBox()->itemText(1), QString::fromUtf8("Täglich"));
    EXPECT_EQ(more.sipTrunkWidget()->statusValue()->text(), QStringLiteral("Angemeldet"));
    EXPECT_EQ(more.sipTrunkWidget()->edit(RDGroupSIPTrunkWidget::Port)->placeholderText(),
              QStringLiteral("SIP-Port eingeben"));
    EXPECT_EQ(more.scheduleWidget()->operatorList()->table()->horizontalHeaderItem(0)->text(), QStringLiteral("No."));
}
