#include "RDPagingItemView.h"

#include "RDUtils.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

RDPagingItemView::RDPagingItemView(QWidget *parent)
    : RDWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
    setPage(0, QString(), false);
}

void RDPagingItemView::setPage(int page, const QString &label, bool selected)
{
    m_page = page;
    m_label = label;
    m_selected = selected;
    if (selected) {
        setBackgroundColor(rdThemeColor());
        setBorder(0, 1, rdThemeColor());
    } else {
        setBackgroundColor(QColor(255, 255, 255));
        setBorder(0, 1, QColor(0, 0, 0));
    }
}

QSize RDPagingItemView::sizeHint() const
{
    const QSize text = QFontMetrics(font()).size(Qt::TextSingleLine, m_label);
    return QSize(text.width() >= 30 ? text.width() + 20 : 30, qMax(30, text.height()));
}

void RDPagingItemView::mousePressEvent(QMouseEvent *event)
{
    RDWidget::mousePressEvent(event);
    event->accept();
    emit clicked(this);
}

void RDPagingItemView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintBackground(&painter);
    painter.setPen(m_selected ? QColor(255, 255, 255) : QColor(0, 0, 0));
    painter.drawText(rect(), Qt::AlignCenter, m_label);
}
