// vellumconv replace against `dd conv=notrunc,fdatasync` writing the same sectors, each pair run
// alternately in the same iterations, on raw CD images (Mode 1) of 16 MiB and 256 MiB with a
// 40 KiB TIM planted in them. Each replace puts in the other of two edits, so every run
// writes; dd writes the sectors that replace wrote, taken from the image afterwards. A copy of
// the image with cp is timed too: what a tool that rewrites the container would cost at least.
// Goals: replace within 3x of dd, and the same on both sizes (it reads and writes only the
// item's sectors). Every run checks that the image holds the edit it put in.
// Run: build/bench/tools/bench_replace  (VELLUM_BENCH_SMOKE=1: one iteration each, small images)

#include "bench/BenchChild.h"
#include "bench/BenchRun.h"
#include "formats/CdImage.h"
#include "formats/CdSector.h"
#include "tests/formats/SampleFiles.h"

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
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kItemSector = 1000;  // the sector the item starts in
constexpr std::uint32_t kItemAt = 100;       // and where in its user data

struct Image
{
    std::string strPath;
    std::uint64_t nSectors = 0;
};

fs::path Dir()
{
    static const fs::path s_dir = [] {
        std::string strTemplate = (fs::temp_directory_path() / "vellum-bench-replace-XXXXXX").string();
        if (::mkdtemp(strTemplate.data()) == nullptr)
            std::abort();
        return fs::path(strTemplate);
    }();
    return s_dir;
}

// The two edits of the item: its pixels in two patterns.
const Bytes& Edit(int n)
{
    static const std::vector<Bytes> s_edits = [] {
        const Bytes tim = MakeSampleTim(128, 160);  // 256x160 at 8 bits: 40 KiB of pixels
        std::vector<Bytes> edits(2, tim);
        for (std::size_t i = tim.size() - 256 * 160; i < tim.size(); ++i)
            edits[1][i] = static_cast<std::uint8_t>(tim[i] ^ 0x0F);
        return edits;
    }();
    return s_edits[static_cast<std::size_t>(n)];
}

std::uint64_t ItemOffset()
{
    return kItemSector * CD_SECTOR_SIZE + CD_MODE1_DATA_AT + kItemAt;
}

// A Mode 1 image of nMiB with the first edit at ItemOffset().
Image MakeImage(std::uint64_t nMiB)
{
    Image image;
    image.nSectors = (nMiB << 20) / CD_SECTOR_SIZE;
    image.strPath = (Dir() / ("disc" + std::to_string(nMiB) + ".bin")).string();
    const Bytes& item = Edit(0);
    std::ofstream out(image.strPath, std::ios::binary);
    Bytes sector(CD_SECTOR_SIZE);
    std::uint64_t nItem = 0;
    for (std::uint64_t s = 0; s < image.nSectors; ++s)
    {
        for (std::size_t i = 0; i < sector.size(); ++i)
            sector[i] = static_cast<std::uint8_t>(0x20 + (s * 13 + i * 7) % 90);
        std::memcpy(sector.data(), CD_SYNC, CD_SYNC_SIZE);
        sector[CD_MODE_AT] = 1;
        for (std::uint32_t i = s == kItemSector ? kItemAt : 0; s >= kItemSector && i < CD_USER_DATA_SIZE && nItem < item.size();
             ++i)
            sector[CD_MODE1_DATA_AT + i] = item[nItem++];
        (void)FillSectorEdcEcc(std::span<std::uint8_t, CD_SECTOR_SIZE>(sector.data(), CD_SECTOR_SIZE));
        out.write(reinterpret_cast<const char*>(sector.data()), static_cast<std::streamsize>(sector.size()));
    }
    return image;
}

// The item's bytes as the image holds them now.
Bytes ItemIn(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    Bytes item;
    Bytes sector(CD_SECTOR_SIZE);
    for (std::uint64_t s = kItemSector; item.size() < Edit(0).size(); ++s)
    {
        in.seekg(static_cast<std::streamoff>(s * CD_SECTOR_SIZE));
        in.read(reinterpret_cast<char*>(sector.data()), static_cast<std::streamsize>(sector.size()));
        for (std::uint32_t i = s == kItemSector ? kItemAt : 0; i < CD_USER_DATA_SIZE && item.size() < Edit(0).size(); ++i)
            item.push_back(sector[CD_MODE1_DATA_AT + i]);
    }
    return item;
}

struct Ratio
{
    std::string strLabel;
    double dOursMs = 0;
    double dDdMs = 0;
    double dCopyMs = 0;
};

std::vector<Ratio>& Ratios()
{
    static std::vector<Ratio> s_ratios;
    return s_ratios;
}

void ReplaceAgainstDd(benchmark::State& state)
{
    const std::uint64_t nMiB = BenchSmoke() ? static_cast<std::uint64_t>(state.range(0)) / 16 + 4
                                            : static_cast<std::uint64_t>(state.range(0));
    const Image image = MakeImage(nMiB);
    const std::string strNew[2] = {(Dir() / "disc.bin@0.tim").string(), (Dir() / "disc.bin@1.tim").string()};
    for (int k = 0; k < 2; ++k)
    {
        std::ofstream out(strNew[k], std::ios::binary);
        out.write(reinterpret_cast<const char*>(Edit(k).data()), static_cast<std::streamsize>(Edit(k).size()));
    }
    const std::uint64_t nSectors = (kItemAt + Edit(0).size() + CD_USER_DATA_SIZE - 1) / CD_USER_DATA_SIZE;
    const std::string strSectors = (Dir() / "sectors.bin").string();
    const char* pszDd = ToolPath("dd");
    const char* pszCp = ToolPath("cp");
    if (pszDd == nullptr || pszCp == nullptr)
    {
        state.SkipWithError("dd or cp is missing (Debian package coreutils)");
        return;
    }
    std::vector<double> ours, theirs, copies;
    int nEdit = 1;
    for (auto _ : state)
    {
        const ChildRun a = RunChildSettled(
            {VELLUMCONV_PATH, "replace", "--at", std::to_string(ItemOffset()), image.strPath, strNew[nEdit]});
        if (a.nExit != 0 || ItemIn(image.strPath) != Edit(nEdit))
        {
            state.SkipWithError("replace did not put the edit in");
            return;
        }
        // The sectors replace wrote, for dd to write again.
        {
            std::ifstream in(image.strPath, std::ios::binary);
            Bytes sectors(nSectors * CD_SECTOR_SIZE);
            in.seekg(static_cast<std::streamoff>(kItemSector * CD_SECTOR_SIZE));
            in.read(reinterpret_cast<char*>(sectors.data()), static_cast<std::streamsize>(sectors.size()));
            std::ofstream out(strSectors, std::ios::binary);
            out.write(reinterpret_cast<const char*>(sectors.data()), static_cast<std::streamsize>(sectors.size()));
        }
        const ChildRun b = RunChildSettled({pszDd, "if=" + strSectors, "of=" + image.strPath, "bs=2352",
                                            "seek=" + std::to_string(kItemSector), "conv=notrunc,fdatasync",
                                            "status=none"});
        const ChildRun c = RunChildSettled({pszCp, image.strPath, (Dir() / "copy.bin").string()});
        fs::remove(Dir() / "copy.bin");
        if (b.nExit != 0 || c.nExit != 0)
        {
            state.SkipWithError("dd or cp failed");
            return;
        }
        state.SetIterationTime(a.dSeconds);
        ours.push_back(a.dSeconds);
        theirs.push_back(b.dSeconds);
        copies.push_back(c.dSeconds);
        nEdit = 1 - nEdit;
    }
    Ratio ratio{"40 KiB item in a " + std::to_string(nMiB) + " MiB raw CD image", 1000.0 * Median(ours),
                1000.0 * Median(theirs), 1000.0 * Median(copies)};
    state.counters["ours_ms"] = ratio.dOursMs;
    state.counters["dd_ms"] = ratio.dDdMs;
    state.counters["cp_ms"] = ratio.dCopyMs;
    Ratios().push_back(ratio);
    fs::remove(image.strPath);
}

void PrintSummary()
{
    PrintSmokeNote();
    std::printf("\nreplace against dd conv=notrunc,fdatasync of the same %llu sectors (goal: within 3x):\n",
                static_cast<unsigned long long>((kItemAt + Edit(0).size() + CD_USER_DATA_SIZE - 1) / CD_USER_DATA_SIZE));
    for (const Ratio& r : Ratios())
        std::printf("  %-42s replace %7.2f ms, dd %7.2f ms: %.2fx %s; a copy of the image (cp) %8.2f ms\n",
                    r.strLabel.c_str(), r.dOursMs, r.dDdMs, r.dDdMs > 0 ? r.dOursMs / r.dDdMs : 0.0,
                    r.dDdMs > 0 && r.dOursMs <= 3 * r.dDdMs ? "(met)" : "(MISSED)", r.dCopyMs);
}

}  // namespace

BENCHMARK(ReplaceAgainstDd)->Arg(16)->Arg(256)->UseManualTime()->Iterations(BenchIterations(15))->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    CBenchReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintSummary();
    std::error_code ec;
    fs::remove_all(Dir(), ec);
    return reporter.ExitStatus();
}
