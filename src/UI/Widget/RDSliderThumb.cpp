#include "RDSliderThumb.h"

#include <QPainter>

RDSliderThumb::RDSliderThumb(QWidget *parent)
    : QWidget(parent)
{
    // The thumb ignores the mouse: presses, moves and releases on it reach
    // the slider, which owns the value.
    setCursor(Qt::PointingHandCursor);
}

void RDSliderThumb::setColor(const QColor &color)
{
    m_color = color;
    update();
}

void RDSliderThumb::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(m_color);
    painter.setBrush(m_color);
    painter.drawEllipse(rect().adjusted(0, 0, -1, -1));
}
