// Storing an imported list of 1,000 devices through the central object: the
// database rows and the switch's account files, in one transaction and one
// switch change, against adding the same devices one at a time.
//   build-rel/bin/bench/bench_device_import
#include "BenchQtMain.h"
#include "BenchSmoke.h"
#include "FSManager.h"
#include "RDDevice.h"
#include "VDB.h"
#include "Velmar.h"
#include "VelmarDB.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include <functional>

namespace {

// The central object over a private database, with the switch manager
// writing into a private folder (the switch itself is not started).
class Installation
{
public:
    Installation()
    {
        m_oldDataDir = VDB::dataDir();
        VDB::setDataDir(m_data.path());
        {
            VelmarDB db(true);
            db.checkUpgrade();
        }
        QDir().mkpath(m_switch.path() + QStringLiteral("/conf/directory/default"));
        FSManager *fs = FSManager::createInstance();
        fs->setDirectory(m_switch.path());
        m_ok = Velmar::createInstance();
    }
    ~Installation()
    {
        Velmar::destroyInstance();
        FSManager::destroyInstance();
        VelmarDB::closeIdleConnections();
        VDB::setDataDir(m_oldDataDir);
    }
    bool ok() const { return m_ok; }

private:
    QTemporaryDir m_data;
    QTemporaryDir m_switch;
    QString m_oldDataDir;
    bool m_ok = false;
};

QVector<RDDevice> importList()
{
    QVector<RDDevice> devices;
    for (int i = 0, n = BenchSmoke::size(1000, 20); i < n; ++i) {
        RDDevice d;
        d.number = QString::number(6000 + i);
        d.name = QStringLiteral("Speaker %1").arg(i);
        d.password = QStringLiteral("pw%1").arg(i);
        devices << d;
    }
    return devices;
}

// Times `store` on an installation emptied before each round, and counts
// the commits of the last round.
void runStoreRounds(benchmark::State &state, const std::function<int(Velmar *, const QVector<RDDevice> &)> &store)
{
    Installation installation;
    if (!installation.ok()) {
        state.SkipWithError("no central object");
        return;
    }
    Velmar *velmar = Velmar::instance();
    const QVector<RDDevice> devices = importList();
    quint64 commits = 0;
    for (auto _ : state) {
        state.PauseTiming();
        velmar->removeDevices(velmar->getDevices());
        const quint64 before = VelmarDB::commitCount();
        state.ResumeTiming();
        const int stored = store(velmar, devices);
        state.PauseTiming();
        commits = VelmarDB::commitCount() - before;
        if (stored != devices.size())
            state.SkipWithError("not every device was stored");
        state.ResumeTiming();
    }
    state.counters["devices"] = devices.size();
    state.counters["transactions"] = double(commits);
    state.counters["reloads_pending"] = FSManager::instance()->isReloadPending() ? 1 : 0;
}

void BM_ImportDevices(benchmark::State &state)
{
    runStoreRounds(state, [](Velmar *velmar, const QVector<RDDevice> &devices) {
        return velmar->addDevices(devices).size();
    });
}
BENCHMARK(BM_ImportDevices)->Unit(benchmark::kMillisecond)->Iterations(BenchSmoke::count(5));

void BM_AddDevicesOneByOne(benchmark::State &state)
{
    runStoreRounds(state, [](Velmar *velmar, const QVector<RDDevice> &devices) {
        int stored = 0;
        for (const RDDevice &d : devices)
            stored += velmar->addDevice(d) > 0 ? 1 : 0;
        return stored;
    });
}
BENCHMARK(BM_AddDevicesOneByOne)->Unit(benchmark::kMillisecond)->Iterations(BenchSmoke::count(3));

// The database share of an import: the rows alone, in one transaction.
void BM_InsertDevicesDatabaseOnly(benchmark::State &state)
{
    QTemporaryDir data;
    const QString oldDataDir = VDB::dataDir();
    VDB::setDataDir(data.path());
    {
        VelmarDB db(true);
        db.checkUpgrade();
        const QVector<RDDevice> devices = importList();
        for (auto _ : state) {
            state.PauseTiming();
            db.deleteDevices(db.selectDevices());
            state.ResumeTiming();
            if (db.insertDevices(devices).size() != devices.size())
                state.SkipWithError("not every device was stored");
        }
        state.counters["devices"] = devices.size();
    }
    VDB::setDataDir(oldDataDir);
}
BENCHMARK(BM_InsertDevicesDatabaseOnly)->Unit(benchmark::kMillisecond)->Iterations(BenchSmoke::count(5));

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarksInQtApplication(argc, argv);
}
