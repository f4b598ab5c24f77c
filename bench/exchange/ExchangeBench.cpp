// PNG export and import against ImageMagick's convert, timed side by side in the same
// iterations, both as processes from start to exit: a 1024 x 512 4-bit TIM and a
// 4096 x 4096 8-bit BMP to PNG with `vellumconv export`, and each PNG back with
// `vellumconv import`. Both sides use zlib level 6 and no row filter (libpng's own
// choices for indexed pictures, which the converter keeps). Every run starts on a settled
// disk, as in the converter's benchmark.
// Run: build/bench/exchange/bench_exchange  (VELLUM_BENCH_SMOKE=1: one iteration each, and
// a 1024 x 1024 BMP, since ImageMagick takes seconds over the large one)

#include "bench/BenchChild.h"
#include "bench/BenchRun.h"
#include "tests/exchange/ExchangeSamples.h"
#include "tests/formats/SampleFiles.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int ZLIB_LEVEL = 6;

struct Inputs
{
    fs::path dir;
    std::string tim, bmp, timPng, bmpPng;
};

const char* ConvertPath()
{
    return ToolPath("convert");
}

// Seconds from start to exit, or -1 when the program failed.
double TimedRun(const std::vector<std::string>& args)
{
    const ChildRun run = RunChildSettled(args);
    return run.nExit == 0 ? run.dSeconds : -1;
}

// Our side of one conversion, timed: the converter's verb from start to exit.
double RunOurs(bool bExport, const std::string& strIn, const std::string& strOut)
{
    return TimedRun({VELLUMCONV_PATH, bExport ? "export" : "import", strIn, strOut});
}

// PNG out: the same zlib level, filter and strategy as ours. BMP out: a palette and no RLE,
// which ImageMagick would otherwise choose, so its file has the layout of ours.
double RunTheirs(bool bExport, const std::string& strIn, const std::string& strOut)
{
    if (bExport)
        return TimedRun({ConvertPath(), strIn, "-define", "png:compression-level=" + std::to_string(ZLIB_LEVEL),
                         "-define", "png:compression-filter=0", "-define", "png:compression-strategy=0", strOut});
    return TimedRun({ConvertPath(), strIn, "-type", "Palette", "-compress", "none", strOut});
}

void WriteOrDie(const std::string& strPath, const std::vector<std::uint8_t>& data)
{
    std::ofstream out(strPath, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!out)
        std::abort();
}

const Inputs& GetInputs()
{
    static Inputs s_in = [] {
        Inputs in;
        std::string strTemplate = (fs::temp_directory_path() / "vellum-exbench-XXXXXX").string();
        if (::mkdtemp(strTemplate.data()) == nullptr)
            std::abort();
        in.dir = strTemplate;
        exsample::TimShape tim;
        tim.nBpp = 4;
        tim.nUnits = 256;  // 1024 pixels
        tim.nHeight = 512;
        tim.nClutWidth = 16;
        in.tim = (in.dir / "in.tim").string();
        in.bmp = (in.dir / "in.bmp").string();
        in.timPng = (in.dir / "tim.png").string();
        in.bmpPng = (in.dir / "bmp.png").string();
        WriteOrDie(in.tim, exsample::MakeTim(tim));
        const int nSide = BenchSmoke() ? 1024 : 4096;
        WriteOrDie(in.bmp, MakeSampleBmp(nSide, nSide, true));
        if (RunOurs(true, in.tim, in.timPng) < 0 || RunOurs(true, in.bmp, in.bmpPng) < 0)
            std::abort();
        return in;
    }();
    return s_in;
}

double FileMiB(const std::string& strPath)
{
    std::error_code ec;
    const auto n = fs::file_size(strPath, ec);
    return ec ? -1 : static_cast<double>(n) / (1024.0 * 1024.0);
}

// nTheirsBits: the depth of ImageMagick's BMP on import, that of the picture (it writes 16
// colours as a 4-bit BMP).
void SideBySide(benchmark::State& state, bool bExport, const std::string& strIn, const char* pszOurs,
                const char* pszTheirs, int nTheirsBits = 8)
{
    if (ConvertPath() == nullptr)
    {
        state.SkipWithError("ImageMagick's convert is not installed");
        return;
    }
    const Inputs& in = GetInputs();
    const std::string strOurs = (in.dir / pszOurs).string();
    const std::string strTheirs = (in.dir / pszTheirs).string();
    // ImageMagick writes BMP3, the version with the 40-byte header, when told so in front of the path.
    const std::string strTheirsArg = (bExport ? "" : "BMP3:") + strTheirs;
    double dOurs = 0, dTheirs = 0;
    for (auto _ : state)
    {
        const double o = RunOurs(bExport, strIn, strOurs);
        const double t = RunTheirs(bExport, strIn, strTheirsArg);
        if (o < 0 || t < 0)
        {
            state.SkipWithError("a conversion failed");
            return;
        }
        state.SetIterationTime(o);
        dOurs += o;
        dTheirs += t;
    }
    if (!bExport && !IsUncompressedBmp3(strTheirs, nTheirsBits))
    {
        state.SkipWithError("ImageMagick did not write an uncompressed BMP3 of the picture's depth");
        return;
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["ours_ms"] = 1000.0 * dOurs / n;
    state.counters["convert_ms"] = 1000.0 * dTheirs / n;
    state.counters["speedup"] = dTheirs / dOurs;
    state.counters["ours_MiB"] = FileMiB(strOurs);
    state.counters["convert_MiB"] = FileMiB(strTheirs);
}

void BM_ExportTim4(benchmark::State& s) { SideBySide(s, true, GetInputs().tim, "ours.png", "theirs.png"); }
void BM_ExportBmp8(benchmark::State& s) { SideBySide(s, true, GetInputs().bmp, "ours.png", "theirs.png"); }
// ImageMagick reads TIM but cannot write it: its side writes the same picture as a palette BMP.
void BM_ImportTim4(benchmark::State& s) { SideBySide(s, false, GetInputs().timPng, "ours.tim", "theirs.bmp", 4); }
void BM_ImportBmp8(benchmark::State& s) { SideBySide(s, false, GetInputs().bmpPng, "ours.bmp", "theirs.bmp"); }
}  // namespace

BENCHMARK(BM_ExportTim4)->UseManualTime()->Iterations(BenchIterations(9))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportBmp8)->UseManualTime()->Iterations(BenchIterations(5))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportTim4)->UseManualTime()->Iterations(BenchIterations(9))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportBmp8)->UseManualTime()->Iterations(BenchIterations(5))->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    std::printf("vellumconv export/import against ImageMagick's convert, zlib level %d, no row filter, side\n"
                "by side, each a process from start to exit (ours writes atomically, flushed to disk).\n"
                "Import: ImageMagick writes `-type Palette -compress none BMP3:OUT`, a palette BMP laid out like\n"
                "ours; it cannot write TIM, so for the 4-bit TIM import its side writes that BMP, at 4 bits.\n"
                "speedup = convert time / our time; the goal is at least 3.\n",
                ZLIB_LEVEL);
    GetInputs();
    CBenchReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(GetInputs().dir, ec);
    return reporter.ExitStatus();
}
