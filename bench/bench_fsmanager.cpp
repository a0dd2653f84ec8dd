// Switch control: writing the whole configuration tree, and a supervision
// pass that has nothing to do.
#include "FSConfigWriter.h"
#include "FSManager.h"
#include "RDDevice.h"
#include "RDGroup.h"

#include <benchmark/benchmark.h>

#include <QDir>
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
    for (int i = 0; i < 1000; ++i) {
        RDDevice d;
        d.number = QString::number(6000 + i);
        d.name = QStringLiteral("Device %1 & co").arg(i);
        d.password = QStringLiteral("pw<%1>").arg(i);
        devices << d;
    }
    QVector<RDGroup> groups;
    for (int i = 0; i < 200; ++i) {
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
    state.counters["files"] = 1000 + 200 * 7;
    FSManager::destroyInstance();
}
BENCHMARK(BM_WriteWholeTree)->Unit(benchmark::kMillisecond);

// A pass with no pending change sends no console command.
void BM_IdleSupervisionPass(benchmark::State &state)
{
    FSManager *fs = FSManager::createInstance();
    int sent = 0;
    for (auto _ : state)
        sent += fs->supervisionPass(nullptr, nullptr);
    state.counters["commands"] = sent;
    FSManager::destroyInstance();
}
BENCHMARK(BM_IdleSupervisionPass);

} // namespace

BENCHMARK_MAIN();
