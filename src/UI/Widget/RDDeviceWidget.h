#pragma once

#include "RDDevice.h"

#include <QMap>
#include <QPoint>
#include <QScrollArea>
#include <QString>
#include <QVector>

class RDDeviceItemAddWidget;
class RDDeviceItemWidget;
class RDWidget;

// A scrolling grid of device tiles followed by a New Device tile. The grid
// never touches the database: its owner hands it devices and it reports
// clicks. The selection belongs to devices (by id), not to tile positions:
// a device stays selected while a filter hides it, and a tile that shows
// another device after setDevices shows that device's own flag.
//
// The tile pointers of the signals are valid only while the signal is
// delivered: a receiver that runs a modal dialog copies the device first.
class RDDeviceWidget : public QScrollArea
{
    Q_OBJECT
public:
    explicit RDDeviceWidget(QWidget *parent = nullptr);
    ~RDDeviceWidget() override;

    QVector<RDDevice> &devices() { return m_devices; }
    void setDevices(const QVector<RDDevice> &devices);
    void addDevice(const RDDevice &device);
    void updateDevice(const RDDevice &device);
    void removeDevice(const RDDevice &device);
    void updateDeviceStatus(const QVector<RDDevice> &devices);

    // Every selected device: those shown, in tile order, then those a
    // filter hides, by number.
    QVector<RDDevice> selectedDevices() const;
    // True when a shown tile is selected.
    bool hasSelectedDevices() const;
    bool isEmpty() const { return m_devices.isEmpty(); }
    // Selects or clears every shown tile.
    void setAllSelected(bool selected);
    // Forgets the selection of devices that are not shown.
    void clearHiddenSelection();

    void setNewDeviceItem(const QString &icon, const QString &text);
    void setNewDeviceEnabled(bool enabled) { m_newDeviceEnabled = enabled; }
    bool isNewDeviceEnabled() const { return m_newDeviceEnabled; }

    // For the owners and tests: the tiles, the New Device tile, the columns.
    const QVector<RDDeviceItemWidget *> &items() const { return m_items; }
    RDDeviceItemWidget *itemOf(int deviceId) const;
    RDDeviceItemAddWidget *addWidget() const { return m_addWidget; }
    RDWidget *content() const { return m_content; }
    int columns() const { return m_columns; }

public slots:
    void sendClickNewDevice();

signals:
    void clickNewDevice();
    void clickItemWidget(RDDeviceItemWidget *widget, QPoint point);
    void rightClickItemWidget(RDDeviceItemWidget *itemWidget, QPoint point);
    void clickItemCall(RDDeviceItemWidget *widget);
    void clickItemEdit(RDDeviceItemWidget *widget);
    void clickItemDelete(RDDeviceItemWidget *widget);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void synchronize();
    void relayout();
    RDDeviceItemWidget *makeItem();
    void onSelectedChanged(RDDeviceItemWidget *item, bool selected);
    void showItem(RDDeviceItemWidget *item, const RDDevice &device);

    RDWidget *m_content;
    bool m_newDeviceEnabled = true;
    QVector<RDDevice> m_devices;
    int m_columns = 5;
    bool m_autoColumns = true;
    QString m_newDeviceIcon;
    QString m_newDeviceText;
    RDDeviceItemAddWidget *m_addWidget;
    QVector<RDDeviceItemWidget *> m_items;
    // Selected devices by id, with the last values seen of each.
    QMap<int, RDDevice> m_selected;
    // Set while the grid itself sets tile flags, so they don't echo back.
    bool m_settingFlags = false;
};
