#pragma once

#include "RDBaseDialog.h"
#include "RDGroup.h"

class QTabWidget;
class RDGroupRTPWidget;
class RDGroupSIPTrunkWidget;
class RDGroupScheduleWidget;
class RDLabel;
class RDVerticalTabStyle;

// Advanced settings of one zone on three tabs: schedule, SIP trunk and
// outputs. It edits a copy: the caller reads the controls back into its own
// record (getGroup) after OK, or on every Apply (requestApplyGroup), and
// stores it itself.
class RDGroupMoreDialog : public RDBaseDialog
{
    Q_OBJECT
public:
    enum Tab { ScheduleTab, SipTrunkTab, RtpTab };

    explicit RDGroupMoreDialog(QWidget *parent = nullptr);
    ~RDGroupMoreDialog() override;

    void setCurrentTab(int index);
    void setGroup(const RDGroup &group);
    // Writes the three tabs into `group`; its other fields stay.
    void getGroup(RDGroup &group) const;
    // The dialog's own copy, as last read back by OK or Apply.
    RDGroup group() const { return m_group; }

    QTabWidget *tabWidget() const { return m_tabs; }
    RDGroupScheduleWidget *scheduleWidget() const { return m_schedule; }
    RDGroupSIPTrunkWidget *sipTrunkWidget() const { return m_sipTrunk; }
    RDGroupRTPWidget *rtpWidget() const { return m_rtp; }
    RDLabel *okButton() const { return m_ok; }
    RDLabel *applyButton() const { return m_apply; }

    void languageChanged() override;

signals:
    void requestApplyGroup(RDGroup group);

public slots:
    void updateSipTrunkRegStatus(QString status);
    void refreshSipTrunkRegStatus();

protected:
    void relayoutContents(int width, int height) override;

private:
    void onClickOkButton();
    void onClickApplyButton();

    QTabWidget *m_tabs;
    RDVerticalTabStyle *m_tabStyle;
    RDGroupScheduleWidget *m_schedule;
    RDGroupSIPTrunkWidget *m_sipTrunk;
    RDGroupRTPWidget *m_rtp;
    RDLabel *m_ok;
    RDLabel *m_apply;
    RDGroup m_group;
};
