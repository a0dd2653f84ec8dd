#pragma once

#include <cstdlib>
#include <cstring>

// A smoke run (PA_BENCH_SMOKE=1 in the environment) runs every benchmark once
// and small, only to show it runs to its end without a crash; its figures mean
// nothing. Benchmarks with a fixed count of iterations or repetitions, or a
// large installation to build, ask here for the count or size to use.
class BenchSmoke
{
public:
    static bool on()
    {
        static const bool smoke = [] {
            const char *v = std::getenv("PA_BENCH_SMOKE");
            return v && std::strcmp(v, "1") == 0;
        }();
        return smoke;
    }
    // `n` iterations or repetitions; one in a smoke run.
    static int count(int n) { return on() ? 1 : n; }
    // `n` items to build; `smokeN` in a smoke run.
    static int size(int n, int smokeN) { return on() ? smokeN : n; }
};
