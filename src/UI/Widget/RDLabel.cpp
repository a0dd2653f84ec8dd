#include "RDLabel.h"

#include "RDDefaultFont.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

RDLabel::RDLabel(QWidget *parent)
    : RDWidget(parent)
{
    setFont(defaultFont());
}

void RDLabel::setText(const QString &text)
{
    m_text = text;
    updateGeometry();
    update();
}

void RDLabel::setTextColor(const QColor &color)
{
    m_textColor = color;
    update();
}

void RDLabel::setMargins(int left, int top, int right, int bottom)
{
    m_left = left;
    m_top = top;
    m_right = right;
    m_bottom = bottom;
}

QSize RDLabel::sizeHint() const
{
    const QSize text = QFontMetrics(font()).size(m_alignment, m_text);
    return QSize(text.width() + m_left + m_right, text.height() + m_top + m_bottom);
}

void RDLabel::mousePressEvent(QMouseEvent *event)
{
    QWidget::mousePressEvent(event);
    if (isEnabled())
        emit clicked();
}

void RDLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintBackground(&painter);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(isEnabled() ? m_textColor : QColor(102, 102, 102));
    painter.drawText(QRect(m_left, m_top, width() - m_left - m_right, height() - m_top - m_bottom), m_alignment,
                     m_text);
}
