#pragma once

#include "QOnvifDevice.h"
#include "RDLocalize.h"
#include "RDWidget.h"

class RDLabel;

// One camera of the camera list: its address and its main and sub stream
// addresses, highlighted while selected; a left click emits clickItemWidget.
class RDOnvifListItemWidget : public RDWidget, public RDLocalize
{
    Q_OBJECT
public:
    explicit RDOnvifListItemWidget(QWidget *parent = nullptr);

    void setDevice(const QOnvifDevice &device);
    QOnvifDevice device() const { return m_device; }
    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }

    QString urlText() const;
    QString mainStreamText() const;
    QString subStreamText() const;

    void languageChanged() override;

signals:
    void clickItemWidget(RDOnvifListItemWidget *widget);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QOnvifDevice m_device;
    RDLabel *m_urlName;
    RDLabel *m_url;
    RDLabel *m_mainName;
    RDLabel *m_main;
    RDLabel *m_subName;
    RDLabel *m_sub;
    bool m_selected = false;
};
