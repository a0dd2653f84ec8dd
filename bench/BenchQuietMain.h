#pragma once

#include <benchmark/benchmark.h>

#include <QtGlobal>

// Runs the benchmarks with the program's log lines dropped (every request
// writes some), so the figures are not those of the terminal.
inline int runBenchmarksQuietly(int argc, char **argv)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
