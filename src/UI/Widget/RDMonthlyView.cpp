#include "RDMonthlyView.h"

#include "RDMonthDayView.h"

RDMonthlyView::RDMonthlyView(QWidget *parent)
    : RDPickerFrame(parent)
{
    for (int day = 1; day <= 31; ++day) {
        auto *cell = new RDMonthDayView(day, this);
        connect(cell, &RDMonthDayView::click, this, &RDMonthlyView::onClickMonthDayView);
        m_days.append(cell);
        m_cells.append(cell);
    }
}

QString RDMonthlyView::selectedDays() const
{
    return selectionText(1);
}

void RDMonthlyView::setSelectedDays(const QString &text)
{
    applySelectionText(text, 1);
}

void RDMonthlyView::onClickMonthDayView(RDMonthDayView *dayView)
{
    dayView->setSelected(!dayView->isSelected());
}

void RDMonthlyView::resizeEvent(QResizeEvent *event)
{
    RDPickerFrame::resizeEvent(event);
    const int cw = width() / 7;
    for (int i = 0; i < m_days.size(); ++i)
        m_days[i]->setGeometry((i % 7) * cw, (i / 7) * 30, cw, 30);
}
