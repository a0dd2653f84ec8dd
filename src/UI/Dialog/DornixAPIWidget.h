#pragma once

#include "RDLabel.h"
#include "RDLocalize.h"
#include "RDToast.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class RDPixmapWidget;

// App Connect page of the settings dialog: how phone apps reach this PC,
// directly over the LAN (WebSocket port), through the device cloud (code),
// and the login both need. Each connection shows its QR code.
class DornixAPIWidget : public RDToast, public RDLocalize
{
    Q_OBJECT
public:
    explicit DornixAPIWidget(QWidget *parent = nullptr);
    ~DornixAPIWidget() override;

    void load();
    void languageChanged() override;

    // The text the LAN connection's QR code holds for `port`, and its
    // caption ("<address>:<port>").
    static QString ipConnectionText(const QString &port);
    static QString ipConnectionCode(const QString &port);

    QCheckBox *p2pCheck() const { return m_p2p; }
    QLineEdit *codeEdit() const { return m_code; }
    RDPixmapWidget *codeIcon() const { return m_codeIcon; }
    QCheckBox *ipCheck() const { return m_ip; }
    QLineEdit *portEdit() const { return m_port; }
    RDPixmapWidget *ipIcon() const { return m_ipIcon; }
    QCheckBox *authCheck() const { return m_auth; }
    QLineEdit *userEdit() const { return m_user; }
    QLineEdit *passwordEdit() const { return m_password; }
    QPushButton *saveButton() const { return m_save; }

public slots:
    void onClickCodeWidget();
    void onClickAPIWidget();
    void onClickSave();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateP2P();
    void updateIp();
    void updateAuth();

    QCheckBox *m_p2p;
    QLabel *m_p2pCaption;
    QLabel *m_codeCaption;
    QLineEdit *m_code;
    RDPixmapWidget *m_codeIcon;
    QCheckBox *m_ip;
    QLabel *m_ipCaption;
    QLabel *m_portCaption;
    QLineEdit *m_port;
    RDPixmapWidget *m_ipIcon;
    QCheckBox *m_auth;
    QLabel *m_authCaption;
    QLabel *m_userCaption;
    QLineEdit *m_user;
    QLabel *m_passwordCaption;
    QLineEdit *m_password;
    QPushButton *m_save;
};
