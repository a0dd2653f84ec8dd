#include "RDCalendarDayView.h"
#include "RDCalendarView.h"
#include "RDMonthDayView.h"
#include "RDMonthlyView.h"
#include "RDPixmapsButton.h"
#include "RDWeekDayView.h"
#include "RDWeeklyView.h"
#include "UiTestSupport.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

namespace {

// Clicks the enabled cell of `day` in the shown month; false when none.
bool clickDay(RDCalendarView &calendar, int day)
{
    for (int i = 0; i < 42; ++i) {
        RDCalendarDayView *cell = calendar.dayView(i);
        if (cell->isEnabled() && cell->date().day() == day) {
            QTest::mouseClick(cell, Qt::LeftButton);
            QCoreApplication::processEvents();
            return true;
        }
    }
    return false;
}

void clickMonthButton(RDPixmapsButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::processEvents();
}

class Today
{
public:
    explicit Today(const QDate &d) { RDCalendarView::setTodayForTesting(d); }
    ~Today() { RDCalendarView::setTodayForTesting(QDate()); }
};

} // namespace

TEST(RDCalendarTest, PicksDatesAcrossMonthAndYearEnds)
{
    Today today(QDate(2026, 12, 10));
    RDCalendarView calendar;
    calendar.resize(280, 260);
    EXPECT_EQ(calendar.monthText(), QStringLiteral("2026-12"));
    EXPECT_FALSE(calendar.selectedDate().isValid());
    QSignalSpy picked(&calendar, &RDCalendarView::clickCalendar);

    clickMonthButton(calendar.nextButton());
    EXPECT_EQ(calendar.monthText(), QStringLiteral("2027-01"));
    ASSERT_TRUE(clickDay(calendar, 31));
    ASSERT_EQ(picked.count(), 1);
    EXPECT_EQ(picked.last().at(0).toDate(), QDate(2027, 1, 31));
    EXPECT_EQ(calendar.selectedDate(), QDate(2027, 1, 31));

    clickMonthButton(calendar.prevButton());
    clickMonthButton(calendar.prevButton());
    EXPECT_EQ(calendar.monthText(), QStringLiteral("2026-11"));
    ASSERT_TRUE(clickDay(calendar, 30));
    EXPECT_EQ(picked.last().at(0).toDate(), QDate(2026, 11, 30));

    calendar.setDate(QDate(2024, 2, 14));
    ASSERT_TRUE(clickDay(calendar, 29)); // leap day
    EXPECT_EQ(calendar.selectedDate(), QDate(2024, 2, 29));
    calendar.setDate(QDate(2025, 1, 5));
    clickMonthButton(calendar.prevButton());
    EXPECT_EQ(calendar.monthText(), QStringLiteral("2024-12"));

    // A greyed day of the next month cannot be picked.
    calendar.setDate(QDate(2026, 12, 1));
    RDCalendarDayView *last = calendar.dayView(41);
    EXPECT_FALSE(last->isEnabled());
    EXPECT_EQ(last->date().month(), 1);
    const int count = picked.count();
    QTest::mouseClick(last, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(picked.count(), count);
}

TEST(RDCalendarTest, GridStartsOnSundayAndMarksTodayAndTheSelection)
{
    Today today(QDate(2026, 2, 10));
    RDCalendarView calendar;
    // February 2026 begins on a Sunday: the first row is all January.
    ASSERT_EQ(QDate(2026, 2, 1).dayOfWeek(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(calendar.dayView(i)->date(), QDate(2026, 1, 25 + i)) << i;
        EXPECT_FALSE(calendar.dayView(i)->isEnabled());
    }
    EXPECT_EQ(calendar.dayView(7)->date(), QDate(2026, 2, 1));
    EXPECT_TRUE(calendar.dayView(7)->isEnabled());
    EXPECT_EQ(calendar.dayView(34)->date(), QDate(2026, 2, 28));
    EXPECT_EQ(calendar.dayView(35)->date(), QDate(2026, 3, 1));
    EXPECT_FALSE(calendar.dayView(35)->isEnabled());

    // A month starting on Monday has one day of the month before.
    calendar.setDate(QDate(2026, 6, 15));
    ASSERT_EQ(QDate(2026, 6, 1).dayOfWeek(), 1);
    EXPECT_EQ(calendar.dayView(0)->date(), QDate(2026, 5, 31));
    EXPECT_EQ(calendar.dayView(1)->date(), QDate(2026, 6, 1));

    calendar.setDate(QDate(2026, 2, 1));
    RDCalendarDayView *todayCell = calendar.dayView(7 + 9);
    ASSERT_EQ(todayCell->date(), QDate(2026, 2, 10));
    EXPECT_EQ(todayCell->state(), RDCalendarDayView::Today);
    ASSERT_TRUE(clickDay(calendar, 10));
    EXPECT_EQ(todayCell->state(), RDCalendarDayView::Selected); // selected wins over today
    EXPECT_EQ(calendar.dayView(7 + 10)->state(), RDCalendarDayView::Plain);
}

TEST(RDPickersTest, MonthAndWeekSelectionTexts)
{
    RDMonthlyView month;
    RDWeeklyView week;
    QString all;
    for (int d = 1; d <= 31; ++d)
        all += QStringLiteral("%1;").arg(d);
    EXPECT_EQ(month.selectedDays(), all);
    EXPECT_EQ(week.selectedDays(), QStringLiteral("0;1;2;3;4;5;6;"));

    const struct {
        bool weekly;
        const char *in;
        const char *out;
    } cases[] = {
        {false, "31;", "31;"},     {false, "15;1;", "1;15;"},  {false, "0;32;x;", ""},
        {false, ";;7;;", "7;"},    {false, "", ""},            {true, "0;6;", "0;6;"},
        {true, "7;", ""},          {true, "-1;3;", "3;"},      {true, "3;3;", "3;"},
    };
    for (const auto &c : cases) {
        if (c.weekly) {
            week.setSelectedDays(QLatin1String(c.in));
            EXPECT_EQ(week.selectedDays(), QLatin1String(c.out)) << c.in;
        } else {
            month.setSelectedDays(QLatin1String(c.in));
            EXPECT_EQ(month.selectedDays(), QLatin1String(c.out)) << c.in;
        }
    }
}

TEST(RDPickersTest, LeftPressFlipsACellOfAnEnabledPicker)
{
    RDMonthlyView month;
    month.resize(280, 150);
    month.show();
    month.setSelectedDays(QStringLiteral("2;"));
    QTest::mousePress(month.days().at(1), Qt::LeftButton);
    QTest::mousePress(month.days().at(20), Qt::LeftButton);
    QTest::mousePress(month.days().at(21), Qt::RightButton);
    EXPECT_EQ(month.selectedDays(), QStringLiteral("21;"));
    EXPECT_EQ(month.days().at(30)->geometry(), QRect(2 * 40, 4 * 30, 40, 30));

    RDWeeklyView week;
    week.resize(280, 60);
    week.show();
    EXPECT_EQ(week.days().at(6)->geometry(), QRect(240, 10, 40, 40));
    QTest::mousePress(week.days().at(0), Qt::LeftButton);
    EXPECT_EQ(week.selectedDays(), QStringLiteral("1;2;3;4;5;6;"));
    week.setEnabled(false);
    QTest::mousePress(week.days().at(1), Qt::LeftButton);
    EXPECT_EQ(week.selectedDays(), QStringLiteral("1;2;3;4;5;6;"));
    EXPECT_TRUE(week.styleSheet().contains(QLatin1String("#d0d0d0")));
    week.setEnabled(true);
    EXPECT_TRUE(week.styleSheet().contains(QLatin1String("#19a4ff")));
}
