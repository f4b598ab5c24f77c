// vellumconv scan and vellumconv palette as a user runs them, on files the tests make: every
// planted item found at its offset, the same finds on every number of threads, raw CD images,
// nesting, extraction byte for byte and as PNG, palettes out and back in, and the refusals.

#include "exchange/Colour15.h"
#include "exchange/Exchange.h"
#include "formats/ByteOrder.h"
#include "formats/PaletteFile.h"
#include "formats/TimFormat.h"
#include "tests/formats/ScanSamples.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/ConvProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <sys/mount.h>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using scansample::Bytes;
using scansample::CRandom;

using convproc::RunResult;

RunResult RunConv(const std::vector<std::string>& args, const fs::path& dir)
{
    return convproc::Run(VELLUMCONV_PATH, args, dir);
}

std::string Line(const std::string& strFile, std::uint64_t nOffset, const ScanItem& it)
{
    std::string s = strFile;
    s.append("\t").append(std::to_string(nOffset)).append("\t").append(ScanKindName(it.kind));
    s.append("\t").append(std::to_string(it.nLength)).append("\t").append(std::to_string(it.nWidth));
    s.append("x").append(std::to_string(it.nHeight)).append("\t").append(std::to_string(it.nDepth));
    s.append("\t").append(std::to_string(it.nCluts)).append("\n");
    return s;
}

// A file of random bytes with items planted: their offsets, in order.
struct PlantedFile
{
    Bytes bytes;
    std::vector<std::pair<std::uint64_t, scansample::Planted>> items;
    std::string Lines(const std::string& strFile) const
    {
        std::string s;
        for (const auto& [nOffset, p] : items)
            s += Line(strFile, nOffset, p.item);
        return s;
    }
};

// Every kind and depth, nRounds times over, at random offsets, some back to back, some on the
// last or last but one byte before a multiple of 64 KiB (where the scan's ranges and windows
// end), the last one ending the file.
PlantedFile Plant(std::uint64_t nSeed, int nRounds, std::size_t nMaxGap)
{
    CRandom r(nSeed);
    PlantedFile f;
    for (int nRound = 0; nRound < nRounds; ++nRound)
        for (const scansample::Planted& p : scansample::EveryKindAndDepth(nSeed * 1000 + static_cast<std::uint64_t>(nRound)))
        {
            std::size_t nGap = r.Below(4) == 0 ? 0 : r.Below(nMaxGap);
            const std::size_t nBoundary = (f.bytes.size() / 65536 + 1) * 65536;
            if (r.Below(3) == 0 && nBoundary - f.bytes.size() > 2)
                nGap = nBoundary - f.bytes.size() - 1 - r.Below(2);
            const Bytes gap = r.Make(nGap);
            f.bytes.insert(f.bytes.end(), gap.begin(), gap.end());
            f.items.emplace_back(f.bytes.size(), p);
            f.bytes.insert(f.bytes.end(), p.bytes.begin(), p.bytes.end());
        }
    return f;
}

class ConvScanTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string strTemplate = (fs::temp_directory_path() / "vellumconv-scan-XXXXXX").string();
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        m_dir = strTemplate;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    std::vector<std::string> Names(const fs::path& dir) const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path m_dir;
};

}  // namespace

TEST_F(ConvScanTest, ReportsEveryPlantedItemInFileOrderThenOffsetOrder)
{
    const PlantedFile a = Plant(1, 2, 3000);
    const PlantedFile b = Plant(2, 1, 500);
    WriteBytes(m_dir / "a.bin", a.bytes);
    WriteBytes(m_dir / "b.bin", b.bytes);
    const RunResult r = RunConv({"scan", "b.bin", "a.bin"}, m_dir);
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, b.Lines("b.bin") + a.Lines("a.bin"));
}

TEST_F(ConvScanTest, JsonLinesCarryTheSameFields)
{
    const Bytes tim = scansample::MakeTim({4, 6, 5, true, 16, 3, 16, 500, 0, 256, 0});
    Bytes file = CRandom(3).Make(77);
    file.insert(file.end(), tim.begin(), tim.end());
    // A name with a tab and a byte that is not UTF-8.
    const std::string strName = "odd\tname\xFF.bin";
    WriteBytes(m_dir / strName, file);
    RunResult r = RunConv({"scan", "--json", strName}, m_dir);
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(r.out, "{\"file\":\"odd\\tname\\udcff.bin\",\"offset\":77,\"kind\":\"tim\",\"length\":" +
                         std::to_string(tim.size()) + ",\"size\":\"24x5\",\"depth\":4,\"cluts\":3}\n");
    r = RunConv({"scan", strName}, m_dir);
    EXPECT_EQ(r.out, "odd\\tname\xFF.bin\t77\ttim\t" + std::to_string(tim.size()) + "\t24x5\t4\t3\n");
}

TEST_F(ConvScanTest, FindsAreTheSameOnEveryNumberOfThreads)
{
    // Six MiB: ranges of 64 KiB to 1 MiB, items across their ends.
    const PlantedFile f = Plant(4, 10, 60000);
    WriteBytes(m_dir / "big.bin", f.bytes);
    const RunResult one = RunConv({"scan", "-j", "1", "big.bin"}, m_dir);
    EXPECT_EQ(one.nExit, 0) << one.err;
    EXPECT_EQ(one.out, f.Lines("big.bin"));
    for (const char* pszJobs : {"2", "7"})
    {
        const RunResult many = RunConv({"scan", "-j", pszJobs, "big.bin"}, m_dir);
        EXPECT_EQ(many.out, one.out) << "-j " << pszJobs;
        const RunResult nested = RunConv({"scan", "--nested", "-j", pszJobs, "big.bin"}, m_dir);
        EXPECT_EQ(nested.out, RunConv({"scan", "--nested", "-j", "1", "big.bin"}, m_dir).out) << "-j " << pszJobs;
    }
}

TEST_F(ConvScanTest, RawCdImagesAreScannedAsTheirUserData)
{
    // Form 2 and audio sectors lie between the data sectors; many items span two sectors, and
    // the large ones several.
    PlantedFile f = Plant(5, 20, 9000);
    for (std::uint64_t nSeed : {1, 2, 3})
    {
        const Bytes gap = CRandom(nSeed).Make(1000 * nSeed);
        f.bytes.insert(f.bytes.end(), gap.begin(), gap.end());
        const Bytes big = scansample::MakeTim({4, 64, 64, true, 16, 4, 0, 0, 0, 0, nSeed});
        f.items.emplace_back(f.bytes.size(),
                             scansample::Planted{"big", big, scansample::Item(SCAN_TIM, big.size(), 256, 64, 4, 4)});
        f.bytes.insert(f.bytes.end(), big.begin(), big.end());
    }
    const scansample::CdImage cd = scansample::MakeCdImage(f.bytes, 6);
    WriteBytes(m_dir / "disc.bin", cd.image);
    std::string strExpected;
    for (const auto& [nOffset, p] : f.items)
        strExpected += Line("disc.bin", cd.FileOffset(nOffset), p.item);
    for (const char* pszJobs : {"1", "2", "7"})
    {
        const RunResult r = RunConv({"scan", "-j", pszJobs, "disc.bin"}, m_dir);
        EXPECT_EQ(r.nExit, 0) << r.err;
        EXPECT_EQ(r.out, strExpected) << "-j " << pszJobs;
    }
    const RunResult r = RunConv({"scan", "--extract", "out", "disc.bin"}, m_dir);
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(r.out, strExpected);
    for (const auto& [nOffset, p] : f.items)
    {
        const std::string strName = "disc.bin@" + std::to_string(cd.FileOffset(nOffset)) + ScanKindExtension(p.item.kind);
        EXPECT_EQ(ReadBytes(m_dir / "out" / strName), p.bytes) << strName;
    }
}

TEST_F(ConvScanTest, NestedFindsOnlyWhenAskedFor)
{
    // A 24-bit bitmap whose pixels hold a small TIM, then a sheet right after the bitmap.
    const Bytes inner = scansample::MakeTim({16, 2, 2, false, 0, 0, 0, 0, 0, 0, 1});
    Bytes outer = scansample::MakeBmp({24, 20, 10, 0, 40, 0, false, 2});
    std::copy(inner.begin(), inner.end(), outer.begin() + 100);
    const Bytes next = scansample::MakeBfnt({false, 4, 4, 0, 1, false, 0, 3});
    Bytes file = outer;
    file.insert(file.end(), next.begin(), next.end());
    WriteBytes(m_dir / "n.bin", file);
    const std::string strOuter = "n.bin\t0\tbmp\t" + std::to_string(outer.size()) + "\t20x10\t24\t0\n";
    const std::string strInner = "n.bin\t100\ttim\t" + std::to_string(inner.size()) + "\t2x2\t16\t0\n";
    const std::string strNext = "n.bin\t" + std::to_string(outer.size()) + "\tbfnt\t" + std::to_string(next.size()) + "\t4x4\t8\t0\n";
    EXPECT_EQ(RunConv({"scan", "n.bin"}, m_dir).out, strOuter + strNext);
    EXPECT_EQ(RunConv({"scan", "--nested", "n.bin"}, m_dir).out, strOuter + strInner + strNext);
    EXPECT_EQ(RunConv({"scan", "--kinds", "tim,bfnt", "n.bin"}, m_dir).out, strInner + strNext);
}

TEST_F(ConvScanTest, ExtractsEveryFindByteForByte)
{
    const PlantedFile f = Plant(7, 1, 2000);
    WriteBytes(m_dir / "a.bin", f.bytes);
    fs::create_directories(m_dir / "out");
    WriteBytes(m_dir / "out" / ("a.bin@" + std::to_string(f.items[0].first) + ".tim"), {'o', 'l', 'd'});
    const RunResult r = RunConv({"scan", "--extract", "out", "a.bin"}, m_dir);
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(r.out, f.Lines("a.bin"));
    std::vector<std::string> expected;
    for (const auto& [nOffset, p] : f.items)
    {
        const std::string strName = "a.bin@" + std::to_string(nOffset) + ScanKindExtension(p.item.kind);
        expected.push_back(strName);
        EXPECT_EQ(ReadBytes(m_dir / "out" / strName), p.bytes) << strName;
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(m_dir / "out"), expected);  // no temporaries left
}

TEST_F(ConvScanTest, ExtractsPngsOfEveryClutRow)
{
    const Bytes tim = scansample::MakeTim({4, 6, 5, true, 16, 3, 16, 500, 0, 256, 0});
    const Bytes bmp = scansample::MakeBmp({8, 13, 5, 0, 40, 0, false, 1});
    Bytes file = CRandom(8).Make(10);
    file.insert(file.end(), tim.begin(), tim.end());
    const std::size_t nBmpAt = file.size();
    file.insert(file.end(), bmp.begin(), bmp.end());
    WriteBytes(m_dir / "a.bin", file);
    RunResult r = RunConv({"scan", "--extract", "all", "--to", ".png", "--clut", "all", "a.bin"}, m_dir);
    EXPECT_EQ(r.nExit, 0) << r.err;
    const std::string strBmp = "a.bin@" + std::to_string(nBmpAt) + ".png";
    EXPECT_EQ(Names(m_dir / "all"), (std::vector<std::string>{"a.bin@10-c0.png", "a.bin@10-c1.png", "a.bin@10-c2.png", strBmp}));
    for (std::uint32_t nRow = 0; nRow < 3; ++nRow)
    {
        ExportOptions opt;
        opt.nClut = nRow;
        Bytes png;
        std::string strError;
        ASSERT_TRUE(ExportToPng(tim.data(), tim.size(), opt, png, strError)) << strError;
        EXPECT_EQ(ReadBytes(m_dir / "all" / ("a.bin@10-c" + std::to_string(nRow) + ".png")), png) << nRow;
    }

    // A row the TIM does not have: that find fails, the others are extracted.
    r = RunConv({"scan", "--extract", "row5", "--to", "png", "--clut", "5", "a.bin"}, m_dir);
    EXPECT_EQ(r.nExit, 1);
    EXPECT_EQ(r.err, "vellumconv: row5/a.bin@10.png: CLUT row 5 does not exist: the file has 3 rows.\n");
    EXPECT_EQ(Names(m_dir / "row5"), std::vector<std::string>{strBmp});
    EXPECT_EQ(r.out, "a.bin\t" + std::to_string(nBmpAt) + "\tbmp\t" + std::to_string(bmp.size()) + "\t13x5\t8\t1\n");
}

// Textures without a CLUT are found inside a larger file, and their PNGs take the colours of
// --palette (greys without it, told once); finds with colours of their own keep theirs.
TEST_F(ConvScanTest, FindsTexturesWithoutAClutAndColoursThemFromElsewhere)
{
    const Bytes tex4 = scansample::MakeTim({4, 5, 6, false, 0, 0, 0, 0, 640, 256, 3});
    const Bytes tex8 = scansample::MakeTim({8, 7, 3, false, 0, 0, 0, 0, 1017, 509, 4});
    const Bytes own = scansample::MakeTim({8, 8, 4, true, 256, 1, 0, 480, 320, 0, 5});
    const Bytes pal = scansample::MakeTim({8, 2, 2, true, 256, 3, 0, 480, 0, 0, 6});
    CRandom r(21);
    Bytes file = r.Make(777);
    std::vector<std::uint64_t> at;
    for (const Bytes* p : {&tex4, &own, &tex8})
    {
        at.push_back(file.size());
        file.insert(file.end(), p->begin(), p->end());
        const Bytes gap = r.Make(1000);
        file.insert(file.end(), gap.begin(), gap.end());
    }
    WriteBytes(m_dir / "game.bin", file);
    WriteBytes(m_dir / "pal.tim", pal);
    const std::string strLines =
        Line("game.bin", at[0], scansample::Item(SCAN_TIM, tex4.size(), 20, 6, 4, 0)) +
        Line("game.bin", at[1], scansample::Item(SCAN_TIM, own.size(), 16, 4, 8, 1)) +
        Line("game.bin", at[2], scansample::Item(SCAN_TIM, tex8.size(), 14, 3, 8, 0));
    RunResult run = RunConv({"scan", "game.bin"}, m_dir);
    EXPECT_EQ(run.nExit, 0) << run.err;
    EXPECT_EQ(run.out, strLines);

    // What export gives each item with the colours of pal.tim's row 2, or with its own.
    auto exported = [](const Bytes& item, const std::shared_ptr<const std::vector<PngColor>>& pPalette) {
        ExportOptions opt;
        opt.pPalette = pPalette;
        Bytes png;
        std::string strError;
        EXPECT_TRUE(ExportToPng(item.data(), item.size(), opt, png, strError)) << strError;
        return png;
    };
    std::vector<PngColor> row2;
    for (std::size_t i = 0; i < 256; ++i)
        row2.push_back(WidenTimColor(GetLe16(&pal[8 + 12 + 2 * (512 + i)])));
    const auto pRow2 = std::make_shared<const std::vector<PngColor>>(row2);
    run = RunConv({"scan", "--extract", "out", "--to", ".png", "--palette", "pal.tim:2", "game.bin"}, m_dir);
    EXPECT_EQ(run.nExit, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, strLines);
    auto name = [](std::uint64_t n) { return "game.bin@" + std::to_string(n) + ".png"; };
    EXPECT_EQ(ReadBytes(m_dir / "out" / name(at[0])), exported(tex4, pRow2));
    EXPECT_EQ(ReadBytes(m_dir / "out" / name(at[1])), exported(own, nullptr));
    EXPECT_EQ(ReadBytes(m_dir / "out" / name(at[2])), exported(tex8, pRow2));

    // Without --palette: greys, and one note for the run; --clut all gives each texture one PNG.
    run = RunConv({"scan", "--extract", "grey", "--to", ".png", "--clut", "all", "game.bin"}, m_dir);
    EXPECT_EQ(run.nExit, 0) << run.err;
    EXPECT_EQ(run.err, "vellumconv: grey: finds without a CLUT keep their colours in other files; they are written in "
                       "greys ('--palette SOURCE[:ROW]' takes the colours from there).\n");
    std::vector<std::string> greys = {name(at[0]), "game.bin@" + std::to_string(at[1]) + "-c0.png", name(at[2])};
    std::sort(greys.begin(), greys.end());
    EXPECT_EQ(Names(m_dir / "grey"), greys);
    EXPECT_EQ(ReadBytes(m_dir / "grey" / name(at[2])), exported(tex8, nullptr));

    // A palette too short for 8 bits fails those finds only; a palette that cannot be read fails the run.
    const Bytes four = scansample::MakeTim({4, 2, 2, true, 16, 1, 0, 480, 0, 0, 7});
    WriteBytes(m_dir / "four.tim", four);
    run = RunConv({"scan", "--extract", "short", "--to", ".png", "--palette", "four.tim", "game.bin"}, m_dir);
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.err, "vellumconv: short/" + name(at[2]) +
                           ": the palette of --palette has 16 colours; an 8-bit picture needs 256.\n");
    std::vector<std::string> kept = {name(at[0]), name(at[1])};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(Names(m_dir / "short"), kept);
    run = RunConv({"scan", "--extract", "none", "--to", ".png", "--palette", "pal.tim:3", "game.bin"}, m_dir);
    EXPECT_EQ(run.nExit, 1);
    EXPECT_EQ(run.err, "vellumconv: pal.tim: CLUT row 3 does not exist: the file has 3 rows.\n");
    EXPECT_FALSE(fs::exists(m_dir / "none"));
}

// Each line of an extraction against the folder: its find's file is there, named and with
// the bytes expected at its offset, and every file there has its line.
using Expected = std::map<std::uint64_t, std::pair<std::string, Bytes>>;
void ExpectEveryLineIsAFileInPlace(const std::string& strOut, const fs::path& dir, const Expected& expected)
{
    std::set<std::string> listed;
    std::size_t nStart = 0;
    for (std::size_t nEnd; (nEnd = strOut.find('\n', nStart)) != std::string::npos; nStart = nEnd + 1)
    {
        const std::string strLine = strOut.substr(nStart, nEnd - nStart);
        const auto it = expected.find(std::stoull(strLine.substr(strLine.find('\t') + 1)));
        ASSERT_NE(it, expected.end()) << strLine;
        const auto& [strName, bytes] = it->second;
        listed.insert(strName);
        ASSERT_TRUE(fs::is_regular_file(dir / strName)) << strLine;
        EXPECT_EQ(ReadBytes(dir / strName), bytes) << strLine;
    }
    for (const fs::directory_entry& e : fs::directory_iterator(dir))
    {
        if (e.is_regular_file())
        {
            EXPECT_TRUE(listed.count(e.path().filename().string())) << e.path() << " has no line";
        }
    }
}

TEST_F(ConvScanTest, AFailedFindTakesBackOnlyItsOwnOutputs)
{
    // Two CLUT rows, then one, then a BMP: --clut 1 fails the second find only.
    const Bytes two = scansample::MakeTim({8, 8, 4, true, 256, 2, 0, 480, 320, 0, 11});
    const Bytes one = scansample::MakeTim({8, 8, 4, true, 256, 1, 0, 480, 320, 0, 12});
    const Bytes bmp = scansample::MakeBmp({8, 13, 5, 0, 40, 0, false, 1});
    Bytes disc = two;
    disc.insert(disc.end(), one.begin(), one.end());
    disc.insert(disc.end(), bmp.begin(), bmp.end());
    WriteBytes(m_dir / "disc.bin", disc);
    const std::uint64_t nOne = two.size(), nBmp = two.size() + one.size();
    const RunResult scan = RunConv({"scan", "disc.bin"}, m_dir);
    ASSERT_EQ(scan.nExit, 0) << scan.err;
    const std::vector<std::string> lines = [&] {
        std::vector<std::string> v;
        for (std::size_t nStart = 0, nEnd; (nEnd = scan.out.find('\n', nStart)) != std::string::npos; nStart = nEnd + 1)
            v.push_back(scan.out.substr(nStart, nEnd - nStart + 1));
        return v;
    }();
    ASSERT_EQ(lines.size(), 3u) << scan.out;
    ASSERT_EQ(lines[1].rfind("disc.bin\t" + std::to_string(nOne) + "\t", 0), 0u) << scan.out;

    Expected pngs;
    for (const auto& [nAt, item] : {std::pair<std::uint64_t, const Bytes*>{0, &two}, {nBmp, &bmp}})
    {
        ExportOptions opt;
        opt.nClut = 1;
        std::string strError;
        pngs[nAt].first = "disc.bin@" + std::to_string(nAt) + ".png";
        ASSERT_TRUE(ExportToPng(item->data(), item->size(), opt, pngs[nAt].second, strError)) << strError;
    }
    RunResult r = RunConv({"scan", "--extract", "x", "--to", ".png", "--clut", "1", "disc.bin"}, m_dir);
    EXPECT_EQ(r.nExit, 1);
    EXPECT_EQ(r.err.rfind("vellumconv: x/disc.bin@" + std::to_string(nOne) + ".png: ", 0), 0u) << r.err;
    EXPECT_EQ(r.out, lines[0] + lines[2]);
    ExpectEveryLineIsAFileInPlace(r.out, m_dir / "x", pngs);

    // A folder where the second find's output goes.
    fs::create_directories(m_dir / "y" / ("disc.bin@" + std::to_string(nOne) + ".tim"));
    r = RunConv({"scan", "--extract", "y", "disc.bin"}, m_dir);
    EXPECT_EQ(r.nExit, 1);
    EXPECT_EQ(r.err.rfind("vellumconv: y/disc.bin@" + std::to_string(nOne) + ".tim: ", 0), 0u) << r.err;
    EXPECT_EQ(r.out, lines[0] + lines[2]);
    std::vector<std::string> names = {"disc.bin@0.tim", "disc.bin@" + std::to_string(nOne) + ".tim",
                                      "disc.bin@" + std::to_string(nBmp) + ".bmp"};
    std::sort(names.begin(), names.end());
    EXPECT_EQ(Names(m_dir / "y"), names);  // the folder in the way, and no temporary
    ExpectEveryLineIsAFileInPlace(r.out, m_dir / "y",
                                  {{0, {"disc.bin@0.tim", two}}, {nBmp, {"disc.bin@" + std::to_string(nBmp) + ".bmp", bmp}}});
}

TEST_F(ConvScanTest, AFullFileSystemKeepsALineForEveryFileInPlaceAndNoOther)
{
    const fs::path small = m_dir / "small";
    fs::create_directories(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=2m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
    struct Unmount
    {
        const fs::path& path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{small};

    // 600 finds of 4 KiB and more: about half of them fit.
    Bytes all;
    Expected tims;
    for (std::uint64_t i = 0; i < 600; ++i)
    {
        const Bytes tim = scansample::MakeTim({16, 64, 32, false, 0, 0, 0, 0, 64, 64, 100 + i});
        tims[all.size()] = {"all.bin@" + std::to_string(all.size()) + ".tim", tim};
        all.insert(all.end(), tim.begin(), tim.end());
    }
    WriteBytes(m_dir / "all.bin", all);
    const RunResult r = RunConv({"scan", "--extract", "small/x", "all.bin"}, m_dir);
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err.substr(0, 500);
    ASSERT_NE(r.out, "");
    ExpectEveryLineIsAFileInPlace(r.out, small / "x", tims);
    for (const std::string& strName : Names(small / "x"))
        EXPECT_NE(strName.front(), '.') << strName;
}

TEST_F(ConvScanTest, UsageErrors)
{
    WriteBytes(m_dir / "a.bin", {1, 2, 3});
    const std::vector<std::vector<std::string>> lines = {
        {"scan"},
        {"scan", "--to", ".png", "a.bin"},
        {"scan", "--extract", "d", "--clut", "1", "a.bin"},
        {"scan", "--extract", "d", "--to", ".bmp", "a.bin"},
        {"scan", "--kinds", "tim,gif", "a.bin"},
        {"scan", "--kinds", "", "a.bin"},
        {"scan", "-j", "0", "a.bin"},
        {"scan", "--bogus", "a.bin"},
        {"scan", "--extract", "d", "--to", ".png", "--clut", "some", "a.bin"},
        {"scan", "--extract", "d", "--palette", "p.tim", "a.bin"},
        {"scan", "--extract", "d", "--to", ".png", "--palette", "", "a.bin"},
        {"palette"},
        {"palette", "export", "a.bin"},
        {"palette", "export", "a.bin", "out.txt"},
        {"palette", "import", "a.gpl", "a.bin"},
    };
    for (const std::vector<std::string>& args : lines)
    {
        const RunResult r = RunConv(args, m_dir);
        std::string strArgs;
        for (const std::string& a : args)
            strArgs += " " + a;
        EXPECT_EQ(r.nExit, 2) << strArgs;
        EXPECT_NE(r.err.find("vellumconv: "), std::string::npos) << strArgs;
    }
    EXPECT_FALSE(fs::exists(m_dir / "d"));
    EXPECT_EQ(RunConv({"scan", "--help"}, m_dir).nExit, 0);
    EXPECT_EQ(RunConv({"palette", "--help"}, m_dir).nExit, 0);
}

TEST_F(ConvScanTest, AFileThatCannotBeReadFailsAndTheOthersAreScanned)
{
    const Bytes tim = scansample::MakeTim({16, 9, 4, false, 0, 0, 0, 0, 64, 64, 1});
    WriteBytes(m_dir / "t.bin", tim);
    fs::create_directories(m_dir / "folder");
    const RunResult r = RunConv({"scan", "missing.bin", "folder", "t.bin", "t.bin"}, m_dir);
    EXPECT_EQ(r.nExit, 1);
    EXPECT_EQ(r.err, "vellumconv: missing.bin: Cannot open \"missing.bin\": No such file or directory.\n"
                     "vellumconv: folder: Cannot open \"folder\": Is a directory.\n"
                     "vellumconv: t.bin: named more than once; scanned once.\n");
    EXPECT_EQ(r.out, "t.bin\t0\ttim\t" + std::to_string(tim.size()) + "\t9x4\t16\t0\n");
}

TEST_F(ConvScanTest, ExtractionRefusesNamesThatWouldCollideAndWritesNothing)
{
    const Bytes tim = scansample::MakeTim({16, 9, 4, false, 0, 0, 0, 0, 64, 64, 1});
    fs::create_directories(m_dir / "x");
    fs::create_directories(m_dir / "y");
    WriteBytes(m_dir / "x" / "a.bin", tim);
    WriteBytes(m_dir / "y" / "a.bin", tim);
    RunResult r = RunConv({"scan", "--extract", "out", "x/a.bin", "y/a.bin"}, m_dir);
    EXPECT_EQ(r.nExit, 2);
    EXPECT_FALSE(fs::exists(m_dir / "out"));

    // An output that is one of the files scanned.
    WriteBytes(m_dir / "x" / "a.bin@0.tim", tim);
    r = RunConv({"scan", "--extract", "x", "x/a.bin", "x/a.bin@0.tim"}, m_dir);
    EXPECT_EQ(r.nExit, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Names(m_dir / "x"), (std::vector<std::string>{"a.bin", "a.bin@0.tim"}));
    EXPECT_EQ(ReadBytes(m_dir / "x" / "a.bin@0.tim"), tim);
}

// ---- palette -------------------------------------------------------------------------

TEST_F(ConvScanTest, PaletteExportThenImportChangesNoByte)
{
    struct Case
    {
        const char* pszName;
        Bytes data;
        const char* pszClut;
    };
    const Case cases[] = {
        {"four.tim", scansample::MakeTim({4, 2, 2, true, 40, 1, 0, 0, 100, 0, 3}), "1"},
        {"last.tim", scansample::MakeTim({4, 2, 2, true, 40, 1, 0, 0, 100, 0, 4}), "2"},
        {"eight.tim", scansample::MakeTim({8, 8, 6, true, 256, 2, 0, 0, 320, 0, 5}), "0"},
        {"short.bmp", scansample::MakeBmp({4, 9, 3, 0, 40, 5, false, 1}), "0"},
        {"full.bmp", scansample::MakeBmp({8, 13, 5, 0, 124, 0, false, 1}), "0"},
        {"font.fnt", scansample::MakeBfnt({false, 8, 12, 32, 40, true, 3, 2}), "0"},
        {"font16.fnt", scansample::MakeBfnt({true, 8, 8, 65, 70, true, 0, 2}), "0"},
    };
    for (const Case& c : cases)
        for (const char* pszExt : {".gpl", ".act", ".pal"})
        {
            SCOPED_TRACE(std::string(c.pszName) + pszExt);
            WriteBytes(m_dir / c.pszName, c.data);
            const std::string strPalette = std::string("p") + pszExt;
            RunResult r = RunConv({"palette", "export", "--clut", c.pszClut, c.pszName, strPalette}, m_dir);
            ASSERT_EQ(r.nExit, 0) << r.err;
            r = RunConv({"palette", "import", "--clut", c.pszClut, strPalette, c.pszName, "back"}, m_dir);
            ASSERT_EQ(r.nExit, 0) << r.err;
            EXPECT_EQ(ReadBytes(m_dir / "back"), c.data);
        }
}

TEST_F(ConvScanTest, PaletteImportTakesAnyPictureWithAPalette)
{
    const Bytes bmp = scansample::MakeBmp({8, 13, 5, 0, 40, 0, false, 1});
    Bytes png;
    std::string strError;
    ASSERT_TRUE(ExportToPng(bmp.data(), bmp.size(), ExportOptions{}, png, strError)) << strError;
    WriteBytes(m_dir / "pic.png", png);
    const Bytes tim = scansample::MakeTim({8, 8, 6, true, 256, 3, 0, 0, 320, 0, 5});
    WriteBytes(m_dir / "t.tim", tim);
    RunResult r = RunConv({"palette", "import", "pic.png", "t.tim", "t2.tim"}, m_dir);
    ASSERT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(r.out, "colours:256 of 256\n");
    const Bytes t2 = ReadBytes(m_dir / "t2.tim");
    for (std::size_t i = 0; i < 256; ++i)
    {
        const std::uint8_t* q = &bmp[54 + 4 * i];  // blue, green, red
        const std::uint16_t nOld = GetLe16(&tim[20 + 2 * i]);
        std::uint16_t nWant = static_cast<std::uint16_t>(TimNarrow5Nearest(q[2]) | (TimNarrow5Nearest(q[1]) << 5) |
                                                         (TimNarrow5Nearest(q[0]) << 10) | (nOld & 0x8000));
        if (nWant == 0 && nOld != 0)
            nWant = 0x8000;
        ASSERT_EQ(GetLe16(&t2[20 + 2 * i]), nWant) << i;
    }
    EXPECT_TRUE(std::equal(t2.begin() + 20 + 512, t2.end(), tim.begin() + 20 + 512));

    // Row 2 of one TIM into row 2 of another: the colours move, the semi-transparency bits stay.
    const Bytes other = scansample::MakeTim({8, 4, 4, true, 256, 3, 0, 0, 0, 0, 9});
    WriteBytes(m_dir / "o.tim", other);
    r = RunConv({"palette", "import", "--clut", "2", "o.tim", "t.tim", "t3.tim"}, m_dir);
    ASSERT_EQ(r.nExit, 0) << r.err;
    Bytes want = tim;
    for (std::size_t at = 20 + 1024; at < 20 + 1536; at += 2)
    {
        const std::uint16_t nOld = GetLe16(&tim[at]);
        auto nNew = static_cast<std::uint16_t>((GetLe16(&other[at]) & 0x7FFF) | (nOld & 0x8000));
        PutLe16(&want[at], nNew == 0 && nOld != 0 ? std::uint16_t{0x8000} : nNew);
    }
    EXPECT_EQ(ReadBytes(m_dir / "t3.tim"), want);
}

TEST_F(ConvScanTest, AShorterPaletteFillsTheFirstEntriesALongerOneIsRefused)
{
    const Bytes tim = scansample::MakeTim({8, 8, 6, true, 256, 1, 0, 0, 320, 0, 5});
    WriteBytes(m_dir / "t.tim", tim);
    WriteBytes(m_dir / "three.pal", {'J', 'A', 'S', 'C', '-', 'P', 'A', 'L', '\n', '0', '1', '0', '0', '\n', '3', '\n',
                                     '0', ' ', '0', ' ', '0', '\n', '2', '5', '5', ' ', '0', ' ', '0', '\n', '8', ' ', '8',
                                     ' ', '8', '\n'});
    RunResult r = RunConv({"palette", "import", "three.pal", "t.tim", "out.tim"}, m_dir);
    ASSERT_EQ(r.nExit, 0) << r.err;
    EXPECT_EQ(r.out, "colours:3 of 256\n");
    const Bytes out = ReadBytes(m_dir / "out.tim");
    ASSERT_EQ(out.size(), tim.size());
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 20, tim.begin()));
    EXPECT_TRUE(std::equal(out.begin() + 26, out.end(), tim.begin() + 26));

    const Bytes four = scansample::MakeTim({4, 2, 2, true, 16, 1, 0, 0, 100, 0, 3});
    WriteBytes(m_dir / "four.tim", four);
    r = RunConv({"palette", "import", "t.tim", "four.tim", "never.tim"}, m_dir);
    EXPECT_EQ(r.nExit, 1);
    EXPECT_EQ(r.err, "vellumconv: t.tim: the palette has 256 colours; the one it replaces has 16.\n");
    EXPECT_FALSE(fs::exists(m_dir / "never.tim"));
}

TEST_F(ConvScanTest, PaletteRefusals)
{
    WriteBytes(m_dir / "t.tim", scansample::MakeTim({4, 2, 2, true, 16, 3, 0, 0, 100, 0, 3}));
    WriteBytes(m_dir / "d.tim", scansample::MakeTim({16, 9, 4, false, 0, 0, 0, 0, 64, 64, 1}));
    WriteBytes(m_dir / "rgb.bmp", scansample::MakeBmp({24, 7, 3, 0, 40, 0, false, 1}));
    WriteBytes(m_dir / "text.txt", {'h', 'i', '\n'});
    const Bytes original = ReadBytes(m_dir / "t.tim");
    struct Case
    {
        std::vector<std::string> args;
        int nExit;
        std::string strErr;
    };
    const Case cases[] = {
        {{"palette", "export", "--clut", "3", "t.tim", "p.gpl"}, 1,
         "vellumconv: t.tim: CLUT row 3 does not exist: the file has 3 rows.\n"},
        {{"palette", "export", "d.tim", "p.gpl"}, 1, "vellumconv: d.tim: a 16-bit TIM has no palette: its pixels are colours.\n"},
        {{"palette", "export", "rgb.bmp", "p.act"}, 1,
         "vellumconv: rgb.bmp: a 24-bit BMP has no palette: its pixels are colours.\n"},
        {{"palette", "export", "text.txt", "p.pal"}, 1,
         "vellumconv: text.txt: not a palette: neither a palette file (.gpl, .act, .pal) nor a picture with a palette "
         "(TIM, BMP, BFNT, indexed PNG).\n"},
        {{"palette", "import", "t.tim", "text.txt", "o"}, 1,
         "vellumconv: text.txt: not a TIM, BMP or BFNT file: import replaces the palette of one of those.\n"},
        {{"palette", "import", "t.tim", "t.tim", "t.tim"}, 2,
         "vellumconv: 't.tim' is an input; write the result to another name\nTry 'vellumconv palette --help'.\n"},
        {{"palette", "export", "missing.tim", "p.gpl"}, 1,
         "vellumconv: missing.tim: Cannot open \"missing.tim\": No such file or directory.\n"},
    };
    for (const Case& c : cases)
    {
        const RunResult r = RunConv(c.args, m_dir);
        EXPECT_EQ(r.nExit, c.nExit) << c.strErr;
        EXPECT_EQ(r.err, c.strErr);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(ReadBytes(m_dir / "t.tim"), original);
    for (const char* pszName : {"p.gpl", "p.act", "p.pal", "o"})
        EXPECT_FALSE(fs::exists(m_dir / pszName)) << pszName;
}
