#include "RDFileListTailWidget.h"

#include "RDPixmapButton.h"

RDFileListTailWidget::RDFileListTailWidget(QWidget *parent) : RDHoverRowWidget(parent), m_add(new RDPixmapButton(this))
{
    m_add->setPixmap(QStringLiteral(":/resources/add.svg"), 18);
}

void RDFileListTailWidget::resizeEvent(QResizeEvent *event)
{
    RDHoverRowWidget::resizeEvent(event);
    m_add->setGeometry((width() - 18) / 2, (height() - 18) / 2, 18, 18);
}
