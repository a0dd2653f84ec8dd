#include "RDWeekDayView.h"

RDWeekDayView::RDWeekDayView(int weekday, QWidget *parent)
    : RDPickerDayView(QString(), parent)
    , m_weekday(weekday)
{
    connect(this, &RDPickerDayView::pressed, this, [this] { emit click(this); });
}
