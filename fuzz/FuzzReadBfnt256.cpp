// ReadBfnt256 on any bytes: a refused file (16-colour sheets included) leaves the
// record and the colours as they were; an accepted sheet holds every glyph and
// reads back the same, also after its rows were turned for a bottom-up surface.
#include "fuzz/FuzzRecords.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    RgbPalette palette = MarkerPalette();
    CBfntData bfnt;
    PreloadBfnt(bfnt);
    bfnt.m_pPalette = &palette;
    const Bytes before = Snapshot(bfnt);

    CMemStream in(pData, nSize);
    const int nResult = bfnt.ReadBfnt256(in);
    if (nResult != FMT_OK)
    {
        FUZZ_CHECK(nResult == FMT_BFNT_MAGIC || nResult == FMT_BFNT_NOT_256 || nResult == FMT_BFNT_TRUNCATED);
        FUZZ_CHECK(Snapshot(bfnt) == before && SamePalette(palette, MarkerPalette()));
        return 0;
    }
    FUZZ_CHECK(bfnt.HasCompleteGlyphs() && bfnt.m_nRowOrder == 0);
    FUZZ_CHECK((bfnt.m_header.format & BFNT_COLOR_MASK) == BFNT_COLORS_256);
    bfnt.SetBfntRowOrder(1);
    CheckBfntRoundTrip(bfnt);
    return 0;
}
