#pragma once
// What every benchmark program shares: the smoke run and a console reporter that counts
// the runs whose checks failed.
//
// A smoke run (VELLUM_BENCH_SMOKE=1, as the test command sets it) gives every benchmark
// one iteration and one repetition, so each program's own checks (the picture shown, the
// tool's exit status, the layout of its output) run in seconds. Its times mean nothing.
// The flag is an environment variable because benchmarks are registered before main runs.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

// The middle of a set of timings (the upper middle of an even count); 0 for none.
inline double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

inline bool BenchSmoke()
{
    static const bool s_bSmoke = [] {
        const char* psz = std::getenv("VELLUM_BENCH_SMOKE");
        return psz != nullptr && *psz != '\0' && std::strcmp(psz, "0") != 0;
    }();
    return s_bSmoke;
}

// n iterations, or one in a smoke run.
inline benchmark::IterationCount BenchIterations(benchmark::IterationCount n)
{
    return BenchSmoke() ? 1 : n;
}

// n repetitions, or one in a smoke run.
inline int BenchRepetitions(int n)
{
    return BenchSmoke() ? 1 : n;
}

// For a benchmark whose iterations the library chooses: one in a smoke run.
inline void SmokeOnce(benchmark::internal::Benchmark* b)
{
    if (BenchSmoke())
        b->Iterations(1);
}

// Said before a summary, so that no one takes a smoke run's figures for measurements.
inline void PrintSmokeNote()
{
    if (BenchSmoke())
        std::printf("(smoke run: one iteration each; the figures below mean nothing)\n");
}

// The console's report, plus a count of the runs that stopped on a failed check, so the
// program can exit non-zero and a smoke run fails its test.
class CBenchReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.error_occurred)
            {
                ++m_nFailed;
                std::fprintf(stderr, "FAILED CHECK: %s: %s\n", r.benchmark_name().c_str(), r.error_message.c_str());
            }
        ConsoleReporter::ReportRuns(runs);
    }
    // 0 when every run passed its checks, else 1.
    int ExitStatus() const
    {
        if (m_nFailed == 0)
            return 0;
        std::fprintf(stderr, "%d benchmark run(s) failed their checks.\n", m_nFailed);
        return 1;
    }

private:
    int m_nFailed = 0;
};

// Five repetitions in the unit given, judged by their fastest CPU time: on a shared machine
// other work only ever slows a run down, and wall time also counts time spent waiting. One
// iteration in a smoke run.
inline void BenchFastestOfFive(benchmark::internal::Benchmark* b, benchmark::TimeUnit unit)
{
    b->Unit(unit);
    if (BenchSmoke())
        b->Iterations(1);
    else
        b->Repetitions(5)->ReportAggregatesOnly(true)->ComputeStatistics(
            "min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

// Keeps each benchmark's fastest time per iteration, by its function's name, so that a
// program can print ratios once all have run.
class CFastestReporter : public CBenchReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "min")
                m_times[r.run_name.function_name] = r.GetAdjustedCPUTime();
        CBenchReporter::ReportRuns(runs);
    }
    std::map<std::string, double> m_times;
};
