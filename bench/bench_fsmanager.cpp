// Switch control: writing the whole configuration tree, and a supervision
// pass of an idle installation.
#include "BenchSmoke.h"
#include "FSChannelsManager.h"
#include "FSConfigWriter.h"
#include "FSManager.h"
#include "FSSipRegistrationsManager.h"
#include "RDDevice.h"
#include "RDGroup.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <QTemporaryDir>

namespace {

void makeTree(const QString &dir)
{
    for (const char *sub : {"conf/directory", "conf/dialplan", "conf/sip_profiles", "scripts"})
        QDir().mkpath(dir + QLatin1Char('/') + QLatin1String(sub));
}

// 1000 devices and 200 zones with RTP output and a SIP trunk each, written
// the way the console thread writes them before the switch starts.
void BM_WriteWholeTree(benchmark::State &state)
{
    QTemporaryDir tmp;
    makeTree(tmp.path());
    FSManager *fs = FSManager::createInstance();
    fs->setDirectory(tmp.path());
    fs->setNetwork(QStringLiteral("192.168.1.20"), QStringLiteral("255.255.255.0"), 5060, false,
                   QStringLiteral("192.168.1.20"), 5080, QStringLiteral("PCMU,PCMA"));
    QVector<RDDevice> devices;
    for (int i = 0, n = BenchSmoke::size(1000, 50); i < n; ++i) {
        RDDevice d;
        d.number = QString::number(6000 + i);
        d.name = QStringLiteral("Device %1 & co").arg(i);
        d.password = QStringLiteral("pw<%1>").arg(i);
        devices << d;
    }
    QVector<RDGroup> groups;
    for (int i = 0, n = BenchSmoke::size(200, 10); i < n; ++i) {
        RDGroup g;
        g.conference = QString::number(3000 + i);
        g.inputSipNumber = QString::number(4000 + i);
        g.inputSipPassword = g.inputSipNumber;
        g.outputSipNumber = QString::number(5000 + i);
        g.outputSipPassword = g.outputSipNumber;
        g.rtpEnable = 1;
        g.rtpUrl = QStringLiteral("239.0.0.%1:5004").arg(i % 250 + 1);
        g.sipTrunkEnable = 1;
        g.sipTrunkServer = QStringLiteral("10.0.0.5");
        g.sipTrunkPort = QStringLiteral("5060");
        g.sipTrunkNumber = QStringLiteral("+4930%1").arg(i);
        g.sipTrunkPassword = QStringLiteral("secret");
        g.sipTrunkExpire = QStringLiteral("3600");
        groups << g;
    }
    for (auto _ : state) {
        for (const RDDevice &d : devices)
            fs->addDevice(d);
        for (const RDGroup &g : groups) {
            fs->removeGroup(g);
            fs->addGroup(g);
        }
    }
    state.counters["files"] = devices.size() + groups.size() * 7;
    FSManager::destroyInstance();
}
BENCHMARK(BM_WriteWholeTree)->Unit(benchmark::kMillisecond);

// The switch's two tables as an idle installation holds them: 100 registered
// devices, no call. Opened through the program's own readers.
struct IdleSwitchTables {
    QTemporaryDir dir;
    FSChannelsManager channels;
    FSSipRegistrationsManager registrations;

    IdleSwitchTables()
    {
        {
            QSqlDatabase core = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("idleCore"));
            core.setDatabaseName(dir.filePath(QStringLiteral("core.db")));
            core.open();
            QSqlQuery(core).exec(QStringLiteral(
                "create table channels(uuid, callstate, accountcode, dest, callee_num, application_data, cid_name, "
                "ip_addr, initial_cid_num, initial_dest)"));
            QSqlDatabase reg = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("idleReg"));
            reg.setDatabaseName(dir.filePath(QStringLiteral("sofia_reg_internal.db")));
            reg.open();
            QSqlQuery(reg).exec(QStringLiteral(
                "create table sip_registrations(sip_user, sip_host, contact, status, network_ip, network_port)"));
            reg.transaction();
            QSqlQuery row(reg);
            row.prepare(QStringLiteral("insert into sip_registrations values(?, '127.0.0.1', ?, 'Registered(UDP)', "
                                       "'127.0.0.1', '5062')"));
            for (int i = 0; i < 100; ++i) {
                const QString number = QString::number(6000 + i);
                row.addBindValue(number);
                row.addBindValue(QStringLiteral("<sip:%1@127.0.0.1:5062>").arg(number));
                row.exec();
            }
            reg.commit();
            core.close();
            reg.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("idleCore"));
        QSqlDatabase::removeDatabase(QStringLiteral("idleReg"));
        channels.open(dir.filePath(QStringLiteral("core.db")), QStringLiteral("FSCore"));
        registrations.open(dir.filePath(QStringLiteral("sofia_reg_internal.db")), QStringLiteral("FSSIPREG"));
    }
    ~IdleSwitchTables()
    {
        channels.close();
        registrations.close();
    }
};

// A pass with no pending change and no running zone: it reads both tables,
// rebuilds the device states and sends no console command.
void BM_IdleSupervisionPass(benchmark::State &state)
{
    IdleSwitchTables tables;
    FSManager *fs = FSManager::createInstance();
    int sent = 0;
    for (auto _ : state)
        sent += fs->supervisionPass(&tables.channels, &tables.registrations);
    state.counters["commands"] = sent;
    state.counters["devices_online"] = fs->deviceStatus().size();
    FSManager::destroyInstance();
}
BENCHMARK(BM_IdleSupervisionPass)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
