// Reads and writes of a 4096 x 4096 image in each format through a memory
// stream, against memcpy of the same bytes in the same run; the TIM shift by 10
// against memset. Prints each as a fraction of its reference's speed.

#include "Bfnt.h"
#include "Bmp.h"
#include "MemStream.h"
#include "Tim.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace
{
constexpr int SIDE = 4096;
constexpr std::size_t PIXELS = std::size_t{SIDE} * SIDE;

RgbPalette g_pal{};

std::vector<std::uint8_t> Pixels()
{
    std::vector<std::uint8_t> v(PIXELS);
    for (std::size_t i = 0; i < PIXELS; ++i)
        v[i] = static_cast<std::uint8_t>(i * 7 + i / SIDE);
    return v;
}

std::vector<std::uint8_t> BmpFile()
{
    CBmpData b;
    b.m_pPalette = &g_pal;
    b.m_fileHeader = {BMP_TYPE, static_cast<std::uint32_t>(BMP_PIXEL_OFFSET + PIXELS), 0, 0, BMP_PIXEL_OFFSET};
    b.m_infoHeader = {40, SIDE, SIDE, 1, 8, 0, static_cast<std::uint32_t>(PIXELS), 0, 0, 0, 0};
    const auto v = Pixels();
    b.m_pBits = std::make_unique<std::uint8_t[]>(PIXELS);
    std::memcpy(b.m_pBits.get(), v.data(), PIXELS);
    b.m_nBitsSize = PIXELS;
    CMemStream s;
    if (b.WriteBmp(s) != FMT_OK)
        std::abort();
    return s.TakeData();
}

std::vector<std::uint8_t> TimFile()
{
    CTimData t;
    t.m_pPalette = &g_pal;
    t.m_id = TIM_ID;
    t.m_flags = TIM_MODE_8BIT_CLUT;
    t.m_clutLength = TIM_CLUT_LENGTH;
    t.m_imageWidth = SIDE / 2;
    t.m_imageHeight = SIDE;
    t.m_imageLength = static_cast<std::uint32_t>(PIXELS + 12);
    const auto v = Pixels();
    t.m_pPixels = std::make_unique<std::uint8_t[]>(PIXELS);
    std::memcpy(t.m_pPixels.get(), v.data(), PIXELS);
    t.m_nPixelsSize = PIXELS;
    CMemStream s;
    if (t.WriteTim(s) != FMT_OK)
        std::abort();
    return s.TakeData();
}

// 65536 glyphs of 16 x 16: the same 16 MiB as the images.
std::vector<std::uint8_t> BfntFile()
{
    CBfntData f;
    f.m_pPalette = &g_pal;
    std::memcpy(f.m_header.magic, "BFNT", 4);
    f.m_header.format = BFNT_PALETTE | BFNT_COLORS_256;
    f.m_header.glyphWidth = 16;
    f.m_header.glyphHeight = 16;
    f.m_header.lastCode = 0xFFFF;
    const auto v = Pixels();
    f.m_pGlyphs = std::make_unique<std::uint8_t[]>(PIXELS);
    std::memcpy(f.m_pGlyphs.get(), v.data(), PIXELS);
    f.m_nGlyphsSize = PIXELS;
    CMemStream s;
    if (f.WriteBfnt(s) != FMT_OK)
        std::abort();
    return s.TakeData();
}

void BM_Memcpy(benchmark::State& state)
{
    const auto src = Pixels();
    std::vector<std::uint8_t> dst(PIXELS);
    for (auto _ : state)
    {
        std::memcpy(dst.data(), src.data(), PIXELS);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(PIXELS));
}

// The same copy into a buffer allocated for it, as a reader must (its new buffer
// is only adopted once the whole read has succeeded).
void BM_MemcpyFresh(benchmark::State& state)
{
    const auto src = Pixels();
    for (auto _ : state)
    {
        std::unique_ptr<std::uint8_t[]> dst(new std::uint8_t[PIXELS]);
        std::memcpy(dst.get(), src.data(), PIXELS);
        benchmark::DoNotOptimize(dst.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(PIXELS));
}

void BM_Memset(benchmark::State& state)
{
    std::vector<std::uint8_t> dst(PIXELS);
    for (auto _ : state)
    {
        std::memset(dst.data(), 10, PIXELS);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(PIXELS));
}

void BM_TimShift(benchmark::State& state)
{
    auto v = Pixels();
    for (auto _ : state)
    {
        ShiftPixels(v.data(), PIXELS, 10);
        benchmark::DoNotOptimize(v.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(PIXELS));
}

template <class TRecord>
int ReadRecord(TRecord& r, IByteStream& s)
{
    if constexpr (std::is_same_v<TRecord, CBmpData>)
        return r.ReadBmp(s, true);
    else if constexpr (std::is_same_v<TRecord, CTimData>)
        return r.ReadTim(s, true);
    else
        return r.ReadBfnt256(s);
}

template <class TRecord>
int WriteRecord(TRecord& r, IByteStream& s)
{
    if constexpr (std::is_same_v<TRecord, CBmpData>)
        return r.WriteBmp(s);
    else if constexpr (std::is_same_v<TRecord, CTimData>)
        return r.WriteTim(s);
    else
        return r.WriteBfnt(s);
}

template <class TRecord>
void BM_Read(benchmark::State& state, std::vector<std::uint8_t> (*make)())
{
    CMemStream in(make());
    TRecord rec;
    rec.m_pPalette = &g_pal;
    for (auto _ : state)
    {
        in.Seek(0, STREAM_BEGIN);
        if (ReadRecord(rec, in) != FMT_OK)
            state.SkipWithError("read failed");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(PIXELS));
}

template <class TRecord>
void BM_Write(benchmark::State& state, std::vector<std::uint8_t> (*make)())
{
    CMemStream in(make());
    TRecord rec;
    rec.m_pPalette = &g_pal;
    if (ReadRecord(rec, in) != FMT_OK)
        state.SkipWithError("read failed");
    CMemStream out;
    out.Reserve(in.GetLength());
    for (auto _ : state)
    {
        out.Clear();
        if (WriteRecord(rec, out) != FMT_OK)
            state.SkipWithError("write failed");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(PIXELS));
}

double MinOf(const std::vector<double>& v)
{
    return *std::min_element(v.begin(), v.end());
}

// Five repetitions, judged by their fastest CPU time: on a shared machine other
// work only ever slows a run down, and wall time also counts time spent waiting.
void Configure(benchmark::internal::Benchmark* b)
{
    b->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)->ComputeStatistics("min", MinOf);
}

// Keeps each run's time per iteration so the ratios can be printed at the end.
class CRatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "min")
                m_times[r.run_name.function_name] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> m_times;
};
}  // namespace

BENCHMARK(BM_Memcpy)->Apply(Configure);
BENCHMARK(BM_MemcpyFresh)->Apply(Configure);
BENCHMARK(BM_Memset)->Apply(Configure);
BENCHMARK(BM_TimShift)->Apply(Configure);
void BM_BmpRead(benchmark::State& state) { BM_Read<CBmpData>(state, BmpFile); }
void BM_BmpWrite(benchmark::State& state) { BM_Write<CBmpData>(state, BmpFile); }
void BM_TimRead(benchmark::State& state) { BM_Read<CTimData>(state, TimFile); }
void BM_TimWrite(benchmark::State& state) { BM_Write<CTimData>(state, TimFile); }
void BM_BfntRead(benchmark::State& state) { BM_Read<CBfntData>(state, BfntFile); }
void BM_BfntWrite(benchmark::State& state) { BM_Write<CBfntData>(state, BfntFile); }
BENCHMARK(BM_BmpRead)->Apply(Configure);
BENCHMARK(BM_BmpWrite)->Apply(Configure);
BENCHMARK(BM_TimRead)->Apply(Configure);
BENCHMARK(BM_TimWrite)->Apply(Configure);
BENCHMARK(BM_BfntRead)->Apply(Configure);
BENCHMARK(BM_BfntWrite)->Apply(Configure);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& t = reporter.m_times;
    auto ratio = [&](const char* name, const std::string& run, const std::string& ref, double goal) {
        const auto a = t.find(run);
        const auto b = t.find(ref);
        if (a == t.end() || b == t.end())
            return;
        const double r = b->second / a->second;
        std::printf("%-12s %5.2fx of %-15s speed (goal %.1fx) %s\n", name, r, ref.c_str(), goal, r >= goal ? "ok" : "BELOW GOAL");
    };
    std::printf("\nSpeed relative to the same-run reference (16 MiB of pixels):\n");
    ratio("bmp read", "BM_BmpRead", "BM_Memcpy", 0.5);
    ratio("bmp write", "BM_BmpWrite", "BM_Memcpy", 0.5);
    ratio("tim read", "BM_TimRead", "BM_Memcpy", 0.5);
    ratio("tim write", "BM_TimWrite", "BM_Memcpy", 0.5);
    ratio("bfnt read", "BM_BfntRead", "BM_Memcpy", 0.5);
    ratio("bfnt write", "BM_BfntWrite", "BM_Memcpy", 0.5);
    ratio("tim shift", "BM_TimShift", "BM_Memset", 0.7);
    // Readers must fill a new buffer; for them, also against a copy into one.
    ratio("bmp read", "BM_BmpRead", "BM_MemcpyFresh", 0.5);
    ratio("tim read", "BM_TimRead", "BM_MemcpyFresh", 0.5);
    ratio("bfnt read", "BM_BfntRead", "BM_MemcpyFresh", 0.5);
    benchmark::Shutdown();
    return 0;
}
