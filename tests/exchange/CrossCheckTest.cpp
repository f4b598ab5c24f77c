// The exported pixels against independent decoders: ImageMagick's reading of TIMs
// (`convert x.tim png:-`) and Pillow's of BMPs, RGB of every pixel; and the BMPs the
// program writes, as both of them read them. ImageMagick reads only the first CLUT row,
// so a file with several rows is compared row by row against the same file cut down to
// that row. Skipped, with the reason, where a tool is missing;
// scripts/deps.sh test installs both.

#include "formats/Bfnt.h"
#include "formats/Bmp.h"
#include "formats/MemStream.h"
#include "formats/Tim.h"
#include "tests/exchange/ExchangeSamples.h"
#include "tests/formats/SampleFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace
{
using exsample::Bytes;
using exsample::BmpShape;
using exsample::TimShape;
namespace fs = std::filesystem;

const char* const PYTHON = "/usr/bin/python3";

bool HaveConvert()
{
    return ::access("/usr/bin/convert", X_OK) == 0;
}

bool HavePillow()
{
    return ::access(PYTHON, X_OK) == 0 &&
           std::system("/usr/bin/python3 -c 'import PIL.Image' >/dev/null 2>&1") == 0;
}

// A scratch folder removed when the test ends.
class CScratch
{
public:
    CScratch()
    {
        std::string strTemplate = (fs::temp_directory_path() / "vellum-xcheck-XXXXXX").string();
        if (::mkdtemp(strTemplate.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_dir = strTemplate;
    }
    ~CScratch()
    {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    CScratch(const CScratch&) = delete;
    CScratch& operator=(const CScratch&) = delete;

    std::string Put(const std::string& strName, const Bytes& data) const
    {
        const std::string strPath = (m_dir / strName).string();
        std::ofstream out(strPath, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        return strPath;
    }

private:
    fs::path m_dir;
};

// The whole standard output of a shell command; the paths passed are our own scratch files.
Bytes RunAndRead(const std::string& strCommand)
{
    Bytes out;
    FILE* pPipe = ::popen(strCommand.c_str(), "r");
    if (pPipe == nullptr)
        return out;
    std::uint8_t buf[65536];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, pPipe)) > 0)
        out.insert(out.end(), buf, buf + n);
    ::pclose(pPipe);
    return out;
}

Bytes ImageMagickRgb(const std::string& strPath)
{
    const Bytes png = RunAndRead("/usr/bin/convert '" + strPath + "' png:- 2>/dev/null");
    if (png.empty())
        throw std::runtime_error("ImageMagick could not read " + strPath);
    return exsample::ToRgb(exsample::Decode(png));
}

Bytes PillowRgb(const std::string& strPath)
{
    return RunAndRead(std::string(PYTHON) +
                      " -c 'import sys; from PIL import Image; "
                      "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert(\"RGB\").tobytes())' '" +
                      strPath + "' 2>/dev/null");
}

// The same TIM with only CLUT row nRow left: one row of 16 or 256 colours.
Bytes CutToRow(const Bytes& tim, std::uint32_t nRow, std::uint32_t nSize)
{
    const std::uint32_t nLength = GetLe32(&tim[8]);
    Bytes out(tim.begin(), tim.begin() + 20);
    PutLe32(&out[8], 12 + 2 * nSize);
    PutLe16(&out[16], static_cast<std::uint16_t>(nSize));
    PutLe16(&out[18], 1);
    const auto at = tim.begin() + 20 + static_cast<std::ptrdiff_t>(2 * nRow * nSize);
    out.insert(out.end(), at, at + static_cast<std::ptrdiff_t>(2 * nSize));
    out.insert(out.end(), tim.begin() + 8 + nLength, tim.end());
    return out;
}

struct TimCheck
{
    const char* pszName;
    int nBpp;
    std::uint16_t nUnits;
    std::uint16_t nHeight;
    std::uint16_t nClutHeight;  // rows of 16 or 256 colours; 0: no CLUT
};

class ImageMagickTim : public testing::TestWithParam<TimCheck>
{
};

TEST_P(ImageMagickTim, ExportedRgbEqualsImageMagicksReading)
{
    if (!HaveConvert())
        GTEST_SKIP() << "ImageMagick's convert is not installed (scripts/deps.sh test installs it)";
    const TimCheck& c = GetParam();
    TimShape s;
    s.nBpp = c.nBpp;
    s.nUnits = c.nUnits;
    s.nHeight = c.nHeight;
    s.bClut = c.nClutHeight != 0;
    s.nClutWidth = c.nBpp == 4 ? 16 : 256;
    s.nClutHeight = c.nClutHeight;
    const Bytes tim = exsample::MakeTim(s);
    const CScratch scratch;
    const std::uint32_t nRows = c.nBpp <= 8 ? c.nClutHeight : 1;
    for (std::uint32_t r = 0; r < nRows; ++r)
    {
        ExportOptions opt;
        opt.nClut = r;
        const Bytes ours = exsample::ToRgb(exsample::Decode(exsample::Export(tim, opt)));
        const Bytes single = c.nBpp <= 8 && nRows > 1 ? CutToRow(tim, r, s.nClutWidth) : tim;
        const Bytes theirs = ImageMagickRgb(scratch.Put("row" + std::to_string(r) + ".tim", single));
        ASSERT_EQ(ours.size(), theirs.size()) << "row " << r;
        EXPECT_TRUE(ours == theirs) << "CLUT row " << r << " differs from ImageMagick";
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, ImageMagickTim,
                         testing::Values(TimCheck{"bpp4", 4, 5, 7, 1}, TimCheck{"bpp4_rows", 4, 3, 4, 4},
                                         TimCheck{"bpp8", 8, 9, 6, 1}, TimCheck{"bpp8_rows", 8, 4, 3, 3},
                                         TimCheck{"bpp16", 16, 11, 5, 0}, TimCheck{"bpp24", 24, 9, 4, 0},
                                         TimCheck{"bpp24_odd_width", 24, 5, 3, 0}),
                         [](const testing::TestParamInfo<TimCheck>& param) { return std::string(param.param.pszName); });

// RLE codes: runs, absolute runs, ends of line, end of bitmap. Pillow 9.4 reads delta codes,
// odd RLE4 absolute runs and an end of line at the start of a row differently from the format,
// and wants every pixel coded, so these files avoid all four; the unit tests cover them.
Bytes Rle8Codes()
{
    return {3, 7, 0, 4, 1, 2, 3, 4, 2, 9, 0, 0,   // row 0: 7 7 7 1 2 3 4 9 9
            9, 200, 0, 0,                           // row 1: all 200
            2, 5, 0, 0,                             // row 2: 5 5 then zeros
            0, 6, 9, 8, 7, 6, 5, 4, 0, 0,           // row 3: absolute run of six
            9, 0, 0, 1};                            // row 4: zeros, coded
}

Bytes Rle4Codes()
{
    return {5, 0x12, 0, 4, 0x34, 0x56, 4, 0xF0, 0, 0,  // row 0: 1 2 1 2 1 3 4 5 6 F 0 F 0
            13, 0xAB, 0, 0,                             // row 1: A B A B ...
            0, 6, 0x11, 0x22, 0x33, 0, 0, 0,            // row 2: 1 1 2 2 3 3 then zeros
            13, 0x00, 0, 1};                            // row 3: zeros, coded
}

struct BmpCheck
{
    const char* pszName;
    BmpShape shape;
};

class PillowBmp : public testing::TestWithParam<BmpCheck>
{
};

TEST_P(PillowBmp, ExportedRgbEqualsPillowsReading)
{
    if (!HavePillow())
        GTEST_SKIP() << "Pillow for /usr/bin/python3 is not installed (scripts/deps.sh test installs python3-pil)";
    const Bytes bmp = exsample::MakeBmp(GetParam().shape);
    const CScratch scratch;
    const Bytes ours = exsample::ToRgb(exsample::Decode(exsample::Export(bmp)));
    const Bytes theirs = PillowRgb(scratch.Put("x.bmp", bmp));
    ASSERT_EQ(ours.size(), theirs.size());
    EXPECT_TRUE(ours == theirs) << "differs from Pillow";
}

BmpShape Bits(int nBits, std::int32_t w, std::int32_t h, std::uint32_t nClrUsed = 0, std::uint32_t nInfoSize = 40)
{
    BmpShape s;
    s.nBits = nBits;
    s.nWidth = w;
    s.nHeight = h;
    s.nClrUsed = nClrUsed;
    s.nInfoSize = nInfoSize;
    return s;
}

BmpShape Rle(std::uint32_t nCompression, std::int32_t w, std::int32_t h, Bytes codes)
{
    BmpShape s = Bits(nCompression == 1 ? 8 : 4, w, h);
    s.nCompression = nCompression;
    s.rle = std::move(codes);
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Depths, PillowBmp,
    testing::Values(BmpCheck{"bits1", Bits(1, 13, 5)}, BmpCheck{"bits1_wide", Bits(1, 70, 3)},
                    BmpCheck{"bits4", Bits(4, 7, 6)}, BmpCheck{"bits4_few_colours", Bits(4, 9, 4, 5)},
                    BmpCheck{"bits8", Bits(8, 9, 7)}, BmpCheck{"bits8_top_down", Bits(8, 6, -5)},
                    BmpCheck{"bits8_clr_used", Bits(8, 10, 3, 40)}, BmpCheck{"bits8_v4_header", Bits(8, 5, 4, 0, 108)},
                    BmpCheck{"bits8_v5_header", Bits(8, 5, 4, 0, 124)}, BmpCheck{"bits24", Bits(24, 5, 4)},
                    BmpCheck{"bits24_top_down", Bits(24, 3, -3)}, BmpCheck{"rle8", Rle(1, 9, 5, Rle8Codes())},
                    BmpCheck{"rle4", Rle(2, 13, 4, Rle4Codes())}),
    [](const testing::TestParamInfo<BmpCheck>& param) { return std::string(param.param.pszName); });

// ---- The BMPs the program writes, read by the others --------------------------------------

struct WrittenBmp
{
    std::string strName;
    Bytes file;
    Bytes rgb;  // what every reader should see
};

Bytes RecordRgb(const CBmpData& bmp)
{
    const std::size_t n = static_cast<std::size_t>(bmp.m_infoHeader.biWidth) * static_cast<std::size_t>(bmp.m_infoHeader.biHeight);
    Bytes rgb(3 * n);
    for (std::size_t i = 0; i < n; ++i)
        std::memcpy(&rgb[3 * i], bmp.m_pPalette->rgb + 3 * std::size_t{bmp.m_pBits[i]}, 3);
    return rgb;
}

Bytes Written(CBmpData& bmp)
{
    CMemStream out;
    if (bmp.WriteBmp(out) != FMT_OK)
        throw std::runtime_error("the BMP writer refused its record");
    return out.TakeData();
}

// Every width from 1 to 8 and a wide odd one, through import without the chunk, and the
// conversions from TIM (even widths) and from sheets (their cells laid 256 pixels across).
std::vector<WrittenBmp> BmpsWeWrite()
{
    std::vector<WrittenBmp> bmps;
    std::vector<PngColor> palette(256);
    for (std::size_t i = 0; i < palette.size(); ++i)
        palette[i] = PngColor{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                              static_cast<std::uint8_t>(i * 7), 255};
    for (std::uint32_t w : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 1001u})
    {
        Bytes indices(std::size_t{w} * 5);
        for (std::size_t i = 0; i < indices.size(); ++i)
            indices[i] = static_cast<std::uint8_t>(i * 31 + i / w);
        const Bytes png = exsample::EncodeForeign(w, 5, indices, palette);
        bmps.push_back({"import, width " + std::to_string(w), exsample::Import(png, exsample::ImportAs(DATA_BMP)),
                        exsample::ToRgb(exsample::Decode(png))});
    }
    static RgbPalette s_palette = SamplePalette();
    for (int nUnits : {1, 3, 501})
    {
        CTimData tim;
        tim.m_pPalette = &s_palette;
        CMemStream in(MakeSampleTim(nUnits, 5));
        CBmpData bmp;
        if (tim.ReadTim(in, true) != FMT_OK || tim.TimToBmp(bmp) != FMT_OK)
            throw std::runtime_error("TIM to BMP failed");
        bmps.push_back({"TIM, width " + std::to_string(2 * nUnits), Written(bmp), RecordRgb(bmp)});
    }
    for (int nGlyphWidth : {3, 11})
    {
        CBfntData bfnt;
        bfnt.m_pPalette = &s_palette;
        CMemStream in(MakeSampleBfnt(nGlyphWidth, 4, 0, 100));
        CBmpData bmp;
        if (bfnt.ReadBfnt256(in) != FMT_OK || bfnt.BfntToBmp(bmp) != FMT_OK)
            throw std::runtime_error("BFNT to BMP failed");
        bmps.push_back({"sheet, cells " + std::to_string(nGlyphWidth) + " wide", Written(bmp), RecordRgb(bmp)});
    }
    return bmps;
}

TEST(WrittenBmp, ImageMagickAndPillowReadThePixelsWritten)
{
    const bool bConvert = HaveConvert();
    const bool bPillow = HavePillow();
    if (!bConvert && !bPillow)
        GTEST_SKIP() << "neither ImageMagick nor Pillow is installed (scripts/deps.sh test installs both)";
    const CScratch scratch;
    for (const WrittenBmp& b : BmpsWeWrite())
    {
        SCOPED_TRACE(b.strName);
        const std::string strPath = scratch.Put("x.bmp", b.file);
        if (bConvert)
        {
            Bytes theirs;
            EXPECT_NO_THROW(theirs = ImageMagickRgb(strPath));
            EXPECT_TRUE(theirs == b.rgb) << "ImageMagick reads other pixels";
        }
        if (bPillow)
        {
            EXPECT_TRUE(PillowRgb(strPath) == b.rgb) << "Pillow reads other pixels";
        }
    }
}
}  // namespace
