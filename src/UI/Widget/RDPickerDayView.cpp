#include "RDPickerDayView.h"

#include "RDDefaultFont.h"

#include <QMouseEvent>
#include <QPainter>

RDPickerDayView::RDPickerDayView(const QString &text, QWidget *parent)
    : QWidget(parent)
    , m_text(text)
{
    setCursor(Qt::PointingHandCursor);
}

void RDPickerDayView::setSelected(bool selected)
{
    m_selected = selected;
    update();
}

void RDPickerDayView::setText(const QString &text)
{
    m_text = text;
    update();
}

void RDPickerDayView::mousePressEvent(QMouseEvent *event)
{
    QWidget::mousePressEvent(event);
    if (isEnabled() && event->button() == Qt::LeftButton)
        emit pressed();
}

void RDPickerDayView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_selected) {
        painter.setRenderHint(QPainter::Antialiasing, true);
        const int d = qMin(width(), height()) - 6;
        painter.setPen(QPen(QColor(255, 255, 255), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRectF((width() - d) / 2.0, (height() - d) / 2.0, d, d));
    }
    painter.setFont(defaultFont());
    painter.setPen(isEnabled() ? QColor(255, 255, 255) : QColor(96, 96, 96));
    painter.drawText(rect(), Qt::AlignCenter, m_text);
}
