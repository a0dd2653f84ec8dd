#pragma once

#include <benchmark/benchmark.h>

#include <QCoreApplication>

// The main of the benchmarks that need a Qt application object (timers,
// queued calls, Qt SQL) for the whole run.
inline int runBenchmarksInQtApplication(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
