// Speed of the raster routines against memset/memcpy of the same bytes, run side by
// side so the ratios hold on whatever machine prints them. Each routine's result is
// checked once after its loop. VELLUM_BENCH_SMOKE=1: one iteration each.

#include "bench/BenchRun.h"
#include "display/Raster.h"

#include <algorithm>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace
{

constexpr int SURFACE_WIDTH = 1920;
constexpr int SURFACE_HEIGHT = 1080;
constexpr std::size_t SURFACE_BYTES = std::size_t{SURFACE_WIDTH} * SURFACE_HEIGHT;

struct Buffers
{
    Buffers() : surface(SURFACE_BYTES, 1), source(SURFACE_BYTES * 2, 2)
    {
        for (std::size_t i = 0; i < source.size(); ++i)
            source[i] = static_cast<std::uint8_t>(i * 13);
    }
    SurfaceBits Bits() { return SurfaceBits{SURFACE_HEIGHT, SURFACE_WIDTH, 1, surface.data()}; }

    std::vector<std::uint8_t> surface;
    std::vector<std::uint8_t> source;
};

Buffers& Shared()
{
    static Buffers s_buffers;
    return s_buffers;
}

void BM_MemsetSurface(benchmark::State& state)
{
    Buffers& b = Shared();
    for (auto _ : state)
    {
        std::memset(b.surface.data(), 247, SURFACE_BYTES);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * SURFACE_BYTES));
}

void BM_FillRectSurface(benchmark::State& state)
{
    Buffers& b = Shared();
    const SurfaceBits bits = b.Bits();
    for (auto _ : state)
    {
        FillRect(bits, 0, 0, SURFACE_WIDTH - 1, SURFACE_HEIGHT - 1, 247);
        benchmark::ClobberMemory();
    }
    if (!std::all_of(b.surface.begin(), b.surface.end(), [](std::uint8_t v) { return v == 247; }))
        state.SkipWithError("the fill missed pixels");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * SURFACE_BYTES));
}

// A rectangle that is not the full width, so the per-row path is measured too.
void BM_FillRectInset(benchmark::State& state)
{
    Buffers& b = Shared();
    const SurfaceBits bits = b.Bits();
    for (auto _ : state)
    {
        FillRect(bits, 3, 0, SURFACE_WIDTH - 6, SURFACE_HEIGHT - 1, 247);
        benchmark::ClobberMemory();
    }
}

void BM_MemcpySurface(benchmark::State& state)
{
    Buffers& b = Shared();
    for (auto _ : state)
    {
        std::memcpy(b.surface.data(), b.source.data(), SURFACE_BYTES);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * SURFACE_BYTES));
}

void DrawAllRows(benchmark::State& state, std::uint32_t step)
{
    Buffers& b = Shared();
    const SurfaceBits bits = b.Bits();
    const std::size_t nSrcRow = (static_cast<std::size_t>(SURFACE_WIDTH) * step) >> 16;
    for (auto _ : state)
    {
        const std::uint8_t* pSrc = b.source.data();
        for (int y = 0; y < SURFACE_HEIGHT; ++y, pSrc += nSrcRow)
            DrawRow(bits, 0, y, SURFACE_WIDTH, step, pSrc);
        benchmark::ClobberMemory();
    }
    // Column x of every row shows source byte x * step / 65536 of its row; row 0 of memory
    // is the bottom line.
    const std::uint8_t* pTop = b.source.data() + (SURFACE_HEIGHT - 1) * nSrcRow;
    for (int x = 0; x < SURFACE_WIDTH; ++x)
        if (b.surface[static_cast<std::size_t>(x)] != pTop[(static_cast<std::uint64_t>(x) * step) >> 16])
        {
            state.SkipWithError("a drawn row is not its source");
            break;
        }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * SURFACE_BYTES));
}

void BM_DrawRowStep10000(benchmark::State& state) { DrawAllRows(state, 0x10000); }
void BM_DrawRowStep18000(benchmark::State& state) { DrawAllRows(state, 0x18000); }
void BM_DrawRowStep8000(benchmark::State& state) { DrawAllRows(state, 0x8000); }

void BM_Memcpy64K(benchmark::State& state)
{
    Buffers& b = Shared();
    for (auto _ : state)
    {
        std::memcpy(b.surface.data(), b.source.data(), 65536);
        benchmark::ClobberMemory();
    }
}

// A 256 x 256 sheet: 256 cells of 16 x 16, laid out as the view does on a 256-pixel strip.
void BM_DrawCellSheet(benchmark::State& state)
{
    Buffers& b = Shared();
    const SurfaceBits bits = b.Bits();
    for (auto _ : state)
    {
        for (int i = 0; i < 256; ++i)
            DrawCell(bits, b.source.data(), (i % 16) * 16, (i / 16) * 16, 16, i);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_MemsetSurface)->Apply(SmokeOnce);
BENCHMARK(BM_FillRectSurface)->Apply(SmokeOnce);
BENCHMARK(BM_FillRectInset)->Apply(SmokeOnce);
BENCHMARK(BM_MemcpySurface)->Apply(SmokeOnce);
BENCHMARK(BM_DrawRowStep10000)->Apply(SmokeOnce);
BENCHMARK(BM_DrawRowStep18000)->Apply(SmokeOnce);
BENCHMARK(BM_DrawRowStep8000)->Apply(SmokeOnce);
BENCHMARK(BM_Memcpy64K)->Apply(SmokeOnce);
BENCHMARK(BM_DrawCellSheet)->Apply(SmokeOnce);

// Keeps each run's time per iteration in nanoseconds, for the ratios printed at the end.
class CRatioReporter : public CBenchReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "mean")
                m_times[run.run_name.function_name] =
                    run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
        CBenchReporter::ReportRuns(runs);
    }

    std::map<std::string, double> m_times;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const auto& t = reporter.m_times;
    auto ratio = [&](const char* pszName, const char* pszRef, const char* pszGoal) {
        if (t.count(pszName) && t.count(pszRef))
            std::printf("%-22s %.2fx the speed of %s (goal %s)\n", pszName, t.at(pszRef) / t.at(pszName),
                        pszRef, pszGoal);
    };
    auto rate = [&](const char* pszName) {
        if (t.count(pszName))
            std::printf("%-22s %.2f pixels/ns\n", pszName, static_cast<double>(SURFACE_BYTES) / t.at(pszName));
    };
    std::printf("\n");
    PrintSmokeNote();
    ratio("BM_FillRectSurface", "BM_MemsetSurface", ">= 0.8x");
    ratio("BM_FillRectInset", "BM_MemsetSurface", "-");
    ratio("BM_DrawRowStep10000", "BM_MemcpySurface", ">= 0.6x");
    rate("BM_DrawRowStep10000");
    rate("BM_DrawRowStep18000");
    rate("BM_DrawRowStep8000");
    ratio("BM_DrawCellSheet", "BM_Memcpy64K", "-");
    benchmark::Shutdown();
    return reporter.ExitStatus();
}
