#pragma once

#include "RDLocalize.h"
#include "RDWidget.h"

class RDLabel;
class RDPixmapWidget;
class RDPixmapsButton;
struct RDGroup;

// The zone editors' "more settings" row: three buttons (schedule, SIP trunk,
// multicast) that light while their feature is on and open its tab.
class RDGroupMoreWidget : public RDWidget, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDGroupMoreWidget(QWidget *parent = nullptr);

    // Lights each button from the zone's schedule, SIP trunk and RTP flags.
    void showGroup(const RDGroup &group);

    RDPixmapsButton *scheduleButton() const { return m_schedule; }
    RDPixmapsButton *sipTrunkButton() const { return m_sipTrunk; }
    RDPixmapsButton *multicastButton() const { return m_multicast; }

    void languageChanged() override;

signals:
    // 0 schedule, 1 SIP trunk, 2 multicast.
    void clickButton(int index);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    RDPixmapWidget *m_icon;
    RDLabel *m_label;
    RDPixmapsButton *m_schedule;
    RDPixmapsButton *m_sipTrunk;
    RDPixmapsButton *m_multicast;
};
