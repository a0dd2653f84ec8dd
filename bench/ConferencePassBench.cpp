// One supervision pass over a large installation: 1000 registered devices and
// 50 running zones of 20 devices each, all joined. Compared with the bare
// read of the two switch tables the pass starts with.
#include "BenchQtMain.h"
#include "FSChannelsManager.h"
#include "FSConferencePass.h"
#include "FSSipRegistrationsManager.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>
#include <benchmark/benchmark.h>

namespace {

constexpr int kZones = 50;
constexpr int kDevicesPerZone = 20;

class CountingHost : public FSConferenceHost
{
public:
    QString execute(const QString &) override
    {
        ++commands;
        return QStringLiteral("+OK\n");
    }
    void postStopConference(const QString &, const QString &) override { ++stops; }
    void notifyPlayChanged(int, const QString &, int, const QString &) override {}
    void setSipVolume(const QString &, int) override {}
    bool isAccountRegistered(const QString &) override { return true; }
    bool isAccountTalking(const QString &) override { return true; }
    long commands = 0;
    long stops = 0;
};

struct Fixture {
    QTemporaryDir dir;
    QSqlDatabase core;
    QSqlDatabase reg;
    QVector<FSConference> records;

    Fixture()
    {
        core = QSqlDatabase::addDatabase("QSQLITE", "benchCore");
        core.setDatabaseName(dir.filePath("core.db"));
        core.open();
        reg = QSqlDatabase::addDatabase("QSQLITE", "benchReg");
        reg.setDatabaseName(dir.filePath("sofia_reg_internal.db"));
        reg.open();
        QSqlQuery(core).exec("create table channels(uuid, callstate, accountcode, dest, callee_num, "
                             "application_data, cid_name, ip_addr, initial_cid_num, initial_dest, direction, "
                             "profile, created_epoch)");
        QSqlQuery(reg).exec("create table sip_registrations(sip_user, sip_host, contact, status, network_ip, "
                            "network_port, expires, call_id, user_agent)");
        core.transaction();
        reg.transaction();
        QSqlQuery ch(core);
        ch.prepare("insert into channels(uuid, callstate, accountcode, dest, application_data, cid_name, "
                   "initial_cid_num, initial_dest) values(?, 'ACTIVE', ?, ?, ?, ?, ?, ?)");
        QSqlQuery rg(reg);
        rg.prepare("insert into sip_registrations values(?, '127.0.0.1', ?, 'Registered(UDP)', '127.0.0.1', "
                   "'5060', 3600, ?, 'bench')");
        auto addLeg = [&](const QString &number, const QString &conference, bool speaks) {
            ch.addBindValue("uuid-" + number);
            ch.addBindValue(number);
            ch.addBindValue(number);
            ch.addBindValue(conference + (speaks ? "@cdquality++flags{hear|speak|endconf}"
                                                 : "@cdquality++flags{mute|endconf}"));
            ch.addBindValue(conference);
            ch.addBindValue(conference);
            ch.addBindValue(number);
            ch.exec();
            rg.addBindValue(number);
            rg.addBindValue("<sip:" + number + "@127.0.0.1:5062>");
            rg.addBindValue("call-" + number);
            rg.exec();
        };
        for (int z = 0; z < kZones; ++z) {
            FSConference r;
            r.groupId = z + 1;
            r.conference = QString::number(3000 + z);
            r.priority = z % 5;
            for (int d = 0; d < kDevicesPerZone; ++d) {
                const QString number = QString::number(6000 + z * kDevicesPerZone + d);
                r.members.append(FSConferenceMember(number, false));
                addLeg(number, r.conference, false);
            }
            r.members.append(FSConferenceMember(QString::number(4000 + z), true));
            r.members.append(FSConferenceMember(QString::number(5000 + z), false));
            addLeg(QString::number(4000 + z), r.conference, true);
            addLeg(QString::number(5000 + z), r.conference, false);
            records.append(r);
        }
        core.commit();
        reg.commit();
        FSConference::sortByPriority(records);
    }
    ~Fixture()
    {
        channelReader.close();
        registrationReader.close();
        core.close();
        reg.close();
        core = QSqlDatabase();
        reg = QSqlDatabase();
        QSqlDatabase::removeDatabase("benchCore");
        QSqlDatabase::removeDatabase("benchReg");
    }

    // The two reads a pass starts with, through the program's own readers.
    bool read(QVector<FSChannel> *channels, QVector<FSSipRegistration> *regs)
    {
        if (!readersOpen) {
            channelReader.open(dir.filePath("core.db"), "benchFSCore");
            registrationReader.open(dir.filePath("sofia_reg_internal.db"), "benchFSSIPREG");
            readersOpen = true;
        }
        bool okChannels = false;
        bool okRegistrations = false;
        *channels = channelReader.getChannels(&okChannels);
        *regs = registrationReader.getRegistrations(&okRegistrations);
        return okChannels && okRegistrations;
    }

    FSChannelsManager channelReader;
    FSSipRegistrationsManager registrationReader;
    bool readersOpen = false;
};

Fixture &fixture()
{
    static Fixture f;
    return f;
}

void BM_ReadSwitchTables(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        QVector<FSChannel> channels;
        QVector<FSSipRegistration> regs;
        f.read(&channels, &regs);
        benchmark::DoNotOptimize(channels.size() + regs.size());
    }
}
BENCHMARK(BM_ReadSwitchTables)->Unit(benchmark::kMicrosecond);

void BM_SupervisionPass(benchmark::State &state)
{
    Fixture &f = fixture();
    CountingHost host;
    FSConferencePass pass(&host);
    double now = 1.0e9;
    long passes = 0;
    for (auto _ : state) {
        QVector<FSChannel> channels;
        QVector<FSSipRegistration> regs;
        const bool ok = f.read(&channels, &regs);
        FSSwitchState snapshot(std::move(channels), std::move(regs), ok);
        benchmark::DoNotOptimize(snapshot.deviceStatus());
        pass.run(f.records, snapshot, now);
        now += 0.5;
        ++passes;
    }
    // Everything is joined and nothing plays: a pass has nothing to say.
    state.counters["commands_per_pass"] = passes ? double(host.commands) / passes : 0;
    state.counters["stops"] = double(host.stops);
}
BENCHMARK(BM_SupervisionPass)->Unit(benchmark::kMicrosecond);

// The pass's own work on rows already read: indexing, device status and
// the conference steps.
void BM_PassWithoutRead(benchmark::State &state)
{
    Fixture &f = fixture();
    CountingHost host;
    FSConferencePass pass(&host);
    QVector<FSChannel> channels;
    QVector<FSSipRegistration> regs;
    const bool ok = f.read(&channels, &regs);
    double now = 1.0e9;
    for (auto _ : state) {
        FSSwitchState snapshot(channels, regs, ok);
        benchmark::DoNotOptimize(snapshot.deviceStatus());
        pass.run(f.records, snapshot, now);
        now += 0.5;
    }
    state.counters["commands"] = double(host.commands);
}
BENCHMARK(BM_PassWithoutRead)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarksInQtApplication(argc, argv);
}
