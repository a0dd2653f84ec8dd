#include "RDPixmapsButton.h"

#include "RDPixmapButton.h"
#include "RDPixmapCache.h"

#include <QMouseEvent>
#include <QPainter>

RDPixmapsButton::RDPixmapsButton(QWidget *parent)
    : RDWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void RDPixmapsButton::setPixmaps(const QString &normalPath, const QString &checkedPath, int width)
{
    m_normalPath = normalPath;
    m_checkedPath = checkedPath;
    m_width = width;
}

void RDPixmapsButton::setChecked(bool checked)
{
    m_checked = checked;
    update();
}

QSize RDPixmapsButton::sizeHint() const
{
    return RDPixmapButton::pixmapSizeHint(m_normalPath, m_width);
}

void RDPixmapsButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintBackground(&painter);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const QPixmap p = scaledPixmap(m_checked ? m_checkedPath : m_normalPath, m_width);
    if (!p.isNull())
        painter.drawPixmap(rect(), p);
}

void RDPixmapsButton::mouseReleaseEvent(QMouseEvent *event)
{
    RDWidget::mouseReleaseEvent(event);
    if (isEnabled())
        emit clicked();
}
