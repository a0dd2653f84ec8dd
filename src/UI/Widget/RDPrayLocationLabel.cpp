#include "RDPrayLocationLabel.h"

#include "RDLabel.h"

RDPrayLocationLabel::RDPrayLocationLabel(QWidget *parent) : RDWidget(parent), m_label(new RDLabel(this))
{
    setCursor(Qt::PointingHandCursor);
    setBorder(0, 1, QColor(136, 136, 136));
    m_label->setMargins(3, 0, 3, 0);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    refresh();
}

void RDPrayLocationLabel::setText(const QString &text)
{
    m_text = text;
    refresh();
}

void RDPrayLocationLabel::setPlaceholderText(const QString &text)
{
    m_placeholder = text;
    refresh();
}

void RDPrayLocationLabel::refresh()
{
    if (m_text.isEmpty()) {
        m_label->setTextColor(QColor(136, 136, 136));
        m_label->setText(m_placeholder);
    } else {
        m_label->setTextColor(Qt::black);
        m_label->setText(m_text);
    }
}

void RDPrayLocationLabel::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    m_label->setGeometry(rect());
}

void RDPrayLocationLabel::mouseReleaseEvent(QMouseEvent *event)
{
    RDWidget::mouseReleaseEvent(event);
    if (isEnabled())
        emit clicked();
}
