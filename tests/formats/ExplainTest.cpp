// What a file is, from its first bytes: one row per kind of file people bring, with what
// the explanation must say and which reader it points to.

#include "formats/Explain.h"

#include "formats/ByteOrder.h"
#include "tests/formats/SampleFiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<std::uint8_t>;

// The sample 8-bit BMP with fields changed: the info header's size, depth, compression,
// colour count and the pixels' offset.
Bytes Bmp(std::uint32_t nInfoSize, std::uint16_t nBits, std::uint32_t nCompression, std::uint32_t nClrUsed = 0,
          std::uint32_t nOffBits = BMP_PIXEL_OFFSET)
{
    Bytes b = MakeSampleBmp(4, 4);
    PutLe32(b.data() + 10, nOffBits);
    PutLe32(b.data() + 14, nInfoSize);
    PutLe16(b.data() + 28, nBits);
    PutLe32(b.data() + 30, nCompression);
    PutLe32(b.data() + 46, nClrUsed);
    return b;
}

Bytes Tim(std::uint8_t nFlags, std::uint8_t nVersion = 0)
{
    Bytes t = MakeSampleTim(2, 2);
    t[1] = nVersion;
    t[4] = nFlags;
    return t;
}

Bytes Sheet(std::uint8_t nFormat)
{
    Bytes s = MakeSampleBfnt(8, 8, 0, 1);
    s[5] = nFormat;
    return s;
}

struct Row
{
    const char* pszName;
    Bytes data;
    EFileFamily family;
    const char* pszKind;
    const char* pszCause;  // empty: the 8-bit reader takes it, nothing to say
    EFileReader reader;
    unsigned nBits;
    bool bIndexed;
};

}  // namespace

TEST(Explain, EveryKindOfFileSaysWhatItIsAndWhoReadsIt)
{
    using F = EFileFamily;
    using R = EFileReader;
    const Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13};
    const Row rows[] = {
        {"empty", {}, F::Empty, "an empty file", "an empty file", R::Nothing, 0, false},
        {"bmp as written", MakeSampleBmp(5, 3), F::Bmp, "an 8-bit BMP", "", R::Window, 8, true},
        {"bmp padded", MakeSampleBmp(5, 3, true), F::Bmp, "an 8-bit BMP", "", R::Window, 8, true},
        {"bmp rle8", Bmp(40, 8, BMP_RLE8), F::Bmp, "an 8-bit BMP", "an RLE8-compressed BMP", R::Export, 8, true},
        {"bmp v5", Bmp(124, 8, BMP_RGB), F::Bmp, "an 8-bit BMP", "a BMP with a 124-byte (V5) header", R::Export, 8,
         true},
        {"bmp v4", Bmp(108, 8, BMP_RGB), F::Bmp, "an 8-bit BMP", "a BMP with a 108-byte (V4) header", R::Export, 8,
         true},
        {"bmp v5 rle8", Bmp(124, 8, BMP_RLE8), F::Bmp, "an 8-bit BMP", "an RLE8-compressed BMP", R::Export, 8, true},
        {"bmp 16 entries", Bmp(40, 8, BMP_RGB, 16, 118), F::Bmp, "an 8-bit BMP", "a BMP with a 16-entry colour table",
         R::Export, 8, true},
        {"bmp pixels elsewhere", Bmp(40, 8, BMP_RGB, 0, 2000), F::Bmp, "an 8-bit BMP",
         "a BMP whose pixels start at byte 2000, not 1078", R::Export, 8, true},
        {"bmp 24", Bmp(40, 24, BMP_RGB), F::Bmp, "a 24-bit BMP", "a 24-bit BMP", R::Export, 24, false},
        {"bmp 4", Bmp(40, 4, BMP_RGB), F::Bmp, "a 4-bit BMP", "a 4-bit BMP", R::Export, 4, true},
        {"bmp 1", Bmp(40, 1, BMP_RGB), F::Bmp, "a 1-bit BMP", "a 1-bit BMP", R::Export, 1, true},
        {"bmp rle4", Bmp(40, 4, BMP_RLE4), F::Bmp, "a 4-bit BMP", "an RLE4-compressed BMP", R::Export, 4, true},
        {"bmp rle8 at 4 bits", Bmp(40, 4, BMP_RLE8), F::Bmp, "a 4-bit BMP",
         "a BMP whose compression does not match its depth", R::Nothing, 4, true},
        {"bmp 32", Bmp(40, 32, BMP_RGB), F::Bmp, "a 32-bit BMP", "a 32-bit BMP", R::Export, 32, false},
        {"bmp 16", Bmp(40, 16, BMP_RGB), F::Bmp, "a 16-bit BMP", "a 16-bit BMP", R::Export, 16, false},
        {"bmp bit fields", Bmp(40, 16, 3), F::Bmp, "a 16-bit BMP", "a BMP with bit fields", R::Export, 16, false},
        {"bmp bit fields at 8 bits", Bmp(40, 8, 3), F::Bmp, "an 8-bit BMP", "a BMP with bit fields", R::Nothing, 8, true},
        {"bmp jpeg", Bmp(40, 24, 4), F::Bmp, "a 24-bit BMP", "a BMP holding a JPEG", R::Nothing, 24, false},
        // A 40-byte header's fields read as an OS/2 1.x one: no depth.
        {"bmp os2", Bmp(12, 8, BMP_RGB), F::Bmp, "a 0-bit BMP", "a 0-bit BMP", R::Nothing, 0, true},
        {"bmp v3 header", Bmp(56, 8, BMP_RGB), F::Bmp, "an 8-bit BMP", "a BMP with a 56-byte (V3) header", R::Export, 8,
         true},
        {"bmp odd header", Bmp(20, 8, BMP_RGB), F::Bmp, "a BMP", "a BMP with a 20-byte header", R::Nothing, 0, false},
        {"bmp cut in its header", Bytes{'B', 'M', 1, 2, 3}, F::Bmp, "a BMP", "", R::Window, 0, false},
        {"tim 8 with clut", Tim(0x09), F::Tim, "an 8-bit TIM", "", R::Window, 8, true},
        {"tim 4", Tim(0x08), F::Tim, "a 4-bit TIM", "a 4-bit TIM", R::Export, 4, true},
        {"tim 16", Tim(0x02), F::Tim, "a 16-bit TIM", "a 16-bit TIM", R::Export, 16, false},
        {"tim 24", Tim(0x03), F::Tim, "a 24-bit TIM", "a 24-bit TIM", R::Export, 24, false},
        {"tim 8 without clut", Tim(0x01), F::Tim, "an 8-bit TIM", "an 8-bit TIM without a CLUT", R::Export, 8, true},
        {"tim 4 without clut", Tim(0x00), F::Tim, "a 4-bit TIM", "a 4-bit TIM without a CLUT", R::Export, 4, true},
        {"tim mixed", Tim(0x04), F::Tim, "a mixed-mode TIM", "a mixed-mode TIM", R::Nothing, 0, false},
        {"tim mode 6", Tim(0x06), F::Tim, "a TIM of pixel mode 6", "a TIM of pixel mode 6", R::Nothing, 0, false},
        {"tim version 2", Tim(0x09, 2), F::Tim, "a TIM", "a TIM of version 2", R::Nothing, 0, false},
        {"tim cut", Bytes{0x10, 0, 0}, F::Tim, "a TIM", "", R::Window, 0, false},
        {"sheet 256", MakeSampleBfnt(8, 8, 0, 1), F::Bfnt, "a 256-colour BFNT sheet", "", R::Window, 8, true},
        {"sheet 16", MakeSampleBfnt16(8, 8, 0, 1), F::Bfnt, "a 16-colour BFNT sheet", "", R::Window, 4, true},
        {"sheet of type 5", Sheet(0x85), F::Bfnt, "a BFNT sheet", "a BFNT sheet of colour type 5", R::Nothing, 0,
         true},
        {"png", png, F::Png, "a PNG", "a PNG", R::Import, 0, false},
        {"png signature cut", Bytes(png.begin(), png.begin() + 6), F::Unknown, "", "", R::Window, 0, false},
        {"gif", Bytes{'G', 'I', 'F', '8', '9', 'a'}, F::Other, "a GIF", "a GIF", R::Nothing, 0, false},
        {"jpeg", Bytes{0xFF, 0xD8, 0xFF, 0xE0}, F::Other, "a JPEG", "a JPEG", R::Nothing, 0, false},
        {"text", Bytes{'j', 'u', 'n', 'k'}, F::Unknown, "", "", R::Window, 0, false},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.pszName);
        const std::size_t nSize = std::min(row.data.size(), EXPLAIN_HEADER_SIZE);
        const FileExplanation e = ExplainFile(row.data.empty() ? nullptr : row.data.data(), nSize);
        EXPECT_EQ(e.family, row.family);
        EXPECT_EQ(e.strKind, row.pszKind);
        EXPECT_EQ(e.strCause, row.pszCause);
        EXPECT_EQ(e.reader, row.reader);
        EXPECT_EQ(e.nBits, row.nBits);
        EXPECT_EQ(e.bIndexed, row.bIndexed);
        // A cause that is the depth alone is worded as the kind.
        EXPECT_EQ(e.bDepth, e.strCause == e.strKind && e.nBits != 0) << e.strCause;
    }
}

// Only the bytes given count: the header sizes the caller reads are enough, and a file
// that ends inside a header is classed by what it has, never read past its end.
TEST(Explain, LooksOnlyAtTheBytesGiven)
{
    const Bytes rle = Bmp(40, 8, BMP_RLE8);
    for (std::size_t n = 1; n <= EXPLAIN_HEADER_SIZE; ++n)
    {
        // A copy of exactly n bytes, so a read past them is a fault the sanitizers see.
        const Bytes head(rle.begin(), rle.begin() + static_cast<std::ptrdiff_t>(n));
        const FileExplanation e = ExplainFile(head.data(), head.size());
        EXPECT_EQ(e.reader, n >= 54 ? EFileReader::Export : EFileReader::Window) << n;
    }
    const Bytes tim = Tim(0x08);
    for (std::size_t n = 1; n < 8; ++n)
        EXPECT_EQ(ExplainFile(Bytes(tim.begin(), tim.begin() + static_cast<std::ptrdiff_t>(n)).data(), n).reader,
                  n >= 5 ? EFileReader::Export : EFileReader::Window)
            << n;
}
