// Event-log pages as the log window reads them: 100 000 records spread over
// a year in twenty zones, read 50 at a time by zone, by date range and both,
// at the first, a middle and the last page, and the count each search makes.
//   build-rel/bin/bench/bench_event_log
#include "BenchSmoke.h"
#include "PALogDB.h"
#include "PALogRecord.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {

struct EventLog
{
    QTemporaryDir dir;
    std::unique_ptr<PALogDB> log;
    int records = 0;

    EventLog()
    {
        VDB::setDataDir(dir.path() + QStringLiteral("/database"));
        log = std::make_unique<PALogDB>(true);
        log->checkUpgrade();
        records = BenchSmoke::size(100000, 2000);
        // One record every five minutes from 2024-01-01 on (100 000 reach
        // into December), zones by turn.
        QSqlQuery query(log->database());
        const bool filled = query.exec(QStringLiteral(
            "with recursive n(i) as (select 1 union all select i + 1 from n where i < %1) "
            "insert into palog(volume, groupId, groupPriority, groupName, groupConference, action, source, type, "
            "dateTime) select 50, i % 20, 1, 'Zone', cast(3000 + i % 20 as text), "
            "case i % 2 when 1 then 'start' else 'stop' end, 'media', 'user', "
            "strftime('%Y-%m-%d %H:%M:%S', '2024-01-01 00:00:00', '+' || (i * 5) || ' minutes') from n")
                                           .arg(records));
        if (!filled)
            std::fprintf(stderr, "fill failed: %s\n", qPrintable(query.lastError().text()));
    }
    ~EventLog()
    {
        log.reset();
        VDB::setDataDir(QString());
    }
};

// Made by the first benchmark, closed before the application object goes.
std::unique_ptr<EventLog> g_log;

EventLog &eventLog()
{
    if (!g_log)
        g_log = std::make_unique<EventLog>();
    return *g_log;
}

struct Filter
{
    const char *conference;
    const char *start;
    const char *end;
};

// 0: none, 1: one zone, 2: the whole year, 3: one day, 4: one zone in the year.
const Filter filters[] = {
    {"", "", ""},
    {"3007", "", ""},
    {"", "2024-01-01 00:00:00", "2024-12-31 23:59:59"},
    {"", "2024-03-01 00:00:00", "2024-03-01 23:59:59"},
    {"3007", "2024-01-01 00:00:00", "2024-12-31 23:59:59"},
};

// Args: filter, page (0: first, 1: middle, 2: last), whether the read knows
// the count of the search (the window passes it).
void BM_EventLogPage(benchmark::State &state)
{
    PALogDB &log = *eventLog().log;
    const Filter &f = filters[state.range(0)];
    const QString conference = QLatin1String(f.conference);
    const QString start = QLatin1String(f.start);
    const QString end = QLatin1String(f.end);
    const int total = log.countLogs(conference, start, end);
    const int pages = (total + 49) / 50;
    const int page = state.range(1) == 0 ? 0 : state.range(1) == 1 ? pages / 2 : qMax(0, pages - 1);
    int rows = 0;
    for (auto _ : state) {
        const QVector<PALogRecord> records =
            log.selectLogs(page * 50, 50, conference, start, end, state.range(2) ? total : -1);
        rows = records.size();
        benchmark::DoNotOptimize(records.constData());
    }
    state.counters["rows"] = rows;
    state.counters["matching"] = total;
}
BENCHMARK(BM_EventLogPage)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

void BM_EventLogCount(benchmark::State &state)
{
    PALogDB &log = *eventLog().log;
    const Filter &f = filters[state.range(0)];
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            log.countLogs(QLatin1String(f.conference), QLatin1String(f.start), QLatin1String(f.end)));
    }
}
BENCHMARK(BM_EventLogCount)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

// What one search costs the window: a fresh connection, the count and the
// first page.
void BM_EventLogSearch(benchmark::State &state)
{
    eventLog();
    const Filter &f = filters[state.range(0)];
    for (auto _ : state) {
        PALogDB log(true);
        const int total = log.countLogs(QLatin1String(f.conference), QLatin1String(f.start), QLatin1String(f.end));
        benchmark::DoNotOptimize(log.selectLogs(0, 50, QLatin1String(f.conference), QLatin1String(f.start),
                                                QLatin1String(f.end), total));
    }
}
BENCHMARK(BM_EventLogSearch)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

// Records posted as the request paths post them, then written in one batch:
// the time per record, from posting to the file (on top of the year of
// records above, so every index has its full depth). flushLog() writes the
// batch on this thread unless the log's own thread has taken it already;
// the write is the same either way.
void BM_EventLogPostedRecords(benchmark::State &state)
{
    eventLog();
    const int batch = static_cast<int>(state.range(0));
    PALogRecord record;
    record.volume = 50;
    record.groupId = 7;
    record.groupPriority = 1;
    record.groupName = QStringLiteral("Zone");
    record.groupConference = QStringLiteral("3007");
    record.action = QStringLiteral("start");
    record.source = QStringLiteral("media");
    record.type = QStringLiteral("http");
    record.dateTime = QStringLiteral("2024-12-31 12:00:00");
    for (auto _ : state) {
        for (int i = 0; i < batch; ++i)
            PALogDB::postLog(record);
        PALogDB::flushLog();
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_EventLogPostedRecords)->Arg(1)->Arg(1000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    g_log.reset();
    PALogDB::closeSharedLog();
    return 0;
}
