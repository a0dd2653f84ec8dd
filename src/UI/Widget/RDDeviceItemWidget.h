#pragma once

#include "RDDevice.h"

#include <QPoint>
#include <QWidget>

class RDPixmapButton;

// One device tile: name, SIP number, live status, and call, edit and delete
// buttons on a band at the bottom. Left and right releases above the band
// report the tile; the buttons report after the mouse event has returned.
class RDDeviceItemWidget : public QWidget
{
    Q_OBJECT
public:
    explicit RDDeviceItemWidget(QWidget *parent = nullptr);

    RDDevice &device() { return m_device; }
    const RDDevice &device() const { return m_device; }
    void setDevice(const RDDevice &device);
    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }

    RDPixmapButton *callButton() const { return m_callButton; }
    RDPixmapButton *editButton() const { return m_editButton; }
    RDPixmapButton *deleteButton() const { return m_deleteButton; }

signals:
    void clickItemCall(RDDeviceItemWidget *itemWidget);
    void clickItemEdit(RDDeviceItemWidget *itemWidget);
    void clickItemDelete(RDDeviceItemWidget *itemWidget);
    void clickItem(RDDeviceItemWidget *itemWidget, QPoint position);
    void rightClickItem(RDDeviceItemWidget *itemWidget, QPoint position);
    // The flag changed through setSelected (the grid keeps it by device).
    void selectedChanged(RDDeviceItemWidget *itemWidget, bool selected);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void onClickItemCall();
    void onClickItemEdit();
    void onClickItemDelete();

private:
    RDPixmapButton *m_callButton;
    RDPixmapButton *m_editButton;
    RDPixmapButton *m_deleteButton;
    RDDevice m_device;
    bool m_selected = false;
};
