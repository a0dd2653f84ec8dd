#pragma once

#include "RDPickerDayView.h"

// A weekday of the week picker, 0 Sunday to 6 Saturday.
class RDWeekDayView : public RDPickerDayView
{
    Q_OBJECT
public:
    RDWeekDayView(int weekday, QWidget *parent = nullptr);
    int weekday() const { return m_weekday; }

signals:
    void click(RDWeekDayView *dayView);

private:
    int m_weekday;
};
