#pragma once

#include "RDLabel.h"
#include "RDLocalize.h"
#include "RDToast.h"

class QPushButton;

// Data page of the settings dialog: export of the application database to
// a folder, import of a database file over the live one, and the zone log.
class PASettingsDataWidget : public RDToast, public RDLocalize
{
    Q_OBJECT
public:
    explicit PASettingsDataWidget(QWidget *parent = nullptr);
    ~PASettingsDataWidget() override;

    void languageChanged() override;

    QPushButton *exportButton() const { return m_export; }
    QPushButton *importButton() const { return m_import; }
    QPushButton *logButton() const { return m_log; }

public slots:
    void onClickExportData(bool checked);
    void onClickImportData(bool checked);
    void onClickLog(bool checked);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QPushButton *m_export;
    QPushButton *m_import;
    QPushButton *m_log;
};
