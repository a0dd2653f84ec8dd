#include "RTPOperatorDeleteWidget.h"

#include "RDPixmapButton.h"

RTPOperatorDeleteWidget::RTPOperatorDeleteWidget(const RDGroupScheduleOperation &operation, int row,
                                                 QWidget *parent)
    : QWidget(parent)
    , m_button(new RDPixmapButton(this))
    , m_operation(operation)
    , m_row(row)
{
    m_button->setPixmap(QStringLiteral(":/resources/trash_style.svg"), 20);
    m_button->resize(20, 20);
    m_button->setCursor(Qt::PointingHandCursor);
    connect(m_button, &RDPixmapButton::clicked, this, [this] { emit clickDeleteWidget(this); });
}

void RTPOperatorDeleteWidget::resizeEvent(QResizeEvent *)
{
    m_button->move((width() - m_button->width()) / 2, (height() - m_button->height()) / 2);
}
