#pragma once

#include "RDLocalize.h"
#include "RDWidget.h"

class RDCoreDeviceGroups;
class RDLabel;

// The "Sound Device" page of the zone source: which sound endpoint of the PC
// the zone plays. A click on the hint reads the endpoints again.
class RDGroupSourceSoundWidget : public RDWidget, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDGroupSourceSoundWidget(QWidget *parent = nullptr);

    RDLabel *hintLabel() const { return m_hint; }
    RDCoreDeviceGroups *deviceGroups() const { return m_devices; }

    void languageChanged() override;

public slots:
    // Reads the endpoints again, keeping the selected one checked.
    void refreshDevices();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void relayout();

    RDLabel *m_hint;
    RDCoreDeviceGroups *m_devices;
};
