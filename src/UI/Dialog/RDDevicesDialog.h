#pragma once

#include "RDDevice.h"
#include "RDFullDialog.h"
#include "VelmarObserver.h"

#include <QPointer>
#include <QVector>

class QLineEdit;
#include <QMenu>
class RDDeviceItemWidget;
class RDDeviceWidget;
class RDLabel;
class RDPixmapButton;

// The device list window: every stored device as a tile with its live
// status, a filter, and adding (one, a run, from a file), changing and
// deleting devices, each stored through the central object. Zone editors
// open it as a picker and read selectedDevices() after an accepted run.
//
// Handlers copy a tile's device before anything modal runs: tiles may be
// rebuilt while a dialog is open.
class RDDevicesDialog : public RDFullDialog, public VelmarObserver
{
    Q_OBJECT
public:
    explicit RDDevicesDialog(QWidget *parent = nullptr);
    ~RDDevicesDialog() override;

    QVector<RDDevice> selectedDevices() const;
    void loadDevices();
    void updateSelectLabel();

    const QVector<RDDevice> &devices() const { return m_devices; }
    RDDeviceWidget *deviceWidget() const { return m_deviceWidget; }
    QLineEdit *filterEdit() const { return m_filterEdit; }
    RDLabel *selectAllLabel() const { return m_selectAllLabel; }
    RDLabel *selectButton() const { return m_selectButton; }
    RDPixmapButton *addOneButton() const { return m_addOneButton; }
    RDPixmapButton *addAllButton() const { return m_addAllButton; }
    RDPixmapButton *importButton() const { return m_importButton; }
    QMenu *contextMenu() const { return m_menu; }

    void onNotifyDeviceStatusChanged(Velmar *velmar, QVector<RDDevice> devices) override;
    void languageChanged() override;

public slots:
    void updateDeviceAdded(RDDevice device);
    void updateDeviceUpdated(RDDevice device);
    void updateDeviceDeleted(RDDevice device);
    void updateNotifyDeviceStatusChanged(QVector<RDDevice> devices);

private slots:
    void onClickNewDevice();
    void onClickMenuCall();
    void onClickMenuModify();
    void onClickMenuDelete();
    void onClickDeviceCall(RDDevice device);
    void onClickDeviceModify(RDDevice device);
    void onClickDeviceDelete(RDDevice device);
    void onClickAddOneButton();
    void onClickAddAllButton();
    void onClickImportButton();
    void onClickFilterButton();

protected:
    void relayoutContents(int width, int height) override;

private:
    void onClickSelectAll();
    void onRightClickItem(RDDeviceItemWidget *item, QPoint point);
    // Stores a run of new devices and says how many of them were stored.
    void storeDevices(const QVector<RDDevice> &devices, const QStringList &refusedBefore);
    void showMessage(const QString &message);

    RDDevice m_currentDevice;
    QVector<RDDevice> m_devices;
    RDPixmapButton *m_addOneButton;
    RDPixmapButton *m_addAllButton;
    RDPixmapButton *m_importButton;
    QLineEdit *m_filterEdit;
    RDPixmapButton *m_searchButton;
    RDDeviceWidget *m_deviceWidget;
    RDLabel *m_selectAllLabel;
    RDLabel *m_selectButton;
    QPointer<QMenu> m_menu;
};
