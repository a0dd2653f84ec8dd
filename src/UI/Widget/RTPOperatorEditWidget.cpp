#include "RTPOperatorEditWidget.h"

#include "RDPixmapButton.h"

RTPOperatorEditWidget::RTPOperatorEditWidget(const RDGroupScheduleOperation &operation, int row, QWidget *parent)
    : RTPOperatorCellWidget(operation, row, parent)
    , m_button(new RDPixmapButton(this))
{
    m_button->setPixmap(QStringLiteral(":/resources/edit_style.svg"), 17);
    setButton(m_button, 17);
    connect(m_button, &RDPixmapButton::clicked, this, [this] { emit clickEditWidget(this); });
}
