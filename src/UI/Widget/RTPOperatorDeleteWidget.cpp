#include "RTPOperatorDeleteWidget.h"

#include "RDPixmapButton.h"

RTPOperatorDeleteWidget::RTPOperatorDeleteWidget(const RDGroupScheduleOperation &operation, int row, QWidget *parent)
    : RTPOperatorCellWidget(operation, row, parent)
    , m_button(new RDPixmapButton(this))
{
    m_button->setPixmap(QStringLiteral(":/resources/trash_style.svg"), 20);
    setButton(m_button, 20);
    connect(m_button, &RDPixmapButton::clicked, this, [this] { emit clickDeleteWidget(this); });
}
