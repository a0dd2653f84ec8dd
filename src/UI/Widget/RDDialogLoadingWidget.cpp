#include "RDDialogLoadingWidget.h"

#include "RDProgress.h"

RDDialogLoadingWidget::RDDialogLoadingWidget(QWidget *parent)
    : RDWidget(parent)
    , m_spinner(new RDProgress(this))
{
    m_spinner->setColor(QColor(43, 43, 43));
    m_spinner->setAnimationDelay(100);
    m_spinner->resize(30, 30);
}

void RDDialogLoadingWidget::keyReleaseEvent(QKeyEvent *event)
{
    RDWidget::keyReleaseEvent(event);
    emit clicked();
}

void RDDialogLoadingWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    m_spinner->setGeometry((width() - 30) / 2, (height() - 30) / 2, 30, 30);
}
