// The picture handed from export to import in memory is the one the PNG would carry: for
// files of every depth and kind, ExportToPicture gives what DecodePng reads from
// ExportToPng's PNG, and ImportFromPicture writes what ImportFromPng writes, refusals and
// all.

#include "formats/MemStream.h"
#include "tests/exchange/ExchangeSamples.h"
#include "tests/formats/SampleFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
using exsample::Bytes;

struct Case
{
    const char* pszName;
    Bytes file;
};

exsample::TimShape Tim(int nBpp, bool bClut, std::uint16_t nClutWidth = 256, std::uint16_t nClutRows = 1)
{
    exsample::TimShape s;
    s.nBpp = nBpp;
    s.nUnits = 12;
    s.nHeight = 16;
    s.bClut = bClut;
    s.nClutWidth = nClutWidth;
    s.nClutHeight = nClutRows;
    return s;
}

exsample::BmpShape Bmp(int nBits, std::int32_t nHeight = 16, std::uint32_t nClrUsed = 0)
{
    exsample::BmpShape s;
    s.nBits = nBits;
    s.nWidth = 24;
    s.nHeight = nHeight;
    s.nClrUsed = nClrUsed;
    return s;
}

std::vector<Case> Cases()
{
    exsample::BmpShape rle;
    rle.nCompression = 1;
    rle.rle = {5, 1, 0, 0, 5, 2, 0, 0, 5, 3, 0, 1};
    // A 16-entry table with a pixel past it: only a real PNG knows what becomes of that.
    Bytes past = exsample::MakeBmp(Bmp(8, 16, 16));
    past.back() = 200;
    return {
        {"4-bit TIM, three CLUT rows", exsample::MakeTim(Tim(4, true, 16, 3))},
        {"8-bit TIM, two CLUT rows", exsample::MakeTim(Tim(8, true, 256, 2))},
        {"4-bit TIM without a CLUT", exsample::MakeTim(Tim(4, false))},
        {"8-bit TIM without a CLUT", exsample::MakeTim(Tim(8, false))},
        {"16-bit TIM", exsample::MakeTim(Tim(16, false))},
        {"24-bit TIM", exsample::MakeTim(Tim(24, false))},
        {"1-bit BMP", exsample::MakeBmp(Bmp(1))},
        {"4-bit BMP", exsample::MakeBmp(Bmp(4))},
        {"8-bit BMP, top-down", exsample::MakeBmp(Bmp(8, -16))},
        {"8-bit BMP, 16-entry table", exsample::MakeBmp(Bmp(8, 16, 16))},
        {"8-bit BMP, an index past its table", past},
        {"24-bit BMP", exsample::MakeBmp(Bmp(24))},
        {"RLE8 BMP", exsample::MakeBmp(rle)},
        {"256-colour sheet", MakeSampleBfnt(16, 16, 30, 70)},
        {"16-colour sheet", MakeSampleBfnt16(16, 16, 0, 9)},
        {"16-colour sheet without a palette", MakeSampleBfnt16(16, 16, 48, 57, false)},
        {"not a picture", Bytes{'n', 'o', 'p', 'e'}},
    };
}

}  // namespace

TEST(Handover, ThePictureAndEveryFileAreThoseThePngWouldGive)
{
    for (const Case& c : Cases())
    {
        SCOPED_TRACE(c.pszName);
        Bytes png;
        std::string strPngError, strPngNote;
        const bool bPng = ExportToPng(c.file.data(), c.file.size(), ExportOptions{}, png, strPngError, &strPngNote);
        PngPicture pic;
        std::string strError, strNote;
        const bool bPicture = ExportToPicture(c.file.data(), c.file.size(), ExportOptions{}, pic, strError, &strNote);
        ASSERT_EQ(bPicture, bPng);
        EXPECT_EQ(strError, strPngError);
        EXPECT_EQ(strNote, strPngNote);
        if (!bPng)
            continue;
        const PngPicture decoded = exsample::Decode(png);
        EXPECT_EQ(pic.nWidth, decoded.nWidth);
        EXPECT_EQ(pic.nHeight, decoded.nHeight);
        EXPECT_EQ(pic.bIndexed, decoded.bIndexed);
        EXPECT_EQ(pic.nColorType, decoded.nColorType);
        EXPECT_EQ(pic.nBitDepth, decoded.nBitDepth);
        EXPECT_EQ(pic.pixels, decoded.pixels);
        ASSERT_EQ(pic.palette.size(), decoded.palette.size());
        for (std::size_t i = 0; i < pic.palette.size(); ++i)
        {
            const PngColor a = pic.palette[i], b = decoded.palette[i];
            EXPECT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a) << i;
        }
        EXPECT_EQ(pic.bPrivate, decoded.bPrivate);
        EXPECT_EQ(pic.privateData, decoded.privateData);

        for (const int nKind : {DATA_BMP, DATA_TIM, DATA_BFNT})
        {
            SCOPED_TRACE(nKind);
            ImportOptions opt;
            opt.kind = nKind;
            Bytes fromPng;
            std::string strPngRefusal, strRefusal;
            const bool bFromPng = ImportFromPng(png.data(), png.size(), opt, fromPng, strPngRefusal);
            CMemStream out;
            EXPECT_EQ(ImportFromPicture(pic, opt, out, strRefusal), bFromPng);
            EXPECT_EQ(strRefusal, strPngRefusal);
            if (bFromPng)
            {
                EXPECT_EQ(out.TakeData(), fromPng);
            }
        }
    }
}
