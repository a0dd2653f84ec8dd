#include "RDHoverRowWidget.h"

RDHoverRowWidget::RDHoverRowWidget(QWidget *parent) : RDWidget(parent) {}

void RDHoverRowWidget::enterEvent(QEvent *event)
{
    setBackgroundColor(QColor(100, 149, 237, 64));
    RDWidget::enterEvent(event);
}

void RDHoverRowWidget::leaveEvent(QEvent *event)
{
    setBackgroundColor(QColor(255, 255, 255, 0));
    RDWidget::leaveEvent(event);
}
