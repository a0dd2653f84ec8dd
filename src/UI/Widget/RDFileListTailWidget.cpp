#include "RDFileListTailWidget.h"

#include "RDPixmapButton.h"

RDFileListTailWidget::RDFileListTailWidget(QWidget *parent) : RDWidget(parent), m_add(new RDPixmapButton(this))
{
    m_add->setPixmap(QStringLiteral(":/resources/add.svg"), 18);
}

void RDFileListTailWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    m_add->setGeometry((width() - 18) / 2, (height() - 18) / 2, 18, 18);
}

void RDFileListTailWidget::enterEvent(QEvent *event)
{
    setBackgroundColor(QColor(100, 149, 237, 64));
    RDWidget::enterEvent(event);
}

void RDFileListTailWidget::leaveEvent(QEvent *event)
{
    setBackgroundColor(QColor(255, 255, 255, 0));
    RDWidget::leaveEvent(event);
}
