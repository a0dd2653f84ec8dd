#include "RDPixmapButton.h"

#include "RDPixmapCache.h"

#include <QMouseEvent>
#include <QPainter>

RDPixmapButton::RDPixmapButton(QWidget *parent)
    : RDWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void RDPixmapButton::setPixmap(const QString &path, int width)
{
    m_path = path;
    m_width = width;
    updateGeometry();
    update();
}

QSize RDPixmapButton::pixmapSizeHint(const QString &path, int width)
{
    const QPixmap p = scaledPixmap(path, width);
    if (p.width() == 0 || p.height() == 0)
        return QSize(width, width);
    const int W = width != 0 ? width : p.width();
    return QSize(W, W * p.height() / p.width());
}

QSize RDPixmapButton::sizeHint() const
{
    return pixmapSizeHint(m_path, m_width);
}

void RDPixmapButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintBackground(&painter);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const QPixmap p = scaledPixmap(m_path, m_width);
    if (!p.isNull())
        painter.drawPixmap(rect(), p);
}

void RDPixmapButton::mousePressEvent(QMouseEvent *event)
{
    RDWidget::mousePressEvent(event);
    event->accept();
}

void RDPixmapButton::mouseReleaseEvent(QMouseEvent *event)
{
    RDWidget::mouseReleaseEvent(event);
    emit clicked();
}
