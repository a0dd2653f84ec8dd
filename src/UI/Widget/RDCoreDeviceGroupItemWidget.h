#pragma once

#include "RDCoreDevice.h"
#include "RDWidget.h"

class RDLabel;
class RDPixmapButton;
class RDPixmapsButton;

// One sound endpoint of the PC in the endpoint list: a radio, the endpoint's
// kind as an icon (microphone for capture, speaker for render) and its name.
// A click anywhere on the row emits clicked(); the list decides the radios.
class RDCoreDeviceGroupItemWidget : public RDWidget
{
    Q_OBJECT
public:
    explicit RDCoreDeviceGroupItemWidget(QWidget *parent = nullptr);

    void setDevice(const RDCoreDevice &device);
    RDCoreDevice device() const { return m_device; }

    void setChecked(bool checked);
    bool isChecked() const;

    RDPixmapsButton *radio() const { return m_radio; }
    RDPixmapButton *icon() const { return m_icon; }
    RDLabel *label() const { return m_label; }

signals:
    void clicked(RDCoreDeviceGroupItemWidget *itemWidget);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void relayout();

    RDPixmapsButton *m_radio;
    RDPixmapButton *m_icon;
    RDLabel *m_label;
    RDCoreDevice m_device;
};
