#pragma once

#include "RDLocalize.h"

#include <QDate>
#include <QVector>
#include <QWidget>

class QLabel;
class RDCalendarDayView;
class RDPixmapsButton;

// Month calendar that picks one date: a blue header with the month and
// buttons to the previous and next month (no limit either way), the
// weekday names from Sunday, and six rows of days. Days of the
// neighbouring months are shown greyed and cannot be picked.
class RDCalendarView : public QWidget, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDCalendarView(QWidget *parent = nullptr);

    // Shows the month of `date`.
    void setDate(const QDate &date);
    QDate shownMonth() const { return m_month; }
    void setSelectedDate(const QDate &date);
    QDate selectedDate() const { return m_selected; }
    QString monthText() const;
    RDCalendarDayView *dayView(int index) const { return m_days.value(index); }
    RDPixmapsButton *prevButton() const { return m_prev; }
    RDPixmapsButton *nextButton() const { return m_next; }

    // Today, as the calendar sees it (tests may fix it).
    static void setTodayForTesting(const QDate &today);

    void languageChanged() override;

signals:
    void clickCalendar(QDate date);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private slots:
    void _onClickPrevButton();
    void _onClickNextButton();
    void _onClickCalendarDayView(RDCalendarDayView *dayView);

private:
    void fill();
    void relayout();

    RDPixmapsButton *m_prev;
    RDPixmapsButton *m_next;
    QLabel *m_monthLabel;
    QVector<QLabel *> m_weekdays;
    QVector<RDCalendarDayView *> m_days;
    QDate m_month;
    QDate m_selected;
};
