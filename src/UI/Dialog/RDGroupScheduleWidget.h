#pragma once

#include "RDGroupScheduleOperation.h"
#include "RDLocalize.h"
#include "RDWidget.h"

#include <QDate>
#include <QVector>

class QCheckBox;
class QComboBox;
class QLabel;
class RDCalendarView;
class RDMonthlyView;
class RDPixmapButton;
class RDWeeklyView;
class RTPOperatorListWidget;
struct RDGroup;

// Schedule tab of a zone: on or off, the cycle (once on a date, daily, on
// weekdays, on days of the month) and the timed start and stop operations.
// Stores nothing.
class RDGroupScheduleWidget : public RDWidget, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDGroupScheduleWidget(QWidget *parent = nullptr);

    void setSchedule(bool enable, const QString &repeatType, const QString &repeatValue, const QString &date,
                     const QVector<RDGroupScheduleOperation> &operations);
    // Writes the controls into the zone's schedule fields only.
    void getGroup(RDGroup &group) const;

    QCheckBox *enableBox() const { return m_enable; }
    QComboBox *repeatBox() const { return m_repeat; }
    RDCalendarView *calendarView() const { return m_calendar; }
    RDWeeklyView *weeklyView() const { return m_weekly; }
    RDMonthlyView *monthlyView() const { return m_monthly; }
    RDPixmapButton *addButton() const { return m_add; }
    RTPOperatorListWidget *operatorList() const { return m_list; }

    void languageChanged() override;

public slots:
    void onRepeatTypeBoxChanged(int index);
    void onClickAddOperatorButton();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void setControlsEnabled(bool enabled);

    QCheckBox *m_enable;
    QLabel *m_enableLabel;
    QLabel *m_cycleLabel;
    QComboBox *m_repeat;
    RDCalendarView *m_calendar;
    RDWeeklyView *m_weekly;
    RDMonthlyView *m_monthly;
    QLabel *m_eventLabel;
    RDPixmapButton *m_add;
    RTPOperatorListWidget *m_list;
};
