#include "RDPixmapWidget.h"

#include <QPainter>

RDPixmapWidget::RDPixmapWidget(QWidget *parent)
    : QWidget(parent)
{
}

void RDPixmapWidget::setPixmap(const QPixmap &pixmap)
{
    m_pixmap = pixmap;
    update();
}

void RDPixmapWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (!m_pixmap.isNull())
        painter.drawPixmap(rect(), m_pixmap);
}

void RDPixmapWidget::mousePressEvent(QMouseEvent *event)
{
    QWidget::mousePressEvent(event);
    if (isEnabled())
        emit clicked();
}
