#include "RDGroupMoreDialog.h"

#include "RDGroupRTPWidget.h"
#include "RDGroupSIPTrunkWidget.h"
#include "RDGroupScheduleWidget.h"
#include "RDLabel.h"
#include "RDVerticalTabStyle.h"
#include "RDWidget.h"
#include "Velmar.h"

#include <QTabBar>
#include <QTabWidget>

namespace {

void styleButton(RDLabel *button)
{
    button->setTextColor(QColor(255, 255, 255));
    button->setBackgroundColor(QColor(53, 141, 0));
    button->setBorder(10, 0, QColor(53, 141, 0));
    button->setCursor(Qt::PointingHandCursor);
}

} // namespace

RDGroupMoreDialog::RDGroupMoreDialog(QWidget *parent)
    : RDBaseDialog(parent)
    , m_tabs(new QTabWidget(body()))
    , m_tabStyle(new RDVerticalTabStyle)
    , m_schedule(new RDGroupScheduleWidget)
    , m_sipTrunk(new RDGroupSIPTrunkWidget)
    , m_rtp(new RDGroupRTPWidget)
    , m_ok(new RDLabel(body()))
    , m_apply(new RDLabel(body()))
{
    m_tabs->setTabPosition(QTabWidget::West);
    m_tabs->tabBar()->setStyle(m_tabStyle);
    m_tabs->addTab(m_schedule, QString());
    m_tabs->addTab(m_sipTrunk, QString());
    m_tabs->addTab(m_rtp, QString());
    styleButton(m_ok);
    styleButton(m_apply);
    connect(m_sipTrunk, &RDGroupSIPTrunkWidget::requestRefresh, this, &RDGroupMoreDialog::refreshSipTrunkRegStatus);
    connect(m_ok, &RDLabel::clicked, this, &RDGroupMoreDialog::onClickOkButton);
    connect(m_apply, &RDLabel::clicked, this, &RDGroupMoreDialog::onClickApplyButton);
    setMinimumSize(760, 600);
    resize(760, 600);
    RDGroupMoreDialog::languageChanged();
}

RDGroupMoreDialog::~RDGroupMoreDialog()
{
    // The tab bar goes with the dialog's children, after this body: give it
    // back its own style before the one it points to is deleted.
    m_tabs->tabBar()->setStyle(nullptr);
    delete m_tabStyle;
}

void RDGroupMoreDialog::languageChanged()
{
    RDBaseDialog::languageChanged();
    m_tabs->setTabText(ScheduleTab, RDLocalize::text(QStringLiteral("Schedule")));
    m_tabs->setTabText(SipTrunkTab, RDLocalize::text(QStringLiteral("SIP Trunk")));
    m_tabs->setTabText(RtpTab, RDLocalize::text(QStringLiteral("RTP")));
    m_ok->setText(RDLocalize::text(QStringLiteral("OK")));
    m_apply->setText(RDLocalize::text(QStringLiteral("Apply")));
}

void RDGroupMoreDialog::setCurrentTab(int index)
{
    m_tabs->setCurrentIndex(index);
}

void RDGroupMoreDialog::setGroup(const RDGroup &group)
{
    m_group = group;
    m_schedule->setSchedule(group.scheduleEnable != 0, group.scheduleRepeatType, group.scheduleRepeatValue,
                            group.scheduleTime, group.scheduleOperationList);
    Velmar *velmar = Velmar::instance();
    m_rtp->setGroup(group, velmar ? velmar->internalIp() : QString(), velmar ? velmar->httpPort() : 0);
    // Last: its refresh request reads the copy's trunk.
    m_sipTrunk->setGroup(group);
}

void RDGroupMoreDialog::getGroup(RDGroup &group) const
{
    m_schedule->getGroup(group);
    m_sipTrunk->getGroup(group);
    m_rtp->getGroup(group);
}

void RDGroupMoreDialog::updateSipTrunkRegStatus(QString status)
{
    m_sipTrunk->setRegStatus(status);
}

void RDGroupMoreDialog::refreshSipTrunkRegStatus()
{
    Velmar *velmar = Velmar::instance();
    m_sipTrunk->setRegStatus(velmar ? velmar->sipTrunkStatus(m_group.sipTrunkServer, m_group.sipTrunkPort,
                                                             m_group.sipTrunkNumber)
                                    : QString());
}

void RDGroupMoreDialog::onClickOkButton()
{
    getGroup(m_group);
    accept();
}

void RDGroupMoreDialog::onClickApplyButton()
{
    getGroup(m_group);
    emit requestApplyGroup(m_group);
}

void RDGroupMoreDialog::relayoutContents(int w, int h)
{
    m_tabs->setGeometry(0, 0, w, h - 50);
    const int x = (w / 2 - 120) / 2;
    m_ok->setGeometry(x, h - 40, 120, 30);
    m_apply->setGeometry(x + w / 2, h - 40, 120, 30);
}
