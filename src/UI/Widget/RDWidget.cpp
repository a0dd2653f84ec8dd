#include "RDWidget.h"

#include "RDBackground.h"

#include <QPainter>

RDWidget::RDWidget(QWidget *parent)
    : QWidget(parent)
{
}

void RDWidget::setBackgroundColor(const QColor &color)
{
    m_backgroundColor = color;
    update();
}

void RDWidget::setBorder(int corner, int width, const QColor &color)
{
    m_corner = corner;
    m_borderWidth = width;
    m_borderColor = color;
    update();
}

void RDWidget::paintBackground(QPainter *painter)
{
    RDBackground::paintBox(painter, width(), height(), m_corner, m_borderWidth, m_borderColor, m_backgroundColor, 1);
}

void RDWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintBackground(&painter);
}
