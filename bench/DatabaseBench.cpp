// Application database and event log: the list queries every thread runs,
// device and zone inserts, event-log pages, and what a zone-control request
// costs in the databases (its zone lookup and its event-log record).
#include "BenchSmoke.h"
#include "PALogDB.h"
#include "Velmar.h"
#include "VelmarDB.h"
#include "VelmarDBGuard.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QTemporaryDir>

#include <memory>

namespace {

struct Folder {
    QTemporaryDir dir;
    Folder() { VDB::setDataDir(dir.path() + QStringLiteral("/database")); }
    ~Folder() { VDB::setDataDir(QString()); }
};

RDGroup zone(int i)
{
    RDGroup group;
    group.conference = QString::number(3000 + i);
    group.name = QStringLiteral("Zone %1").arg(i);
    group.source = QStringLiteral("media");
    group.mediumLoopType = QStringLiteral("list");
    group.medium = QStringLiteral("/media/a.mp3\n/media/b.mp3\n/media/c.mp3");
    group.devices = QStringLiteral("1;2;3;4;5;6;7;8;9;10");
    group.scheduleOperations = QStringLiteral("08:00;start\n12:00;stop");
    group.prayFiles = QStringLiteral("\n\n\n\n\n");
    VelmarDB::fillSipNumbers(group);
    return group;
}

void fillDevices(VelmarDB &db, int count)
{
    db.database().transaction();
    for (int i = 0; i < count; ++i)
        db.insertDevice(QStringLiteral("Device %1").arg(i), QString::number(100 + i), QStringLiteral("secret"));
    db.database().commit();
}

void fillZones(VelmarDB &db, int count)
{
    db.database().transaction();
    for (int i = 0; i < count; ++i)
        db.insertGroup(zone(i));
    db.database().commit();
}

// One insert per statement, as the device dialogs store them.
void BM_InsertDevices1000(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        Folder folder;
        VelmarDB db(true);
        db.checkUpgrade();
        state.ResumeTiming();
        for (int i = 0, n = BenchSmoke::size(1000, 50); i < n; ++i)
            db.insertDevice(QStringLiteral("Device %1").arg(i), QString::number(100 + i), QStringLiteral("secret"));
    }
}
BENCHMARK(BM_InsertDevices1000)->Unit(benchmark::kMillisecond)->Iterations(BenchSmoke::count(3));

void BM_InsertZones200(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        Folder folder;
        VelmarDB db(true);
        db.checkUpgrade();
        state.ResumeTiming();
        for (int i = 0, n = BenchSmoke::size(200, 10); i < n; ++i)
            db.insertGroup(zone(i));
    }
}
BENCHMARK(BM_InsertZones200)->Unit(benchmark::kMillisecond)->Iterations(BenchSmoke::count(3));

void BM_SelectDevices1000(benchmark::State &state)
{
    Folder folder;
    VelmarDB db(true);
    db.checkUpgrade();
    fillDevices(db, 1000);
    for (auto _ : state)
        benchmark::DoNotOptimize(db.selectDevicesWithStatus({}));
}
BENCHMARK(BM_SelectDevices1000)->Unit(benchmark::kMicrosecond);

// The full group list with all 44 columns, as every watcher pass reads it.
void BM_SelectZones200(benchmark::State &state)
{
    Folder folder;
    VelmarDB db(true);
    db.checkUpgrade();
    fillZones(db, 200);
    for (auto _ : state)
        benchmark::DoNotOptimize(db.selectGroups());
}
BENCHMARK(BM_SelectZones200)->Unit(benchmark::kMicrosecond);

// A foreign thread's guarded call: open, read the zones, close.
void BM_OpenSelectZonesClose200(benchmark::State &state)
{
    Folder folder;
    {
        VelmarDB db(true);
        db.checkUpgrade();
        fillZones(db, 200);
    }
    for (auto _ : state) {
        VelmarDB db(true);
        benchmark::DoNotOptimize(db.selectGroups());
    }
}
BENCHMARK(BM_OpenSelectZonesClose200)->Unit(benchmark::kMicrosecond);

struct EventLog {
    Folder folder;
    std::unique_ptr<PALogDB> log;
    EventLog()
    {
        log = std::make_unique<PALogDB>(true);
        log->checkUpgrade();
        log->database().transaction();
        for (int i = 1, n = BenchSmoke::size(100000, 1000); i <= n; ++i) {
            PALogRecord record;
            record.groupConference = QString::number(3000 + i % 20);
            record.groupName = QStringLiteral("Zone");
            record.action = i % 2 ? QStringLiteral("start") : QStringLiteral("stop");
            record.source = QStringLiteral("media");
            record.type = QStringLiteral("user");
            record.dateTime = QStringLiteral("2024-03-02 12:00:00");
            log->insertLog(record);
        }
        log->database().commit();
    }
};

EventLog &eventLog()
{
    static EventLog log;
    return log;
}

// Page p of 50 from 100 000 records; arg 0: unfiltered, 1: one zone.
void BM_EventLogPage(benchmark::State &state)
{
    PALogDB &log = *eventLog().log;
    const int page = int(state.range(0));
    const QString conference = state.range(1) ? QStringLiteral("3005") : QString();
    for (auto _ : state)
        benchmark::DoNotOptimize(log.selectLogs(page * 50, 50, conference, QString(), QString()));
}
BENCHMARK(BM_EventLogPage)->Args({0, 0})->Args({1000, 0})->Args({0, 1})->Args({99, 1})->Unit(benchmark::kMicrosecond);

void BM_EventLogCount(benchmark::State &state)
{
    PALogDB &log = *eventLog().log;
    const QString conference = state.range(0) ? QStringLiteral("3005") : QString();
    for (auto _ : state)
        benchmark::DoNotOptimize(log.countLogs(conference, QString(), QString()));
}
BENCHMARK(BM_EventLogCount)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// One folder with the two databases checked, a zone and a device, shared by
// every thread of the request figures below.
struct RequestDatabases {
    Folder folder;
    RDGroup group;
    RequestDatabases()
    {
        VelmarDB db(true);
        db.checkUpgrade();
        db.insertDevice(QStringLiteral("speaker"), QStringLiteral("6101"), QStringLiteral("6101"));
        group = zone(1);
        group.id = db.insertGroup(group);
        PALogDB log(true);
        log.checkUpgrade();
    }
};

RequestDatabases &requestDatabases()
{
    static RequestDatabases databases;
    return databases;
}

// The event-log record of one zone start, as every writer (HTTP, sessions,
// schedules, prayers) writes it; threads write at once.
void BM_GroupLogRecord(benchmark::State &state)
{
    const RDGroup group = requestDatabases().group;
    for (auto _ : state)
        Velmar::writeGroupLog(group, QStringLiteral("start"), group.source, QStringLiteral("http"));
}
BENCHMARK(BM_GroupLogRecord)->Threads(1)->Threads(8)->UseRealTime()->Unit(benchmark::kMicrosecond);

// A zone looked up by its number from a thread that holds no connection of
// its own (an HTTP or session thread).
void BM_ZoneLookupAwayFromTheSharedInstance(benchmark::State &state)
{
    const QString conference = requestDatabases().group.conference;
    for (auto _ : state) {
        VelmarDBGuard db(nullptr);
        benchmark::DoNotOptimize(db->selectGroupByConference(conference));
    }
}
BENCHMARK(BM_ZoneLookupAwayFromTheSharedInstance)->Threads(1)->Threads(8)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    eventLog().log.reset();
    return 0;
}
