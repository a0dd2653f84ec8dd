// Switch console and state figures:
//  - console round trip (FSClient: spawn da_rid, answer back) against a bare
//    posix_spawn of /bin/true, in a small and in a 256 MiB process;
//  - one state read of 1000 registrations and 500 channels with the readers'
//    connections kept open.
#include "BenchSmoke.h"
#include "FSChannelsManager.h"
#include "FSClient.h"
#include "FSSipRegistrationsManager.h"
#include "ProcessRunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

QString switchSource()
{
    const QByteArray env = qgetenv("PA_SWITCH_DIR");
    return env.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/../RUVIDAZA") : QString::fromLocal8Bit(env);
}

// A switch running from a private copy of the package for the whole run.
struct RunningSwitch
{
    QTemporaryDir dir;
    QProcess process;
    QString folder;
    bool ok = false;

    RunningSwitch()
    {
        folder = dir.path() + QStringLiteral("/RUVIDAZA");
        QProcess cp;
        cp.start(QStringLiteral("/bin/cp"), {QStringLiteral("-r"), switchSource(), folder});
        cp.waitForFinished(60000);
        QDir(folder + QStringLiteral("/run")).removeRecursively();
        QDir(folder + QStringLiteral("/db")).removeRecursively();
        QDir().mkpath(folder + QStringLiteral("/db"));
        process.start(folder + QStringLiteral("/RUVidazaConsole"), {QStringLiteral("-nc"), QStringLiteral("-nonat")});
        FSClient client(folder + QStringLiteral("/da_rid"));
        for (int i = 0; i < 600 && !ok; ++i) {
            ok = client.execute(QStringLiteral("conference list")).startsWith(QLatin1String("+OK"));
            if (!ok)
                QThread::msleep(50);
        }
    }
    ~RunningSwitch()
    {
        FSClient(folder + QStringLiteral("/da_rid")).execute(QStringLiteral("shutdown"));
        if (!process.waitForFinished(20000))
            process.kill();
        process.waitForFinished(5000);
    }
};

RunningSwitch *g_switch = nullptr;

// Makes the calling process large: `mib` MiB allocated and touched.
std::vector<char> &ballast()
{
    static std::vector<char> b;
    return b;
}

void setBallast(int mib)
{
    ballast().assign(size_t(mib) << 20, 0);
    for (size_t i = 0; i < ballast().size(); i += 4096)
        ballast()[i] = char(i);
}

void BM_SpawnTrivial(benchmark::State &state)
{
    setBallast(int(state.range(0)));
    for (auto _ : state) {
        const ProcessRunner::Result r = ProcessRunner::run(QStringLiteral("/bin/true"), {}, 10000);
        benchmark::DoNotOptimize(r.exitCode);
    }
}

void BM_ConsoleRoundTrip(benchmark::State &state)
{
    setBallast(int(state.range(0)));
    if (!g_switch || !g_switch->ok) {
        state.SkipWithError("switch not running");
        return;
    }
    FSClient client(g_switch->folder + QStringLiteral("/da_rid"));
    for (auto _ : state) {
        const QString answer = client.execute(QStringLiteral("conference list"));
        if (!answer.startsWith(QLatin1String("+OK"))) {
            state.SkipWithError("no +OK");
            break;
        }
    }
}

// 1000 registrations and 500 channels in two WAL files in `dir`.
void fillStateFiles(const QString &regFile, const QString &chanFile)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("benchfill"));
        db.setDatabaseName(regFile);
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("pragma journal_mode=WAL"));
        q.exec(QStringLiteral("create table sip_registrations (sip_user, sip_host, contact, status, network_ip, network_port)"));
        db.transaction();
        for (int i = 0; i < 1000; ++i)
            q.exec(QStringLiteral("insert into sip_registrations values ('%1','10.0.0.1','<sip:%1@10.0.1.%2:5060>',"
                                  "'Registered(UDP)','10.0.1.%2','5060')").arg(6000 + i).arg(i % 250));
        db.commit();
        db.close();
        db.setDatabaseName(chanFile);
        db.open();
        QSqlQuery c(db);
        c.exec(QStringLiteral("pragma journal_mode=WAL"));
        c.exec(QStringLiteral("create table channels (uuid, callstate, accountcode, dest, callee_num, application_data, "
                              "cid_name, ip_addr, initial_cid_num, initial_dest)"));
        db.transaction();
        for (int i = 0; i < 500; ++i)
            c.exec(QStringLiteral("insert into channels values ('uuid-%1','ACTIVE','%2','%2','%2',"
                                  "'3001@cdquality++flags{mute|endconf}','3001','10.0.1.1','3001','%2')").arg(i).arg(6000 + i));
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("benchfill"));
}

void BM_StateRead(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString regFile = dir.filePath(QStringLiteral("sofia_reg_internal.db"));
    const QString chanFile = dir.filePath(QStringLiteral("core.db"));
    fillStateFiles(regFile, chanFile);
    FSChannelsManager chans;
    FSSipRegistrationsManager regs;
    chans.open(chanFile, QStringLiteral("FSCore"));
    regs.open(regFile, QStringLiteral("FSSIPREG"));
    for (auto _ : state) {
        bool ok1 = false;
        bool ok2 = false;
        const auto c = chans.getChannels(&ok1);
        const auto r = regs.getRegistrations(&ok2);
        if (!ok1 || !ok2 || c.size() != 500 || r.size() != 1000) {
            state.SkipWithError("bad read");
            break;
        }
    }
}

// The same two reads with plain SQLite calls, for comparison.
void BM_StateReadRawSqlite(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString regFile = dir.filePath(QStringLiteral("sofia_reg_internal.db"));
    const QString chanFile = dir.filePath(QStringLiteral("core.db"));
    fillStateFiles(regFile, chanFile);
    sqlite3 *chan = nullptr;
    sqlite3 *reg = nullptr;
    sqlite3_open(chanFile.toUtf8().constData(), &chan);
    sqlite3_open(regFile.toUtf8().constData(), &reg);
    auto readAll = [](sqlite3 *db, const char *sql, int cols) {
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        std::vector<std::string> values;
        int rows = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int i = 0; i < cols; ++i) {
                const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(st, i));
                values.emplace_back(t ? t : "");
            }
            ++rows;
        }
        sqlite3_finalize(st);
        return rows;
    };
    for (auto _ : state) {
        const int c = readAll(chan, "select callee_num,accountcode,dest,callstate,uuid,application_data,cid_name,ip_addr,"
                                    "initial_cid_num,initial_dest from channels", 10);
        const int r = readAll(reg, "select sip_user,sip_host,contact,status,network_ip,network_port from sip_registrations", 6);
        if (c != 500 || r != 1000) {
            state.SkipWithError("bad read");
            break;
        }
    }
    sqlite3_close(chan);
    sqlite3_close(reg);
}

} // namespace

BENCHMARK(BM_SpawnTrivial)->Arg(0)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(BenchSmoke::count(3))->ReportAggregatesOnly(true);
BENCHMARK(BM_ConsoleRoundTrip)->Arg(0)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(BenchSmoke::count(3))->ReportAggregatesOnly(true);
BENCHMARK(BM_StateReadRawSqlite)->Unit(benchmark::kMillisecond)->Repetitions(BenchSmoke::count(3))->ReportAggregatesOnly(true);
BENCHMARK(BM_StateRead)->Unit(benchmark::kMillisecond)->Repetitions(BenchSmoke::count(3))->ReportAggregatesOnly(true);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    auto sw = std::make_unique<RunningSwitch>();
    g_switch = sw.get();
    benchmark::RunSpecifiedBenchmarks();
    g_switch = nullptr;
    sw.reset();
    benchmark::Shutdown();
    return 0;
}
