#include "RDDeviceItemAddWidget.h"

#include "RDLabel.h"
#include "RDPixmapWidget.h"

#include <QMouseEvent>

RDDeviceItemAddWidget::RDDeviceItemAddWidget(QWidget *parent)
    : RDWidget(parent)
    , m_icon(new RDPixmapWidget(this))
    , m_text(new RDLabel(this))
{
    setCursor(Qt::PointingHandCursor);
    setBackgroundColor(QColor(100, 149, 237));
    setBorder(3, 0, QColor(100, 149, 237));
    m_text->setTextColor(Qt::white);
    m_text->setAlignment(Qt::AlignCenter);
    // Presses go to the tile, not to its parts.
    m_icon->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_text->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void RDDeviceItemAddWidget::setItem(const QPixmap &icon, const QString &text)
{
    m_icon->setPixmap(icon);
    m_text->setText(text);
}

void RDDeviceItemAddWidget::mouseReleaseEvent(QMouseEvent *event)
{
    RDWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit clickNewDevice(this, event->pos());
}

void RDDeviceItemAddWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    const int w = width();
    const int top = (height() - 80) / 2;
    m_icon->setGeometry((w - 55) / 2, top, 55, 55);
    m_text->setGeometry(0, top + 55, w, 25);
}
