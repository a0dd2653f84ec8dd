#pragma once

#include "RDPickerFrame.h"

#include <QList>

class RDMonthDayView;

// Picks days of the month, 1 to 31, in five rows of seven.
class RDMonthlyView : public RDPickerFrame
{
    Q_OBJECT
public:
    explicit RDMonthlyView(QWidget *parent = nullptr);

    // "1;15;" for days 1 and 15; empty for none.
    QString selectedDays() const;
    // Selects exactly the days 1..31 of the text; other parts are ignored.
    void setSelectedDays(const QString &text);
    QList<RDMonthDayView *> days() const { return m_days; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void onClickMonthDayView(RDMonthDayView *dayView);

private:
    QList<RDMonthDayView *> m_days;
};
