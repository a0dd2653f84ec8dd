#include "RDCalendarDayView.h"

#include "RDDefaultFont.h"

#include <QMouseEvent>
#include <QPainter>

RDCalendarDayView::RDCalendarDayView(QWidget *parent)
    : QWidget(parent)
    , m_font(defaultFont())
{
    setCursor(Qt::PointingHandCursor);
}

void RDCalendarDayView::setDay(const QDate &date, int state)
{
    m_date = date;
    m_state = state;
    update();
}

void RDCalendarDayView::mouseReleaseEvent(QMouseEvent *event)
{
    QWidget::mouseReleaseEvent(event);
    const QPoint p = event->pos();
    if (p.x() >= 0 && p.y() >= 0 && p.x() <= width() && p.y() <= height())
        emit click(this);
}

void RDCalendarDayView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QColor accent(0x19, 0xa4, 0xff);
    const int s = qMin(width(), height()) - 6;
    const QRectF square((width() - s) / 2.0, (height() - s) / 2.0, s, s);
    QFont font = m_font;
    QColor text(0, 0, 0);
    if (m_state == Selected) {
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::transparent);
        painter.setBrush(accent);
        painter.drawRoundedRect(square, s / 2.0, s / 2.0);
        text = QColor(255, 255, 255);
    } else if (m_state == Today) {
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(accent);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(square, s / 2.0, s / 2.0);
        font.setWeight(75);
    }
    if (!isEnabled())
        text = QColor(96, 96, 96);
    painter.setFont(font);
    painter.setPen(text);
    painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("%1").arg(m_date.day()));
}
