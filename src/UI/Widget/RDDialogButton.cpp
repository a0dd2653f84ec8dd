#include "RDDialogButton.h"

#include <QPainter>

RDDialogButton::RDDialogButton(QWidget *parent)
    : RDWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void RDDialogButton::setPixmaps(const QPixmap &normal, const QPixmap &hover)
{
    m_normal = normal;
    m_hover = hover;
    update();
}

void RDDialogButton::setColors(const QColor &normal, const QColor &hover)
{
    m_normalColor = normal;
    m_hoverColor = hover;
    setBackgroundColor(m_hovered ? m_hoverColor : m_normalColor);
}

void RDDialogButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintBackground(&painter);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QPixmap &p = m_hovered ? m_hover : m_normal;
    if (!p.isNull())
        painter.drawPixmap((width() - p.width()) / 2, (height() - p.height()) / 2, p);
}

void RDDialogButton::enterEvent(QEvent *event)
{
    RDWidget::enterEvent(event);
    m_hovered = true;
    setBackgroundColor(m_hoverColor);
}

void RDDialogButton::leaveEvent(QEvent *event)
{
    RDWidget::leaveEvent(event);
    m_hovered = false;
    setBackgroundColor(m_normalColor);
}

void RDDialogButton::mouseReleaseEvent(QMouseEvent *event)
{
    RDWidget::mouseReleaseEvent(event);
    emit clicked();
}
