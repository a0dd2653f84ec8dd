#include "RDGroupMoreWidget.h"

#include "RDGroup.h"
#include "RDLabel.h"
#include "RDPixmapWidget.h"
#include "RDPixmapsButton.h"

#include <QPixmap>

RDGroupMoreWidget::RDGroupMoreWidget(QWidget *parent)
    : RDWidget(parent)
    , m_icon(new RDPixmapWidget(this))
    , m_label(new RDLabel(this))
    , m_schedule(new RDPixmapsButton(this))
    , m_sipTrunk(new RDPixmapsButton(this))
    , m_multicast(new RDPixmapsButton(this))
{
    m_icon->setPixmap(QPixmap(QStringLiteral(":/resources/settings.png")));
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_label->setTextColor(Qt::black);
    m_schedule->setObjectName(QStringLiteral("scheduleButton"));
    m_schedule->setPixmaps(QStringLiteral(":/resources/schedule_gray.png"),
                           QStringLiteral(":/resources/schedule_style.png"), 20);
    m_sipTrunk->setObjectName(QStringLiteral("sipTrunkButton"));
    m_sipTrunk->setPixmaps(QStringLiteral(":/resources/sip_trunk_gray.png"),
                           QStringLiteral(":/resources/sip_trunk_style.png"), 18);
    m_multicast->setObjectName(QStringLiteral("multicastButton"));
    m_multicast->setPixmaps(QStringLiteral(":/resources/multicast_gray.png"),
                            QStringLiteral(":/resources/multicast_style.png"), 18);
    connect(m_schedule, &RDPixmapsButton::clicked, this, [this] { emit clickButton(0); });
    connect(m_sipTrunk, &RDPixmapsButton::clicked, this, [this] { emit clickButton(1); });
    connect(m_multicast, &RDPixmapsButton::clicked, this, [this] { emit clickButton(2); });
    languageChanged();
}

void RDGroupMoreWidget::showGroup(const RDGroup &group)
{
    m_schedule->setChecked(group.scheduleEnable != 0);
    m_sipTrunk->setChecked(group.sipTrunkEnable != 0);
    m_multicast->setChecked(group.rtpEnable != 0);
    update();
}

void RDGroupMoreWidget::languageChanged()
{
    m_label->setText(RDLocalize::text(QStringLiteral("Settings")));
}

void RDGroupMoreWidget::resizeEvent(QResizeEvent *event)
{
    RDWidget::resizeEvent(event);
    const int w = width(), h = height();
    m_icon->setGeometry(10, (h - 18) / 2, 18, 18);
    m_label->setGeometry(32, (h - 22) / 2, w / 2 - 32, 22);
    m_schedule->setGeometry(w / 2 + 10, (h - 20) / 2, 20, 20);
    m_sipTrunk->setGeometry(m_schedule->geometry().right() + 5, (h - 18) / 2, 18, 18);
    m_multicast->setGeometry(m_sipTrunk->geometry().right() + 5, (h - 18) / 2, 18, 18);
}
