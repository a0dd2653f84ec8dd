#include "RDGroupVolumeWidget.h"

#include "RDLabel.h"
#include "RDPixmapsButton.h"
#include "RDSlider.h"

RDGroupVolumeWidget::RDGroupVolumeWidget(QWidget *parent)
    : RDWidget(parent)
    , m_mute(new RDPixmapsButton(this))
    , m_label(new RDLabel(this))
    , m_slider(new RDSlider(this))
    , m_value(new RDLabel(this))
{
    m_mute->setObjectName(QStringLiteral("muteButton"));
    m_mute->setPixmaps(QStringLiteral(":/resources/speak_style.png"), QStringLiteral(":/resources/speak_mute.png"), 16);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_label->setTextColor(Qt::black);
    m_slider->setObjectName(QStringLiteral("volumeSlider"));
    m_slider->setRange(kMuted, 10);
    m_slider->setTrackColor(QColor(91, 91, 91));
    m_slider->setThumbColor(QColor(70, 178, 5));
    m_slider->setValue(0, false);
    m_value->setTextColor(Qt::black);
    showValue(0);
    connect(m_mute, &RDPixmapsButton::clicked, this, &RDGroupVolumeWidget::onClickMute);
    languageChanged();
}

void RDGroupVolumeWidget::setVolume(int volume)
{
    m_slider->setValue(volume, false);
    showValue(m_slider->value());
}

int RDGroupVolumeWidget::volume() const
{
    return m_slider->value();
}

bool RDGroupVolumeWidget::isMuted() const
{
    return m_mute->isChecked();
}

void RDGroupVolumeWidget::showValue(int value)
{
    m_value->setText(QStringLiteral("%1").arg(value));
    m_mute->setChecked(value == kMuted);
    m_mute->update();
}

void RDGroupVolumeWidget::onClickMute()
{
    if (!m_mute->isChecked()) {
        m_savedVolume = m_slider->value();
        m_slider->setValue(kMuted, true);
        m_mute->setChecked(true);
    } else {
        m_mute->setChecked(false);
        m_slider->setValue(m_savedVolume, true);
    }
    showValue(m_slider->value());
}

void RDGroupVolumeWidget::languageChanged()
{
    m_label->setText(RDLocalize::text(QStringLiteral("Volume")));
}

void RDGroupVolumeWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    const int w = width(), h = height();
    m_mute->setGeometry(10, (h - 16) / 2, 16, 16);
    m_label->setGeometry(32, (h - 22) / 2, w / 2 - 32, 22);
    m_slider->setGeometry(w / 2 + 10, (h - 22) / 2, w / 2 - 40, 22);
    m_value->setGeometry(w - 28, (h - 22) / 2, 22, 22);
}
