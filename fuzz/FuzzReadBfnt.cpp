// ReadBfnt on any bytes, with and without pixels: a refused file leaves the record
// and the colours as they were; an accepted 256- or 16-colour sheet is held as a
// 256-colour one with every glyph, and reads back the same.
#include "fuzz/FuzzRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    RgbPalette palette = MarkerPalette();
    CBfntData bfnt;
    PreloadBfnt(bfnt);
    bfnt.m_pPalette = &palette;
    const Bytes before = Snapshot(bfnt);

    CMemStream peek(pData, nSize);
    if (bfnt.ReadBfnt(peek, 0) == FMT_OK)
    {
        CBfntData earlier;
        PreloadBfnt(earlier);
        FUZZ_CHECK(bfnt.m_nGlyphsSize == earlier.m_nGlyphsSize &&
                   std::memcmp(bfnt.m_pGlyphs.get(), earlier.m_pGlyphs.get(), bfnt.m_nGlyphsSize) == 0);
    }
    PreloadBfnt(bfnt);
    palette = MarkerPalette();

    CMemStream in(pData, nSize);
    const int nResult = bfnt.ReadBfnt(in, 1);
    if (nResult != FMT_OK)
    {
        FUZZ_CHECK(nResult == FMT_BFNT_MAGIC || nResult == FMT_BFNT_TYPE || nResult == FMT_BFNT_TRUNCATED);
        FUZZ_CHECK(Snapshot(bfnt) == before && SamePalette(palette, MarkerPalette()));
        return 0;
    }
    FUZZ_CHECK(bfnt.HasCompleteGlyphs() && bfnt.m_nRowOrder == 0);
    FUZZ_CHECK((bfnt.m_header.format & BFNT_COLOR_MASK) == BFNT_COLORS_256);
    CheckBfntRoundTrip(bfnt);
    return 0;
}
