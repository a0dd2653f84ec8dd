#pragma once

#include "RDLabel.h"
#include "RDLocalize.h"
#include "RDToast.h"

#include <QStringList>

class QCheckBox;
class QComboBox;
class QLineEdit;
class SwitchControl;

// General page of the settings dialog: the language, start at logon and
// the HTTP API (switch and port), with two sample API addresses that are
// copied with a click.
class VelmarGeneralWidget : public RDToast, public RDLocalize
{
    Q_OBJECT
public:
    explicit VelmarGeneralWidget(QWidget *parent = nullptr);
    ~VelmarGeneralWidget() override;

    void load();
    void languageChanged() override;

    QComboBox *languageCombo() const { return m_language; }
    SwitchControl *bootSwitch() const { return m_boot; }
    QLineEdit *portEdit() const { return m_port; }
    QCheckBox *apiCheck() const { return m_api; }
    RDLabel *apiCaption() const { return m_apiCaption; }
    RDLabel *startUrl() const { return m_startUrl; }
    RDLabel *stopUrl() const { return m_stopUrl; }
    RDLabel *saveButton() const { return m_save; }

public slots:
    void onLanguageChanged(int index);
    void onLuanchSwitch(bool checked);
    void onHttpApiChanged(bool checked);
    void onClickOKButton();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void colourApi(bool checked);
    void copyUrl(RDLabel *label);

    RDLabel *m_languageCaption;
    QComboBox *m_language;
    RDLabel *m_bootCaption;
    SwitchControl *m_boot;
    RDLabel *m_portCaption;
    QLineEdit *m_port;
    QCheckBox *m_api;
    RDLabel *m_apiCaption;
    RDLabel *m_startUrl;
    RDLabel *m_stopUrl;
    RDLabel *m_save;
    QStringList m_languageNames;
    QStringList m_languageTexts;
};
