#include "fuzz/FuzzRecords.h"

#include "tests/formats/SampleFiles.h"

namespace
{
template <class Record, class ReadFn>
void Preload(Record& rec, const Bytes& file, ReadFn read)
{
    static RgbPalette s_palette;  // the preload's colours are of no interest
    RgbPalette* pKeep = rec.m_pPalette;
    rec.m_pPalette = &s_palette;
    CMemStream in(file);
    FUZZ_CHECK(read(rec, in) == FMT_OK);
    rec.m_pPalette = pKeep;
}

// A 15-bit TIM colour keeps the top five bits of each component.
bool SameQuantised(const RgbPalette& a, const RgbPalette& b)
{
    for (int i = 0; i < 768; ++i)
        if ((a.rgb[i] & 0xF8) != (b.rgb[i] & 0xF8))
            return false;
    return true;
}
}  // namespace

void PreloadBmp(CBmpData& bmp)
{
    static const Bytes s_file = MakeSampleBmp(5, 3);
    Preload(bmp, s_file, [](CBmpData& r, CMemStream& s) { return r.ReadBmp(s, true); });
}

void PreloadTim(CTimData& tim)
{
    static const Bytes s_file = MakeSampleTim(3, 2);
    Preload(tim, s_file, [](CTimData& r, CMemStream& s) { return r.ReadTim(s, true); });
}

void PreloadBfnt(CBfntData& bfnt)
{
    static const Bytes s_file = MakeSampleBfnt(4, 3, 65, 67, 5);
    Preload(bfnt, s_file, [](CBfntData& r, CMemStream& s) { return r.ReadBfnt256(s); });
}

Bytes CheckBmpRoundTrip(CBmpData& bmp)
{
    CMemStream out;
    const int nWrite = bmp.WriteBmp(out);
    if (nWrite == FMT_NO_MEMORY)
        return {};
    FUZZ_CHECK(nWrite == FMT_OK);
    FUZZ_CHECK(out.Data().size() == bmp.m_fileHeader.bfSize);
    RgbPalette back{};
    CBmpData again;
    again.m_pPalette = &back;
    CMemStream in(out.Data());
    FUZZ_CHECK(again.ReadBmp(in, true) == FMT_OK);
    FUZZ_CHECK(Snapshot(again) == Snapshot(bmp));
    FUZZ_CHECK(SamePalette(back, *bmp.m_pPalette));
    return out.TakeData();
}

Bytes CheckTimRoundTrip(CTimData& tim)
{
    CMemStream out;
    const int nWrite = tim.WriteTim(out);
    if (nWrite == FMT_NO_MEMORY)
        return {};
    FUZZ_CHECK(nWrite == FMT_OK);
    FUZZ_CHECK(out.Data().size() == 8 + TIM_CLUT_LENGTH + TIM_BLOCK_HEADER_SIZE + tim.PixelByteCount());
    RgbPalette back{};
    CTimData again;
    again.m_pPalette = &back;
    CMemStream in(out.Data());
    FUZZ_CHECK(again.ReadTim(in, true) == FMT_OK);
    FUZZ_CHECK(again.m_clutLength == TIM_CLUT_LENGTH);
    // A record may hold more bytes than its header describes (an odd BMP width
    // padded); only the described pixels reach the file.
    FUZZ_CHECK(again.m_nPixelsSize == tim.PixelByteCount());
    FUZZ_CHECK(std::memcmp(again.m_pPixels.get(), tim.m_pPixels.get(), again.m_nPixelsSize) == 0);
    // One row of 256 colours is written, and its header says so.
    const bool bKeepSize = std::uint32_t{tim.m_clutWidth} * tim.m_clutHeight == 256;
    FUZZ_CHECK(again.m_clutWidth == (bKeepSize ? tim.m_clutWidth : 256));
    FUZZ_CHECK(again.m_clutHeight == (bKeepSize ? tim.m_clutHeight : 1));
    again.m_clutLength = tim.m_clutLength;
    again.m_clutWidth = tim.m_clutWidth;
    again.m_clutHeight = tim.m_clutHeight;
    if (tim.m_nPixelsSize == tim.PixelByteCount())
        FUZZ_CHECK(Snapshot(again) == Snapshot(tim));
    FUZZ_CHECK(SameQuantised(back, *tim.m_pPalette));
    return out.TakeData();
}

Bytes CheckBfntRoundTrip(CBfntData& bfnt)
{
    CMemStream out;
    const int nWrite = bfnt.WriteBfnt(out);
    if (nWrite == FMT_NO_MEMORY)
        return {};
    FUZZ_CHECK(nWrite == FMT_OK);
    FUZZ_CHECK(bfnt.m_nRowOrder == 0);
    FUZZ_CHECK(out.Data().size() ==
               BFNT_HEADER_SIZE + bfnt.m_header.extensionLength + BFNT_PALETTE_256_SIZE + bfnt.GlyphByteCount());
    RgbPalette back{};
    CBfntData again;
    again.m_pPalette = &back;
    CMemStream in(out.Data());
    FUZZ_CHECK(again.ReadBfnt256(in) == FMT_OK);
    FUZZ_CHECK(again.m_header.format & BFNT_PALETTE);
    FUZZ_CHECK(again.m_nGlyphsSize == bfnt.GlyphByteCount());
    FUZZ_CHECK(std::memcmp(again.m_pGlyphs.get(), bfnt.m_pGlyphs.get(), again.m_nGlyphsSize) == 0);
    if (bfnt.m_nGlyphsSize == bfnt.GlyphByteCount())
        FUZZ_CHECK(Snapshot(again, false) == Snapshot(bfnt, false));
    FUZZ_CHECK(SamePalette(back, *bfnt.m_pPalette));
    return out.TakeData();
}

void CheckTimHoldsBmp(const CBmpData& bmp, const CTimData& tim)
{
    const auto nWidth = static_cast<std::uint64_t>(bmp.m_infoHeader.biWidth);
    const auto nHeight = static_cast<std::uint64_t>(bmp.m_infoHeader.biHeight);
    const std::uint64_t nRow = 2 * std::uint64_t{tim.m_imageWidth};
    FUZZ_CHECK(tim.m_imageHeight == nHeight && nRow >= nWidth && nRow <= nWidth + 1);
    FUZZ_CHECK(tim.m_nPixelsSize >= nRow * nHeight);
    for (std::uint64_t r = 0; r < nHeight; ++r)
        FUZZ_CHECK(std::memcmp(tim.m_pPixels.get() + r * nRow, bmp.m_pBits.get() + r * nWidth, nWidth) == 0);
}

void CheckBmpHoldsTim(const CTimData& tim, const CBmpData& bmp)
{
    const std::uint64_t nPixels = tim.PixelByteCount();
    FUZZ_CHECK(bmp.m_infoHeader.biWidth == 2 * tim.m_imageWidth && bmp.m_infoHeader.biHeight == tim.m_imageHeight);
    const std::uint64_t nFileImage = BmpPaddedRow(2 * std::uint64_t{tim.m_imageWidth}, 8) * tim.m_imageHeight;
    FUZZ_CHECK(bmp.m_nBitsSize >= nPixels && bmp.m_fileHeader.bfSize == BMP_PIXEL_OFFSET + nFileImage &&
               bmp.m_infoHeader.biSizeImage == nFileImage);
    FUZZ_CHECK(std::memcmp(bmp.m_pBits.get(), tim.m_pPixels.get(), nPixels) == 0);
}

void CheckCellsHoldImage(const std::uint8_t* pSrc, std::uint64_t nWidth, std::uint64_t nHeight, const CBfntData& bfnt)
{
    const std::uint64_t n = bfnt.m_header.glyphWidth;
    FUZZ_CHECK(n == bfnt.m_header.glyphHeight && n != 0 && bfnt.m_nRowOrder == 0);
    const std::uint64_t nAcross = (nWidth + n - 1) / n;
    const std::uint64_t nDown = (nHeight + n - 1) / n;
    FUZZ_CHECK(bfnt.m_header.firstCode == 0 && bfnt.GlyphCount() == nAcross * nDown);
    FUZZ_CHECK(bfnt.m_nGlyphsSize == nAcross * nDown * n * n);
    const std::uint8_t* pCell = bfnt.m_pGlyphs.get();
    for (std::uint64_t cy = 0; cy < nDown; ++cy)
        for (std::uint64_t cx = 0; cx < nAcross; ++cx, pCell += n * n)
            for (std::uint64_t r = 0; r < n; ++r)
                for (std::uint64_t c = 0; c < n; ++c)
                {
                    const std::uint64_t y = cy * n + r, x = cx * n + c;
                    const std::uint8_t want = (y < nHeight && x < nWidth) ? pSrc[y * nWidth + x] : 0;
                    FUZZ_CHECK(pCell[r * n + c] == want);
                }
}

void CheckBmpHoldsGlyphs(const CBfntData& bfnt, const CBmpData& bmp)
{
    const std::uint64_t nGw = bfnt.m_header.glyphWidth, nGh = bfnt.m_header.glyphHeight;
    const std::uint64_t nPerRow = 256 / nGw;
    const auto nWidth = static_cast<std::uint64_t>(bmp.m_infoHeader.biWidth);
    FUZZ_CHECK(bfnt.m_nRowOrder == 0 && nWidth == nPerRow * nGw);
    const std::uint8_t* pGlyph = bfnt.m_pGlyphs.get();
    for (std::uint64_t i = 0; i < bfnt.GlyphCount(); ++i)
        for (std::uint64_t r = 0; r < nGh; ++r, pGlyph += nGw)
        {
            const std::uint64_t nOff = (i / nPerRow * nGh + r) * nWidth + i % nPerRow * nGw;
            FUZZ_CHECK(nOff + nGw <= bmp.m_nBitsSize);
            FUZZ_CHECK(std::memcmp(bmp.m_pBits.get() + nOff, pGlyph, nGw) == 0);
        }
}

namespace
{
// A conversion either succeeds or refuses and leaves its target as it was.
template <class Target, class Fn>
bool Converted(Target& target, Fn convert)
{
    const Bytes before = Snapshot(target);
    const int nResult = convert();
    if (nResult == FMT_OK)
        return true;
    FUZZ_CHECK(nResult == FMT_BAD_SOURCE || nResult == FMT_NO_MEMORY);
    FUZZ_CHECK(Snapshot(target) == before);
    return false;
}

void BfntOnward(CBfntData& bfnt, int nDepth);

void BmpOnward(CBmpData& bmp, int nDepth)
{
    CheckBmpRoundTrip(bmp);
    const Bytes source = Snapshot(bmp);
    CTimData tim;
    PreloadTim(tim);
    CBfntData bfnt;
    PreloadBfnt(bfnt);
    const DataRecords rec{bmp, tim, bfnt};
    if (Converted(tim, [&] { return ConvertData(rec, DATA_BMP, DATA_TIM); }))
    {
        CheckTimHoldsBmp(bmp, tim);
        CheckTimRoundTrip(tim);
    }
    if (Converted(bfnt, [&] { return ConvertData(rec, DATA_BMP, DATA_BFNT); }))
    {
        CheckCellsHoldImage(bmp.m_pBits.get(), static_cast<std::uint64_t>(bmp.m_infoHeader.biWidth),
                            static_cast<std::uint64_t>(bmp.m_infoHeader.biHeight), bfnt);
        if (nDepth > 0)
            BfntOnward(bfnt, nDepth - 1);
        else
            CheckBfntRoundTrip(bfnt);
    }
    FUZZ_CHECK(Snapshot(bmp) == source);
}

void BfntOnward(CBfntData& bfnt, int nDepth)
{
    // The view flips glyphs for a bottom-up surface; writers and BfntToBmp flip them back.
    bfnt.SetBfntRowOrder(1);
    CheckBfntRoundTrip(bfnt);
    bfnt.SetBfntRowOrder(1);
    const Bytes flipped = Snapshot(bfnt);
    CBmpData bmp;
    PreloadBmp(bmp);
    bmp.m_pPalette = bfnt.m_pPalette;
    CTimData tim;
    PreloadTim(tim);
    const DataRecords rec{bmp, tim, bfnt};
    if (Converted(bmp, [&] { return ConvertData(rec, DATA_BFNT, DATA_BMP); }))
    {
        CheckBmpHoldsGlyphs(bfnt, bmp);
        // Into TIM the sheet goes through the BMP record, which keeps the same image.
        const Bytes image = Snapshot(bmp);
        if (Converted(tim, [&] { return ConvertData(rec, DATA_BFNT, DATA_TIM); }))
            CheckTimHoldsBmp(bmp, tim);
        FUZZ_CHECK(Snapshot(bmp) == image);
        if (nDepth > 0)
            BmpOnward(bmp, nDepth - 1);
        else
            CheckBmpRoundTrip(bmp);
    }
    else
    {
        FUZZ_CHECK(Snapshot(bfnt) == flipped);
    }
}
}  // namespace

void RunChainsFromBmp(CBmpData& bmp)
{
    BmpOnward(bmp, 1);
}

void RunChainsFromTim(CTimData& tim)
{
    CheckTimRoundTrip(tim);
    const Bytes source = Snapshot(tim);
    CBmpData bmp;
    PreloadBmp(bmp);
    bmp.m_pPalette = tim.m_pPalette;
    CBfntData bfnt;
    PreloadBfnt(bfnt);
    const DataRecords rec{bmp, tim, bfnt};
    if (Converted(bmp, [&] { return ConvertData(rec, DATA_TIM, DATA_BMP); }))
    {
        CheckBmpHoldsTim(tim, bmp);
        BmpOnward(bmp, 0);
    }
    if (Converted(bfnt, [&] { return ConvertData(rec, DATA_TIM, DATA_BFNT); }))
    {
        CheckCellsHoldImage(tim.m_pPixels.get(), 2 * std::uint64_t{tim.m_imageWidth}, tim.m_imageHeight, bfnt);
        BfntOnward(bfnt, 0);
    }
    FUZZ_CHECK(Snapshot(tim) == source);
}

void RunChainsFromBfnt(CBfntData& bfnt)
{
    BfntOnward(bfnt, 1);
}
