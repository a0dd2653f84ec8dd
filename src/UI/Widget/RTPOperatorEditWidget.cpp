#include "RTPOperatorEditWidget.h"

#include "RDPixmapButton.h"

RTPOperatorEditWidget::RTPOperatorEditWidget(const RDGroupScheduleOperation &operation, int row, QWidget *parent)
    : QWidget(parent)
    , m_button(new RDPixmapButton(this))
    , m_operation(operation)
    , m_row(row)
{
    m_button->setPixmap(QStringLiteral(":/resources/edit_style.svg"), 17);
    m_button->resize(17, 17);
    m_button->setCursor(Qt::PointingHandCursor);
    connect(m_button, &RDPixmapButton::clicked, this, [this] { emit clickEditWidget(this); });
}

void RTPOperatorEditWidget::resizeEvent(QResizeEvent *)
{
    m_button->move((width() - m_button->width()) / 2, (height() - m_button->height()) / 2);
}
