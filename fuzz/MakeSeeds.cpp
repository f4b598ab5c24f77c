// Writes the seed corpora: valid files of every kind and size class, made by the
// program's own writers (the 16-colour sheets by hand), plus a few near-valid
// variants that reach the readers' later branches.
// With the exchange library, TIMs and BMPs of the other depths and exported PNGs too.
// For the scan, every kind and depth alone and planted in random bytes, and in a raw CD image;
// palette files of each kind.
// Usage: vellum_fuzz_seeds OUTDIR   (creates OUTDIR/bmp, OUTDIR/tim, OUTDIR/bfnt, OUTDIR/png,
//        OUTDIR/scan, OUTDIR/palette)

#include "formats/PaletteFile.h"
#include "tests/exchange/ExchangeSamples.h"
#include "tests/formats/SampleFiles.h"
#include "tests/formats/ScanSamples.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace
{
namespace fs = std::filesystem;

void Put(const fs::path& dir, const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + (dir / name).string());
}

// The same image stored top row first, as a negative height says.
std::vector<std::uint8_t> TopDownBmp(int nWidth, int nHeight)
{
    std::vector<std::uint8_t> b = MakeSampleBmp(nWidth, nHeight);
    PutLeS32(b.data() + 22, -nHeight);
    const auto w = static_cast<std::size_t>(nWidth);
    for (std::size_t r = 0; r < static_cast<std::size_t>(nHeight) / 2; ++r)
        std::swap_ranges(b.begin() + static_cast<std::ptrdiff_t>(BMP_PIXEL_OFFSET + r * w),
                         b.begin() + static_cast<std::ptrdiff_t>(BMP_PIXEL_OFFSET + (r + 1) * w),
                         b.end() - static_cast<std::ptrdiff_t>((r + 1) * w));
    return b;
}

// A TIM whose CLUT block holds nColours colours instead of 256.
std::vector<std::uint8_t> TimWithClut(int nColours, int nWidthUnits, int nHeight)
{
    std::vector<std::uint8_t> b = MakeSampleTim(nWidthUnits, nHeight);
    const auto nLength = static_cast<std::uint32_t>(12 + 2 * nColours);
    std::vector<std::uint8_t> out(b.begin(), b.begin() + 20);
    PutLe32(out.data() + 8, nLength);
    for (std::uint32_t i = 0; i < nLength - 12; ++i)
        out.push_back(b[20 + i % 512]);
    out.insert(out.end(), b.begin() + 532, b.end());
    return out;
}

// "w16h9.bmp" and the like; appended piece by piece, which keeps gcc 12's -Wrestrict quiet.
std::string SizeName(const char* pszA, int a, const char* pszB, int b, const char* pszExt)
{
    std::string name(pszA);
    name += std::to_string(a);
    name += pszB;
    name += std::to_string(b);
    name += pszExt;
    return name;
}

// A 256-colour sheet without its palette block.
std::vector<std::uint8_t> BfntWithoutPalette(int nW, int nH, int nFirst, int nLast)
{
    std::vector<std::uint8_t> b = MakeSampleBfnt(nW, nH, nFirst, nLast);
    b[5] = BFNT_COLORS_256;
    b.erase(b.begin() + BFNT_HEADER_SIZE, b.begin() + BFNT_HEADER_SIZE + BFNT_PALETTE_256_SIZE);
    return b;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const fs::path root(argv[1]);
    const fs::path bmp = root / "bmp", tim = root / "tim", bfnt = root / "bfnt";
    for (const fs::path& d : {bmp, tim, bfnt})
        fs::create_directories(d);

    const int bmpSizes[][2] = {{1, 1}, {2, 1}, {3, 3}, {4, 4}, {16, 16}, {17, 9}, {250, 3}, {256, 64}, {256, 250}};
    for (const auto& s : bmpSizes)
        Put(bmp, SizeName("w", s[0], "h", s[1], ".bmp"), MakeSampleBmp(s[0], s[1]));
    Put(bmp, "padded5x2.bmp", MakeSampleBmp(5, 2, true));
    Put(bmp, "padded17x9.bmp", MakeSampleBmp(17, 9, true));
    Put(bmp, "topdown6x4.bmp", TopDownBmp(6, 4));
    std::vector<std::uint8_t> empty = MakeSampleBmp(1, 1);  // 0 x 0 with one byte after the image
    PutLeS32(empty.data() + 18, 0);
    PutLeS32(empty.data() + 22, 0);
    Put(bmp, "empty0x0.bmp", empty);
    std::vector<std::uint8_t> b24 = MakeSampleBmp(4, 4);
    b24[28] = 24;
    Put(bmp, "bits24.bmp", b24);

    const int timSizes[][2] = {{1, 1}, {2, 3}, {8, 16}, {40, 30}, {128, 64}, {128, 256}};
    for (const auto& s : timSizes)
        Put(tim, SizeName("u", s[0], "h", s[1], ".tim"), MakeSampleTim(s[0], s[1]));
    Put(tim, "clut16.tim", TimWithClut(16, 4, 4));
    Put(tim, "clut512.tim", TimWithClut(512, 4, 4));
    Put(tim, "clut0.tim", TimWithClut(0, 2, 2));

    Put(bfnt, "ascii8x16.fnt", MakeSampleBfnt(8, 16, 32, 127));
    Put(bfnt, "one1x1.fnt", MakeSampleBfnt(1, 1, 0, 0));
    Put(bfnt, "ext16x16.fnt", MakeSampleBfnt(16, 16, 0, 255, 40));
    Put(bfnt, "odd5x7.fnt", MakeSampleBfnt(5, 7, 48, 57));
    Put(bfnt, "wide24.fnt", MakeSampleBfnt(24, 24, 0, 9));
    Put(bfnt, "wide300.fnt", MakeSampleBfnt(300, 2, 0, 1));
    Put(bfnt, "big.fnt", MakeSampleBfnt(16, 16, 0, 299));
    Put(bfnt, "nopal.fnt", BfntWithoutPalette(6, 8, 65, 90));
    Put(bfnt, "c16ascii8x8.fnt", MakeSampleBfnt16(8, 8, 32, 127));
    Put(bfnt, "c16odd3x3.fnt", MakeSampleBfnt16(3, 3, 0, 0, false));
    Put(bfnt, "c16sq16.fnt", MakeSampleBfnt16(16, 16, 0, 15));
    const fs::path png = root / "png";
    fs::create_directories(png);
    for (int nBpp : {4, 8, 16, 24})
    {
        exsample::TimShape shape;
        shape.nBpp = nBpp;
        shape.nUnits = 6;
        shape.bClut = nBpp <= 8;
        shape.nClutWidth = nBpp == 4 ? 16 : 256;
        shape.nClutHeight = 2;
        Put(tim, SizeName("depth", nBpp, "rows", 2, ".tim"), exsample::MakeTim(shape));
    }
    exsample::BmpShape rle8;
    rle8.nWidth = 9;
    rle8.nHeight = 5;
    rle8.nCompression = 1;
    rle8.rle = {3, 7, 0, 4, 1, 2, 3, 4, 2, 9, 0, 0, 0, 2, 1, 1, 9, 200, 0, 0, 0, 1};
    exsample::BmpShape rle4 = rle8;
    rle4.nBits = 4;
    rle4.nCompression = 2;
    for (int nBits : {1, 4, 24})
    {
        exsample::BmpShape shape;
        shape.nBits = nBits;
        shape.nWidth = 13;
        shape.nHeight = 5;
        Put(bmp, SizeName("depth", nBits, "w", 13, ".bmp"), exsample::MakeBmp(shape));
    }
    Put(bmp, "rle8.bmp", exsample::MakeBmp(rle8));
    Put(bmp, "rle4.bmp", exsample::MakeBmp(rle4));
    for (const fs::path& dir : {bmp, tim, bfnt})
        for (const auto& entry : fs::directory_iterator(dir))
        {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            std::vector<std::uint8_t> out;
            std::string strError;
            ExportOptions opt;
            opt.nZlibLevel = 1;
            if (ExportToPng(bytes.data(), bytes.size(), opt, out, strError))
                Put(png, entry.path().filename().string() + ".png", out);
        }

    const fs::path scan = root / "scan";
    fs::create_directories(scan);
    scansample::CRandom random(1);
    std::vector<std::uint8_t> planted = random.Make(300);
    for (const scansample::Planted& p : scansample::EveryKindAndDepth())
    {
        Put(scan, p.strName + ".bin", p.bytes);
        const std::vector<std::uint8_t> gap = random.Make(random.Below(200));
        planted.insert(planted.end(), gap.begin(), gap.end());
        planted.insert(planted.end(), p.bytes.begin(), p.bytes.end());
    }
    Put(scan, "planted.bin", planted);
    Put(scan, "cd.bin", scansample::MakeCdImage(planted, 2).image);

    const fs::path palette = root / "palette";
    fs::create_directories(palette);
    PaletteColours colours;
    colours.strName = "seed";
    for (int i = 0; i < 20; ++i)
        colours.colours.push_back(PaletteRgb{random.Byte(), random.Byte(), random.Byte()});
    colours.nTransparent = 3;
    Put(palette, "twenty.gpl", WritePaletteFile(EPaletteFile::Gpl, colours));
    Put(palette, "twenty.act", WritePaletteFile(EPaletteFile::Act, colours));
    Put(palette, "twenty.pal", WritePaletteFile(EPaletteFile::Pal, colours));
    std::printf("seeds written to %s\n", root.c_str());
    return 0;
}
