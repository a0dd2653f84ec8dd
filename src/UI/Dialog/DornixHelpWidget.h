#pragma once

#include "RDLabel.h"
#include "RDLocalize.h"
#include "RDToast.h"

class QLabel;

// About page of the settings dialog: version, build date and contact.
class DornixHelpWidget : public RDToast, public RDLocalize
{
    Q_OBJECT
public:
    explicit DornixHelpWidget(QWidget *parent = nullptr);
    ~DornixHelpWidget() override;

    void languageChanged() override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void relayout();

    RDLabel *m_versionCaption;
    RDLabel *m_version;
    QLabel *m_dateCaption;
    QLabel *m_date;
    QLabel *m_contactCaption;
    QLabel *m_contact;
};
