#include "RDSliderThumb.h"

#include <QPainter>

RDSliderThumb::RDSliderThumb(QWidget *parent)
    : QWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
    // Presses fall through to the slider, which owns the value.
    setAttribute(Qt::WA_TransparentForMouseEvents, true);
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
