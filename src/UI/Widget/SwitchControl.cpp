#include "SwitchControl.h"

#include <QMouseEvent>
#include <QPainter>

SwitchControl::SwitchControl(QWidget *parent)
    : QWidget(parent)
{
    setCursor(Qt::PointingHandCursor);
    connect(&m_timer, &RDTimer::timeout, this, &SwitchControl::onTimeout);
}

void SwitchControl::setToggled(bool checked)
{
    m_checked = checked;
    m_timer.start(10);
}

QSize SwitchControl::minimumSizeHint() const
{
    return QSize((m_height + m_margin) * 2, m_height + 2 * m_margin);
}

QSize SwitchControl::sizeHint() const
{
    return minimumSizeHint();
}

void SwitchControl::onTimeout()
{
    if (m_checked) {
        m_x += 1.0;
        if (m_x >= width() - m_height) {
            m_x = width() - m_height;
            m_timer.stop();
        }
    } else {
        m_x -= 1.0;
        if (m_x <= m_height / 2) {
            m_x = m_height / 2;
            m_timer.stop();
        }
    }
    update();
}

void SwitchControl::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    QColor track;
    QColor knob;
    double opacity;
    if (!isEnabled()) {
        track = m_trackOff;
        knob = m_knobDisabled;
        opacity = 0.26;
    } else if (m_checked) {
        track = m_on;
        knob = m_on;
        opacity = 0.6;
    } else {
        track = m_trackOff;
        knob = m_knobOff;
        opacity = 0.8;
    }
    p.setBrush(track);
    p.setOpacity(opacity);
    p.drawRoundedRect(QRectF(m_margin, m_margin, width() - 2 * m_margin, height() - 2 * m_margin), m_radius,
                      m_radius);
    p.setOpacity(1.0);
    p.setBrush(knob);
    p.drawEllipse(QRectF(m_x - m_height / 2, m_y - m_height / 2, height(), height()));
}

void SwitchControl::mousePressEvent(QMouseEvent *event)
{
    if (!isEnabled()) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (event->buttons() & Qt::LeftButton)
        event->accept();
    else
        event->ignore();
}

void SwitchControl::mouseReleaseEvent(QMouseEvent *event)
{
    if (!isEnabled() || event->type() != QEvent::MouseButtonRelease || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    event->accept();
    m_checked = !m_checked;
    emit toggled(m_checked);
    m_timer.start(10);
}

void SwitchControl::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_x = m_height / 2;
    m_y = m_height / 2;
}
