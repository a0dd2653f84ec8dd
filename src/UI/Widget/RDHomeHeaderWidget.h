#pragma once

#include "RDLocalize.h"
#include "RDWidget.h"

class RDHomeHeaderButton;

// The main window's header bar: Save Configure, Devices and Options side by
// side from the left, on white with a green border.
class RDHomeHeaderWidget : public RDWidget, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDHomeHeaderWidget(QWidget *parent = nullptr);

    RDHomeHeaderButton *saveButton() const { return m_save; }
    RDHomeHeaderButton *devicesButton() const { return m_devices; }
    RDHomeHeaderButton *optionsButton() const { return m_options; }

    void retranslate();
    void languageChanged() override { retranslate(); }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void relayout();

    RDHomeHeaderButton *m_save;
    RDHomeHeaderButton *m_devices;
    RDHomeHeaderButton *m_options;
};
