#include "RDDevicesDialog.h"

#include "Velmar.h"

#include <QListWidget>
#include <QVBoxLayout>

RDDevicesDialog::RDDevicesDialog(QWidget *parent)
    : QDialog(parent)
    , m_list(new QListWidget(this))
{
    qRegisterMetaType<QVector<RDDevice>>("QVector<RDDevice>");
    setObjectName(QStringLiteral("RDDevicesDialog"));
    m_list->setObjectName(QStringLiteral("deviceList"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    languageChanged();
    loadDevices();
    if (Velmar *velmar = Velmar::instance())
        velmar->addObserver(this);
}

RDDevicesDialog::~RDDevicesDialog()
{
    if (Velmar *velmar = Velmar::instance())
        velmar->removeObserver(this);
}

void RDDevicesDialog::loadDevices()
{
    Velmar *velmar = Velmar::instance();
    m_devices = velmar ? velmar->getDevices() : QVector<RDDevice>();
    rebuild();
}

void RDDevicesDialog::languageChanged()
{
    setWindowTitle(RDLocalize::text(QStringLiteral("Devices")));
    rebuild();
}

void RDDevicesDialog::rebuild()
{
    m_list->clear();
    for (const RDDevice &device : m_devices) {
        const QString status = device.isOnline() || device.isCalling()
            ? RDLocalize::text(device.isCalling() ? QStringLiteral("Calling") : QStringLiteral("Online"))
            : RDLocalize::text(QStringLiteral("Offline"));
        m_list->addItem(QStringLiteral("%1  %2  %3").arg(device.name, device.number, status));
    }
}

QString RDDevicesDialog::lineText(int row) const
{
    QListWidgetItem *item = m_list->item(row);
    return item ? item->text() : QString();
}

void RDDevicesDialog::onNotifyDeviceStatusChanged(Velmar *velmar, QVector<RDDevice> devices)
{
    Q_UNUSED(velmar)
    QMetaObject::invokeMethod(this, "updateDeviceStatus", Qt::QueuedConnection, Q_ARG(QVector<RDDevice>, devices));
}

void RDDevicesDialog::updateDeviceStatus(QVector<RDDevice> online)
{
    for (RDDevice &device : m_devices) {
        device.status = QStringLiteral("none");
        for (const RDDevice &o : online) {
            if (o.id == device.id)
                device.status = o.status;
        }
    }
    rebuild();
}
