// vellumconv opening and saving 16 MiB files, start-up included, against `cat in > out` of
// the same file on the same filesystem, timed alternately in the same iterations; and
// against ImageMagick's convert where it is installed. Peak memory is reported beside the
// goal of twice the input plus 40 MiB.

#include "SampleFiles.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace
{

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct ChildRun
{
    double dSeconds = 0;
    int nExit = -1;
};

// Runs argv with stdout to pszOut (or /dev/null) and stderr to /dev/null.
ChildRun RunChild(const std::vector<std::string>& args, const char* pszOut = "/dev/null")
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, pszOut, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ChildRun run;
    const auto t0 = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
    {
        int nStatus = 0;
        if (::waitpid(pid, &nStatus, 0) == pid && WIFEXITED(nStatus))
            run.nExit = WEXITSTATUS(nStatus);
    }
    run.dSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

// The child's peak resident size in MiB, or -1. A child spawned from this process
// inherits the high-water mark of its address space at exec, so the count comes from
// /usr/bin/time, whose own children start small.
double PeakMiB(const std::vector<std::string>& args, const fs::path& dir)
{
    if (::access("/usr/bin/time", X_OK) != 0)
        return -1;
    const std::string strReport = (dir / "time.txt").string();
    std::vector<std::string> timed = {"/usr/bin/time", "-f", "%M", "-o", strReport};
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
    std::string bmp, tim, bfnt;
};

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
        in.bmp = (in.dir / "in.bmp").string();
        in.tim = (in.dir / "in.tim").string();
        in.bfnt = (in.dir / "in.fnt").string();
        WriteFile(in.bmp, MakeSampleBmp(4096, 4096));
        WriteFile(in.tim, MakeSampleTim(2048, 4096));
        WriteFile(in.bfnt, MakeSampleBfnt(16, 16, 0, 65534));  // 16 MiB of glyphs, the most codes a sheet converts
        return in;
    }();
    return s_inputs;
}

void ConvertAgainstCat(benchmark::State& state, const std::string& strIn, const char* pszOutName)
{
    const Inputs& in = GetInputs();
    const std::string strOut = (in.dir / pszOutName).string();
    const std::string strCopy = (in.dir / "copy.bin").string();
    const double dInputMiB = static_cast<double>(fs::file_size(strIn)) / (1024.0 * 1024.0);
    double dCat = 0;
    double dConv = 0;
    const double dPeak = PeakMiB({VELLUMCONV_PATH, strIn, strOut}, in.dir);
    for (auto _ : state)
    {
        const ChildRun cat = RunChild({"/bin/cat", strIn}, strCopy.c_str());
        const ChildRun conv = RunChild({VELLUMCONV_PATH, strIn, strOut});
        if (cat.nExit != 0 || conv.nExit != 0)
        {
            state.SkipWithError("a child failed");
            break;
        }
        state.SetIterationTime(conv.dSeconds);
        dCat += cat.dSeconds;
        dConv += conv.dSeconds;
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["cat_ms"] = 1000.0 * dCat / n;
    state.counters["vs_cat"] = dConv / dCat;
    state.counters["peak_MiB"] = dPeak;
    state.counters["budget_MiB"] = 2.0 * dInputMiB + 40.0;
}

void BM_BmpToBmp(benchmark::State& state) { ConvertAgainstCat(state, GetInputs().bmp, "out.bmp"); }
void BM_TimToBmp(benchmark::State& state) { ConvertAgainstCat(state, GetInputs().tim, "out.bmp"); }
void BM_BmpToTim(benchmark::State& state) { ConvertAgainstCat(state, GetInputs().bmp, "out.tim"); }
void BM_BfntToBmp(benchmark::State& state) { ConvertAgainstCat(state, GetInputs().bfnt, "out.bmp"); }

const char* ConvertPath()
{
    for (const char* psz : {"/usr/bin/convert", "/usr/local/bin/convert"})
        if (::access(psz, X_OK) == 0)
            return psz;
    return nullptr;
}

// The same BMP to BMP conversion by ImageMagick, alternated with ours.
void BM_BmpToBmpVsImageMagick(benchmark::State& state)
{
    const char* pszConvert = ConvertPath();
    if (pszConvert == nullptr)
    {
        state.SkipWithError("ImageMagick's convert is not installed");
        return;
    }
    const Inputs& in = GetInputs();
    const std::string strOurs = (in.dir / "ours.bmp").string();
    const std::string strTheirs = "BMP3:" + (in.dir / "theirs.bmp").string();
    double dOurs = 0;
    double dTheirs = 0;
    for (auto _ : state)
    {
        const ChildRun ours = RunChild({VELLUMCONV_PATH, in.bmp, strOurs});
        const ChildRun theirs = RunChild({pszConvert, in.bmp, "-compress", "none", strTheirs});
        if (ours.nExit != 0 || theirs.nExit != 0)
        {
            state.SkipWithError("a child failed");
            break;
        }
        state.SetIterationTime(ours.dSeconds);
        dOurs += ours.dSeconds;
        dTheirs += theirs.dSeconds;
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["convert_ms"] = 1000.0 * dTheirs / n;
    state.counters["speedup"] = dTheirs / dOurs;
}

}  // namespace

BENCHMARK(BM_BmpToBmp)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimToBmp)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpToTim)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BfntToBmp)->UseManualTime()->Iterations(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpToBmpVsImageMagick)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    GetInputs();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(GetInputs().dir, ec);
    return 0;
}
