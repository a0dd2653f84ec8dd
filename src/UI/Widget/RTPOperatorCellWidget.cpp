#include "RTPOperatorCellWidget.h"

RTPOperatorCellWidget::RTPOperatorCellWidget(const RDGroupScheduleOperation &operation, int row, QWidget *parent)
    : QWidget(parent)
    , m_operation(operation)
    , m_row(row)
{
}

void RTPOperatorCellWidget::setButton(QWidget *button, int size)
{
    m_button = button;
    m_button->resize(size, size);
    m_button->setCursor(Qt::PointingHandCursor);
}

void RTPOperatorCellWidget::resizeEvent(QResizeEvent *)
{
    if (m_button)
        m_button->move((width() - m_button->width()) / 2, (height() - m_button->height()) / 2);
}
