#include "RDWeeklyView.h"

#include "RDWeekDayView.h"

RDWeeklyView::RDWeeklyView(QWidget *parent)
    : RDPickerFrame(parent)
{
    for (int i = 0; i < 7; ++i) {
        auto *cell = new RDWeekDayView(i, this);
        connect(cell, &RDWeekDayView::click, this, &RDWeeklyView::onClickWeekDayView);
        m_days.append(cell);
        m_cells.append(cell);
    }
    RDWeeklyView::languageChanged();
}

void RDWeeklyView::languageChanged()
{
    static const char *const names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    for (int i = 0; i < m_days.size(); ++i)
        m_days[i]->setText(RDLocalize::text(QLatin1String(names[i])));
}

QString RDWeeklyView::selectedDays() const
{
    return selectionText(0);
}

void RDWeeklyView::setSelectedDays(const QString &text)
{
    applySelectionText(text, 0);
}

void RDWeeklyView::onClickWeekDayView(RDWeekDayView *dayView)
{
    dayView->setSelected(!dayView->isSelected());
}

void RDWeeklyView::resizeEvent(QResizeEvent *event)
{
    RDPickerFrame::resizeEvent(event);
    const int cw = width() / 7;
    for (int i = 0; i < m_days.size(); ++i)
        m_days[i]->setGeometry(i * cw, (height() - cw) / 2, cw, cw);
}
