#include "RDSlider.h"

#include "RDSliderThumb.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

RDSlider::RDSlider(QWidget *parent)
    : RDWidget(parent)
    , m_track(new RDWidget(this))
    , m_thumb(new RDSliderThumb(this))
{
    m_track->setBackgroundColor(QColor(255, 255, 255));
    m_track->setBorder(1, 0, QColor(255, 255, 255, 0));
    m_track->resize(0, 3);
    m_thumb->resize(12, 12);
    m_thumb->raise();
    setFocusPolicy(Qt::StrongFocus);
}

int RDSlider::clamp(int value) const
{
    return qBound(m_minimum, value, qMax(m_minimum, m_maximum));
}

// The range and a zero width are guarded: an empty range keeps the minimum,
// a slider without width puts the thumb at the start.
int RDSlider::valueAt(int x) const
{
    if (width() <= 0)
        return m_minimum;
    return clamp(m_minimum + x * (m_maximum - m_minimum) / width());
}

bool RDSlider::change(int value)
{
    const int clamped = clamp(value);
    const bool changed = clamped != m_value;
    m_value = clamped;
    relayout();
    return changed;
}

void RDSlider::setValue(int value)
{
    change(value);
}

void RDSlider::setValue(int value, bool notify)
{
    if (change(value) && notify)
        emit valueChanged(m_value);
}

void RDSlider::setRange(int minimum, int maximum)
{
    m_minimum = minimum;
    m_maximum = maximum;
    change(m_value);
}

void RDSlider::setTrackColor(const QColor &color)
{
    m_track->setBackgroundColor(color);
}

void RDSlider::setThumbColor(const QColor &color)
{
    m_thumb->setColor(color);
}

void RDSlider::relayout()
{
    const int w = width();
    const int h = height();
    const int tw = m_thumb->width();
    const int th = m_thumb->height();
    const int span = m_maximum - m_minimum;
    const int x = span > 0 ? (m_value - m_minimum) * (w - tw) / span : 0;
    m_thumb->move(x, (h - th) / 2);
    const int trackHeight = m_track->height();
    m_track->setGeometry(tw / 2, (h - trackHeight) / 2, w - tw, trackHeight);
}

void RDSlider::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    relayout();
}

void RDSlider::keyPressEvent(QKeyEvent *event)
{
    RDWidget::keyPressEvent(event);
    int next = m_value;
    if (event->key() == Qt::Key_Up)
        next += m_step;
    else if (event->key() == Qt::Key_Down)
        next -= m_step;
    else
        return;
    event->accept();
    if (change(next))
        emit valueChanged(m_value);
}

void RDSlider::mouseMoveEvent(QMouseEvent *event)
{
    RDWidget::mouseMoveEvent(event);
    if (!((event->button() | event->buttons()) & Qt::LeftButton))
        return;
    change(valueAt(event->pos().x()));
}

void RDSlider::mouseReleaseEvent(QMouseEvent *event)
{
    RDWidget::mouseReleaseEvent(event);
    if (!((event->button() | event->buttons()) & Qt::LeftButton))
        return;
    change(valueAt(event->pos().x()));
    emit valueChanged(m_value);
}

void RDSlider::wheelEvent(QWheelEvent *event)
{
    RDWidget::wheelEvent(event);
    // The single-axis delta of the old wheel interface: the larger axis.
    const QPoint angle = event->angleDelta();
    const int delta = qAbs(angle.x()) > qAbs(angle.y()) ? angle.x() : angle.y();
    if (delta == 0)
        return;
    const int count = angle.y() / delta;
    const int next = delta > 0 ? m_value + m_step * count : m_value - m_step * count;
    if (change(next))
        emit valueChanged(m_value);
}
