#pragma once

#include "RDGroup.h"

#include <QHash>
#include <QString>
#include <QVector>

#include <memory>
#include <mutex>

class VelmarDB;

// The stored zones, each with its device list, as last read from the
// application database, so that a zone lookup (every "/action" request,
// every start and stop notice) does not wait on the database. Only the
// stored part is kept: the run state of the zone and of its devices is taken
// from the switch control's live maps on every lookup. Any change to the
// device or zone tables, an import or a new data folder makes the next
// lookup read the tables again, so a lookup never answers from an older copy
// than the database holds when it begins.
class VelmarGroupCache
{
public:
    // `shared` is the owner's own connection, used through VelmarDBGuard.
    explicit VelmarGroupCache(VelmarDB *shared);

    VelmarGroupCache(const VelmarGroupCache &) = delete;
    VelmarGroupCache &operator=(const VelmarGroupCache &) = delete;

    // An invalid group (id 0) when none matches.
    RDGroup groupByConference(const QString &conference);
    RDGroup groupById(int id);

    // How many times the tables were read; tests watch it.
    int reads() const;

    // Rebuilds a stored group's lists from their columns, the device list
    // against `devices`.
    static void completeGroup(RDGroup &group, const QVector<RDDevice> &devices);

private:
    struct Snapshot
    {
        quint64 dataVersion = 0;
        int dataDirGeneration = 0;
        QVector<RDGroup> groups;
        QHash<QString, int> byConference;
        QHash<int, int> byId;
    };

    std::shared_ptr<const Snapshot> current();
    std::shared_ptr<const Snapshot> read(quint64 dataVersion, int dataDirGeneration);
    static bool isCurrent(const Snapshot &snapshot, quint64 dataVersion, int dataDirGeneration);
    static RDGroup withRunState(const Snapshot &snapshot, int index);

    VelmarDB *m_shared;
    // Guards m_snapshot and m_reads; held only to copy or swap them.
    mutable std::mutex m_lock;
    std::shared_ptr<const Snapshot> m_snapshot;
    int m_reads = 0;
    // One reader of the tables at a time: lookups that find the copy out of
    // date wait for the one read instead of each reading the tables.
    std::mutex m_readLock;
};
