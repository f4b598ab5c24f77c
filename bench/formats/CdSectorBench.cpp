// The EDC and ECC of raw CD sectors, as a replace into a disc image computes them for every
// sector it writes, against memcpy of the same bytes in the same run: 1024 sectors (2.3 MiB)
// of Mode 1 and of Mode 2 Form 1, and the EDC alone. A 40 KiB item spans 21 sectors, so
// what counts is that this is far below the cost of writing and syncing them.
// Run: build-*/bench/formats/bench_cdsector  (VELLUM_BENCH_SMOKE=1: one iteration each)

#include "bench/BenchRun.h"
#include "formats/CdSector.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace
{
constexpr std::size_t SECTORS = 1024;
constexpr std::size_t BYTES = SECTORS * CD_SECTOR_SIZE;

std::vector<std::uint8_t> Sectors(bool bForm1)
{
    std::vector<std::uint8_t> v(BYTES);
    std::uint32_t x = 12345;
    for (auto& b : v)
        b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    for (std::size_t s = 0; s < SECTORS; ++s)
    {
        std::uint8_t* p = &v[s * CD_SECTOR_SIZE];
        std::memcpy(p, CD_SYNC, CD_SYNC_SIZE);
        p[CD_MODE_AT] = bForm1 ? 2 : 1;
        if (bForm1)
            p[CD_MODE2_SUBMODE_AT] = p[CD_MODE2_SUBMODE_AT + 4] = 0x08;
    }
    return v;
}

// Fills every sector, and checks once that the result is what a reader of the disc accepts.
void Fill(benchmark::State& state, bool bForm1)
{
    auto v = Sectors(bForm1);
    for (auto _ : state)
    {
        for (std::size_t s = 0; s < SECTORS; ++s)
        {
            const std::span<std::uint8_t, CD_SECTOR_SIZE> sector(&v[s * CD_SECTOR_SIZE], CD_SECTOR_SIZE);
            if (bForm1)
                FillMode2Form1EdcEcc(sector);
            else
                FillMode1EdcEcc(sector);
        }
        benchmark::DoNotOptimize(v.data());
        benchmark::ClobberMemory();
    }
    if (!SectorIsValid(std::span<const std::uint8_t, CD_SECTOR_SIZE>(&v[BYTES - CD_SECTOR_SIZE], CD_SECTOR_SIZE)))
        state.SkipWithError("a filled sector does not check");
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(BYTES));
}

void BM_CdFillMode1(benchmark::State& state) { Fill(state, false); }
void BM_CdFillMode2Form1(benchmark::State& state) { Fill(state, true); }

void BM_CdEdc(benchmark::State& state)
{
    const auto v = Sectors(false);
    std::uint32_t nSum = 0;
    for (auto _ : state)
    {
        for (std::size_t s = 0; s < SECTORS; ++s)
            nSum += ComputeEdc(std::span<const std::uint8_t>(&v[s * CD_SECTOR_SIZE], CD_MODE1_EDC_AT));
        benchmark::DoNotOptimize(nSum);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(BYTES));
}

void BM_CdMemcpy(benchmark::State& state)
{
    const auto src = Sectors(false);
    std::vector<std::uint8_t> dst(BYTES);
    for (auto _ : state)
    {
        std::memcpy(dst.data(), src.data(), BYTES);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(BYTES));
}

void Configure(benchmark::internal::Benchmark* b)
{
    BenchFastestOfFive(b, benchmark::kMicrosecond);
}
}  // namespace

BENCHMARK(BM_CdMemcpy)->Apply(Configure);
BENCHMARK(BM_CdEdc)->Apply(Configure);
BENCHMARK(BM_CdFillMode1)->Apply(Configure);
BENCHMARK(BM_CdFillMode2Form1)->Apply(Configure);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    CFastestReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& t = reporter.m_times;
    const auto ref = t.find("BM_CdMemcpy");
    // Goal 100 MB/s: the 21 sectors of a 40 KiB item then cost under half a millisecond,
    // small beside the fdatasync that a replace and dd both pay for them.
    auto ratio = [&](const char* name, const std::string& run, double dGoalMBs) {
        const auto a = t.find(run);
        if (a == t.end() || ref == t.end())
            return;
        const double dMBs = static_cast<double>(BYTES) / (a->second * 1e-6) / 1e6;
        std::printf("%-16s %6.3fx of memcpy speed, %7.0f MB/s of sectors (goal %.0f MB/s) %s\n", name,
                    ref->second / a->second, dMBs, dGoalMBs, dMBs >= dGoalMBs ? "ok" : "BELOW GOAL");
    };
    std::printf("\nSpeed relative to memcpy of the same 1024 sectors (2.3 MiB):\n");
    PrintSmokeNote();
    ratio("edc", "BM_CdEdc", 100);
    ratio("fill mode 1", "BM_CdFillMode1", 100);
    ratio("fill mode 2 f1", "BM_CdFillMode2Form1", 100);
    benchmark::Shutdown();
    return reporter.ExitStatus();
}
