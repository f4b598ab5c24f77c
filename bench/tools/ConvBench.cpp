// vellumconv from start to exit against the tools people use instead, each pair run
// alternately in the same iterations, on the same files and filesystem:
//  - small files (the 13 KB samples) against ImageMagick's `convert IN -compress none BMP3:OUT`
//    (goal: at least 5x faster), `vellumconv --help` against `cat` of a tiny file (goal:
//    within 2x), and the peak memory of a small conversion (goal: at most 8 MiB);
//  - a batch of 300 small TIMs to BMP with -j 2 and -j 1, into a new folder and over the last outputs, against ImageMagick's
//    `mogrify -path D -format bmp -define bmp:format=bmp3 -compress none` (goals: at least
//    2x faster, and at least as fast);
//  - 16 MiB (4096 x 4096) files against the durable copy `dd if=IN of=OUT bs=1M conv=fdatasync`
//    (goal: within 1.5x) and against ImageMagick (goal: at least 8x faster; ImageMagick writes
//    no TIM, so BMP -> TIM is set against its BMP -> BMP), with their peak memory (goal: at
//    most twice the file plus 8 MiB);
//  - the same small conversion by a dynamically linked build of the converter, for the
//    share of its time that the static link saves.
// Every ImageMagick run is pinned to an uncompressed BMP3 with the 40-byte header, the file
// ours writes, and each run checks that it got one.
// Times are medians of the iterations; the summary at the end prints every ratio with its goal.
// Every timed run starts on a settled disk (an untimed sync before it), so a tool that makes
// its output durable does not also pay for what the other tool left unwritten.
// Peak memory comes from /usr/bin/time (Debian package `time`); without it the run says so
// and fails.
// With VELLUM_BENCH_BASELINE=PATH, the converter of an earlier commit (built in a folder of its
// own) runs beside this one in the same run: the batches and the 16 MiB conversions, against
// each other and against mogrify and the durable copy.
// Run: build/bench/tools/bench_tools  (VELLUM_BENCH_SMOKE=1: one iteration each, a smaller batch)

#include "bench/BenchChild.h"
#include "bench/BenchRun.h"
#include "tests/formats/SampleFiles.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

namespace fs = std::filesystem;

constexpr const char* TIME_PATH = "/usr/bin/time";

// The child's peak resident size in MiB, or -1. A child spawned from this process
// inherits the high-water mark of its address space at exec, so the count comes from
// /usr/bin/time, whose own children start small.
double PeakMiB(const std::vector<std::string>& args, const fs::path& dir)
{
    if (::access(TIME_PATH, X_OK) != 0)
        return -1;
    const std::string strReport = (dir / "time.txt").string();
    std::vector<std::string> timed = {TIME_PATH, "-f", "%M", "-o", strReport};
    timed.insert(timed.end(), args.begin(), args.end());
    if (RunChild(timed).nExit != 0)
        return -1;
    std::ifstream in(strReport);
    double dKiB = -1;
    in >> dKiB;
    return dKiB < 0 ? -1 : dKiB / 1024.0;
}

struct Inputs
{
    fs::path dir;
    std::string smallBmp, smallTim, tiny;
    std::string bmp, tim, bfnt;
    std::vector<std::string> batch;  // copies of the small TIM
};

// A smoke run checks the batch on fewer files: mogrify alone takes seconds for 300.
int BatchFiles()
{
    return BenchSmoke() ? 20 : 300;
}

void WriteFile(const std::string& strPath, const std::vector<std::uint8_t>& data)
{
    std::ofstream out(strPath, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

const Inputs& GetInputs()
{
    static Inputs s_inputs = [] {
        Inputs in;
        std::string strTemplate = (fs::temp_directory_path() / "vellum-convbench-XXXXXX").string();
        if (::mkdtemp(strTemplate.data()) == nullptr)
            std::abort();
        in.dir = strTemplate;
        in.smallBmp = (in.dir / "small.bmp").string();
        in.smallTim = (in.dir / "small.tim").string();
        in.tiny = (in.dir / "tiny.txt").string();
        in.bmp = (in.dir / "in.bmp").string();
        in.tim = (in.dir / "in.tim").string();
        in.bfnt = (in.dir / "in.fnt").string();
        fs::copy_file(VELLUM_SAMPLES_DIR "/picture.bmp", in.smallBmp);
        fs::copy_file(VELLUM_SAMPLES_DIR "/picture.tim", in.smallTim);
        WriteFile(in.tiny, {'v', 'e', 'l', 'l', 'u', 'm', '\n'});
        WriteFile(in.bmp, MakeSampleBmp(4096, 4096));
        WriteFile(in.tim, MakeSampleTim(2048, 4096));
        WriteFile(in.bfnt, MakeSampleBfnt(16, 16, 0, 65534));  // 16 MiB of glyphs, the most codes a sheet converts
        fs::create_directories(in.dir / "batch");
        for (int i = 0; i < BatchFiles(); ++i)
        {
            std::string name = "t";
            name += std::to_string(i);
            name += ".tim";
            in.batch.push_back((in.dir / "batch" / name).string());
            fs::copy_file(in.smallTim, in.batch.back());
        }
        return in;
    }();
    return s_inputs;
}

// One line of the summary: ours against a reference, and whether the goal holds.
struct Ratio
{
    std::string strLabel;
    double dOursMs = 0;
    double dTheirsMs = 0;
    double dGoal = 0;
    bool bFaster = true;  // the goal is a speed-up (theirs / ours >= goal), else a bound (ours / theirs <= goal)
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
    double dGoalMiB = 0;
};
std::vector<Budget>& Budgets()
{
    static std::vector<Budget> s_budgets;
    return s_budgets;
}

// Measures the peak memory of one run of args for the summary; a budget that cannot be
// measured fails the benchmark and shows in the summary, instead of dropping out of it.
void MeasureBudget(benchmark::State& state, const std::string& strLabel, const std::vector<std::string>& args,
                   double dGoalMiB)
{
    const double dPeak = PeakMiB(args, GetInputs().dir);
    Budgets().push_back(Budget{strLabel, dPeak, dGoalMiB});
    state.counters["peak_MiB"] = dPeak;
    if (dPeak > 0)
        return;
    if (::access(TIME_PATH, X_OK) != 0)
        state.SkipWithError("/usr/bin/time is missing (Debian package time): peak memory not measured");
    else
        state.SkipWithError("the run under /usr/bin/time failed: peak memory not measured");
}

// Runs ours and theirs alternately, once each per iteration; the benchmark's time is ours.
// strTheirsBmp, when given, is a file of theirs that must be a BMP laid out like ours.
void SideBySide(benchmark::State& state, const std::vector<std::string>& ours, const std::vector<std::string>& theirs,
                const char* pszTheirsOut, Ratio ratio, const std::string& strTheirsBmp = {})
{
    std::vector<double> oursTimes, theirsTimes;
    for (auto _ : state)
    {
        const ChildRun a = RunChildSettled(ours);
        const ChildRun b = RunChildSettled(theirs, pszTheirsOut);
        if (a.nExit != 0 || b.nExit != 0)
        {
            state.SkipWithError("a child failed");
            return;
        }
        if (!strTheirsBmp.empty() && !IsUncompressedBmp3(strTheirsBmp))
        {
            state.SkipWithError("the reference did not write an uncompressed 8-bit BMP3");
            return;
        }
        state.SetIterationTime(a.dSeconds);
        oursTimes.push_back(a.dSeconds);
        theirsTimes.push_back(b.dSeconds);
    }
    ratio.dOursMs = 1000.0 * Median(oursTimes);
    ratio.dTheirsMs = 1000.0 * Median(theirsTimes);
    state.counters["ours_ms"] = ratio.dOursMs;
    state.counters["theirs_ms"] = ratio.dTheirsMs;
    Ratios().push_back(ratio);
}

void SmallAgainstImageMagick(benchmark::State& state, const std::string& strIn, const char* pszLabel)
{
    const char* pszConvert = ToolPath("convert");
    if (pszConvert == nullptr)
    {
        state.SkipWithError("ImageMagick's convert is not installed");
        return;
    }
    const Inputs& in = GetInputs();
    const std::string strOurs = (in.dir / "ours.bmp").string();
    const std::string strTheirs = (in.dir / "theirs.bmp").string();
    SideBySide(state, {VELLUMCONV_PATH, strIn, strOurs}, {pszConvert, strIn, "-compress", "none", "BMP3:" + strTheirs},
               "/dev/null", Ratio{pszLabel, 0, 0, 5.0, true}, strTheirs);
}

void BM_SmallBmpToBmpVsImageMagick(benchmark::State& state)
{
    SmallAgainstImageMagick(state, GetInputs().smallBmp, "13 KB BMP -> BMP, ImageMagick / vellumconv");
}

void BM_SmallTimToBmpVsImageMagick(benchmark::State& state)
{
    SmallAgainstImageMagick(state, GetInputs().smallTim, "13 KB TIM -> BMP, ImageMagick / vellumconv");
}

void BM_HelpVsCat(benchmark::State& state)
{
    const Inputs& in = GetInputs();
    SideBySide(state, {VELLUMCONV_PATH, "--help"}, {"/bin/cat", in.tiny}, "/dev/null",
               Ratio{"vellumconv --help / cat of a tiny file", 0, 0, 2.0, false});
}

void BM_SmallPeakMemory(benchmark::State& state)
{
    const Inputs& in = GetInputs();
    const std::string strOut = (in.dir / "peak.bmp").string();
    for (auto _ : state)
        MeasureBudget(state, "13 KB TIM -> BMP, peak resident memory", {VELLUMCONV_PATH, in.smallTim, strOut}, 8.0);
}

bool SameBytes(const std::string& strA, const std::string& strB)
{
    std::ifstream a(strA, std::ios::binary), b(strB, std::ios::binary);
    const std::vector<char> da((std::istreambuf_iterator<char>(a)), std::istreambuf_iterator<char>());
    const std::vector<char> db((std::istreambuf_iterator<char>(b)), std::istreambuf_iterator<char>());
    return a.good() == b.good() && !da.empty() && da == db;
}

// The same converter linked dynamically, as a program usually is: what the static link saves.
void BM_SmallStaticVsDynamic(benchmark::State& state)
{
    const Inputs& in = GetInputs();
    const std::string strOurs = (in.dir / "static.bmp").string();
    const std::string strDynamic = (in.dir / "dynamic.bmp").string();
    SideBySide(state, {VELLUMCONV_PATH, in.smallTim, strOurs}, {VELLUMCONV_DYNAMIC_PATH, in.smallTim, strDynamic},
               "/dev/null", Ratio{"13 KB TIM -> BMP, dynamic / static vellumconv", 0, 0, 0, true});
    if (!SameBytes(strOurs, strDynamic))
        state.SkipWithError("the two builds wrote different files");
}

// Into a fresh folder each time (fresh), or over the previous run's outputs. Over them, ours
// replaces each file by a new one, as a safe save must, while mogrify truncates and rewrites
// the old one in place; a filesystem that has just freed many inodes (ext4 skips them for a
// while) makes the new ones dearer, so the two cases are shown apart.
void BM_Batch300VsMogrify(benchmark::State& state)
{
    const char* pszMogrify = ToolPath("mogrify");
    if (pszMogrify == nullptr)
    {
        state.SkipWithError("ImageMagick's mogrify is not installed");
        return;
    }
    const Inputs& in = GetInputs();
    const bool bFresh = state.range(1) != 0;
    const std::string strJobs = std::to_string(state.range(0));
    const std::string strCount = std::to_string(in.batch.size());
    std::vector<double> oursTimes, theirsTimes;
    int nRun = 0;
    for (auto _ : state)
    {
        const std::string strTag = bFresh ? std::to_string(nRun++) : std::string("last");
        const std::string strOurs = (in.dir / ("batch-ours-" + strTag)).string();
        const std::string strTheirs = (in.dir / ("batch-theirs-" + strTag)).string();
        fs::create_directories(strOurs);
        fs::create_directories(strTheirs);
        std::vector<std::string> ours = {VELLUMCONV_PATH, "--to", ".bmp", "--out-dir", strOurs, "-j", strJobs};
        // Without the define mogrify writes RLE8 with the 124-byte header.
        std::vector<std::string> theirs = {pszMogrify, "-path", strTheirs, "-format", "bmp",
                                           "-define", "bmp:format=bmp3", "-compress", "none"};
        ours.insert(ours.end(), in.batch.begin(), in.batch.end());
        theirs.insert(theirs.end(), in.batch.begin(), in.batch.end());
        const ChildRun a = RunChildSettled(ours);
        const ChildRun b = RunChildSettled(theirs);
        if (a.nExit != 0 || b.nExit != 0)
        {
            state.SkipWithError("a child failed");
            return;
        }
        if (!IsUncompressedBmp3((fs::path(strTheirs) / "t0.bmp").string()))
        {
            state.SkipWithError("the reference did not write an uncompressed 8-bit BMP3");
            return;
        }
        state.SetIterationTime(a.dSeconds);
        oursTimes.push_back(a.dSeconds);
        theirsTimes.push_back(b.dSeconds);
    }
    for (int i = 0; i < nRun; ++i)
    {
        std::error_code ec;
        fs::remove_all(in.dir / ("batch-ours-" + std::to_string(i)), ec);
        fs::remove_all(in.dir / ("batch-theirs-" + std::to_string(i)), ec);
    }
    Ratio ratio{strCount + " small TIM -> BMP, -j " + strJobs + (bFresh ? ", new folder" : ", over its outputs") +
                    ", mogrify / vellumconv",
                1000.0 * Median(oursTimes), 1000.0 * Median(theirsTimes), state.range(0) >= 2 ? 2.0 : 1.0, true};
    state.counters["ours_ms"] = ratio.dOursMs;
    state.counters["theirs_ms"] = ratio.dTheirsMs;
    Ratios().push_back(ratio);
}

void LargeAgainstDd(benchmark::State& state, const std::string& strIn, const char* pszOutName, const char* pszLabel)
{
    const Inputs& in = GetInputs();
    const std::string strOut = (in.dir / pszOutName).string();
    const std::string strCopy = (in.dir / "copy.bin").string();
    const double dInputMiB = static_cast<double>(fs::file_size(strIn)) / (1024.0 * 1024.0);
    SideBySide(state, {VELLUMCONV_PATH, strIn, strOut},
               {"/bin/dd", "if=" + strIn, "of=" + strCopy, "bs=1M", "conv=fdatasync", "status=none"}, "/dev/null",
               Ratio{std::string(pszLabel) + ", vellumconv / durable dd", 0, 0, 1.5, false});
    MeasureBudget(state, std::string(pszLabel) + ", peak resident memory", {VELLUMCONV_PATH, strIn, strOut},
                  2.0 * dInputMiB + 8.0);
}

void LargeAgainstImageMagick(benchmark::State& state, const std::string& strIn, const char* pszOutName,
                             const char* pszLabel)
{
    const char* pszConvert = ToolPath("convert");
    if (pszConvert == nullptr)
    {
        state.SkipWithError("ImageMagick's convert is not installed");
        return;
    }
    const Inputs& in = GetInputs();
    const std::string strOut = (in.dir / pszOutName).string();
    const std::string strTheirs = (in.dir / "theirs.bmp").string();
    SideBySide(state, {VELLUMCONV_PATH, strIn, strOut}, {pszConvert, strIn, "-compress", "none", "BMP3:" + strTheirs},
               "/dev/null", Ratio{std::string(pszLabel) + ", ImageMagick / vellumconv", 0, 0, 8.0, true}, strTheirs);
}

void BM_BmpToBmp(benchmark::State& state) { LargeAgainstDd(state, GetInputs().bmp, "out.bmp", "16 MiB BMP -> BMP"); }
void BM_TimToBmp(benchmark::State& state) { LargeAgainstDd(state, GetInputs().tim, "out.bmp", "16 MiB TIM -> BMP"); }
void BM_BmpToTim(benchmark::State& state) { LargeAgainstDd(state, GetInputs().bmp, "out.tim", "16 MiB BMP -> TIM"); }
void BM_BfntToBmp(benchmark::State& state) { LargeAgainstDd(state, GetInputs().bfnt, "out.bmp", "16 MiB BFNT -> BMP"); }
void BM_BmpToBmpVsImageMagick(benchmark::State& state)
{
    LargeAgainstImageMagick(state, GetInputs().bmp, "out.bmp", "16 MiB BMP -> BMP");
}
void BM_TimToBmpVsImageMagick(benchmark::State& state)
{
    LargeAgainstImageMagick(state, GetInputs().tim, "out.bmp", "16 MiB TIM -> BMP");
}
void BM_BmpToTimVsImageMagick(benchmark::State& state)
{
    LargeAgainstImageMagick(state, GetInputs().bmp, "out.tim", "16 MiB BMP -> TIM (theirs to BMP)");
}

// The converter of an earlier commit, or null.
const char* BaselinePath()
{
    const char* psz = std::getenv("VELLUM_BENCH_BASELINE");
    return psz != nullptr && *psz != '\0' ? psz : nullptr;
}

void BatchAgainstBaseline(benchmark::State& state, int nJobs)
{
    const Inputs& in = GetInputs();
    const std::string strJobs = std::to_string(nJobs);
    std::vector<std::string> ours = {VELLUMCONV_PATH, "--to", ".bmp", "--out-dir", (in.dir / "batch-ours").string(),
                                     "-j", strJobs};
    std::vector<std::string> before = {BaselinePath(), "--to", ".bmp", "--out-dir", (in.dir / "batch-before").string(),
                                       "-j", strJobs};
    ours.insert(ours.end(), in.batch.begin(), in.batch.end());
    before.insert(before.end(), in.batch.begin(), in.batch.end());
    SideBySide(state, ours, before, "/dev/null",
               Ratio{std::to_string(in.batch.size()) + " small TIM -> BMP, -j " + strJobs + ", before / now", 0, 0,
                     0.9, true});
}

void LargeAgainstBaseline(benchmark::State& state, const std::string& strIn, const char* pszOutName,
                          const char* pszLabel)
{
    const Inputs& in = GetInputs();
    SideBySide(state, {VELLUMCONV_PATH, strIn, (in.dir / pszOutName).string()},
               {BaselinePath(), strIn, (in.dir / (std::string("before-") + pszOutName)).string()}, "/dev/null",
               Ratio{std::string(pszLabel) + ", before / now", 0, 0, 0.9, true});
}

// The earlier converter against the same references, for the two ratios side by side.
void BaselineBatchVsMogrify(benchmark::State& state, int nJobs)
{
    const char* pszMogrify = ToolPath("mogrify");
    if (pszMogrify == nullptr)
    {
        state.SkipWithError("ImageMagick's mogrify is not installed");
        return;
    }
    const Inputs& in = GetInputs();
    const std::string strJobs = std::to_string(nJobs);
    const std::string strTheirs = (in.dir / "batch-theirs").string();
    fs::create_directories(strTheirs);
    std::vector<std::string> before = {BaselinePath(), "--to", ".bmp", "--out-dir", (in.dir / "batch-before").string(),
                                       "-j", strJobs};
    std::vector<std::string> theirs = {pszMogrify, "-path", strTheirs, "-format", "bmp",
                                       "-define", "bmp:format=bmp3", "-compress", "none"};
    before.insert(before.end(), in.batch.begin(), in.batch.end());
    theirs.insert(theirs.end(), in.batch.begin(), in.batch.end());
    SideBySide(state, before, theirs, "/dev/null",
               Ratio{std::to_string(in.batch.size()) + " small TIM -> BMP, -j " + strJobs +
                         ", mogrify / vellumconv before",
                     0, 0, nJobs >= 2 ? 2.0 : 1.0, true},
               (fs::path(strTheirs) / "t0.bmp").string());
}

void BaselineLargeVsDd(benchmark::State& state, const std::string& strIn, const char* pszOutName, const char* pszLabel)
{
    const Inputs& in = GetInputs();
    const std::string strCopy = (in.dir / "copy.bin").string();
    SideBySide(state, {BaselinePath(), strIn, (in.dir / (std::string("before-") + pszOutName)).string()},
               {"/bin/dd", "if=" + strIn, "of=" + strCopy, "bs=1M", "conv=fdatasync", "status=none"}, "/dev/null",
               Ratio{std::string(pszLabel) + ", vellumconv before / durable dd", 0, 0, 2.0, false});
}

void RegisterBaseline()
{
    if (BaselinePath() == nullptr)
        return;
    for (int nJobs : {2, 1})
    {
        benchmark::RegisterBenchmark(("BM_Batch300BeforeVsNow/" + std::to_string(nJobs)).c_str(), BatchAgainstBaseline,
                                     nJobs)
            ->UseManualTime()->Iterations(BenchIterations(7))->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_Batch300BeforeVsMogrify/" + std::to_string(nJobs)).c_str(),
                                     BaselineBatchVsMogrify, nJobs)
            ->UseManualTime()->Iterations(BenchIterations(7))->Unit(benchmark::kMillisecond);
    }
    const Inputs& in = GetInputs();
    const struct
    {
        const char* pszName;
        std::string strIn;
        const char* pszOut;
        const char* pszLabel;
    } kLarge[] = {{"BmpToBmp", in.bmp, "out.bmp", "16 MiB BMP -> BMP"},
                  {"TimToBmp", in.tim, "out.bmp", "16 MiB TIM -> BMP"},
                  {"BmpToTim", in.bmp, "out.tim", "16 MiB BMP -> TIM"},
                  {"BfntToBmp", in.bfnt, "out.bmp", "16 MiB BFNT -> BMP"}};
    for (const auto& l : kLarge)
    {
        benchmark::RegisterBenchmark((std::string("BM_") + l.pszName + "BeforeVsNow").c_str(), LargeAgainstBaseline,
                                     l.strIn, l.pszOut, l.pszLabel)
            ->UseManualTime()->Iterations(BenchIterations(7))->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("BM_") + l.pszName + "BeforeVsDd").c_str(), BaselineLargeVsDd,
                                     l.strIn, l.pszOut, l.pszLabel)
            ->UseManualTime()->Iterations(BenchIterations(7))->Unit(benchmark::kMillisecond);
    }
}

void PrintSummary()
{
    std::printf("\nRatios, medians of the same run:\n");
    PrintSmokeNote();
    for (const Ratio& r : Ratios())
    {
        if (r.dOursMs <= 0 || r.dTheirsMs <= 0)
            continue;
        const double dRatio = r.bFaster ? r.dTheirsMs / r.dOursMs : r.dOursMs / r.dTheirsMs;
        std::printf("  %-52s %7.2fx  (%.2f ms against %.2f ms)", r.strLabel.c_str(), dRatio, r.dOursMs, r.dTheirsMs);
        if (r.dGoal > 0)
            std::printf("  goal %s %.1fx: %s", r.bFaster ? ">=" : "<=", r.dGoal,
                        (r.bFaster ? dRatio >= r.dGoal : dRatio <= r.dGoal) ? "met" : "MISSED");
        std::printf("\n");
        if (r.strLabel.find("dynamic / static") != std::string::npos)
            std::printf("  %-52s %6.0f%%\n", "  so the static link saves, of a dynamic run",
                        100.0 * (1.0 - r.dOursMs / r.dTheirsMs));
    }
    for (const Budget& b : Budgets())
        if (b.dMiB > 0)
            std::printf("  %-52s %7.1f MiB  goal <= %.1f MiB: %s\n", b.strLabel.c_str(), b.dMiB, b.dGoalMiB,
                        b.dMiB <= b.dGoalMiB ? "met" : "MISSED");
        else
            std::printf("  %-52s NOT MEASURED  goal <= %.1f MiB: UNKNOWN%s\n", b.strLabel.c_str(), b.dGoalMiB,
                        ::access(TIME_PATH, X_OK) != 0 ? " (install the Debian package time)" : "");
}

}  // namespace

BENCHMARK(BM_SmallBmpToBmpVsImageMagick)->UseManualTime()->Iterations(BenchIterations(60))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmallTimToBmpVsImageMagick)->UseManualTime()->Iterations(BenchIterations(60))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HelpVsCat)->UseManualTime()->Iterations(BenchIterations(50))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmallStaticVsDynamic)->UseManualTime()->Iterations(BenchIterations(60))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmallPeakMemory)->Iterations(BenchIterations(1))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Batch300VsMogrify)->Args({2, 1})->Args({2, 0})->Args({1, 1})->Args({1, 0})->UseManualTime()->Iterations(BenchIterations(7))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpToBmp)->UseManualTime()->Iterations(BenchIterations(7))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimToBmp)->UseManualTime()->Iterations(BenchIterations(7))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpToTim)->UseManualTime()->Iterations(BenchIterations(7))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BfntToBmp)->UseManualTime()->Iterations(BenchIterations(7))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpToBmpVsImageMagick)->UseManualTime()->Iterations(BenchIterations(5))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimToBmpVsImageMagick)->UseManualTime()->Iterations(BenchIterations(5))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpToTimVsImageMagick)->UseManualTime()->Iterations(BenchIterations(5))->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    GetInputs();
    RegisterBaseline();
    CBenchReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintSummary();
    std::error_code ec;
    fs::remove_all(GetInputs().dir, ec);
    return reporter.ExitStatus();
}
