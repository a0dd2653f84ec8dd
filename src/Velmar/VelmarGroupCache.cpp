#include "VelmarGroupCache.h"

#include "VDB.h"
#include "VelmarDB.h"
#include "VelmarDBGuard.h"

VelmarGroupCache::VelmarGroupCache(VelmarDB *shared)
    : m_shared(shared)
{
}

RDGroup VelmarGroupCache::groupByConference(const QString &conference)
{
    const std::shared_ptr<const Snapshot> snapshot = current();
    const auto it = snapshot->byConference.constFind(conference);
    return it == snapshot->byConference.constEnd() ? RDGroup() : withRunState(*snapshot, it.value());
}

RDGroup VelmarGroupCache::groupById(int id)
{
    const std::shared_ptr<const Snapshot> snapshot = current();
    const auto it = snapshot->byId.constFind(id);
    return it == snapshot->byId.constEnd() ? RDGroup() : withRunState(*snapshot, it.value());
}

int VelmarGroupCache::reads() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_reads;
}

bool VelmarGroupCache::isCurrent(const Snapshot &snapshot, quint64 dataVersion, int dataDirGeneration)
{
    return snapshot.dataVersion == dataVersion && snapshot.dataDirGeneration == dataDirGeneration;
}

std::shared_ptr<const VelmarGroupCache::Snapshot> VelmarGroupCache::current()
{
    // The count is taken before the copy is looked at: a change that lands
    // after this point is one this lookup may or may not see, as with a read
    // of the database itself.
    const quint64 version = VelmarDB::dataVersion();
    const int generation = VDB::dataDirGeneration();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_snapshot && isCurrent(*m_snapshot, version, generation))
            return m_snapshot;
    }
    std::lock_guard<std::mutex> reading(m_readLock);
    // Another lookup may have read the tables while this one waited.
    const quint64 readVersion = VelmarDB::dataVersion();
    const int readGeneration = VDB::dataDirGeneration();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_snapshot && isCurrent(*m_snapshot, readVersion, readGeneration))
            return m_snapshot;
    }
    return read(readVersion, readGeneration);
}

std::shared_ptr<const VelmarGroupCache::Snapshot> VelmarGroupCache::read(quint64 dataVersion,
                                                                          int dataDirGeneration)
{
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->dataVersion = dataVersion;
    snapshot->dataDirGeneration = dataDirGeneration;
    bool usable = false;
    {
        VelmarDBGuard db(m_shared);
        const QVector<RDDevice> devices = db->selectDevicesWithStatus(QMap<QString, QString>());
        snapshot->groups = db->selectGroups();
        // A closed connection (an import under way) reads nothing, and a
        // failed read looks like an empty table: neither is kept.
        usable = db->isOpen() && !snapshot->groups.isEmpty();
        for (RDGroup &group : snapshot->groups)
            completeGroup(group, devices);
    }
    for (int i = 0; i < snapshot->groups.size(); ++i) {
        snapshot->byConference.insert(snapshot->groups.at(i).conference, i);
        snapshot->byId.insert(snapshot->groups.at(i).id, i);
    }
    std::lock_guard<std::mutex> lock(m_lock);
    ++m_reads;
    if (usable)
        m_snapshot = snapshot;
    return snapshot;
}

void VelmarGroupCache::completeGroup(RDGroup &group, const QVector<RDDevice> &devices)
{
    group.updatePrayFiles();
    group.updateMedia();
    group.updateScheduleOperations();
    group.updateDevices(devices);
}

RDGroup VelmarGroupCache::withRunState(const Snapshot &snapshot, int index)
{
    RDGroup group = snapshot.groups.at(index);
    static_cast<RDGroupStatus &>(group) =
        VelmarDB::currentGroupStatus().value(group.conference, RDGroupStatus());
    if (!group.deviceList.isEmpty()) {
        const QMap<QString, QString> status = VelmarDB::currentDeviceStatus();
        for (RDDevice &device : group.deviceList)
            device.status = status.value(device.number, QStringLiteral("none"));
    }
    return group;
}
