#pragma once

#include "RDBaseDialog.h"

class DornixAPIWidget;
class DornixHelpWidget;
class PASettingsDataWidget;
class QTabWidget;
class VelmarGeneralWidget;
class VelmarNetworkWidget;

// The options dialog: General, System, About, App Connect and Data pages
// on a tab bar at the left. A page reloads its values when it comes up.
class VelmarSettingsDialog : public RDBaseDialog
{
    Q_OBJECT
public:
    explicit VelmarSettingsDialog(QWidget *parent = nullptr);
    ~VelmarSettingsDialog() override;

    void languageChanged() override;

    QTabWidget *tabs() const { return m_tabs; }
    VelmarGeneralWidget *generalPage() const { return m_general; }
    VelmarNetworkWidget *systemPage() const { return m_system; }
    DornixHelpWidget *aboutPage() const { return m_about; }
    DornixAPIWidget *appConnectPage() const { return m_appConnect; }
    PASettingsDataWidget *dataPage() const { return m_data; }

protected:
    void relayoutContents(int width, int height) override;

private:
    void loadPage(int index);

    QTabWidget *m_tabs;
    VelmarGeneralWidget *m_general;
    VelmarNetworkWidget *m_system;
    DornixHelpWidget *m_about;
    DornixAPIWidget *m_appConnect;
    PASettingsDataWidget *m_data;
};
