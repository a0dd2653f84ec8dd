#pragma once

#include "RDLabel.h"
#include "RDLocalize.h"
#include "RDToast.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class RDWidget;

// System page of the settings dialog: the switch's LAN address, SIP ports,
// NAT, audio codecs and RTP port range. Save stores them; the switch and
// the SIP layer take them through a restart the page offers.
class VelmarNetworkWidget : public RDToast, public RDLocalize
{
    Q_OBJECT
public:
    explicit VelmarNetworkWidget(QWidget *parent = nullptr);
    ~VelmarNetworkWidget() override;

    void load();
    void languageChanged() override;

    QLineEdit *localIpEdit() const { return m_localIp; }
    QLineEdit *netmaskEdit() const { return m_netmask; }
    QLineEdit *internalPortEdit() const { return m_internalPort; }
    QCheckBox *natCheck() const { return m_nat; }
    RDLabel *natCaption() const { return m_natCaption; }
    QLineEdit *natIpEdit() const { return m_natIp; }
    QLineEdit *externalPortEdit() const { return m_externalPort; }
    // PCMU, PCMA, G722, OPUS.
    QCheckBox *codecCheck(int i) const { return m_codecs[i]; }
    QLineEdit *rtpStartEdit() const { return m_rtpStart; }
    QLineEdit *rtpEndEdit() const { return m_rtpEnd; }
    RDLabel *saveButton() const { return m_save; }
    RDLabel *selectButton() const { return m_select; }

    // The checked codecs in the switch's order (OPUS, G722, PCMU, PCMA).
    QString codecList() const;

public slots:
    void onClickOKButton();
    void onClickSelectButton();
    void onNatToggled(bool checked);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QLabel *m_localIpCaption;
    QLineEdit *m_localIp;
    RDLabel *m_select;
    QLabel *m_netmaskCaption;
    QLineEdit *m_netmask;
    QLabel *m_internalPortCaption;
    QLineEdit *m_internalPort;
    QCheckBox *m_nat;
    RDLabel *m_natCaption;
    QLineEdit *m_natIp;
    QLabel *m_externalPortCaption;
    QLineEdit *m_externalPort;
    QLabel *m_codecCaption;
    QCheckBox *m_codecs[4];
    QLabel *m_codecLabels[4];
    QLabel *m_rtpCaption;
    RDWidget *m_separator;
    QLineEdit *m_rtpStart;
    QLineEdit *m_rtpEnd;
    RDLabel *m_save;
};
