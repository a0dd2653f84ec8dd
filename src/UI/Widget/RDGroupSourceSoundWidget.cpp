#include "RDGroupSourceSoundWidget.h"

#include "RDCoreDeviceGroups.h"
#include "RDLabel.h"
#include "Velmar.h"

RDGroupSourceSoundWidget::RDGroupSourceSoundWidget(QWidget *parent)
    : RDWidget(parent)
    , m_hint(new RDLabel(this))
    , m_devices(new RDCoreDeviceGroups(this))
{
    m_hint->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_hint->setTextColor(Qt::black);
    m_hint->setCursor(Qt::PointingHandCursor);
    connect(m_hint, &RDLabel::clicked, this, &RDGroupSourceSoundWidget::refreshDevices);
    languageChanged();
}

void RDGroupSourceSoundWidget::languageChanged()
{
    m_hint->setText(RDLocalize::text(QStringLiteral("Please select server audio source")));
}

void RDGroupSourceSoundWidget::refreshDevices()
{
    const RDCoreDevice selected = m_devices->selectedDevice();
    Velmar *velmar = Velmar::instance();
    m_devices->setDevices(velmar ? velmar->getAudioDevices() : QVector<RDCoreDevice>(), selected.id());
}

void RDGroupSourceSoundWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    relayout();
}

void RDGroupSourceSoundWidget::relayout()
{
    m_hint->setGeometry(10, 10, qMax(0, width() - 20), 20);
    const int top = m_hint->geometry().bottom() + 1;
    m_devices->setGeometry(0, top + 5, width(), qMax(0, height() - top - 10));
}
