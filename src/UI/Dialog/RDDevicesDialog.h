#pragma once

#include "RDDevice.h"
#include "RDLocalize.h"
#include "VelmarObserver.h"

#include <QDialog>
#include <QVector>

class QListWidget;

// The device list window: every stored device with its live status.
class RDDevicesDialog : public QDialog, public RDLocalize, public VelmarObserver
{
    Q_OBJECT
public:
    explicit RDDevicesDialog(QWidget *parent = nullptr);
    ~RDDevicesDialog() override;

    // Reads the devices from the central object.
    void loadDevices();
    void languageChanged() override;

    void onNotifyDeviceStatusChanged(Velmar *velmar, QVector<RDDevice> devices) override;

    QString lineText(int row) const;
    int deviceCount() const { return m_devices.size(); }

public Q_SLOTS:
    // `online`: the devices that are online or calling; the others are offline.
    void updateDeviceStatus(QVector<RDDevice> online);

private:
    void rebuild();

    QListWidget *m_list;
    QVector<RDDevice> m_devices;
};
