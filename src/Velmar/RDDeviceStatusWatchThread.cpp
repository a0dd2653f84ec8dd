#include "RDDeviceStatusWatchThread.h"

#include "FSManager.h"
#include "QBreakpadHandler.h"
#include "Velmar.h"
#include "VelmarDB.h"

RDDeviceStatusWatchThread::RDDeviceStatusWatchThread(Velmar *owner)
    : m_owner(owner)
{
    setName("RDDeviceStatusWatchThread");
}

bool RDDeviceStatusWatchThread::statusChanged(const QMap<QString, QString> &previous,
                                              const QMap<QString, QString> &current)
{
    if (previous.size() != current.size())
        return true;
    for (auto it = previous.constBegin(); it != previous.constEnd(); ++it) {
        if (current.value(it.key(), QStringLiteral("none")) != it.value())
            return true;
    }
    return false;
}

QVector<RDDevice> RDDeviceStatusWatchThread::onlineDevices(const QVector<RDDevice> &devices)
{
    QVector<RDDevice> online;
    for (const RDDevice &device : devices) {
        if (device.status == QLatin1String("calling") || device.status == QLatin1String("online"))
            online.append(device);
    }
    return online;
}

void RDDeviceStatusWatchThread::run()
{
    QBreakpadHandler::installAlternateStack();
    VelmarDB database(true);
    VelmarDB::registerDB(&database);
    QMap<QString, QString> snapshot;

    while (!isStopped()) {
        database.reopenIfNeeded();
        FSManager *manager = FSManager::instance();
        if (!manager || !manager->isReady()) {
            sleep(1000);
            continue;
        }
        const QMap<QString, QString> current = manager->deviceStatus();
        if (statusChanged(snapshot, current)) {
            snapshot = current;
            m_owner->notifyDeviceStatusChanged(onlineDevices(database.selectDevicesWithStatus(current)));
        }
        sleep(2000);
    }

    VelmarDB::unregisterDB(&database);
    database.close();
}
