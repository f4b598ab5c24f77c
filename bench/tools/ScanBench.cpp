// vellumconv scan against reading the same page-cached file with `cat FILE > /dev/null`, each
// pair run alternately in the same iterations:
//  - a 1 GiB file of mixed data (random bytes as compressed data are, zeros, 16-bit counters,
//    game text) with a few thousand pictures of every kind and depth planted in it;
//  - a raw CD image (2352-byte sectors, Mode 2 Form 1 with Form 2 sectors between) of 600 MiB
//    whose user data is the same kind of mixture.
// Goals: within 2x of cat with -j 2, within 3x on one core (-j 1); peak resident memory at
// most 64 MiB whatever the input size. Every run checks that the scan found exactly the
// pictures planted.
// Times are medians of the iterations; the summary at the end prints every ratio with its
// goal, and the peak memory, from /usr/bin/time (Debian package `time`).
// Run: build/bench/tools/bench_scan  (VELLUM_BENCH_SMOKE=1: one iteration each, files of a
// few MiB)

#include "bench/BenchChild.h"
#include "bench/BenchRun.h"
#include "tests/formats/ScanSamples.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

constexpr const char* TIME_PATH = "/usr/bin/time";

std::uint64_t MixedSize()
{
    return BenchSmoke() ? std::uint64_t{16} << 20 : std::uint64_t{1} << 30;
}

std::uint64_t CdSectors()
{
    return (BenchSmoke() ? std::uint64_t{8} << 20 : std::uint64_t{600} << 20) / 2352;
}

// Mixed data in blocks of 64 KiB (random bytes, zeros, little-endian 16-bit counters, text),
// with a picture between blocks now and then, about one per 350 KiB: the kind of bytes an
// archive or a disc holds. Counts the pictures it planted whole.
class CMixedStream
{
public:
    explicit CMixedStream(std::uint64_t nTotal) : m_nTotal(nTotal), m_items(scansample::EveryKindAndDepth(77)) {}

    // The next n bytes.
    void Take(std::uint8_t* p, std::size_t n)
    {
        while (n > 0)
        {
            if (m_pending.empty())
                Refill();
            const std::size_t k = std::min(n, m_pending.size() - m_nAt);
            std::memcpy(p, m_pending.data() + m_nAt, k);
            p += k;
            n -= k;
            m_nAt += k;
            if (m_nAt == m_pending.size())
            {
                m_pending.clear();
                m_nAt = 0;
            }
        }
    }
    std::uint64_t Planted() const { return m_nPlanted; }

private:
    void Refill()
    {
        constexpr std::size_t kBlock = 65536;
        m_pending.resize(kBlock);
        std::uint8_t* p = m_pending.data();
        switch (m_random.Below(5))
        {
        case 0:
            std::memset(p, 0, kBlock);
            break;
        case 1:
            for (std::size_t i = 0; i < kBlock; i += 2)
            {
                p[i] = static_cast<std::uint8_t>(m_nCounter);
                p[i + 1] = static_cast<std::uint8_t>(m_nCounter >> 8);
                ++m_nCounter;
            }
            break;
        case 2:
        {
            static const char kText[] = "Welcome back, traveller. The gate to the northern road opens at dawn; "
                                        "bring 300 gold and the key from the old mill. [SCENE 12] ";
            for (std::size_t i = 0; i < kBlock; ++i)
                p[i] = static_cast<std::uint8_t>(kText[(m_nProduced + i) % (sizeof kText - 1)]);
            break;
        }
        default:
            for (std::size_t i = 0; i < kBlock; i += 8)
            {
                const std::uint64_t v = m_random.Next();
                std::memcpy(p + i, &v, 8);
            }
            break;
        }
        // A picture after about one block in five, when it still fits whole.
        if (m_random.Below(5) == 0)
        {
            const scansample::Planted& item = m_items[m_nPlantedKind++ % m_items.size()];
            if (m_nProduced + kBlock + item.bytes.size() <= m_nTotal)
            {
                m_pending.insert(m_pending.end(), item.bytes.begin(), item.bytes.end());
                ++m_nPlanted;
            }
        }
        m_nProduced += m_pending.size();
    }

    std::uint64_t m_nTotal;
    std::vector<scansample::Planted> m_items;
    scansample::CRandom m_random{5};
    std::vector<std::uint8_t> m_pending;
    std::size_t m_nAt = 0;
    std::uint64_t m_nProduced = 0;
    std::uint64_t m_nPlanted = 0;
    std::size_t m_nPlantedKind = 0;
    std::uint16_t m_nCounter = 0;
};

struct Inputs
{
    fs::path dir;
    std::string mixed, disc;
    std::uint64_t nMixedItems = 0, nDiscItems = 0;
};

const Inputs& GetInputs()
{
    static Inputs s_inputs = [] {
        Inputs in;
        std::string strTemplate = (fs::temp_directory_path() / "vellum-scanbench-XXXXXX").string();
        if (::mkdtemp(strTemplate.data()) == nullptr)
            std::abort();
        in.dir = strTemplate;
        in.mixed = (in.dir / "mixed.bin").string();
        in.disc = (in.dir / "disc.bin").string();
        std::vector<std::uint8_t> buf(std::size_t{1} << 20);
        {
            std::ofstream out(in.mixed, std::ios::binary);
            CMixedStream stream(MixedSize());
            for (std::uint64_t nDone = 0; nDone < MixedSize(); nDone += buf.size())
            {
                stream.Take(buf.data(), buf.size());
                out.write(reinterpret_cast<const char*>(buf.data()), static_cast<std::streamsize>(buf.size()));
            }
            in.nMixedItems = stream.Planted();
        }
        {
            // Mode 2 Form 1 sectors of the stream, and one Form 2 sector (an audio or video
            // stream's) in eight; the sectors' other bytes are random.
            std::ofstream out(in.disc, std::ios::binary);
            CMixedStream stream((CdSectors() - (CdSectors() + 1) / 8) * 2048);
            scansample::CRandom r(9);
            std::vector<std::uint8_t> sector(2352);
            for (std::uint64_t s = 0; s < CdSectors(); ++s)
            {
                r.Fill(sector.data(), sector.size());
                std::memcpy(sector.data(), CD_SYNC, 12);
                sector[15] = 2;
                const bool bForm2 = s % 8 == 7;
                sector[18] = sector[22] = bForm2 ? 0x24 : 0x08;
                if (!bForm2)
                    stream.Take(sector.data() + 24, 2048);
                out.write(reinterpret_cast<const char*>(sector.data()), static_cast<std::streamsize>(sector.size()));
            }
            in.nDiscItems = stream.Planted();
        }
        return in;
    }();
    return s_inputs;
}

struct Ratio
{
    std::string strLabel;
    double dOursMs = 0;
    double dCatMs = 0;
    double dGoal = 0;
};
std::vector<Ratio>& Ratios()
{
    static std::vector<Ratio> s_ratios;
    return s_ratios;
}
struct Budget
{
    std::string strLabel;
    double dMiB = 0;
};
std::vector<Budget>& Budgets()
{
    static std::vector<Budget> s_budgets;
    return s_budgets;
}
constexpr double kGoalMiB = 64.0;

// Lines the scan printed: one per find.
std::uint64_t CountLines(const std::string& strPath)
{
    std::ifstream in(strPath);
    std::string line;
    std::uint64_t n = 0;
    while (std::getline(in, line))
        ++n;
    return n;
}

const char* CatPath()
{
    return ToolPath("cat");
}

// Runs the scan and cat alternately, once each per iteration; the benchmark's time is the scan's.
void ScanAgainstCat(benchmark::State& state, const std::string& strFile, std::uint64_t nItems, const char* pszWhat)
{
    const std::string strJobs = std::to_string(state.range(0));
    const std::string strOut = (GetInputs().dir / "finds.txt").string();
    const std::vector<std::string> scan = {VELLUMCONV_PATH, "scan", "-j", strJobs, strFile};
    const std::vector<std::string> cat = {CatPath(), strFile};
    RunChild(cat);  // into the page cache, untimed
    std::vector<double> ours, theirs;
    for (auto _ : state)
    {
        const ChildRun a = RunChild(scan, strOut.c_str());
        const ChildRun b = RunChild(cat);
        if (a.nExit != 0 || b.nExit != 0)
        {
            state.SkipWithError("a child failed");
            return;
        }
        if (CountLines(strOut) != nItems)
        {
            state.SkipWithError("the scan did not find exactly the pictures planted");
            return;
        }
        state.SetIterationTime(a.dSeconds);
        ours.push_back(a.dSeconds);
        theirs.push_back(b.dSeconds);
    }
    Ratio ratio{std::string(pszWhat) + ", scan -j " + strJobs + " / cat", 1000.0 * Median(ours), 1000.0 * Median(theirs),
                state.range(0) >= 2 ? 2.0 : 3.0};
    state.counters["ours_ms"] = ratio.dOursMs;
    state.counters["cat_ms"] = ratio.dCatMs;
    state.counters["items"] = static_cast<double>(nItems);
    Ratios().push_back(ratio);
}

// The child's peak resident size in MiB, or -1, from /usr/bin/time, whose own children start
// small (one spawned from here would inherit this process's high-water mark).
double PeakMiB(const std::vector<std::string>& args)
{
    if (::access(TIME_PATH, X_OK) != 0)
        return -1;
    const std::string strReport = (GetInputs().dir / "time.txt").string();
    std::vector<std::string> timed = {TIME_PATH, "-f", "%M", "-o", strReport};
    timed.insert(timed.end(), args.begin(), args.end());
    if (RunChild(timed).nExit != 0)
        return -1;
    std::ifstream in(strReport);
    double dKiB = -1;
    in >> dKiB;
    return dKiB < 0 ? -1 : dKiB / 1024.0;
}

void PeakMemory(benchmark::State& state, const std::string& strFile, const char* pszWhat)
{
    const std::string strJobs = std::to_string(state.range(0));
    for (auto _ : state)
    {
        const double dPeak = PeakMiB({VELLUMCONV_PATH, "scan", "-j", strJobs, strFile});
        Budgets().push_back(Budget{std::string(pszWhat) + ", scan -j " + strJobs + ", peak resident memory", dPeak});
        state.counters["peak_MiB"] = dPeak;
        if (dPeak < 0)
            state.SkipWithError(::access(TIME_PATH, X_OK) != 0 ? "/usr/bin/time is missing (Debian package time)"
                                                                : "the run under /usr/bin/time failed");
    }
}

void BM_MixedVsCat(benchmark::State& state)
{
    ScanAgainstCat(state, GetInputs().mixed, GetInputs().nMixedItems, BenchSmoke() ? "16 MiB mixed" : "1 GiB mixed");
}
void BM_DiscVsCat(benchmark::State& state)
{
    ScanAgainstCat(state, GetInputs().disc, GetInputs().nDiscItems, BenchSmoke() ? "8 MiB raw CD" : "600 MiB raw CD");
}
void BM_MixedPeak(benchmark::State& state)
{
    PeakMemory(state, GetInputs().mixed, BenchSmoke() ? "16 MiB mixed" : "1 GiB mixed");
}
void BM_DiscPeak(benchmark::State& state)
{
    PeakMemory(state, GetInputs().disc, BenchSmoke() ? "8 MiB raw CD" : "600 MiB raw CD");
}

void PrintSummary()
{
    std::printf("\nRatios, medians of the same run (%llu pictures in the mixed file, %llu in the CD image):\n",
                static_cast<unsigned long long>(GetInputs().nMixedItems),
                static_cast<unsigned long long>(GetInputs().nDiscItems));
    PrintSmokeNote();
    for (const Ratio& r : Ratios())
    {
        if (r.dOursMs <= 0 || r.dCatMs <= 0)
            continue;
        const double dRatio = r.dOursMs / r.dCatMs;
        std::printf("  %-44s %6.2fx  (%.1f ms against %.1f ms)  goal <= %.1fx: %s\n", r.strLabel.c_str(), dRatio,
                    r.dOursMs, r.dCatMs, r.dGoal, dRatio <= r.dGoal ? "met" : "MISSED");
    }
    for (const Budget& b : Budgets())
        if (b.dMiB > 0)
            std::printf("  %-58s %6.1f MiB  goal <= %.0f MiB: %s\n", b.strLabel.c_str(), b.dMiB, kGoalMiB,
                        b.dMiB <= kGoalMiB ? "met" : "MISSED");
        else
            std::printf("  %-58s NOT MEASURED\n", b.strLabel.c_str());
}

}  // namespace

BENCHMARK(BM_MixedVsCat)->Arg(2)->Arg(1)->UseManualTime()->Iterations(BenchIterations(5))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiscVsCat)->Arg(2)->Arg(1)->UseManualTime()->Iterations(BenchIterations(5))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixedPeak)->Arg(2)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DiscPeak)->Arg(2)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    GetInputs();
    CBenchReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintSummary();
    std::error_code ec;
    fs::remove_all(GetInputs().dir, ec);
    return reporter.ExitStatus();
}
