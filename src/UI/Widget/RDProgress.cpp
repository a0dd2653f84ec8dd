#include "RDProgress.h"

#include <QPainter>
#include <QTimerEvent>

#include <cmath>

RDProgress::RDProgress(QWidget *parent)
    : RDWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::NoFocus);
}

QSize RDProgress::sizeHint() const
{
    return QSize(25, 25);
}

void RDProgress::setPixmap(const QPixmap &pixmap)
{
    m_pixmap = pixmap;
    update();
}

RDProgress::Spokes RDProgress::spokesFor(int m)
{
    Spokes s;
    s.radius = (m - 1) / 2;
    s.length = s.radius - static_cast<int>(s.radius * 0.38);
    s.width = static_cast<int>(s.length * (m < 33 ? 0.35 : 0.23));
    return s;
}

void RDProgress::startAnimation()
{
    m_angle = 0;
    if (m_timerId == -1)
        m_timerId = startTimer(m_delay, Qt::CoarseTimer);
}

void RDProgress::stopAnimation()
{
    if (m_timerId != -1)
        killTimer(m_timerId);
    m_timerId = -1;
    update();
}

void RDProgress::setAnimationDelay(int delay)
{
    m_delay = delay;
    if (m_timerId != -1) {
        killTimer(m_timerId);
        m_timerId = startTimer(m_delay, Qt::CoarseTimer);
    }
}

void RDProgress::setDisplayedWhenStopped(bool state)
{
    m_displayedWhenStopped = state;
    update();
}

void RDProgress::setColor(QColor color)
{
    m_color = color;
    update();
}

void RDProgress::onProgress(short _progress)
{
    m_progress = _progress;
}

void RDProgress::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timerId) {
        RDWidget::timerEvent(event);
        return;
    }
    m_angle = (m_angle + 30) % 360;
    update();
}

void RDProgress::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    paintBackground(&p);
    p.setRenderHint(QPainter::Antialiasing, true);
    if (m_timerId == -1 && !m_displayedWhenStopped) {
        if (!m_pixmap.isNull())
            p.drawPixmap(rect(), m_pixmap);
        return;
    }
    const Spokes s = spokesFor(qMin(width(), height()));
    if (m_progress >= 1 && m_progress <= 99) {
        p.setPen(m_color);
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("%1%").arg(m_progress));
    } else if (m_progress == 100 && m_timerId != -1) {
        killTimer(m_timerId);
        m_timerId = -1;
        update();
    }
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 12; ++i) {
        QColor c = m_color;
        c.setAlphaF(1.0 - i / 12.0);
        p.save();
        p.setBrush(c);
        p.translate(rect().center());
        p.rotate(m_angle - 30 * i);
        p.drawRoundedRect(QRectF(std::floor(-s.width / 2.0), -s.radius, s.width, s.length), s.width / 2,
                          s.width / 2, Qt::AbsoluteSize);
        p.restore();
    }
}
