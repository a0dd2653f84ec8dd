#pragma once

#include "RDPickerDayView.h"

// A day of the month picker, 1 to 31.
class RDMonthDayView : public RDPickerDayView
{
    Q_OBJECT
public:
    RDMonthDayView(int day, QWidget *parent = nullptr);
    int day() const { return m_day; }

signals:
    void click(RDMonthDayView *dayView);

private:
    int m_day;
};
