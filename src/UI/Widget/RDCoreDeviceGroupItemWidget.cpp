#include "RDCoreDeviceGroupItemWidget.h"

#include "RDLabel.h"
#include "RDPixmapButton.h"
#include "RDPixmapsButton.h"

#include <QMouseEvent>

RDCoreDeviceGroupItemWidget::RDCoreDeviceGroupItemWidget(QWidget *parent)
    : RDWidget(parent)
    , m_radio(new RDPixmapsButton(this))
    , m_icon(new RDPixmapButton(this))
    , m_label(new RDLabel(this))
{
    m_radio->setPixmaps(QStringLiteral(":/resources/point_normal.svg"), QStringLiteral(":/resources/point_selected.svg"),
                        15);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_label->setTextColor(Qt::black);
    m_label->setCursor(Qt::PointingHandCursor);
    connect(m_radio, &RDPixmapsButton::clicked, this, [this] { emit clicked(this); });
    connect(m_icon, &RDPixmapButton::clicked, this, [this] { emit clicked(this); });
    connect(m_label, &RDLabel::clicked, this, [this] { emit clicked(this); });
}

void RDCoreDeviceGroupItemWidget::setDevice(const RDCoreDevice &device)
{
    m_device = device;
    m_icon->setPixmap(device.type() == RDCoreDevice::Render ? QStringLiteral(":/resources/speak_black.svg")
                                                            : QStringLiteral(":/resources/microphone.svg"),
                      17);
    m_label->setText(device.name());
}

void RDCoreDeviceGroupItemWidget::setChecked(bool checked) { m_radio->setChecked(checked); }

bool RDCoreDeviceGroupItemWidget::isChecked() const { return m_radio->isChecked(); }

void RDCoreDeviceGroupItemWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    relayout();
}

void RDCoreDeviceGroupItemWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked(this);
    RDWidget::mousePressEvent(event);
}

void RDCoreDeviceGroupItemWidget::relayout()
{
    const int h = height();
    m_radio->setGeometry(1, (h - 15) / 2, 15, 15);
    m_icon->setGeometry(m_radio->geometry().right() + 1 + 4, (h - 17) / 2, 17, 17);
    const int x = m_icon->geometry().right() + 1 + 4;
    m_label->setGeometry(x, (h - 20) / 2, qMax(0, width() - x), 20);
}
