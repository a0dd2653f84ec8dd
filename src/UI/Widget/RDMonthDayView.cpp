#include "RDMonthDayView.h"

RDMonthDayView::RDMonthDayView(int day, QWidget *parent)
    : RDPickerDayView(QStringLiteral("%1").arg(day), parent)
    , m_day(day)
{
    connect(this, &RDPickerDayView::pressed, this, [this] { emit click(this); });
}
